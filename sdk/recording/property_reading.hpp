// Reading a module's property by its short name where a missing or unreadable property
// counts as empty (texts) or false (flags): how the record side reads its own settings and
// the recorder's.
#pragma once

#include <string>

class TARNModule;

namespace TARNPrivate {

// The text of `module`'s property `shortName`; empty when there is none or it is no text.
std::string PropertyText(TARNModule& module, const char* shortName);
// The flag; false when there is none or it is no flag.
bool PropertyFlag(TARNModule& module, const char* shortName);
// True when the engine knows a property of that full name.
bool EngineHasProperty(const std::string& fullName);
// The text of the engine property of that full name, read through its owner; empty when
// there is none.
std::string EnginePropertyText(const std::string& fullName);

}  // namespace TARNPrivate
