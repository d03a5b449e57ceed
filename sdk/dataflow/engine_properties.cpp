#include "tarn/dataflow/engine_properties.hpp"

#include "dataflow/property_by_name.hpp"
#include "engine/kernel.hpp"
#include "engine/kernel_pointer.hpp"
#include "tarn/dataflow/module.hpp"
#include "tarn/dataflow/property.hpp"
#include "tarn/engine/property_value.hpp"
#include "tarn/engine/reports.hpp"

namespace {

// The steps both getters share; `accepts` tells the property types the getter reads and
// `typeMessage` what is said of the others. The property is found under the symbol-table
// lock and read under its owner's module lock (TARNPropertyByName), released on every way
// out.
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
    try {
        const TARNPropertyByName found(*TARNPrivate::kernel, name);
        TARNProperty* property = found.Property();
        if (property == nullptr) return fail(". The symbol is undefined.", "Can't get value of property ");
        if (!accepts(property->Type())) return fail(typeMessage, "Can't get string value of property ");
        Value value;
        // The type was checked above, so a false answer can only come from a property that
        // changed its type meanwhile: it is a failure, not an empty success.
        if (!TARNModule::Get(*found.Owner(), *property, value))
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
