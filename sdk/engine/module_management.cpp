#include "engine/module_management.hpp"

#include <vector>

#include "engine/module_group_definition.hpp"
#include "tarn/engine/module_base.hpp"
#include "tarn/engine/module_definition.hpp"

// Constant-initialised: a module declaration may run before any other static of the
// registry has been constructed.
TARNList<TARNModuleGroupDefinition*>* TARNModuleManagement::groups = nullptr;
bool TARNModuleManagement::initialized = false;

namespace {
using Group = TARNModuleGroupDefinition;

// The registry is built on the heap by the package's static initialisation; without this
// every unload of the package would lose it. Releasing it at unload (or process exit)
// also runs the module and group exit hooks, which is what they are for.
struct ReleaseAtUnload {
    ~ReleaseAtUnload() { TARNModuleManagement::Uninitialize(); }
} releaseAtUnload;

// The groups one walk has already entered. Child references may form a diamond or a
// cycle; each group is entered once.
class Visited {
  public:
    // False when the group was entered before; otherwise marks it.
    bool Enter(const Group* group) {
        for (const Group* seen : seen_)
            if (seen == group) return false;
        seen_.push_back(group);
        return true;
    }

  private:
    std::vector<const Group*> seen_;
};

int CountModules(const Group* group, Visited& visited) {
    if (!visited.Enter(group)) return 0;
    int count = group->modules.Count();
    for (const Group* child : group->children) {
        const Group* listed = TARNModuleManagement::FindGroup(child->name);
        count += listed ? CountModules(listed, visited) : -1;
    }
    return count;
}

int CountGroups(const Group* group, Visited& visited) {
    if (!visited.Enter(group)) return 0;
    int count = 1;
    for (const Group* child : group->children) {
        const Group* listed = TARNModuleManagement::FindGroup(child->name);
        count += listed ? CountGroups(listed, visited) : -1;
    }
    return count;
}

int CollectModules(TARNModuleDefinition** table, int max, const Group* group, Visited& visited) {
    if (!visited.Enter(group)) return 0;
    int n = 0;
    for (TARNModuleDefinition* definition : group->modules) {
        if (n == max) return n;
        table[n++] = definition;
    }
    for (const Group* child : group->children) {
        if (n >= max) return n;
        if (const Group* listed = TARNModuleManagement::FindGroup(child->name))
            n += CollectModules(table + n, max - n, listed, visited);
    }
    return n;
}

int CollectGroups(TARNModuleGroupDefinition** table, int max, Group* group, Visited& visited) {
    if (!visited.Enter(group)) return 0;
    int n = 0;
    table[n++] = group;
    for (const Group* child : group->children) {
        if (n >= max) return n;
        if (Group* listed = TARNModuleManagement::FindGroup(child->name))
            n += CollectGroups(table + n, max - n, listed, visited);
    }
    return n;
}

// True when `target` can be reached from `from` through child references.
bool Reaches(const Group* from, const Group* target, Visited& visited) {
    if (from == target) return true;
    if (!visited.Enter(from)) return false;
    for (const Group* child : from->children)
        if (Reaches(child, target, visited)) return true;
    return false;
}
}  // namespace

TARNList<TARNModuleGroupDefinition*>& TARNModuleManagement::Groups() {
    if (!groups) groups = new TARNList<TARNModuleGroupDefinition*>;
    return *groups;
}

void TARNModuleManagement::Initialize(const char*) {
    initialized = true;
    for (Group* group : Groups())
        for (TARNModuleDefinition* definition : group->modules)
            if (definition->onInit) definition->onInit(definition->userData);
}

void TARNModuleManagement::AllocationDone() {
    Groups();
}

void TARNModuleManagement::ClearAll() {
    if (!groups) return;
    // Each group leaves the list in its destructor.
    while (auto* item = groups->Head()) {
        Group* group = groups->Unlink(item)->Value();
        delete item;
        delete group;
    }
}

void TARNModuleManagement::Uninitialize() {
    ClearAll();
    delete groups;
    groups = nullptr;
    initialized = false;
}

TARNModuleDefinition* TARNModuleManagement::AddModule(TARNModuleGroupDefinition* group,
                                                      TARNModuleDefinition* definition) {
    group->AddModule(definition);
    if (initialized && definition->onInit) definition->onInit(definition->userData);
    return definition;
}

TARNModuleGroupDefinition* TARNModuleManagement::FindGroup(const char* name) {
    // A lookup never needs the list to exist: a missing list holds no group.
    if (!groups || !name) return nullptr;
    for (Group* group : *groups)
        if (*group == name) return group;
    return nullptr;
}

