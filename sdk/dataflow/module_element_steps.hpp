// The steps every element kind of a module goes through when it is created, found again
// or removed: shared by the properties and actions (module_elements.cpp) and the inputs
// and outputs (module_inputs_outputs.cpp). Internal to the module's implementation.
#pragma once

#include "dataflow/action_implementation.hpp"
#include "dataflow/input_implementation.hpp"
#include "dataflow/output_implementation.hpp"
#include "dataflow/property_implementation.hpp"
#include "tarn/dataflow/module.hpp"
#include "tarn/runtime/c_library.hpp"
#include "tarn/runtime/regular_expression.hpp"

namespace TARNPrivate::ElementSteps {

// The names a caller may give to inputs, properties and actions. A definition's own name
// is never tested.
constexpr const char* ElementNamePattern = "^[a-zA-Z][a-zA-Z_0-9]*$";
// Outputs also allow points and colons after the first letter.
constexpr const char* OutputNamePattern = "^[a-zA-Z][a-zA-Z_0-9.:]*$";

inline bool matches(const char* pattern, const char* name) {
    // One handle per call: a compiled pattern belongs to one thread at a time.
    TARNRegExp expression(pattern, 0);
    return expression.exec(name, TARN::Strlen(name));
}

inline TARNStackedString<40> fullNameOf(const char* moduleName, const char* shortName) {
    TARNStackedString<40> fullName(moduleName);
    fullName += ".";
    fullName += shortName;
    return fullName;
}

// What the find-or-create step needs of each kind: a new, empty element; the address of
// the definition name it was made from (the definition's identity); and whether the
// cursor walk passes over it instead of counting it as an element not declared again
// (a per-element property lives and goes with its element, never with the walk).
template <class Element>
struct Kind;
template <>
struct Kind<TARNProperty> {
    static TARNProperty* make() { return new TARNPropertyImplementation(); }
    static const char* definitionName(TARNProperty* property) {
        return static_cast<TARNPropertyImplementation*>(property)->definition.name;
    }
    static bool keepsPlace(TARNProperty* property) {
        return static_cast<TARNPropertyImplementation*>(property)->BelongsToElement();
    }
};
template <>
struct Kind<TARNAction> {
    static TARNAction* make() { return new TARNActionImplementation(); }
    static const char* definitionName(TARNAction* action) {
        return static_cast<TARNActionImplementation*>(action)->definitionName;
    }
    static bool keepsPlace(TARNAction*) { return false; }
};
template <>
struct Kind<TARNInput> {
    static TARNInput* make() { return new TARNInputImplementation(); }
    static const char* definitionName(TARNInput* input) {
        return static_cast<TARNInputImplementation*>(input)->definitionName;
    }
    static bool keepsPlace(TARNInput*) { return false; }
};
template <>
struct Kind<TARNOutput> {
    static TARNOutput* make() { return new TARNOutputImplementation(); }
    static const char* definitionName(TARNOutput* output) {
        return static_cast<TARNOutputImplementation*>(output)->definition.name;
    }
    static bool keepsPlace(TARNOutput*) { return false; }
};

// The find-or-create step shared by every element kind; `remove` is the kind's full
// removal (unregistering the symbol), which also moves the cursor off an element it
// deletes.
template <class Element, class Remove>
Element* findOrCreate(TARNList<Element*>& list, TARNListItem<Element*>*& cursor,
                      const TARNStackedString<40>& fullName, const char* definitionName, bool& created,
                      Remove remove) {
    created = true;
    if (cursor == nullptr) {
        Element* element = Kind<Element>::make();
        list.PushBack(element);
        return element;
    }
    TARNListItem<Element*>* found = cursor;
    while (found != nullptr && !(found->Value()->Name() == fullName)) found = found->Next();
    if (found == nullptr) {
        Element* element = Kind<Element>::make();
        list.InsertBefore(cursor, element);
        return element;
    }
    // The elements not declared again before this one go.
    while (cursor != found) {
        if (Kind<Element>::keepsPlace(cursor->Value()))
            cursor = cursor->Next();
        else
            remove(cursor->Value());
    }
    if (Kind<Element>::definitionName(found->Value()) == definitionName) {
        created = false;
        cursor = found->Next();
        return found->Value();
    }
    // Same name, another definition: a new element takes the old one's place.
    Element* element = Kind<Element>::make();
    TARNListItem<Element*>* item = list.InsertAfter(found, element);
    cursor = item->Next();
    remove(found->Value());
    return element;
}

// The position of `element` in `list`, from 0.
template <class Element>
int positionOf(const TARNList<Element*>& list, const Element* element) {
    int index = 0;
    for (TARNListItem<Element*>* item = list.Head(); item != nullptr; item = item->Next(), ++index)
        if (item->Value() == element) return index;
    return -1;
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

// False when the module does not hold `name` (any more): a module that gave up its names
// (UnregisterNames) must not unregister them again, since another module may hold them now.
inline bool dropSymbol(TARNList<TARNStackedString<40> >& symbols, const TARNStackedString<40>& name) {
    for (TARNListItem<TARNStackedString<40> >* item = symbols.Head(); item; item = item->Next()) {
        if (item->Value() == name) {
            symbols.Remove(item);
            return true;
        }
    }
    return false;
}

// The checks every creation makes first, under the module lock: a dying module throws
// 57005; a definition without a name is the module error `badDefinition` (parameter 2), a
// name argument that does not match `pattern` the error `invalidName` followed by that
// name. Answers the short name to use, or null should an overridden Error return.
inline const char* checkCreation(TARNModule& module, TARNMutexGuard& guard, const char* definitionName,
                                 const char* name, const char* badDefinition, const char* invalidName,
                                 const char* pattern = ElementNamePattern) {
    if (module.State() & TARNModule::Dying) throw TARNModule::DieException;
    if (definitionName == nullptr) {
        guard.Unlock();
        module.Error(badDefinition, 2, 0);
        return nullptr;
    }
    if (name != nullptr && !matches(pattern, name)) {
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

}  // namespace TARNPrivate::ElementSteps
