// The module side of property values: the guarded Set of every kind, the unguarded
// DirectSet, the typed Get, the readers on another module and by name, the period
// statistics and the callbacks of the processor and performance properties.
//
// Locks: a Set or Get takes the module lock, then the property lock, and calls the
// property's callbacks under both. Callbacks need the module lock (the thread list, the
// element lists); taking it under the property lock while readers by name take the
// property lock under the module lock would deadlock two threads.
#include <unistd.h>

#include <climits>

#include "dataflow/property_implementation.hpp"
#include "tarn/dataflow/module.hpp"
#include "tarn/dataflow/module_thread.hpp"
#include "tarn/engine/engine_time.hpp"
#include "tarn/engine/reports.hpp"
#include "tarn/runtime/folders.hpp"
#include "tarn/runtime/streamed_string.hpp"
#include "tarn/runtime/text_conversion.hpp"

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

// The guarded Set of every kind: the change rules and the kinds it accepts (`typeMessage`
// otherwise), then, under both locks, `store` and finishSet.
template <class Store>
void guardedSet(TARNModule& module, TARNProperty& property, const char* typeMessage, unsigned int accepted,
                unsigned int alsoAccepted, Store store) {
    TARNPropertyImplementation& p = implementationOf(property);
    if (!checkSet(module, p, typeMessage, accepted, alsoAccepted)) return;
    PropertyLocks locks(module);
    store(p);
    finishSet(p);
}

// The DirectSet of every kind: only the kinds it accepts are checked, then, under both
// locks, `store` runs and the change is announced when it answers true. `store` may
// release the property lock early (to report outside it) and answer false.
template <class Store>
void directSet(TARNModule& module, TARNProperty& property, const char* typeMessage, unsigned int accepted,
               unsigned int alsoAccepted, Store store) {
    TARNPropertyImplementation& p = implementationOf(property);
    if (!fits(module, p, typeMessage, accepted, alsoAccepted)) return;
    PropertyLocks locks(module);
    if (store(p, locks)) markChanged(p);
}

// An integer property takes `value`; an enumeration selects that index. An index outside
// the names is reported and leaves the selection; without names only "no selection" (-1)
// is possible, and any other index is reported too.
void storeInteger(TARNModule& module, TARNPropertyImplementation& p, long value) {
    if (p.value.type == Value::Integer) {
        p.value.integer = value;
        return;
    }
    TARNEnumStruct& enumeration = enumerationOf(p.value);
    const int count = enumeration.Count();
    if (count == 0) {
        if (value != -1) module.Report(indexNotAmongValues(value, p.fullName, 0).c_str(), 2, 0);
        enumeration.selected = -1;
    } else if (value < 0 || value >= count) {
        module.Report(indexNotAmongValues(value, p.fullName, count).c_str(), 2, 0);
    } else {
        enumeration.selected = static_cast<int>(value);
    }
}

}  // namespace

void TARNModule::Set(TARNProperty& property, bool value) {
    guardedSet(*this, property, "Can't set boolean value for property ", Value::Bool, None,
               [&](TARNPropertyImplementation& p) { p.value.boolean = value; });
}

void TARNModule::Set(TARNProperty& property, long value) {
    guardedSet(*this, property, "Can't set integer value for property ", Value::Integer, Value::Enumeration,
               [&](TARNPropertyImplementation& p) { storeInteger(*this, p, value); });
}

void TARNModule::Set(TARNProperty& property, double value) {
    guardedSet(*this, property, "Can't set float value for property ", Value::Float, None,
               [&](TARNPropertyImplementation& p) { p.value.floating = value; });
}

void TARNModule::Set(TARNProperty& property, const TARNStackedString<40>& value) {
    guardedSet(
        *this, property, "Can't set string value for property ", Value::String, Value::Enumeration,
        [&](TARNPropertyImplementation& p) {
            if (p.value.type == Value::String) {
                // A path that must exist is tested, but stored whatever the outcome:
                // the user may create it before the component starts.
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
                return;
            }
            TARNEnumStruct& enumeration = enumerationOf(p.value);
            if (TARNEnumStruct::IsEnumString(value)) {
                enumeration.FromString(value, p.definition.fixedEnumValues);
            } else if (enumeration.Count() > 0) {
                if (!enumeration.Select(value))
                    Report(
                        (value + " does not match any of the possible properties for property " + p.fullName)
                            .c_str(),
                        2, 0);
            } else {
                Report(("No possible value for property " + p.fullName).c_str(), 2, 0);
            }
        });
}

void TARNModule::Set(TARNProperty& property, const TARNEnumStruct& value) {
    guardedSet(*this, property, "Can't set enum values for property ", Value::Enumeration, None,
               [&](TARNPropertyImplementation& p) { enumerationOf(p.value).Copy(value); });
}

void TARNModule::Set(TARNProperty& property, const TARNStackedString<40>& values, int selected) {
    guardedSet(*this, property, "Can't set enum values for property ", Value::Enumeration, None,
               [&](TARNPropertyImplementation& p) {
                   enumerationOf(p.value).Copy(TARNEnumStruct(values.c_str(), selected));
               });
}

// ---- Unguarded setters ----------------------------------------------------------------

