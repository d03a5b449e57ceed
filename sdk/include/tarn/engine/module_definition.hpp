// The declaration of one module class to the package's module registry.
#pragma once

class TARNModuleBase;

// One per declared module class, created on the heap during static initialisation. It
// files itself in the registry under its group (TARNComponent for a component model),
// and its user data (for a component model, the model's TARNComponentDefinition) is what
// the engine receives from TARNGetModulesDefStruct.
class TARNModuleDefinition {
  public:
    using Factory = TARNModuleBase* (*)(const char* instanceName, void* userData);
    using Hook = void (*)(void* userData);

    // Finds or creates the group `groupName` and appends itself to it. A second
    // definition of the same name in that group throws a TARNStackedString<40> built from
    // "Module %s already referenced in the category %s\n" and is not filed. When the
    // package is already initialised, `onInit` runs at once, else in Initialize.
    TARNModuleDefinition(const char* name, const char* groupName, Factory factory, void* userData,
                         Hook onInit, Hook onExit);
    // Leaves its group, frees the name, then runs `onExit`.
    virtual ~TARNModuleDefinition();

    TARNModuleDefinition(const TARNModuleDefinition&) = delete;
    TARNModuleDefinition& operator=(const TARNModuleDefinition&) = delete;

    // Null without a factory; else the factory's object, which remembers this definition.
    TARNModuleBase* Instantiate(const char* instanceName);
    // Names equal as texts (two null names are equal).
    bool operator==(const char* other) const;

    char* name = nullptr;
    // The name of the group it is filed under; owned by that group.
    const char* groupName = nullptr;
    Factory factory = nullptr;
    Hook onInit = nullptr;
    Hook onExit = nullptr;
    void* userData = nullptr;
};
