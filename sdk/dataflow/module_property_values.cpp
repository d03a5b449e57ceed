// The module side of property values: the guarded Set of every kind, the unguarded
// DirectSet, the typed Get, the readers on another module and by name, the period
// statistics and the callbacks of the processor and performance properties.
//
// Locks: a Set or Get takes the module lock, then the property lock, and calls the
// property's callbacks under both. Callbacks need the module lock (the thread list, the
// element lists); taking it under the property lock while readers by name take the
// property lock under the module lock would deadlock two threads.
#include <unistd.h>

#include "dataflow/module.hpp"
#include "dataflow/module_thread.hpp"
#include "dataflow/property.hpp"
#include "engine/engine_time.hpp"
#include "engine/reports.hpp"
#include "runtime/folders.hpp"
#include "runtime/streamed_string.hpp"
#include "runtime/text_conversion.hpp"

namespace {

using Value = TARNPropertyValue;

TARNPropertyImplementation& implementationOf(TARNProperty& property) {
    return static_cast<TARNPropertyImplementation&>(property);
}

// The module lock, then the property lock, released in reverse order on every way out.
class PropertyLocks {
  public:
    explicit PropertyLocks(TARNModule& module)
        : m_module(module.moduleLock), m_property(module.propertyLock) {}
    // The property lock alone, for a report that must not be made under it.
    void ReleaseProperty() { m_property.Unlock(); }

  private:
    TARNMutexGuard m_module;
    TARNMutexGuard m_property;
};

// A readable file: tried as given, then in the locale's encoding.
bool isReadable(const char* path) {
    if (access(path, R_OK) == 0) return true;
    char* localePath = TARNIconv::UTF8ToLocale(path);
    const bool readable = localePath != nullptr && access(localePath, R_OK) == 0;
    TARNIconv::releaseLocale(localePath);
    return readable;
}

// " [0..n-1]", " [0]" for one value, " [-1]" for none.
TARNStreamedString indexRange(int count) {
    TARNStreamedString range;
    if (count == 0) {
        range << " [-1]";
        return range;
    }
    range << " [0";
    if (count > 1) range << ".." << count - 1;
    range << "]";
    return range;
}

TARNStreamedString indexNotAmongValues(long index, const TARNStackedString<40>& fullName, int count) {
    TARNStreamedString message;
    message << "Index " << index << " not among possible values for enum property " << fullName.c_str()
            << indexRange(count).c_str();
    return message;
}

void markChanged(TARNPropertyImplementation& property) {
    property.changed = true;
    property.changedEvent.Set();
}

TARNStackedString<40>& textOf(TARNPropertyValue& value) {
    if (value.string == nullptr) value.string = new TARNStackedString<40>();
    return *value.string;
}

TARNEnumStruct& enumerationOf(TARNPropertyValue& value) {
    if (value.enumeration == nullptr) value.enumeration = new TARNEnumStruct();
    return *value.enumeration;
}

// The index of the first name equal to `text` (same length, same bytes), or -1.
int indexOfName(const TARNEnumStruct& enumeration, const TARNStackedString<40>& text) {
    for (int i = 0; i < enumeration.Count(); ++i)
        if (enumeration.Name(i) == text) return i;
    return -1;
}

}  // namespace

// ---- Guarded setters ------------------------------------------------------------------

