// The property a module makes from its definition: its value, its change rules and its
// callbacks.
#pragma once

#include <atomic>

#include "tarn/dataflow/definitions.hpp"
#include "tarn/dataflow/property.hpp"
#include "tarn/engine/enum_struct.hpp"
#include "tarn/engine/event.hpp"
#include "tarn/engine/property_value.hpp"
#include "tarn/runtime/ring_array.hpp"
#include "tarn/runtime/stacked_string.hpp"

class TARNModule;

// The one implementation of TARNProperty. The owning module makes it empty, fills its
// fields (names, definition, default value, owner), registers it and owns it.
class TARNPropertyImplementation : public TARNProperty {
  public:
    // Empty names, a false bool, no owner and no callbacks; changed and mutable.
    TARNPropertyImplementation();
    ~TARNPropertyImplementation() override;

    TARNPropertyImplementation(const TARNPropertyImplementation&) = delete;
    TARNPropertyImplementation& operator=(const TARNPropertyImplementation&) = delete;

    long& IntegerValue() override;
    TARNStackedString<40>& StringValue() override;
    bool& BoolValue() override;
    double& FloatValue() override;
    TARNEnumStruct* EnumValues() override;
    const TARNStackedString<40>& Name() const override { return fullName; }
    const TARNStackedString<40>& ShortName() const override { return shortName; }
    const char* Unit() const override { return definition.unit; }
    TARNModule* Owner() override { return owner; }
    unsigned int Type() const override { return value.type; }
    unsigned int SubType() const override { return definition.subType; }
    bool IsMutable() const override;
    bool SetMutable(bool value) override;
    bool PropertyChanged() const override { return changed.load(); }
    void AcknowledgePropertyChanged() override;
    TARNEvent* GetPropertyChangedEvent() override { return &changedEvent; }
    TARNEvent& PropertyChangedEvent() override { return changedEvent; }

    void Set(bool value) override;
    void Set(long value) override;
    void Set(int value) override;
    void Set(double value) override;
    void Set(const char* value) override;
    void Set(const TARNStackedString<40>& value) override;
    void Set(const TARNEnumStruct& value) override;
    void Set(const TARNStackedString<40>& values, int selected) override;

    void Get(bool& value) override;
    void Get(long& value) override;
    void Get(int& value) override;
    void Get(double& value) override;
    void Get(TARNStackedString<40>& value) override;
    void Get(TARNEnumStruct& value) override;
    void Get(TARNArray<TARNStackedString<40> >& values, int& selected) override;

    void SetSetCallback(SetCallback callback) override { setCallback = callback; }
    void SetGetCallback(GetCallback callback) override { getCallback = callback; }
    void Lock(bool valuesLocked) override { definition.fixedEnumValues = valuesLocked; }

    // The stored value; with a get-callback it is first refreshed through the owner's Get
    // (so that computed properties answer their current value).
    const TARNPropertyValue& PropertyValue();

    // The owning module was renamed: a full name made of `oldName`, a point and more takes
    // `newName` (empty when null) in place of `oldName`; any other full name stays, and the
    // short name never changes.
    void Rename(const char* oldName, const char* newName);

    // A per-element property (".subsampling", ".fifosize", ...) of the input or output
    // `element`: it lives and goes with that element, never with a dynamic re-creation.
    void BelongTo(const void* element) { this->element = element; }
    bool BelongsToElement() const { return element != nullptr; }
    bool BelongsTo(const void* element) const { return element != nullptr && this->element == element; }

    // ---- Fields, in their declared order ----------------------------------------------
    //
    // Public: the owner fills them at creation and reads and writes them under its
    // property lock.

    TARNStackedString<40> fullName;
    TARNStackedString<40> shortName;
    TARNPropertyValue value;
    // The definition's copy: its flags are the property's change rules (needsInit is the
    // must-be-set flag, modifiableWhileRunning changeable-after-start, fixedEnumValues
    // values-locked). The copy never holds the default value.
    TARNPropertyDefinition definition;
    TARNEvent changedEvent;
    TARNModule* owner;
    GetCallback getCallback;
    SetCallback setCallback;
    // Atomic: written under the property lock, but read by PropertyChanged and IsMutable
    // without it, from any thread.
    std::atomic<bool> changed;
    std::atomic<bool> mutableFlag;
    // The input or output this property belongs to; null for the module's own.
    const void* element = nullptr;

  private:
    // What the reference accessors answer when the value does not hold their kind: the
    // caller gets a neutral value and cannot write into the payload of another kind.
    long scratchInteger = 0;
    bool scratchBool = false;
    double scratchFloat = 0.0;
    TARNStackedString<40> scratchText;
};