void TARNModule::DirectSet(TARNProperty& property, bool value) {
    directSet(*this, property, "Can't set boolean value for property ", Value::Bool, None,
              [&](TARNPropertyImplementation& p, PropertyLocks&) {
                  p.value.boolean = value;
                  return true;
              });
}

void TARNModule::DirectSet(TARNProperty& property, long value) {
    directSet(*this, property, "Can't set integer value for property ", Value::Integer, Value::Enumeration,
              [&](TARNPropertyImplementation& p, PropertyLocks&) {
                  storeInteger(*this, p, value);
                  return true;
              });
}

void TARNModule::DirectSet(TARNProperty& property, double value) {
    directSet(*this, property, "Can't set float value for property ", Value::Float, None,
              [&](TARNPropertyImplementation& p, PropertyLocks&) {
                  p.value.floating = value;
                  return true;
              });
}

void TARNModule::DirectSet(TARNProperty& property, const TARNStackedString<40>& value) {
    directSet(*this, property, "Can't set string value for property ", Value::String, Value::Enumeration,
              [&](TARNPropertyImplementation& p, PropertyLocks& locks) {
                  if (p.value.type == Value::String) {
                      textOf(p.value) = value;
                      return true;
                  }
                  TARNEnumStruct& enumeration = enumerationOf(p.value);
                  if (TARNEnumStruct::IsEnumString(value)) {
                      enumeration.FromString(value, false);
                  } else if (enumeration.Count() == 0) {
                      locks.ReleaseProperty();
                      Report(("No possible value for enum property " + p.fullName).c_str(), 2, 0);
                      return false;
                  } else {
                      const int index = indexOfName(enumeration, value);
                      if (index >= 0)
                          enumeration.selected = index;
                      else
                          Report(
                              ("\"" + value + "\" not among possible values for enum property " + p.fullName)
                                  .c_str(),
                              2, 0);
                  }
                  return true;
              });
}

void TARNModule::DirectSet(TARNProperty& property, const TARNEnumStruct& value) {
    directSet(*this, property, "Can't set enum values for property ", Value::Enumeration, None,
              [&](TARNPropertyImplementation& p, PropertyLocks&) {
                  enumerationOf(p.value).Copy(value);
                  return true;
              });
}

void TARNModule::DirectSet(TARNProperty& property, const TARNStackedString<40>& values, int selected) {
    directSet(*this, property, "Can't set enum values for property ", Value::Enumeration, None,
              [&](TARNPropertyImplementation& p, PropertyLocks&) {
                  enumerationOf(p.value).Copy(TARNEnumStruct(values.c_str(), selected));
                  return true;
              });
}

// ---- Getters --------------------------------------------------------------------------
//
// The stored value is copied under both locks; the get-callback then runs, still under
// them, with the caller's variable and may replace what was copied.

namespace {

// The Get of every kind: the kinds it accepts (`typeMessage` otherwise), then, under both
// locks, `read` fills `value` and the get-callback, if any, runs on it.
template <class V, class Read>
void checkedGet(TARNModule& module, TARNProperty& property, V& value, const char* typeMessage,
                unsigned int accepted, unsigned int alsoAccepted, Read read) {
    TARNPropertyImplementation& p = implementationOf(property);
    if (!fits(module, p, typeMessage, accepted, alsoAccepted)) return;
    PropertyLocks locks(module);
    value = read(p);
    if (p.getCallback != nullptr) p.getCallback(p, &value);
}

}  // namespace

void TARNModule::Get(TARNProperty& property, bool& value) {
    checkedGet(*this, property, value, "Can't get boolean value from property ", Value::Bool, None,
               [](TARNPropertyImplementation& p) { return p.value.boolean; });
}

void TARNModule::Get(TARNProperty& property, long& value) {
    checkedGet(*this, property, value, "Can't get integer value from property ", Value::Integer,
               Value::Enumeration, [](TARNPropertyImplementation& p) {
                   return p.value.type == Value::Integer ? p.value.integer : enumerationOf(p.value).selected;
               });
}

void TARNModule::Get(TARNProperty& property, double& value) {
    checkedGet(*this, property, value, "Can't get floating point value from property ", Value::Float, None,
               [](TARNPropertyImplementation& p) { return p.value.floating; });
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
    // A window of no slot would leave nothing to average: below 1 counts as 1. Above the
    // int range the count is held at its top rather than cut to its low bits (2^32 would
    // read as 0).
    const int N = periods < 1 ? 1 : periods > INT_MAX ? INT_MAX : static_cast<int>(periods);
    const long now = TARN::CurrentTime(true, true);

    // A window of another size than "nbPeriods" is one whose change was acknowledged
    // elsewhere (or came while this call read the value): it restarts too, or the write
    // index would run past the slots the window has.
    if (nbPeriodsProperty->PropertyChanged() || periodWindow.Size() != N) {
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

void TARNModule::RestartPeriodStatistics() {
    for (int i = 0; i < periodWindow.Size(); ++i) periodWindow[i] = -1;
    periodsSeen = 0;
    writeIndex = 0;
    periodSum = 0;
    lastCallTime = 0;
    for (TARNProperty* property : {counterProperty, averagePeriodProperty, minPeriodProperty, maxPeriodProperty})
        if (property != nullptr) DirectSet(*property, 0L);
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
