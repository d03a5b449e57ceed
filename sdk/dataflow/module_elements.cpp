// Element creation, removal and renaming for properties and actions; inputs and outputs
// follow the same find-or-create and removal rules with their implementations.
#include "dataflow/action_implementation.hpp"
#include "dataflow/module_element_steps.hpp"
#include "dataflow/property_implementation.hpp"
#include "engine/kernel.hpp"
#include "engine/kernel_pointer.hpp"
#include "tarn/dataflow/module.hpp"
#include "tarn/engine/clock.hpp"
#include "tarn/runtime/c_library.hpp"
#include "tarn/runtime/streamed_string.hpp"

namespace {

using namespace TARNPrivate::ElementSteps;

// Fills a property just made for `module` from its definition and registers it (see enrol).
TARNProperty* defineProperty(TARNModule& module, TARNMutexGuard& guard, TARNPropertyImplementation* property,
                             const TARNStackedString<40>& fullName, const TARNStackedString<40>& shortName,
                             const TARNPropertyDefinition& definition) {
    property->fullName = fullName;
    property->shortName = shortName;
    // The copy leaves its default value null: the default belongs to the static record.
    property->definition = definition;
    // A definition without a default keeps the property's own (a false bool).
    if (definition.defaultValue != nullptr) property->value.Copy(*definition.defaultValue);
    property->owner = &module;
    const bool registered = TARNPrivate::kernel->RegisterProperty(property);
    if (!enrol(module, guard, registered, "property", fullName, [&] { module.RemovePropertyX(property); }))
        return nullptr;
    return property;
}

}  // namespace

TARNProperty* TARNModule::NewProperty(const TARNPropertyDefinition& definition, const char* name) {
    TARNMutexGuard guard(moduleLock);
    const char* shortName = checkCreation(*this, guard, definition.name, name,
                                          "Call to NewProperty failed. Bad property definition.",
                                          "Trying to create a property with an invalid name: ");
    if (shortName == nullptr) return nullptr;
    const TARNStackedString<40> fullName = fullNameOf(Name(), shortName);
    bool created = false;
    TARNProperty* property = NewPropertyX(fullName, definition.name, created);
    if (!created) return property;
    return defineProperty(*this, guard, static_cast<TARNPropertyImplementation*>(property), fullName,
                          shortName, definition);
}

TARNProperty* TARNModule::NewSpecialProperty(const TARNPropertyDefinition& definition, const char* name) {
    TARNMutexGuard guard(moduleLock);
    TARNStackedString<40> fullName;
    TARNStackedString<40> shortName;
    if (name == nullptr) {
        shortName = definition.name;
        fullName = fullNameOf(Name(), definition.name);
    } else if (name[0] == '\\') {
        shortName = name + 1;
        fullName = name + 1;
    } else {
        shortName = name;
        fullName = fullNameOf(Name(), name);
    }
    TARNPropertyImplementation* property = new TARNPropertyImplementation();
    // Always at the end of the list: a per-element property is no part of the order in
    // which a definition declares its properties (Property(index) and the dynamic cursor
    // walk pass over it); its element marks it and removes it.
    properties.PushBack(property);
    return defineProperty(*this, guard, property, fullName, shortName, definition);
}

TARNAction* TARNModule::NewAction(const TARNActionDefinition& definition, const char* name) {
    TARNMutexGuard guard(moduleLock);
    const char* shortName =
        checkCreation(*this, guard, definition.name, name, "Call to NewAction failed. Bad action definition.",
                      "Trying to create an action with an invalid name: ");
    if (shortName == nullptr) return nullptr;
    const TARNStackedString<40> fullName = fullNameOf(Name(), shortName);
    bool created = false;
    TARNAction* action = NewActionX(fullName, definition.name, created);
    TARNActionImplementation* implementation = static_cast<TARNActionImplementation*>(action);
    if (created) {
        implementation->Define(fullName, shortName, definition, this);
        const bool registered = TARNPrivate::kernel->RegisterAction(action);
        if (!enrol(*this, guard, registered, "action", fullName, [&] { RemoveActionX(action); }))
            return nullptr;
    }
    // The index handed to the callbacks: the action just before the cursor (the one just
    // made or kept), or the last one when there is no cursor.
    int index = actions.Count() - 1;
    if (actionCursor != nullptr) {
        index = -1;
        for (TARNListItem<TARNAction*>* item = actions.Head(); item != actionCursor; item = item->Next())
            ++index;
    }
    implementation->index = index;
    return action;
}