namespace {

constexpr unsigned int None = 0xFFFFFFFF;

// True when the property holds one of the two kinds; otherwise a module error with the
// message and the full name. Error throws; should an override return, the caller still
// gives up, so that no value of another kind is ever written into the property.
bool fits(TARNModule& module, TARNPropertyImplementation& property, const char* message,
          unsigned int accepted, unsigned int alsoAccepted) {
    if (property.value.type == accepted || property.value.type == alsoAccepted) return true;
    module.Error((message + property.fullName).c_str(), 1, 0);
    return false;
}

// The change rules of a guarded Set, in their order, then the kinds it accepts; each
// refusal is a module error. No lock is held.
bool checkSet(TARNModule& module, TARNPropertyImplementation& property, const char* typeMessage,
              unsigned int accepted, unsigned int alsoAccepted) {
    const TARNStackedString<40> failure =
        "Failure while trying to set value of property " + property.fullName;
    const char* rule = nullptr;
    if (!property.definition.modifiableWhileRunning && (module.State() & TARNModule::Running))
        rule = ". This property can't be modified after start.";
    else if (property.definition.readOnly)
        rule = ". This property is read only.";
    else if (!property.IsMutable())
        rule = ". This property is not mutable.";
    if (rule != nullptr) {
        module.Error((failure + rule).c_str(), 1, 0);
        return false;
    }
    return fits(module, property, typeMessage, accepted, alsoAccepted);
}

// What every guarded store ends with, under both locks: the must-be-set flag goes, the
// set-callback runs, and only when it returns is the change announced.
void finishSet(TARNPropertyImplementation& property) {
    property.definition.needsInit = false;
    if (property.setCallback != nullptr) property.setCallback(property);
    markChanged(property);
}

}  // namespace

void TARNModule::Set(TARNProperty& property, bool value) {
    TARNPropertyImplementation& p = implementationOf(property);
    if (!checkSet(*this, p, "Can't set boolean value for property ", Value::Bool, None)) return;
    PropertyLocks locks(*this);
    p.value.boolean = value;
    finishSet(p);
}

void TARNModule::Set(TARNProperty& property, long value) {
    TARNPropertyImplementation& p = implementationOf(property);
    if (!checkSet(*this, p, "Can't set integer value for property ", Value::Integer, Value::Enumeration))
        return;
    PropertyLocks locks(*this);
    if (p.value.type == Value::Integer) {
        p.value.integer = value;
    } else {
        TARNEnumStruct& enumeration = enumerationOf(p.value);
        const int count = enumeration.Count();
        if (count == 0) {
            // Without names only "no selection" is possible.
            if (value != -1) Report(indexNotAmongValues(value, p.fullName, 0).c_str(), 2, 0);
            enumeration.selected = -1;
        } else if (value < 0 || value >= count) {
            // Reported; the selection stays, as with DirectSet.
            Report(indexNotAmongValues(value, p.fullName, count).c_str(), 2, 0);
        } else {
            enumeration.selected = static_cast<int>(value);
        }
    }
    finishSet(p);
}

void TARNModule::Set(TARNProperty& property, double value) {
    TARNPropertyImplementation& p = implementationOf(property);
    if (!checkSet(*this, p, "Can't set float value for property ", Value::Float, None)) return;
    PropertyLocks locks(*this);
    p.value.floating = value;
    finishSet(p);
}

void TARNModule::Set(TARNProperty& property, const TARNStackedString<40>& value) {
    TARNPropertyImplementation& p = implementationOf(property);
    if (!checkSet(*this, p, "Can't set string value for property ", Value::String, Value::Enumeration))
        return;
    PropertyLocks locks(*this);
    if (p.value.type == Value::String) {
        // A path that must exist is tested, but stored whatever the outcome: the user may
        // create it before the component starts.
        const unsigned int subType = p.definition.subType;
        if ((subType & TARNPropertySubType::Path) && !value.IsEmpty()) {
            if (subType & TARNPropertySubType::File) {
                if (!isReadable(value.c_str()))
                    TARN::ReportError((value + " does not exist or is not readable.").c_str(), 0);
            } else if (subType & TARNPropertySubType::Folder) {
                if (!TARN::IsFolder(value.c_str()))
                    TARN::ReportError((value + " is not a directory.").c_str(), 0);
            }
        }
        textOf(p.value) = value;
    } else {
        TARNEnumStruct& enumeration = enumerationOf(p.value);
        if (TARNEnumStruct::IsEnumString(value)) {
            enumeration.FromString(value, p.definition.fixedEnumValues);
        } else if (enumeration.Count() > 0) {
            if (!enumeration.Select(value))
                Report((value + " does not match any of the possible properties for property " + p.fullName)
                           .c_str(),
                       2, 0);
        } else {
            Report(("No possible value for property " + p.fullName).c_str(), 2, 0);
        }
    }
    finishSet(p);
}

