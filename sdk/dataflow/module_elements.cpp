// Element creation, removal and renaming for properties and actions; inputs and outputs
// follow the same find-or-create and removal rules with their implementations.
#include "dataflow/module.hpp"
#include "dataflow/property.hpp"
#include "engine/clock.hpp"
#include "engine/kernel.hpp"
#include "engine/kernel_pointer.hpp"
#include "runtime/c_library.hpp"
#include "runtime/regular_expression.hpp"
#include "runtime/streamed_string.hpp"

namespace {

// The names a caller may give to inputs, properties and actions (outputs also allow
// points and colons after the first letter). A definition's own name is never tested.
constexpr const char* ElementNamePattern = "^[a-zA-Z][a-zA-Z_0-9]*$";

bool isElementName(const char* name) {
    // One handle per call: a compiled pattern belongs to one thread at a time.
    TARNRegExp pattern(ElementNamePattern, 0);
    return pattern.exec(name, TARN::Strlen(name));
}

TARNStackedString<40> fullNameOf(const char* moduleName, const char* shortName) {
    TARNStackedString<40> fullName(moduleName);
    fullName += ".";
    fullName += shortName;
    return fullName;
}

const char* definitionNameOf(TARNProperty* property) {
    return static_cast<TARNPropertyImplementation*>(property)->definition.name;
}
const char* definitionNameOf(TARNAction* action) {
    return static_cast<TARNActionImplementation*>(action)->definitionName;
}
TARNProperty* newElement(TARNProperty*) {
    return new TARNPropertyImplementation();
}
TARNAction* newElement(TARNAction*) {
    return new TARNActionImplementation();
}

// The find-or-create step shared by every element kind; `remove` is the kind's full
// removal (unregistering the symbol), which also moves the cursor off an element it
// deletes.
template <class Element, class Remove>
Element* findOrCreate(TARNList<Element*>& list, TARNListItem<Element*>*& cursor,
                      const TARNStackedString<40>& fullName, const char* definitionName, bool& created,
                      Remove remove) {
    created = true;
    if (cursor == nullptr) {
        Element* element = newElement(static_cast<Element*>(nullptr));
        list.PushBack(element);
        return element;
    }
    TARNListItem<Element*>* found = cursor;
    while (found != nullptr && !(found->Value()->Name() == fullName)) found = found->Next();
    if (found == nullptr) {
        Element* element = newElement(static_cast<Element*>(nullptr));
        list.InsertBefore(cursor, element);
        return element;
    }
    // The elements not declared again before this one go.
    while (cursor != found) remove(cursor->Value());
    if (definitionNameOf(found->Value()) == definitionName) {
        created = false;
        cursor = found->Next();
        return found->Value();
    }
    // Same name, another definition: a new element takes the old one's place.
    Element* element = newElement(static_cast<Element*>(nullptr));
    TARNListItem<Element*>* item = list.InsertAfter(found, element);
    cursor = item->Next();
    remove(found->Value());
    return element;
}

// Deletes the element and its item; a cursor or boundary on that item moves off it first,
// so none of them is ever left on a freed item.
template <class Element>
bool deleteListed(TARNList<Element*>& list, TARNListItem<Element*>*& cursor, Element* element,
                  TARNListItem<Element*>** boundary = nullptr) {
    TARNListItem<Element*>* item = list.Find(element);
    if (item == nullptr) return false;
    if (cursor == item) cursor = item->Next();
    if (boundary != nullptr && *boundary == item) *boundary = item->Prev();
    delete element;
    list.Remove(item);
    return true;
}

void dropSymbol(TARNList<TARNStackedString<40> >& symbols, const TARNStackedString<40>& name) {
    for (TARNListItem<TARNStackedString<40> >* item = symbols.Head(); item; item = item->Next()) {
        if (item->Value() == name) {
            symbols.Remove(item);
            return;
        }
    }
}

// The checks every creation makes first, under the module lock: a dying module throws
// 57005; a definition without a name is the module error `badDefinition` (parameter 2), a
// name argument that is no element name the error `invalidName` followed by that name.
// Answers the short name to use, or null should an overridden Error return.
const char* checkCreation(TARNModule& module, TARNMutexGuard& guard, const char* definitionName,
                          const char* name, const char* badDefinition, const char* invalidName) {
    if (module.State() & TARNModule::Dying) throw TARNModule::DieException;
    if (definitionName == nullptr) {
        guard.Unlock();
        module.Error(badDefinition, 2, 0);
        return nullptr;
    }
    if (name != nullptr && !isElementName(name)) {
        guard.Unlock();
        module.Error((TARNStackedString<40>(invalidName) + name).c_str(), 1, 0);
        return nullptr;
    }
    return name != nullptr ? name : definitionName;
}

// A new element the kernel accepted joins the module's symbol names. One it refused is
// removed again (`removeUnregistered`, no kernel call) and the module error "Can't create
// <kind> <full name>. The symbol already exists." follows, outside the lock; false then.
template <class Remove>
bool enrol(TARNModule& module, TARNMutexGuard& guard, bool registered, const char* kind,
           const TARNStackedString<40>& fullName, Remove removeUnregistered) {
    if (registered) {
        module.symbolNames.PushBack(fullName);
        return true;
    }
    removeUnregistered();
    guard.Unlock();
    TARNStackedString<40> message("Can't create ");
    message += kind;
    message += " ";
    message += fullName.c_str();
    message += ". The symbol already exists.";
    module.Error(message.c_str(), 1, 0);
    return false;
}

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
    // During a dynamic re-creation the property takes its place at the cursor, with the
    // element it belongs to; at the end it would count as not declared again and go.
    if (propertyCursor != nullptr)
        properties.InsertBefore(propertyCursor, property);
    else
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
    TARNPrivate::kernel->UnregisterSymbol(property->Name().c_str());
    dropSymbol(symbolNames, property->Name());
    RemovePropertyX(property);
}

void TARNModule::RemoveAction(TARNAction* action) {
    TARNMutexGuard guard(moduleLock);
    TARNPrivate::kernel->UnregisterSymbol(action->Name().c_str());
    dropSymbol(symbolNames, action->Name());
    RemoveActionX(action);
}

void TARNModule::RemovePropertyX(TARNProperty* property) {
    deleteListed(properties, propertyCursor, property, &lastStandardProperty);
}

void TARNModule::RemoveActionX(TARNAction* action) {
    deleteListed(actions, actionCursor, action);
}

void TARNModule::Rename(const char* oldName, const char* newName) {
    // Copies: either text may be this module's own name, which the base's Rename frees.
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

// No input or output can exist before their implementations join the module: nothing
// creates them yet, so the lists are always empty here.
void TARNModule::deleteInputsAndOutputs() {
    inputs.Clear();
    outputs.Clear();
}

void TARNModule::renameInputsAndOutputs(const char*, const char*) {}
