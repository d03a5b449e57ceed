// A package loaded by the host: its two entry points, called with the host's kernel.
#pragma once

#include <string>
#include <vector>

#include "tarn/runtime/dynamic_library.hpp"

class HostKernel;

// What the host can read of one component model the package defines: the model's
// definition record, which starts with the model name and version texts.
struct HostModelInfo {
    const void* definition;
    std::string model;
    std::string version;
    // The short names of the model's elements, in table order.
    std::vector<std::string> inputs;
    std::vector<std::string> outputs;
    std::vector<std::string> properties;
};

// Loads a package and talks to it the way the engine does.
class HostPackage {
  public:
    // Loads the package and finds TARNPckInit and TARNGetModulesDefStruct; false with
    // `error` set (one line) when the file is no loadable shared object, does not load or
    // lacks either entry point. A bare file name means the file in the working folder.
    bool Open(const std::string& path, std::string& error);
    bool IsOpen() const { return m_init != nullptr; }

    // TARNPckInit with the kernel and the magic (the engine's unless given).
    int Init(HostKernel& kernel, int magic = 0x80538);
    // TARNGetModulesDefStruct in count mode.
    int CountDefinitions(const char* group = nullptr);
    // TARNGetModulesDefStruct with a table of `max` entries; what it wrote.
    std::vector<void*> Definitions(int max, const char* group = nullptr);
    // The component models, read from every definition the package hands out.
    std::vector<HostModelInfo> Models();

    // Any other exported symbol, or null.
    void* Symbol(const char* name) const { return m_library.LoadSymbol(name); }

  private:
    TARNDynamicLoader m_library;
    int (*m_init)(void*, int) = nullptr;
    int (*m_definitions)(const char*, void**, int) = nullptr;
};