void TARNModule::Set(TARNProperty& property, const TARNEnumStruct& value) {
    TARNPropertyImplementation& p = implementationOf(property);
    if (!checkSet(*this, p, "Can't set enum values for property ", Value::Enumeration, None)) return;
    PropertyLocks locks(*this);
    enumerationOf(p.value).Copy(value);
    finishSet(p);
}

void TARNModule::Set(TARNProperty& property, const TARNStackedString<40>& values, int selected) {
    TARNPropertyImplementation& p = implementationOf(property);
    if (!checkSet(*this, p, "Can't set enum values for property ", Value::Enumeration, None)) return;
    const TARNEnumStruct enumeration(values.c_str(), selected);
    PropertyLocks locks(*this);
    enumerationOf(p.value).Copy(enumeration);
    finishSet(p);
}

// ---- Unguarded setters ----------------------------------------------------------------

void TARNModule::DirectSet(TARNProperty& property, bool value) {
    TARNPropertyImplementation& p = implementationOf(property);
    if (!fits(*this, p, "Can't set boolean value for property ", Value::Bool, None)) return;
    PropertyLocks locks(*this);
    p.value.boolean = value;
    markChanged(p);
}

void TARNModule::DirectSet(TARNProperty& property, long value) {
    TARNPropertyImplementation& p = implementationOf(property);
    if (!fits(*this, p, "Can't set integer value for property ", Value::Integer, Value::Enumeration)) return;
    PropertyLocks locks(*this);
    if (p.value.type == Value::Integer) {
        p.value.integer = value;
    } else {
        TARNEnumStruct& enumeration = enumerationOf(p.value);
        const int count = enumeration.Count();
        if (count == 0) {
            if (value != -1) Report(indexNotAmongValues(value, p.fullName, 0).c_str(), 2, 0);
            enumeration.selected = -1;
        } else if (value < 0 || value >= count) {
            Report(indexNotAmongValues(value, p.fullName, count).c_str(), 2, 0);
        } else {
            enumeration.selected = static_cast<int>(value);
        }
    }
    markChanged(p);
}

void TARNModule::DirectSet(TARNProperty& property, double value) {
    TARNPropertyImplementation& p = implementationOf(property);
    if (!fits(*this, p, "Can't set float value for property ", Value::Float, None)) return;
    PropertyLocks locks(*this);
    p.value.floating = value;
    markChanged(p);
}

void TARNModule::DirectSet(TARNProperty& property, const TARNStackedString<40>& value) {
    TARNPropertyImplementation& p = implementationOf(property);
    if (!fits(*this, p, "Can't set string value for property ", Value::String, Value::Enumeration)) return;
    PropertyLocks locks(*this);
    if (p.value.type == Value::String) {
        textOf(p.value) = value;
        markChanged(p);
        return;
    }
    TARNEnumStruct& enumeration = enumerationOf(p.value);
    if (TARNEnumStruct::IsEnumString(value)) {
        enumeration.FromString(value, false);
    } else if (enumeration.Count() == 0) {
        locks.ReleaseProperty();
        Report(("No possible value for enum property " + p.fullName).c_str(), 2, 0);
        return;
    } else {
        const int index = indexOfName(enumeration, value);
        if (index >= 0)
            enumeration.selected = index;
        else
            Report(("\"" + value + "\" not among possible values for enum property " + p.fullName).c_str(), 2,
                   0);
    }
    markChanged(p);
}

void TARNModule::DirectSet(TARNProperty& property, const TARNEnumStruct& value) {
    TARNPropertyImplementation& p = implementationOf(property);
    if (!fits(*this, p, "Can't set enum values for property ", Value::Enumeration, None)) return;
    PropertyLocks locks(*this);
    enumerationOf(p.value).Copy(value);
    markChanged(p);
}

