// The package's module registry: every declared module definition, filed in groups.
#pragma once

#include "tarn/runtime/list.hpp"

class TARNModuleBase;
class TARNModuleDefinition;
class TARNModuleGroupDefinition;

// Filled during static initialisation, before any other static of the registry exists,
// so the group list is created on first use. There is no lock: the registry is filled by
// the loader and read by the engine's loading thread.
//
// Walks over child groups go by the child's name (a child that has left the list counts
// -1 and enumerates nothing) and visit each group at most once, so a group reached twice
// counts once and a cycle of child references ends.
class TARNModuleManagement {
  public:
    // Sets `initialized`, then runs the init hook of every module definition, groups and
    // modules in list order. The text is not read.
    static void Initialize(const char* unused);
    // Makes sure the group list exists.
    static void AllocationDone();
    // Destroys every group; the list stays, empty.
    static void ClearAll();
    // ClearAll, then the list itself goes and `initialized` is false again.
    static void Uninitialize();

    // Files the definition in the group; runs its init hook when already initialized.
    static TARNModuleDefinition* AddModule(TARNModuleGroupDefinition* group,
                                           TARNModuleDefinition* definition);
    static TARNModuleGroupDefinition* FindGroup(const char* name);
    // Without a group: the first definition of that name in any group.
    static TARNModuleDefinition* FindModule(const char* module, const char* group, bool recursive);
    // Without a group: all definitions of the list. An unknown group: -1. Else the group's
    // modules plus, when `recursive`, each child's count (-1 for a child not in the list).
    static int NumberOfReferencedModules(const char* group, bool recursive);
    // Without a group: the number of groups. An unknown group: -1. Else 1 plus each
    // child's count (-1 for a child not in the list).
    static int NumberOfReferencedGroups(const char* group);
    // Appends without any check.
    static void ReferenceNewGroup(TARNModuleGroupDefinition* group);
    // Unlink the first match and destroy it when `destroy`.
    static void RemoveGroup(const char* name, bool destroy);
    static void RemoveGroup(TARNModuleGroupDefinition* group, bool destroy);
    // A new group without hooks or parent.
    static TARNModuleGroupDefinition* CreateNewGroup(const char* name);
    // The factory's object of the definition found as by FindModule(module, group, true),
    // or null; with no group the first definition of that name decides.
    static TARNModuleBase* Instantiate(const char* instanceName, const char* module, const char* group);
    // The user data (a model's TARNComponentDefinition) of that definition, or null.
    static void* GetModuleDefinition(const char* module, const char* group);
    // Fill `table` with at most `max` definitions (of every group, or of the group and,
    // when `recursive`, its children) and return how many; an unknown group gives 0. With
    // no table: NumberOfReferencedModules.
    static int EnumerateAvailableModules(TARNModuleDefinition** table, int max, const char* group,
                                         bool recursive);
    // The same for groups: the group itself first, then its children's walks.
    static int EnumerateAvailableGroups(TARNModuleGroupDefinition** table, int max, const char* group,
                                        bool recursive);
    // Finds or creates both groups and makes `child` a child of `parent`. A link that is
    // already there is kept once; a link that would make a group its own descendant is
    // refused (false).
    static bool ReferenceChildGroup(const char* parent, const char* child);
    // Exchange sort: entries i < j are swapped when compare(table[i], table[j]) differs
    // from `flag`.
    static bool SortModuleDefinitionTable(TARNModuleDefinition** table, int count,
                                          bool (*compare)(TARNModuleDefinition*, TARNModuleDefinition*),
                                          bool flag);

    // Every group, in order of creation; null until first used.
    static TARNList<TARNModuleGroupDefinition*>* groups;
    static bool initialized;

    // The group list, created when missing.
    static TARNList<TARNModuleGroupDefinition*>& Groups();
};