TARNProperty* TARNModule::NewPropertyX(const TARNStackedString<40>& fullName, const char* definitionName,
                                       bool& created) {
    TARNMutexGuard guard(moduleLock);
    return findOrCreate(properties, propertyCursor, fullName, definitionName, created,
                        [this](TARNProperty* property) { RemoveProperty(property); });
}

TARNAction* TARNModule::NewActionX(const TARNStackedString<40>& fullName, const char* definitionName,
                                   bool& created) {
    TARNMutexGuard guard(moduleLock);
    return findOrCreate(actions, actionCursor, fullName, definitionName, created,
                        [this](TARNAction* action) { RemoveAction(action); });
}

// Readers by name find a property under the kernel's symbol lock and then read it under
// this module's lock, so removal must hold the module lock too (re-entrant for callers
// that already do).
void TARNModule::RemoveProperty(TARNProperty* property) {
    TARNMutexGuard guard(moduleLock);
    // Only a name it still holds: one it gave up may be another module's now.
    if (dropSymbol(symbolNames, property->Name()))
        TARNPrivate::kernel->UnregisterSymbol(property->Name().c_str());
    RemovePropertyX(property);
}

void TARNModule::RemoveAction(TARNAction* action) {
    TARNMutexGuard guard(moduleLock);
    // Only a name it still holds: one it gave up may be another module's now.
    if (dropSymbol(symbolNames, action->Name()))
        TARNPrivate::kernel->UnregisterSymbol(action->Name().c_str());
    RemoveActionX(action);
}

void TARNModule::RemovePropertyX(TARNProperty* property) {
    deleteListed(properties, propertyCursor, property, &lastStandardProperty);
}

void TARNModule::RemoveActionX(TARNAction* action) {
    deleteListed(actions, actionCursor, action);
}

// Under the module lock, as every lookup of an element by its name and every change of the
// list of names.
void TARNModule::Rename(const char* oldName, const char* newName) {
    TARNMutexGuard guard(moduleLock);
    // Copies: either text may be this module's own name, which the base's Rename replaces.
    const TARNStackedString<40> from(oldName);
    const TARNStackedString<40> to(newName);
    renameInputsAndOutputs(from.c_str(), to.c_str());
    for (TARNProperty* property : properties)
        static_cast<TARNPropertyImplementation*>(property)->Rename(from.c_str(),
                                                                   newName ? to.c_str() : nullptr);
    for (TARNAction* action : actions)
        static_cast<TARNActionImplementation*>(action)->Rename(from.c_str(), newName ? to.c_str() : nullptr);
    TARNModuleBase::Rename(oldName ? from.c_str() : nullptr, newName ? to.c_str() : nullptr);
    // Symbols: the old name alone, or followed by a point and more.
    for (TARNStackedString<40>& symbol : symbolNames) {
        if (!(symbol == from) && !TARNPrivate::NamesElementOf(symbol.c_str(), symbol.Length(), from.c_str()))
            continue;
        const int length = from.Length();
        TARNStackedString<40> renamed(to);
        renamed.concat(symbol.Length() - length, symbol.c_str() + length);
        symbol = renamed;
    }
    // A module that is also an engine clock carries its name there too.
    if (TARNBaseClock* clock = dynamic_cast<TARNBaseClock*>(this))
        clock->RenameClock(newName ? to.c_str() : nullptr);
}
