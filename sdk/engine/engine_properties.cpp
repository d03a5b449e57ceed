#include "engine/engine_properties.hpp"

#include "dataflow/module.hpp"
#include "dataflow/property.hpp"
#include "engine/kernel.hpp"
#include "engine/kernel_pointer.hpp"
#include "engine/property_value.hpp"
#include "engine/reports.hpp"
#include "runtime/mutex.hpp"

namespace {

// Holds the kernel's symbol-table lock for a scope, released on every way out.
class SymbolTableLock {
  public:
    SymbolTableLock() { TARNPrivate::kernel->LockSymbols(); }
    ~SymbolTableLock() { TARNPrivate::kernel->UnlockSymbols(); }
    SymbolTableLock(const SymbolTableLock&) = delete;
    SymbolTableLock& operator=(const SymbolTableLock&) = delete;
};

// The steps both getters share; `accepts` tells the property types the getter reads and
// `typeMessage` what is said of the others.
//
// The lookup runs under the symbol-table lock, the read under the owner's module lock
// (then its property lock), never both nested that way round: creating an element takes
// the module lock and then, to register it, the symbol-table lock, so a getter holding the
// symbol-table lock while it waits for a module lock could deadlock with it. Removing a
// property takes its module's lock, so a property found again under that lock stays until
// it is read.
template <class Value>
Value readProperty(const char* name, bool* ok, bool (*accepts)(unsigned int type), const char* typeMessage) {
    // Failures: with `ok` the caller hears of them through it, without it by the report
    // and the -5 of a kernel error.
    auto fail = [&](const char* end, const char* begin) {
        if (ok != nullptr) {
            *ok = false;
            return Value();
        }
        TARNPrivate::KernelError((TARNStackedString<40>(begin) + name + end).c_str(), 1);
    };
    const char* undefined = ". The symbol is undefined.";
    const char* undefinedBegin = "Can't get value of property ";
    try {
        TARNProperty* property;
        TARNModule* owner;
        {
            SymbolTableLock lock;
            property = TARNPrivate::kernel->FindProperty(name);
            if (property == nullptr) return fail(undefined, undefinedBegin);
            if (!accepts(property->Type())) return fail(typeMessage, "Can't get string value of property ");
            owner = property->Owner();
        }

        TARNMutexGuard moduleLock(owner->moduleLock);
        {
            SymbolTableLock lock;
            // Removed (and perhaps replaced) while the module lock was awaited.
            if (TARNPrivate::kernel->FindProperty(name) != property) return fail(undefined, undefinedBegin);
        }
        Value value;
        // The type was checked above, so a false answer can only come from a property that
        // changed its type meanwhile: it is a failure, not an empty success.
        if (!TARNModule::Get(*owner, *property, value))
            return fail(typeMessage, "Can't get string value of property ");
        if (ok != nullptr) *ok = true;
        return value;
    } catch (...) {
        if (ok == nullptr) throw;
        *ok = false;
        return Value();
    }
}

bool stringOrEnumeration(unsigned int type) {
    return type == TARNPropertyValue::String || type == TARNPropertyValue::Enumeration;
}

bool enumeration(unsigned int type) {
    return type == TARNPropertyValue::Enumeration;
}

}  // namespace

namespace TARN {

TARNStackedString<40> GetStringProperty(const char* name, bool* ok) {
    return readProperty<TARNStackedString<40> >(name, ok, stringOrEnumeration,
                                                ". It is not a string or an enum.");
}

TARNEnumStruct GetEnumsProperty(const char* name, bool* ok) {
    return readProperty<TARNEnumStruct>(name, ok, enumeration, ". It is not an enum.");
}

}  // namespace TARN