void TARNModule::DirectSet(TARNProperty& property, const TARNStackedString<40>& values, int selected) {
    TARNPropertyImplementation& p = implementationOf(property);
    if (!fits(*this, p, "Can't set enum values for property ", Value::Enumeration, None)) return;
    const TARNEnumStruct enumeration(values.c_str(), selected);
    PropertyLocks locks(*this);
    enumerationOf(p.value).Copy(enumeration);
    markChanged(p);
}

// ---- Getters --------------------------------------------------------------------------
//
// The stored value is copied under both locks; the get-callback then runs, still under
// them, with the caller's variable and may replace what was copied.

void TARNModule::Get(TARNProperty& property, bool& value) {
    TARNPropertyImplementation& p = implementationOf(property);
    if (!fits(*this, p, "Can't get boolean value from property ", Value::Bool, None)) return;
    PropertyLocks locks(*this);
    value = p.value.boolean;
    if (p.getCallback != nullptr) p.getCallback(p, &value);
}

void TARNModule::Get(TARNProperty& property, long& value) {
    TARNPropertyImplementation& p = implementationOf(property);
    if (!fits(*this, p, "Can't get integer value from property ", Value::Integer, Value::Enumeration)) return;
    PropertyLocks locks(*this);
    value = p.value.type == Value::Integer ? p.value.integer : enumerationOf(p.value).selected;
    if (p.getCallback != nullptr) p.getCallback(p, &value);
}

void TARNModule::Get(TARNProperty& property, double& value) {
    TARNPropertyImplementation& p = implementationOf(property);
    if (!fits(*this, p, "Can't get floating point value from property ", Value::Float, None)) return;
    PropertyLocks locks(*this);
    value = p.value.floating;
    if (p.getCallback != nullptr) p.getCallback(p, &value);
}

void TARNModule::Get(TARNProperty& property, TARNStackedString<40>& value) {
    TARNPropertyImplementation& p = implementationOf(property);
    if (!fits(*this, p, "Can't get string value from property ", Value::String, Value::Enumeration)) return;
    PropertyLocks locks(*this);
    if (p.value.type == Value::String) {
        value = p.value.string != nullptr ? *p.value.string : TARNStackedString<40>();
        if (p.getCallback != nullptr) p.getCallback(p, &value);
        return;
    }
    // An enumeration answers its selected name, or the empty text without a selection;
    // its get-callback, if any, serves the enumeration form only.
    const TARNEnumStruct& enumeration = enumerationOf(p.value);
    if (enumeration.selected >= 0 && enumeration.selected < enumeration.Count())
        value = enumeration.Name(enumeration.selected);
    else
        value = "";
}

void TARNModule::Get(TARNProperty& property, TARNEnumStruct& value) {
    TARNPropertyImplementation& p = implementationOf(property);
    if (!fits(*this, p, "Can't get enum values from property ", Value::Enumeration, None)) return;
    PropertyLocks locks(*this);
    value.Copy(enumerationOf(p.value));
    if (p.getCallback != nullptr) p.getCallback(p, &value);
}

// ---- Reading a property of a given module ---------------------------------------------

namespace {

// Reads through the property's own Get (which reaches its owner's virtual Get) under
// `module`'s locks, when the property's type is one of the two given.
template <class V>
bool readWithLocks(TARNModule& module, TARNProperty& property, V& value, unsigned int accepted,
                   unsigned int alsoAccepted) {
    PropertyLocks locks(module);
    const unsigned int type = property.Type();
    if (type != accepted && type != alsoAccepted) return false;
    property.Get(value);
    return true;
}

}  // namespace

bool TARNModule::Get(TARNModule& module, TARNProperty& property, bool& value) {
    return readWithLocks(module, property, value, Value::Bool, None);
}

