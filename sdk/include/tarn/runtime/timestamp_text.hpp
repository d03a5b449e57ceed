// The text form of timestamps (signed counts of microseconds).
#pragma once

#include "tarn/runtime/stacked_string.hpp"

namespace TARN {

// "[-][H:]MM:SS.uuuuuu": hours only when there are any, without leading zeros; every
// value, the most negative included, has a text that reads back to it.
TARNStackedString<40> Timestamp2String(long timestamp);
// Reads "S", "M:S" or "H:M:S", each optionally followed by "." and up to six digits of a
// fraction of a second; a leading "-" (even "-0") makes the whole value negative. A null
// or empty text gives -1. `end`, when given, receives the position after the text read.
// Values beyond the range of a timestamp are held to it.
long TimestampFromString(const char* text, char** end = nullptr);

}  // namespace TARN
