// A named group of module definitions in the package's module registry.
#pragma once

#include "tarn/runtime/list.hpp"

class TARNModuleDefinition;

// Groups are named after the module base class ("TARNComponent"). Every group is a member
// of the registry's group list; a group may also reference other groups as children,
// which it does not own.
class TARNModuleGroupDefinition {
  public:
    using Hook = void (*)();

    // Throws the text "TARNModuleGroupDefinition construction : the group name can't be
    // NULL\n" (a const char*) for a null name. A group of the same name already in the
    // registry is absorbed: its modules and children move here, references to it now
    // point here, and it is destroyed. The group then joins the registry, is referenced
    // by its parent (found or created) when `parentName` is given, and runs `onInit` at
    // once.
    TARNModuleGroupDefinition(const char* name, Hook onInit, Hook onExit, const char* parentName);
    // Destroys its module definitions (their exit hooks run first), runs its own exit
    // hook and leaves the children of every other group. Nothing escapes it.
    virtual ~TARNModuleGroupDefinition();

    TARNModuleGroupDefinition(const TARNModuleGroupDefinition&) = delete;
    TARNModuleGroupDefinition& operator=(const TARNModuleGroupDefinition&) = delete;

    void AddModule(TARNModuleDefinition* definition);
    // Unlink the first match; the definition itself is kept.
    void RemoveModule(TARNModuleDefinition* definition);
    void RemoveModule(const char* name);
    void AddChildGroup(TARNModuleGroupDefinition* child);
    // Unlink the first match; the child itself is kept.
    void RemoveChildGroup(TARNModuleGroupDefinition* child);
    void RemoveChildGroup(const char* name);

    // The first own module of that name; else, when `recursive`, the first of that name
    // among the modules of the direct children, in child order.
    TARNModuleDefinition* FindModule(const char* name, bool recursive) const;
    // Two null names are equal; a null and a text are not.
    bool operator==(const char* other) const;

    char* name = nullptr;
    Hook onInit = nullptr;
    Hook onExit = nullptr;
    TARNList<TARNModuleDefinition*> modules;
    TARNList<TARNModuleGroupDefinition*> children;

  private:
    // Destroys the module definitions, leaves the group list and every parent's children,
    // and frees the name.
    void leaveRegistry();
};
