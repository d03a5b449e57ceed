// Engine functions: modules of the kind "engine function" that the engine loads by name.
#pragma once

#include "tarn/dataflow/module.hpp"

// What the engine reaches of an engine function through its interface pointer. The order
// of the operations is the engine's.
class TARNCoreFunctionInterface {
  public:
    virtual void LoadConfiguration() = 0;
    virtual void SaveConfiguration() = 0;
    virtual void LoadConfiguration(const char* text, int size) = 0;
    // Bytes written to `buffer`.
    virtual int SaveConfiguration(char* buffer, int size) = 0;
    virtual void* GetInterface() = 0;
    virtual void ReleaseInterface() = 0;
    virtual ~TARNCoreFunctionInterface() = default;

    // Interfaces handed out and not yet released.
    unsigned int interfaceRefCount = 0;
};

// The base of engine functions: a module with the "processor" property and no performance
// properties. Found by name with TARN::CoreFunction.
class TARNCoreFunction : public TARNModule, public TARNCoreFunctionInterface {
  public:
    explicit TARNCoreFunction(const char* name);
    ~TARNCoreFunction() override = default;

    const char* Kind() const override { return "engine function"; }

    // An engine function keeps no configuration of its own: loading does nothing and
    // saving writes nothing.
    void LoadConfiguration() override {}
    void SaveConfiguration() override {}
    void LoadConfiguration(const char*, int) override {}
    int SaveConfiguration(char*, int) override { return 0; }
    // Counts the reference; there is no interface beyond the engine function itself.
    void* GetInterface() override;
    void ReleaseInterface() override;
};
