#include "tarn/runtime/timestamp_text.hpp"

#include <cstdio>

#include "tarn/runtime/c_library.hpp"
#include "tarn/runtime/saturated_arithmetic.hpp"

namespace {

constexpr unsigned long microsecondsPerSecond = 1000000;

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// Digits from `*cursor`, moving it past them; held to the range of long.
long readDigits(const char** cursor) {
    long value = 0;
    while (isDigit(**cursor)) {
        value = TARNPrivate::SaturatedAdd(TARNPrivate::SaturatedMul(value, 10), **cursor - '0');
        ++*cursor;
    }
    return value;
}

}  // namespace

namespace TARN {

TARNStackedString<40> Timestamp2String(long timestamp) {
    // The magnitude is taken unsigned: -LONG_MIN does not fit in a long.
    const unsigned long magnitude =
        timestamp < 0 ? 0UL - static_cast<unsigned long>(timestamp) : static_cast<unsigned long>(timestamp);
    const unsigned long seconds = magnitude / microsecondsPerSecond;
    const unsigned long hours = seconds / 3600;
    char text[64];
    int length = 0;
    if (timestamp < 0) text[length++] = '-';
    if (hours != 0) length += std::snprintf(text + length, sizeof text - length, "%lu:", hours);
    std::snprintf(text + length, sizeof text - length, "%02lu:%02lu.%06lu", seconds / 60 % 60, seconds % 60,
                  magnitude % microsecondsPerSecond);
    return TARNStackedString<40>(text);
}

long TimestampFromString(const char* text, char** end) {
    if (text == nullptr || *text == '\0') {
        if (end) *end = const_cast<char*>(text);
        return -1;
    }
    const char* cursor = text;
    while (IsSpace(*cursor)) ++cursor;
    const bool negative = *cursor == '-';

    char* afterFirst = nullptr;
    long seconds = Strtoi64(text, &afterFirst, 10);
    cursor = afterFirst;
    // Each further number adds to the magnitude, whatever the sign of the first.
    const auto accumulate = [negative](long total, long factor, long more) {
        total = TARNPrivate::SaturatedMul(total, factor);
        return negative ? TARNPrivate::SaturatedSub(total, more) : TARNPrivate::SaturatedAdd(total, more);
    };
    for (int field = 0; field < 2 && cursor[0] == ':' && isDigit(cursor[1]); ++field) {
        ++cursor;
        seconds = accumulate(seconds, 60, readDigits(&cursor));
    }
    long total = TARNPrivate::SaturatedMul(seconds, static_cast<long>(microsecondsPerSecond));
    if (*cursor == '.') {
        ++cursor;
        long fraction = 0;
        long unit = microsecondsPerSecond;
        while (unit > 1 && isDigit(*cursor)) {
            unit /= 10;
            fraction += (*cursor - '0') * unit;
            ++cursor;
        }
        total = accumulate(total, 1, fraction);
    }
    if (end) *end = const_cast<char*>(cursor);
    return total;
}

}  // namespace TARN
