// Properties: the named, typed values through which a module is configured.
#pragma once

#include "tarn/engine/enum_struct.hpp"
#include "tarn/engine/event.hpp"
#include "tarn/engine/property_value.hpp"
#include "tarn/runtime/ring_array.hpp"
#include "tarn/runtime/stacked_string.hpp"

class TARNModule;

// The public interface of a property. The engine and other packages call it through the
// table, so the order of the virtual operations below is fixed.
//
// A property never changes its value by itself: every typed Set and Get goes to the
// owning module's virtual Set and Get, which apply the change rules under the module's
// locks. A component that overrides its module's Set or Get therefore sees every access.
class TARNProperty {
  public:
    using SetCallback = void (*)(TARNProperty& property);
    // `result` points to the caller's variable, of the property's type.
    using GetCallback = void (*)(TARNProperty& property, void* result);

    // Direct access to the stored value, without the owner's rules or callbacks. Callers
    // that use these while other threads may set the property hold the owner's property
    // lock. Asked for a kind the property does not hold, they answer a neutral value (0,
    // false, the empty text, null) that is not the property's.
    // 0: the integer; for an enumeration, the selected index itself (its 64-bit word, see
    // TARNEnumStruct::SelectionWord): writing it selects.
    virtual long& IntegerValue() = 0;
    // 1: a text, or the selected name of an enumeration (a selection beyond the names
    // first adds empty names up to it); the empty text otherwise.
    virtual TARNStackedString<40>& StringValue() = 0;
    virtual bool& BoolValue() = 0;             // 2
    virtual double& FloatValue() = 0;          // 3
    virtual TARNEnumStruct* EnumValues() = 0;  // 4
    // 5: the module name, a point and the short name.
    virtual const TARNStackedString<40>& Name() const = 0;
    virtual const TARNStackedString<40>& ShortName() const = 0;  // 6
    // 7: the definition's unit; may be null.
    virtual const char* Unit() const = 0;
    virtual TARNModule* Owner() = 0;  // 8
    // 9: a TARNPropertyValue tag (Bool, Integer, Float, String, Enumeration).
    virtual unsigned int Type() const = 0;
    // 10: the definition's TARNPropertySubType flags.
    virtual unsigned int SubType() const = 0;
    // 11: false for a read-only property, else the mutable flag.
    virtual bool IsMutable() const = 0;
    // 12: stores the mutable flag and answers IsMutable().
    virtual bool SetMutable(bool value) = 0;
    // 13: the value was stored since the last acknowledgement (true from creation).
    virtual bool PropertyChanged() const = 0;
    // 14: clears the changed flag and resets the changed event.
    virtual void AcknowledgePropertyChanged() = 0;
    // 15, 16: the event set with the changed flag.
    virtual TARNEvent* GetPropertyChangedEvent() = 0;
    virtual TARNEvent& PropertyChangedEvent() = 0;

    // 17 to 24: forwarded to the owner's Set.
    virtual void Set(bool value) = 0;
    virtual void Set(long value) = 0;
    virtual void Set(int value) = 0;
    virtual void Set(double value) = 0;
    // A null text is the empty text.
    virtual void Set(const char* value) = 0;
    virtual void Set(const TARNStackedString<40>& value) = 0;
    virtual void Set(const TARNEnumStruct& value) = 0;
    // An enumeration's names separated by "|", and the index to select.
    virtual void Set(const TARNStackedString<40>& values, int selected) = 0;

    // 25 to 31: forwarded to the owner's Get.
    virtual void Get(bool& value) = 0;
    virtual void Get(long& value) = 0;
    // The low 32 bits of the integer.
    virtual void Get(int& value) = 0;
    virtual void Get(double& value) = 0;
    virtual void Get(TARNStackedString<40>& value) = 0;
    virtual void Get(TARNEnumStruct& value) = 0;
    // An enumeration's names and its selected index.
    virtual void Get(TARNArray<TARNStackedString<40> >& values, int& selected) = 0;

    // 32, 33: the set-callback runs after each store by a guarded Set, the get-callback
    // after each Get has filled the result (and may change it). Null removes them.
    virtual void SetSetCallback(SetCallback callback) = 0;
    virtual void SetGetCallback(GetCallback callback) = 0;
    // 34: with the values locked, an enumeration text set on the property changes only
    // the selection, never the names.
    virtual void Lock(bool valuesLocked) = 0;

    virtual ~TARNProperty() = default;  // 35, 36
};
