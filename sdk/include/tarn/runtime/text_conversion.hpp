// Conversion of texts between the process locale's encoding, UTF-8 and wide text.
#pragma once

#include "tarn/runtime/stacked_string.hpp"

// One conversion direction with its own lock. Opaque: the system's descriptor stays inside
// the SDK's library, so users of this header never see the iconv types.
struct TARNIconvHandle;

// The process-wide converter behind TARNIconv; opaque, inside the SDK's library.
class TARNIconvImplementation;

// Static facade over the one process-wide converter, created when the library is loaded.
// Buffers returned by the converting operations belong to the caller, who frees them
// with the matching release operation (releaseLocale, releaseUTF8, releaseWide).
// Every operation may be called from any thread.
class TARNIconv {
  public:
    // A new descriptor converting from `from` to `to` (note: the reverse order of
    // iconv_open), or null when the system library refuses the pair.
    static TARNIconvHandle* open(const char* from, const char* to);
    // Closes the descriptor and deletes the handle; null is ignored.
    static void close(TARNIconvHandle* handle);
    // Converts exactly `length` bytes of `input`. Returns a new buffer (release it with
    // releaseUTF8 or releaseLocale) or null for a null handle or input, or an invalid or
    // incomplete input sequence. The buffer is followed by four zero bytes so that a
    // conversion of a text given without its terminator still reads as a terminated text.
    static char* convert(TARNIconvHandle* handle, const char* input, unsigned long length);

    // NUL-terminated texts, converted with their terminator; null for a null input or a
    // failed conversion.
    static char* localeToUTF8(const char* text);
    static char* UTF8ToLocale(const char* text);
    static char* wideToUTF8(const wchar_t* text);
    static wchar_t* UTF8ToWide(const char* text);

    // The same into a string: 1 on success, 0 for a null input or a failed conversion
    // (the string is then left unchanged).
    static int localeToUTF8(const char* text, TARNStackedString<40>& result);
    static int wideToUTF8(const wchar_t* text, TARNStackedString<40>& result);

    // Free a buffer returned above; null is ignored.
    static void releaseLocale(char* buffer);
    static void releaseWide(wchar_t* buffer);
    static void releaseUTF8(char* buffer);

    // True when the locale's code set is UTF-8 ("utf8" or "utf-8", any case).
    static bool isLocaleUTF8();

    // Number of characters (wide characters) of a UTF-8 text; -1 for an empty string or
    // a text that is not valid UTF-8.
    static int NbColumns(const TARNStackedString<40>& text);

  private:
    static TARNIconvImplementation& impl();
};
