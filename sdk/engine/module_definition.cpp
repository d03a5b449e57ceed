#include "tarn/engine/module_definition.hpp"

#include <cstdlib>

#include "engine/module_group_definition.hpp"
#include "engine/module_management.hpp"
#include "tarn/engine/module_base.hpp"
#include "tarn/runtime/c_library.hpp"
#include "tarn/runtime/stacked_string.hpp"

namespace {
bool SameText(const char* a, const char* b) {
    if (!a || !b) return a == b;
    return TARN::Strcmp(a, b) == 0;
}
}  // namespace

TARNModuleDefinition::TARNModuleDefinition(const char* name, const char* groupName, Factory factory,
                                           void* userData, Hook onInit, Hook onExit) {
    TARNModuleGroupDefinition* group = TARNModuleManagement::FindGroup(groupName);
    if (!group) group = TARNModuleManagement::CreateNewGroup(groupName);
    if (group->FindModule(name, false)) {
        // Built in full, however long the names: the message must name both.
        TARNStackedString<40> message("Module ");
        message += name;
        message += " already referenced in the category ";
        message += group->name;
        message += "\n";
        throw message;
    }
    this->name = name ? TARN::Strdup(name) : nullptr;
    this->groupName = group->name;
    this->factory = factory;
    this->onInit = onInit;
    this->onExit = onExit;
    this->userData = userData;
    TARNModuleManagement::AddModule(group, this);
}

TARNModuleDefinition::~TARNModuleDefinition() {
    if (TARNModuleGroupDefinition* group = TARNModuleManagement::FindGroup(groupName))
        group->RemoveModule(this);
    std::free(name);
    name = nullptr;
    // A destructor must not throw; a failing exit hook is the hook's own business.
    if (onExit) {
        try {
            onExit(userData);
        } catch (...) {
        }
    }
}

TARNModuleBase* TARNModuleDefinition::Instantiate(const char* instanceName) {
    if (!factory) return nullptr;
    TARNModuleBase* module = factory(instanceName, userData);
    if (module) module->definition = this;
    return module;
}

bool TARNModuleDefinition::operator==(const char* other) const {
    return SameText(name, other);
}
