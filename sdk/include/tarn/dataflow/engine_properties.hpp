// Reading engine properties and other modules' properties by full name: "Engine.id", or a
// module name, a point and the property's short name.
#pragma once

#include "tarn/engine/engine_graph.hpp"
#include "tarn/engine/enum_struct.hpp"
#include "tarn/runtime/stacked_string.hpp"

// TARN::GetBoolProperty, TARN::GetIntegerProperty and TARN::GetFloatProperty (the
// engine's own readers, engine_graph.hpp) come with this header too.
namespace TARN {
// The value of a text or enumeration property as text (an enumeration gives its selected
// name): found under the kernel's symbol-table lock, read through its owning module under
// that module's locks (the symbol-table lock is not held across the read). On failure
// (no such property, another type, or an exception while reading) the result is empty and:
// with `ok` given, *ok is false and nothing is reported; without it the failure is
// reported at level 2 and the integer -5 thrown. On success *ok is true.
TARNStackedString<40> GetStringProperty(const char* name, bool* ok = nullptr);
// The same for enumeration properties only, giving the whole enumeration.
TARNEnumStruct GetEnumsProperty(const char* name, bool* ok = nullptr);
}  // namespace TARN
