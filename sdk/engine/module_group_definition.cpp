#include "engine/module_group_definition.hpp"

#include <cstdlib>

#include "engine/module_management.hpp"
#include "tarn/engine/module_definition.hpp"
#include "tarn/runtime/c_library.hpp"

namespace {
bool SameText(const char* a, const char* b) {
    if (!a || !b) return a == b;
    return TARN::Strcmp(a, b) == 0;
}

// Every child reference to `from` in the registry becomes `to` (or goes, when `to` is
// null), so no group keeps a reference to a group that is about to be destroyed.
void RedirectChildReferences(TARNModuleGroupDefinition* from, TARNModuleGroupDefinition* to) {
    if (!TARNModuleManagement::groups) return;
    for (TARNModuleGroupDefinition* group : *TARNModuleManagement::groups) {
        auto* item = group->children.Head();
        while (item) {
            auto* next = item->Next();
            if (item->Value() == from) {
                if (to && to != group && !group->children.Find(to))
                    item->Value() = to;
                else
                    group->children.Remove(item);
            }
            item = next;
        }
    }
}
}  // namespace

TARNModuleGroupDefinition::TARNModuleGroupDefinition(const char* name, Hook onInit, Hook onExit,
                                                     const char* parentName) {
    if (!name) throw "TARNModuleGroupDefinition construction : the group name can't be NULL\n";
    this->name = TARN::Strdup(name);

    if (TARNModuleGroupDefinition* old = TARNModuleManagement::FindGroup(name)) {
        for (TARNModuleGroupDefinition* child : old->children)
            if (child != old && !children.Find(child)) children.PushBack(child);
        for (TARNModuleDefinition* definition : old->modules) {
            modules.PushBack(definition);
            definition->groupName = this->name;
        }
        old->children.Clear();
        old->modules.Clear();
        RedirectChildReferences(old, this);
        TARNModuleManagement::RemoveGroup(old, true);
    }
    TARNModuleManagement::Groups().PushBack(this);

    if (parentName) TARNModuleManagement::ReferenceChildGroup(parentName, name);

    this->onInit = onInit;
    this->onExit = onExit;
    if (onInit) {
        try {
            onInit();
        } catch (...) {
            // The object never finishes construction: leave the registry before the
            // exception frees it. Its exit hook does not run.
            leaveRegistry();
            throw;
        }
    }
}

TARNModuleGroupDefinition::~TARNModuleGroupDefinition() {
    leaveRegistry();
    if (onExit) {
        try {
            onExit();
        } catch (...) {
        }
    }
}

void TARNModuleGroupDefinition::leaveRegistry() {
    // Taken out of the group first, so each definition's destructor finds nothing to leave.
    TARNList<TARNModuleDefinition*> owned(std::move(modules));
    for (TARNModuleDefinition* definition : owned) delete definition;

    if (TARNModuleManagement::groups) {
        if (auto* item = TARNModuleManagement::groups->Find(this)) TARNModuleManagement::groups->Remove(item);
    }
    RedirectChildReferences(this, nullptr);

    std::free(name);
    name = nullptr;
}

void TARNModuleGroupDefinition::AddModule(TARNModuleDefinition* definition) {
    modules.PushBack(definition);
}

void TARNModuleGroupDefinition::RemoveModule(TARNModuleDefinition* definition) {
    if (auto* item = modules.Find(definition)) modules.Remove(item);
}

void TARNModuleGroupDefinition::RemoveModule(const char* name) {
    for (auto* item = modules.Head(); item; item = item->Next()) {
        if (*item->Value() == name) {
            modules.Remove(item);
            return;
        }
    }
}

void TARNModuleGroupDefinition::AddChildGroup(TARNModuleGroupDefinition* child) {
    children.PushBack(child);
}

void TARNModuleGroupDefinition::RemoveChildGroup(TARNModuleGroupDefinition* child) {
    if (auto* item = children.Find(child)) children.Remove(item);
}

void TARNModuleGroupDefinition::RemoveChildGroup(const char* name) {
    for (auto* item = children.Head(); item; item = item->Next()) {
        if (*item->Value() == name) {
            children.Remove(item);
            return;
        }
    }
}

TARNModuleDefinition* TARNModuleGroupDefinition::FindModule(const char* name, bool recursive) const {
    for (TARNModuleDefinition* definition : modules)
        if (*definition == name) return definition;
    if (!recursive) return nullptr;
    for (TARNModuleGroupDefinition* child : children)
        for (TARNModuleDefinition* definition : child->modules)
            if (*definition == name) return definition;
    return nullptr;
}

bool TARNModuleGroupDefinition::operator==(const char* other) const {
    return SameText(name, other);
}
