// Stream-style formatting of numbers and texts onto a TARNStackedString<40>.
#pragma once

#include "tarn/runtime/stacked_string.hpp"

// Manipulators of TARNStreamedString. A type of its own, so that streaming the integer 16
// appends "16" and only TARNSManip::endl appends a line feed; constant expressions, so
// that module declarations running before any other static can already use them.
enum class TARNSManip : int {
    dec = 0,    // integers in decimal (the initial base)
    hex = 1,    // integers in lowercase hexadecimal
    oct = 2,    // integers in octal
    endl = 16,  // appends a line feed
    ends = 17,  // appends a NUL that counts in the length
};

// A TARNStackedString<40> with operator<< appending numbers and texts. Integers follow
// the base chosen by the last manipulator; floating values are always "%.10g".
class TARNStreamedString : public TARNStackedString<40> {
  public:
    TARNStreamedString() = default;
    TARNStreamedString(const char* text) : TARNStackedString<40>(text) {}
    TARNStreamedString(const TARNStackedString<40>& text) : TARNStackedString<40>(text) {}
    // Text assignment keeps the chosen base.
    using TARNStackedString<40>::operator=;

    // Base selector in the low four bits: bit 0 hexadecimal, else bit 1 octal, else decimal.
    int Flags() const { return flags; }

    // dec, hex and oct replace the low four bits of the flags; endl appends "\n"; ends
    // appends a NUL character; any other value changes nothing.
    TARNStreamedString& operator<<(TARNSManip manipulator);

    TARNStreamedString& operator<<(short value);
    TARNStreamedString& operator<<(unsigned short value);
    TARNStreamedString& operator<<(int value);
    TARNStreamedString& operator<<(unsigned int value);
    TARNStreamedString& operator<<(long value);
    TARNStreamedString& operator<<(unsigned long value);
    TARNStreamedString& operator<<(long long value) { return *this << static_cast<long>(value); }
    TARNStreamedString& operator<<(unsigned long long value) {
        return *this << static_cast<unsigned long>(value);
    }
    // "%.10g" whatever the base; a float is widened to double first.
    TARNStreamedString& operator<<(float value);
    TARNStreamedString& operator<<(double value);
    // "%p".
    TARNStreamedString& operator<<(const void* pointer);
    // The NUL-terminated text (null appends nothing). Without this overload a literal
    // would be streamed as a pointer.
    TARNStreamedString& operator<<(const char* text);
    TARNStreamedString& operator<<(char* text) { return *this << static_cast<const char*>(text); }
    // One character, as a text of length one.
    TARNStreamedString& operator<<(char character);

  private:
    // A value of the given width in the given base, whatever the flags.
    void _printHex16(unsigned short value);
    void _printOct16(unsigned short value);
    void _printHex32(unsigned int value);
    void _printOct32(unsigned int value);
    void _printHex64(unsigned long value);
    void _printOct64(unsigned long value);

    // Formats one value into a small local buffer and appends it.
    template <class V>
    void appendFormatted(const char* format, V value);

    bool hexadecimal() const { return (flags & 1) != 0; }
    bool octal() const { return (flags & 2) != 0; }

    int flags = 0;
};

// Appends the string's characters up to its length or its first NUL, whichever comes first.
TARNStreamedString& operator<<(TARNStreamedString& stream, const TARNStackedString<40>& string);
