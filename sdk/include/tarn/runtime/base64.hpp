// Base64 (RFC 4648, standard alphabet) between the bytes of a string and their text form.
#pragma once

#include "tarn/runtime/stacked_string.hpp"

// The bytes of a string are its Length() bytes, so binary data with NULs passes through.
// Both operations may be given the same string as input and output.
class TARNBase64 {
  public:
    // Three bytes become four characters; the last group is padded with "=". No line
    // breaks, however long the text.
    static void Encode(const TARNStackedString<40>& in, TARNStackedString<40>& out);
    // Characters outside the alphabet ("=", blanks, line breaks, anything else) are
    // skipped, and padding is not required: two values left at the end give one byte,
    // three give two, a single one is dropped. Never fails.
    static void Decode(const TARNStackedString<40>& in, TARNStackedString<40>& out);
};