TARNModuleDefinition* TARNModuleManagement::FindModule(const char* module, const char* group,
                                                       bool recursive) {
    if (!group) {
        for (Group* candidate : Groups())
            if (TARNModuleDefinition* definition = candidate->FindModule(module, false)) return definition;
        return nullptr;
    }
    const Group* found = FindGroup(group);
    return found ? found->FindModule(module, recursive) : nullptr;
}

int TARNModuleManagement::NumberOfReferencedModules(const char* group, bool recursive) {
    Groups();
    if (!group) {
        int count = 0;
        for (const Group* candidate : *groups) count += candidate->modules.Count();
        return count;
    }
    const Group* found = FindGroup(group);
    if (!found) return -1;
    if (!recursive) return found->modules.Count();
    Visited visited;
    return CountModules(found, visited);
}

int TARNModuleManagement::NumberOfReferencedGroups(const char* group) {
    if (!group) return Groups().Count();
    const Group* found = FindGroup(group);
    if (!found) return -1;
    Visited visited;
    return CountGroups(found, visited);
}

void TARNModuleManagement::ReferenceNewGroup(TARNModuleGroupDefinition* group) {
    Groups().PushBack(group);
}

void TARNModuleManagement::RemoveGroup(const char* name, bool destroy) {
    if (Group* group = FindGroup(name)) RemoveGroup(group, destroy);
}

void TARNModuleManagement::RemoveGroup(TARNModuleGroupDefinition* group, bool destroy) {
    auto* item = Groups().Find(group);
    if (!item) return;
    groups->Remove(item);
    if (destroy) delete group;
}

TARNModuleGroupDefinition* TARNModuleManagement::CreateNewGroup(const char* name) {
    return new TARNModuleGroupDefinition(name, nullptr, nullptr, nullptr);
}

TARNModuleBase* TARNModuleManagement::Instantiate(const char* instanceName, const char* module,
                                                  const char* group) {
    TARNModuleDefinition* definition = FindModule(module, group, true);
    return definition ? definition->Instantiate(instanceName) : nullptr;
}

void* TARNModuleManagement::GetModuleDefinition(const char* module, const char* group) {
    TARNModuleDefinition* definition = FindModule(module, group, true);
    return definition ? definition->userData : nullptr;
}

int TARNModuleManagement::EnumerateAvailableModules(TARNModuleDefinition** table, int max, const char* group,
                                                    bool recursive) {
    if (!table) return NumberOfReferencedModules(group, recursive);
    if (max < 1) return 0;
    if (!group) {
        int n = 0;
        for (const Group* candidate : Groups())
            for (TARNModuleDefinition* definition : candidate->modules) {
                if (n == max) return n;
                table[n++] = definition;
            }
        return n;
    }
    Groups();
    const Group* found = FindGroup(group);
    if (!found) return 0;
    if (!recursive) {
        int n = 0;
        for (TARNModuleDefinition* definition : found->modules) {
            if (n == max) break;
            table[n++] = definition;
        }
        return n;
    }
    Visited visited;
    return CollectModules(table, max, found, visited);
}

int TARNModuleManagement::EnumerateAvailableGroups(TARNModuleGroupDefinition** table, int max,
                                                   const char* group, bool recursive) {
    if (!table) return NumberOfReferencedGroups(group);
    if (max < 1) return 0;
    if (!group) {
        int n = 0;
        for (Group* candidate : Groups()) {
            if (n == max) break;
            table[n++] = candidate;
        }
        return n;
    }
    Group* found = FindGroup(group);
    if (!found) return 0;
    if (!recursive) {
        table[0] = found;
        return 1;
    }
    Visited visited;
    return CollectGroups(table, max, found, visited);
}

bool TARNModuleManagement::ReferenceChildGroup(const char* parent, const char* child) {
    Group* parentGroup = FindGroup(parent);
    if (!parentGroup) parentGroup = CreateNewGroup(parent);
    Group* childGroup = FindGroup(child);
    if (!childGroup) childGroup = CreateNewGroup(child);
    if (parentGroup->children.Find(childGroup)) return true;
    // A parent below its own child would make every walk from either of them endless.
    Visited visited;
    if (Reaches(childGroup, parentGroup, visited)) return false;
    parentGroup->AddChildGroup(childGroup);
    return true;
}

bool TARNModuleManagement::SortModuleDefinitionTable(TARNModuleDefinition** table, int count,
                                                     bool (*compare)(TARNModuleDefinition*,
                                                                     TARNModuleDefinition*),
                                                     bool flag) {
    if (count < 2) return true;
    for (int i = 0; i < count - 1; ++i)
        for (int j = i + 1; j < count; ++j)
            if (compare(table[i], table[j]) != flag) {
                TARNModuleDefinition* swapped = table[i];
                table[i] = table[j];
                table[j] = swapped;
            }
    return true;
}
