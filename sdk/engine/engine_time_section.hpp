// The kernel's engine-time section: the bracket around every read of engine time for a wait
// and every timed wait, so that the engine never changes time in the middle of one.
#pragma once

class TARNKernel;

namespace TARNPrivate {
// Begun on construction and ended exactly once: by End on the normal path (before a report
// or an error that must not run inside the section), or when the scope is left, an exception
// included. Uses the kernel bound when it is built.
class EngineTimeSection {
  public:
    EngineTimeSection();
    ~EngineTimeSection() { End(); }
    EngineTimeSection(const EngineTimeSection&) = delete;
    EngineTimeSection& operator=(const EngineTimeSection&) = delete;

    // Ends the section now; later calls (and the destructor) do nothing.
    void End();

  private:
    TARNKernel* m_kernel;
    bool m_open = true;
};
}  // namespace TARNPrivate
