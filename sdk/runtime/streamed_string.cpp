#include "tarn/runtime/streamed_string.hpp"

#include <cstdio>

template <class V>
void TARNStreamedString::appendFormatted(const char* format, V value) {
    // Room for any 64-bit integer in any base and for the "%.10g" and "%p" forms.
    char buffer[32];
    const int n = std::snprintf(buffer, sizeof buffer, format, value);
    if (n > 0) concat(n < static_cast<int>(sizeof buffer) ? n : static_cast<int>(sizeof buffer) - 1, buffer);
}

void TARNStreamedString::_printHex16(unsigned short value) {
    appendFormatted("%x", static_cast<unsigned>(value));
}
void TARNStreamedString::_printOct16(unsigned short value) {
    appendFormatted("%o", static_cast<unsigned>(value));
}
void TARNStreamedString::_printHex32(unsigned int value) {
    appendFormatted("%x", value);
}
void TARNStreamedString::_printOct32(unsigned int value) {
    appendFormatted("%o", value);
}
void TARNStreamedString::_printHex64(unsigned long value) {
    appendFormatted("%lx", value);
}
void TARNStreamedString::_printOct64(unsigned long value) {
    appendFormatted("%lo", value);
}

TARNStreamedString& TARNStreamedString::operator<<(TARNSManip manipulator) {
    switch (manipulator) {
        case TARNSManip::dec:
        case TARNSManip::hex:
        case TARNSManip::oct:
            flags = (flags & ~0xF) | static_cast<int>(manipulator);
            break;
        case TARNSManip::endl:
            concat(1, "\n");
            break;
        case TARNSManip::ends:
            concat(1, "");  // the NUL itself, counted in the length
            break;
    }
    return *this;
}

// Hexadecimal and octal show the bit pattern of the operand's width: a short of -1 is
// "ffff", an int of -1 "ffffffff".

TARNStreamedString& TARNStreamedString::operator<<(short value) {
    if (hexadecimal())
        _printHex16(static_cast<unsigned short>(value));
    else if (octal())
        _printOct16(static_cast<unsigned short>(value));
    else
        appendFormatted("%d", static_cast<int>(value));
    return *this;
}

TARNStreamedString& TARNStreamedString::operator<<(unsigned short value) {
    if (hexadecimal())
        _printHex16(value);
    else if (octal())
        _printOct16(value);
    else
        appendFormatted("%u", static_cast<unsigned>(value));
    return *this;
}

TARNStreamedString& TARNStreamedString::operator<<(int value) {
    if (hexadecimal())
        _printHex32(static_cast<unsigned>(value));
    else if (octal())
        _printOct32(static_cast<unsigned>(value));
    else
        appendFormatted("%d", value);
    return *this;
}

TARNStreamedString& TARNStreamedString::operator<<(unsigned int value) {
    if (hexadecimal())
        _printHex32(value);
    else if (octal())
        _printOct32(value);
    else
        appendFormatted("%u", value);
    return *this;
}

TARNStreamedString& TARNStreamedString::operator<<(long value) {
    if (hexadecimal())
        _printHex64(static_cast<unsigned long>(value));
    else if (octal())
        _printOct64(static_cast<unsigned long>(value));
    else
        appendFormatted("%ld", value);
    return *this;
}

TARNStreamedString& TARNStreamedString::operator<<(unsigned long value) {
    if (hexadecimal())
        _printHex64(value);
    else if (octal())
        _printOct64(value);
    else
        appendFormatted("%lu", value);
    return *this;
}

TARNStreamedString& TARNStreamedString::operator<<(float value) {
    appendFormatted("%.10g", static_cast<double>(value));
    return *this;
}

TARNStreamedString& TARNStreamedString::operator<<(double value) {
    appendFormatted("%.10g", value);
    return *this;
}

TARNStreamedString& TARNStreamedString::operator<<(const void* pointer) {
    appendFormatted("%p", pointer);
    return *this;
}

TARNStreamedString& TARNStreamedString::operator<<(const char* text) {
    *this += text;
    return *this;
}

TARNStreamedString& TARNStreamedString::operator<<(char character) {
    concat(1, &character);
    return *this;
}

TARNStreamedString& operator<<(TARNStreamedString& stream, const TARNStackedString<40>& string) {
    // One character at a time, each through the append rule; the count is fixed first so
    // that streaming a string onto itself ends.
    int n = 0;
    while (n < string.Length() && string.c_str()[n] != '\0') ++n;
    for (int i = 0; i < n; ++i) {
        const char c = string.c_str()[i];
        stream.concat(1, &c);
    }
    return stream;
}
