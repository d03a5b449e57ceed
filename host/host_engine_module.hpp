// The host's "Engine" module: the engine properties packages read by name, and the module
// behind the engine symbol "Engine.time".
#pragma once

#include "tarn/dataflow/module.hpp"

class HostKernel;

// Properties, under the full names packages read:
//   "Engine.shutdownTimeout"  integer, microseconds a shutdown waits for a module's threads
//                             (10,000,000)
//   "Engine.sequentialStart"  bool, a threaded start waits for the component's birth (false)
//   "Engine.version"          text, read-only: the engine version the host stands in for
//   "Engine.id"               text, the engine's id in record file names ("tarnhost")
// and the action "refreshInputProperties", which the SDK runs with an input's full name
// after the input's reader type changed; the kernel hands the names to its recorder.
//
// The SDK registers elements through the bound kernel (TARNPrivate::kernel), so the module
// is built and destroyed while its kernel is the bound one; HostKernel sees to that.
class HostEngineModule final : public TARNModule {
  public:
    // What packages read as the engine's version.
    static constexpr const char* Version = "4.7.0";

    explicit HostEngineModule(HostKernel& kernel);
    // Unregisters its properties, its action and "Engine.time" (the module's destructor).
    ~HostEngineModule() override;

  private:
    static void refreshInputProperties(TARNModule* module, int index, const char* inputName);

    HostKernel& m_kernel;
};