bool TARNModule::Get(TARNModule& module, TARNProperty& property, long& value) {
    return readWithLocks(module, property, value, Value::Integer, Value::Enumeration);
}

bool TARNModule::Get(TARNModule& module, TARNProperty& property, double& value) {
    return readWithLocks(module, property, value, Value::Float, None);
}

bool TARNModule::Get(TARNModule& module, TARNProperty& property, TARNEnumStruct& value) {
    return readWithLocks(module, property, value, Value::Enumeration, None);
}

bool TARNModule::Get(TARNModule& module, TARNProperty& property, TARNStackedString<40>& value) {
    return readWithLocks(module, property, value, Value::String, Value::Enumeration);
}

void TARNModule::GetProperty(const char* name, bool& value) {
    TARNMutexGuard guard(moduleLock);
    Get(Property(name), value);
}

void TARNModule::GetProperty(const char* name, long& value) {
    TARNMutexGuard guard(moduleLock);
    Get(Property(name), value);
}

// ---- Period statistics ----------------------------------------------------------------

void TARNModule::PerformanceMonitoring() {
    // A module built without the statistics properties keeps none.
    if (counterProperty == nullptr || nbPeriodsProperty == nullptr) return;

    long counter = 0;
    Get(*counterProperty, counter);
    DirectSet(*counterProperty, counter + 1);

    long periods = 0;
    Get(*nbPeriodsProperty, periods);
    // A window of no slot would leave nothing to average: below 1 counts as 1.
    const int N = periods < 1 ? 1 : static_cast<int>(periods);
    const long now = TARN::CurrentTime(true, true);

    if (nbPeriodsProperty->PropertyChanged()) {
        // A new window: this call only records the time, the next one measures.
        periodWindow.Clear();
        for (int i = 0; i < N; ++i) periodWindow(i) = -1;
        nbPeriodsProperty->AcknowledgePropertyChanged();
        writeIndex = 0;
        periodSum = 0;
        periodsSeen = 1;
        lastCallTime = now;
        return;
    }
    if (periodsSeen == 0) {
        periodsSeen = 1;
        lastCallTime = now;
        return;
    }

    const bool full = periodsSeen > N;
    const int inUse = full ? N : periodsSeen;
    const long dropped = periodsSeen > 1 ? periodWindow[writeIndex] : -1;
    const long period = now - lastCallTime;
    lastCallTime = now;
    periodWindow[writeIndex] = period;
    periodSum += period;
    if (full) periodSum -= dropped;

    long minimum = periodWindow[0];
    long maximum = periodWindow[0];
    for (int i = 1; i < inUse; ++i) {
        if (periodWindow[i] < minimum) minimum = periodWindow[i];
        if (periodWindow[i] > maximum) maximum = periodWindow[i];
    }
    DirectSet(*averagePeriodProperty, periodSum / inUse);
    DirectSet(*maxPeriodProperty, maximum);
    DirectSet(*minPeriodProperty, minimum);

    ++periodsSeen;
    if (++writeIndex >= N) writeIndex = 0;
}

// ---- Callbacks of the standard properties ---------------------------------------------

void TARNModule::SetProcessorProperty(TARNProperty& property) {
    TARNModule* module = property.Owner();
    // The guarded Set already holds the module lock; the thread list needs it.
    TARNMutexGuard guard(module->moduleLock);
    const int processor = static_cast<int>(property.IntegerValue());
    for (TARNThread* thread : module->threads) thread->SetProcessor(processor);
}

void TARNModule::GetPerfMonProperties(TARNProperty& property, void* result) {
    TARNModule* module = property.Owner();
    const bool contextSwitches = &property == module->contextSwitchesProperty;
    if (!contextSwitches && &property != module->CPULoadProperty) return;
    TARNMutexGuard guard(module->moduleLock);
    int sum = 0;
    for (TARNThread* thread : module->threads)
        sum += contextSwitches ? thread->GetContextSwitches() : thread->GetCPULoad();
    *static_cast<long*>(result) = (sum + 50) / 100;
}
