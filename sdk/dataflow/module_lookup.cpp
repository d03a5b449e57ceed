// Element lookup by position and by short name. A missing element is the caller's error:
// it is reported through the kernel (level 2, -5 thrown) and never answered with null.
#include "dataflow/input_implementation.hpp"
#include "dataflow/output_implementation.hpp"
#include "dataflow/property_implementation.hpp"
#include "tarn/dataflow/module.hpp"
#include "tarn/engine/reports.hpp"
#include "tarn/runtime/c_library.hpp"
#include "tarn/runtime/streamed_string.hpp"

namespace {

// " of <kind> <name>": what every lookup report ends with.
void appendOwner(TARNStreamedString& message, const TARNModule& module) {
    message << " of " << module.Kind() << " " << module.Name();
}

[[noreturn]] void unknownIndex(const TARNModule& module, const char* kind, int index) {
    TARNStreamedString message("Trying to access unknown ");
    message << kind << " #" << index;
    appendOwner(message, module);
    TARNPrivate::KernelError(message.c_str(), 1);
}

[[noreturn]] void unknownName(const TARNModule& module, const char* kind, const char* name) {
    TARNStreamedString message("Trying to access unknown ");
    message << kind << " " << name;
    appendOwner(message, module);
    TARNPrivate::KernelError(message.c_str(), 1);
}

// Item `index` steps after `first`; the caller checked the range.
template <class T>
T& walk(TARNListItem<T*>* first, int index) {
    while (index-- > 0) first = first->Next();
    return *first->Value();
}

// The short name equals the text: same length and bytes; a null text is the empty name.
template <class T>
bool named(T* element, const char* name) {
    return element->ShortName() == name;
}
bool named(TARNInput* input, const char* name) {
    return static_cast<TARNInputImplementation*>(input)->shortName == name;
}
bool named(TARNOutput* output, const char* name) {
    return static_cast<TARNOutputImplementation*>(output)->shortName == name;
}

bool belongsToElement(TARNProperty* property) {
    return static_cast<TARNPropertyImplementation*>(property)->BelongsToElement();
}

template <class T>
T* findNamed(const TARNList<T*>& list, const char* name, const TARNListItem<T*>* stop = nullptr) {
    for (TARNListItem<T*>* item = list.Head(); item != nullptr && item != stop; item = item->Next())
        if (named(item->Value(), name)) return item->Value();
    return nullptr;
}

}  // namespace

TARNInput& TARNModule::Input(int index) {
    TARNMutexGuard guard(moduleLock);
    if (index < 0 || index >= inputs.Count()) {
        guard.Unlock();
        unknownIndex(*this, "input", index);
    }
    return walk(inputs.Head(), index);
}

int* TARNModule::ReaderHandle(int index) {
    return &static_cast<TARNInputImplementation&>(Input(index < 0 ? 0 : index)).readerId;
}

TARNOutput& TARNModule::Output(int index) {
    TARNMutexGuard guard(moduleLock);
    if (index < 0 || index >= outputs.Count()) {
        guard.Unlock();
        unknownIndex(*this, "output", index);
    }
    return walk(outputs.Head(), index);
}

TARNProperty& TARNModule::Property(int index) {
    TARNMutexGuard guard(moduleLock);
    // Only the properties after the SDK's own count: Property(0) of a component is the
    // first property of its definition.
    if (index < 0 || index >= properties.Count() - static_cast<int>(sdkPropertyCount)) {
        guard.Unlock();
        unknownIndex(*this, "property", index);
    }
    // Per-element properties are not counted: they belong to their inputs and outputs.
    TARNListItem<TARNProperty*>* item =
        lastStandardProperty != nullptr ? lastStandardProperty->Next() : properties.Head();
    for (;; item = item->Next()) {
        if (belongsToElement(item->Value())) continue;
        if (index-- == 0) return *item->Value();
    }
}

TARNAction& TARNModule::Action(int index) {
    TARNMutexGuard guard(moduleLock);
    if (index < 0 || index >= actions.Count()) {
        guard.Unlock();
        unknownIndex(*this, "action", index);
    }
    return walk(actions.Head(), index);
}

TARNProperty& TARNModule::Property(const char* name) {
    TARNMutexGuard guard(moduleLock);
    TARNProperty* property = findNamed(properties, name);
    if (property == nullptr) {
        guard.Unlock();
        unknownName(*this, "property", name);
    }
    return *property;
}

TARNAction& TARNModule::Action(const char* name) {
    TARNMutexGuard guard(moduleLock);
    TARNAction* action = findNamed(actions, name);
    if (action == nullptr) {
        guard.Unlock();
        unknownName(*this, "action", name);
    }
    return *action;
}

bool TARNModule::HasProperty(const char* name) {
    TARNMutexGuard guard(moduleLock);
    if (findNamed(properties, name, propertyCursor) != nullptr) return true;
    // A per-element property is there as long as its element, cursor or not.
    TARNProperty* property = findNamed(properties, name);
    return property != nullptr && belongsToElement(property);
}

bool TARNModule::HasAction(const char* name) {
    TARNMutexGuard guard(moduleLock);
    return findNamed(actions, name, actionCursor) != nullptr;
}

TARNInput& TARNModule::Input(const char* name) {
    TARNMutexGuard guard(moduleLock);
    TARNInput* input = findNamed(inputs, name);
    if (input == nullptr) {
        guard.Unlock();
        unknownName(*this, "input", name);
    }
    return *input;
}

TARNOutput& TARNModule::Output(const char* name) {
    TARNMutexGuard guard(moduleLock);
    TARNOutput* output = findNamed(outputs, name);
    if (output == nullptr) {
        guard.Unlock();
        unknownName(*this, "output", name);
    }
    return *output;
}

bool TARNModule::HasInput(const char* name) {
    TARNMutexGuard guard(moduleLock);
    return findNamed(inputs, name, inputCursor) != nullptr;
}

bool TARNModule::HasOutput(const char* name) {
    TARNMutexGuard guard(moduleLock);
    return findNamed(outputs, name, outputCursor) != nullptr;
}
