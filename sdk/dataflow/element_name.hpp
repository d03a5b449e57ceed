// The one rule by which a module's rename reaches the full names of its elements.
#pragma once

#include "tarn/engine/module_base.hpp"
#include "tarn/runtime/c_library.hpp"
#include "tarn/runtime/stacked_string.hpp"

namespace TARNPrivate {
// A full name made of `oldName`, a point and more takes `newName` (empty when null) in
// place of `oldName`: "cam" renames "cam.gain", never "camera.gain". With `whole`, a name
// that is `oldName` itself is renamed too (an output's name may have no point). Any other
// name stays.
inline void RenameElementName(TARNStackedString<40>& fullName, const char* oldName, const char* newName,
                              bool whole = false) {
    const bool itself = whole && fullName == oldName;
    if (!itself && !NamesElementOf(fullName.c_str(), fullName.Length(), oldName)) return;
    const int oldLength = TARN::Strlen(oldName);
    fullName = TARNStackedString<40>(newName != nullptr ? newName : "") + (fullName.c_str() + oldLength);
}
}  // namespace TARNPrivate
