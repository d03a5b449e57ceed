#include "dataflow/element_name.hpp"
#include "dataflow/property_implementation.hpp"
#include "tarn/dataflow/module.hpp"
#include "tarn/runtime/c_library.hpp"

TARNPropertyImplementation::TARNPropertyImplementation()
    : changedEvent(false, nullptr),
      owner(nullptr),
      getCallback(nullptr),
      setCallback(nullptr),
      changed(true),
      mutableFlag(true) {}

// The value frees its text or enumeration, the definition copy holds no default value.
TARNPropertyImplementation::~TARNPropertyImplementation() = default;

long& TARNPropertyImplementation::IntegerValue() {
    if (value.type == TARNPropertyValue::Integer) return value.integer;
    // An enumeration answers its selection itself: a write through the reference selects.
    if (value.type == TARNPropertyValue::Enumeration) {
        if (value.enumeration == nullptr) value.enumeration = new TARNEnumStruct();
        return value.enumeration->SelectionWord();
    }
    // The other kinds hold no integer at all (a text's would be its pointer): they answer
    // a neutral copy, so that a write through the reference cannot corrupt the value.
    scratchInteger = 0;
    return scratchInteger;
}

TARNStackedString<40>& TARNPropertyImplementation::StringValue() {
    if (value.type == TARNPropertyValue::String) {
        if (value.string == nullptr) value.string = new TARNStackedString<40>();
        return *value.string;
    }
    if (value.type == TARNPropertyValue::Enumeration && value.enumeration != nullptr &&
        value.enumeration->selected >= 0) {
        TARNArray<TARNStackedString<40> >& names = *value.enumeration->values;
        const int selected = value.enumeration->selected;
        const int count = names.Size();
        if (selected >= count) {
            // A selection beyond the names gets its own, empty, name (and those between):
            // the caller may write it through the reference. The array grows to the
            // smallest power of two above the selection when it lacks the room.
            names(selected);
            for (int i = count; i <= selected; ++i) names[i] = TARNStackedString<40>();
        }
        return names[selected];
    }
    // No selection, or no text at all: the empty text, which is not the property's.
    scratchText = "";
    return scratchText;
}

bool& TARNPropertyImplementation::BoolValue() {
    if (value.type == TARNPropertyValue::Bool) return value.boolean;
    scratchBool = false;
    return scratchBool;
}

double& TARNPropertyImplementation::FloatValue() {
    if (value.type == TARNPropertyValue::Float) return value.floating;
    scratchFloat = 0.0;
    return scratchFloat;
}

TARNEnumStruct* TARNPropertyImplementation::EnumValues() {
    return value.type == TARNPropertyValue::Enumeration ? value.enumeration : nullptr;
}

bool TARNPropertyImplementation::IsMutable() const {
    return !definition.readOnly && mutableFlag.load();
}

bool TARNPropertyImplementation::SetMutable(bool isMutable) {
    mutableFlag = isMutable;
    return IsMutable();
}

void TARNPropertyImplementation::AcknowledgePropertyChanged() {
    changed = false;
    changedEvent.Reset();
}

void TARNPropertyImplementation::Set(bool newValue) {
    Owner()->Set(*this, newValue);
}

void TARNPropertyImplementation::Set(long newValue) {
    Owner()->Set(*this, newValue);
}

void TARNPropertyImplementation::Set(int newValue) {
    Owner()->Set(*this, static_cast<long>(newValue));
}

void TARNPropertyImplementation::Set(double newValue) {
    Owner()->Set(*this, newValue);
}

void TARNPropertyImplementation::Set(const char* newValue) {
    Owner()->Set(*this, TARNStackedString<40>(newValue != nullptr ? newValue : ""));
}

void TARNPropertyImplementation::Set(const TARNStackedString<40>& newValue) {
    Owner()->Set(*this, newValue);
}

void TARNPropertyImplementation::Set(const TARNEnumStruct& newValue) {
    Owner()->Set(*this, newValue);
}

void TARNPropertyImplementation::Set(const TARNStackedString<40>& values, int selected) {
    Owner()->Set(*this, values, selected);
}

void TARNPropertyImplementation::Get(bool& result) {
    Owner()->Get(*this, result);
}

void TARNPropertyImplementation::Get(long& result) {
    Owner()->Get(*this, result);
}

void TARNPropertyImplementation::Get(int& result) {
    long wide = 0;
    Owner()->Get(*this, wide);
    result = static_cast<int>(wide);
}

void TARNPropertyImplementation::Get(double& result) {
    Owner()->Get(*this, result);
}

void TARNPropertyImplementation::Get(TARNStackedString<40>& result) {
    Owner()->Get(*this, result);
}

void TARNPropertyImplementation::Get(TARNEnumStruct& result) {
    Owner()->Get(*this, result);
}

void TARNPropertyImplementation::Get(TARNArray<TARNStackedString<40> >& values, int& selected) {
    TARNEnumStruct enumeration;
    Owner()->Get(*this, enumeration);
    // A fresh array: its capacity is the smallest power of two that holds the names.
    TARNArray<TARNStackedString<40> > names;
    for (int i = 0; i < enumeration.Count(); ++i) names.PushBack(enumeration.Name(i));
    values = std::move(names);
    selected = enumeration.selected;
}

const TARNPropertyValue& TARNPropertyImplementation::PropertyValue() {
    if (getCallback == nullptr) return value;
    // The owner's Get fills a copy; the stored value is then replaced under the owner's
    // locks, in their order, so that no reader sees it half written.
    TARNPropertyValue refreshed;
    switch (value.type) {
        case TARNPropertyValue::Bool:
            Get(refreshed.boolean);
            break;
        case TARNPropertyValue::Integer:
            refreshed = TARNPropertyValue(0L);
            Get(refreshed.integer);
            break;
        case TARNPropertyValue::Float:
            refreshed = TARNPropertyValue(0.0);
            Get(refreshed.floating);
            break;
        case TARNPropertyValue::String:
            refreshed = TARNPropertyValue("");
            Get(*refreshed.string);
            break;
        case TARNPropertyValue::Enumeration:
            refreshed = TARNPropertyValue(TARNEnumStruct());
            Get(*refreshed.enumeration);
            break;
        default:
            return value;
    }
    TARNModule* module = Owner();
    TARNMutexGuard moduleGuard(module->moduleLock);
    TARNMutexGuard propertyGuard(module->propertyLock);
    value.Copy(refreshed);
    return value;
}

void TARNPropertyImplementation::Rename(const char* oldName, const char* newName) {
    TARNPrivate::RenameElementName(fullName, oldName, newName);
}
