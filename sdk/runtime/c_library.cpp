#include "tarn/runtime/c_library.hpp"

#include <cctype>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include "runtime/ascii_case.hpp"

namespace TARN {

void* Memcpy(void* destination, const void* source, long size) {
    return std::memcpy(destination, source, static_cast<size_t>(size));
}

void* Memset(void* destination, int value, long size) {
    return std::memset(destination, value, static_cast<size_t>(size));
}

void* Memmove(void* destination, const void* source, long size) {
    return std::memmove(destination, source, static_cast<size_t>(size));
}

double Modf(double value, double* integralPart) {
    return std::modf(value, integralPart);
}

double Fabs(double value) {
    return std::fabs(value);
}

int Strncmp(const char* first, const char* second, long size) {
    return std::strncmp(first, second, static_cast<size_t>(size));
}

const char* Strstr(const char* text, const char* pattern) {
    return std::strstr(text, pattern);
}

char* Strstr(char* text, const char* pattern) {
    return std::strstr(text, pattern);
}

char* Strcpy(char* destination, const char* source) {
    return std::strcpy(destination, source);
}

char* Strncpy(char* destination, const char* source, int size) {
    return std::strncpy(destination, source, static_cast<size_t>(size));
}

char* Strcat(char* destination, const char* source) {
    return std::strcat(destination, source);
}

int Strcmp(const char* first, const char* second) {
    return std::strcmp(first, second);
}

char* Strdup(const char* text) {
    return ::strdup(text);
}

const char* Strchr(const char* text, char character) {
    return std::strchr(text, character);
}

char* Strchr(char* text, char character) {
    return std::strchr(text, character);
}

int Strlen(const char* text) {
    return text == nullptr ? 0 : TARNPrivate::LengthAsInt(std::strlen(text));
}

// Only the ASCII capitals are folded: the comparison must not depend on the locale. The
// difference is that of the bytes taken as unsigned.
int Stricmp(const char* first, const char* second) {
    for (;; ++first, ++second) {
        const auto a = static_cast<unsigned char>(TARNPrivate::AsciiLower(*first));
        const auto b = static_cast<unsigned char>(TARNPrivate::AsciiLower(*second));
        if (a != b || a == 0) return a - b;
    }
}

int Atoi(const char* text) {
    return static_cast<int>(std::strtol(text, nullptr, 10));
}

long Atoi64(const char* text) {
    return std::strtoll(text, nullptr, 10);
}

int Strtol(const char* text, char** end, int base) {
    return static_cast<int>(std::strtol(text, end, base));
}

unsigned long Strtoul(const char* text, char** end, int base) {
    return std::strtoul(text, end, base);
}

long Strtoi64(const char* text, char** end, int base) {
    return std::strtoll(text, end, base);
}

unsigned long Strtoui64(const char* text, char** end, int base) {
    return std::strtoull(text, end, base);
}

double Strtod(const char* text, char** end) {
    return std::strtod(text, end);
}

// The character is taken as a byte: a negative char must not reach isspace.
bool IsSpace(char character) {
    return std::isspace(static_cast<unsigned char>(character)) != 0;
}

bool IsDigit(char character) {
    return character >= '0' && character <= '9';
}

namespace {
// Writes the digits of the magnitude behind an optional minus sign: least significant
// first, then reversed in place.
char* WriteDigits(unsigned long magnitude, bool negative, char* buffer, int base) {
    if (base < 2 || base > 36) {
        buffer[0] = '\0';
        return buffer;
    }
    char* cursor = buffer;
    if (negative) *cursor++ = '-';
    char* const firstDigit = cursor;
    do {
        const auto digit = static_cast<int>(magnitude % static_cast<unsigned long>(base));
        *cursor++ = static_cast<char>(digit < 10 ? '0' + digit : 'a' + digit - 10);
        magnitude /= static_cast<unsigned long>(base);
    } while (magnitude != 0);
    *cursor = '\0';
    for (char* low = firstDigit; low < --cursor; ++low) {
        const char swap = *low;
        *low = *cursor;
        *cursor = swap;
    }
    return buffer;
}
}  // namespace

char* Itoa(int value, char* buffer, int base) {
    if (base == 10 && value < 0) {
        // Negating in unsigned arithmetic keeps the most negative value representable.
        return WriteDigits(0u - static_cast<unsigned int>(value), true, buffer, base);
    }
    return WriteDigits(static_cast<unsigned int>(value), false, buffer, base);
}

char* Itoa(long value, char* buffer, int base) {
    if (base == 10 && value < 0) {
        return WriteDigits(0ul - static_cast<unsigned long>(value), true, buffer, base);
    }
    return WriteDigits(static_cast<unsigned long>(value), false, buffer, base);
}

char* Itoa(unsigned long value, char* buffer, int base) {
    return WriteDigits(value, false, buffer, base);
}

}  // namespace TARN

namespace TARNPrivate {

int LengthAsInt(unsigned long bytes) {
    if (bytes > static_cast<unsigned long>(INT_MAX))
        throw std::length_error("text longer than INT_MAX bytes");
    return static_cast<int>(bytes);
}

}  // namespace TARNPrivate
