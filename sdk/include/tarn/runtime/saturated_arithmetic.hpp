// Sums, differences, products and rescalings of microsecond counts held to the range of long.
#pragma once

#include <climits>

namespace TARNPrivate {
// a + b, a - b and a * b held to the range of long: a far deadline or timestamp stays far instead
// of wrapping round into the past (which would read as "reached").
inline long SaturatedAdd(long a, long b) {
    long sum;
    if (__builtin_add_overflow(a, b, &sum)) return b > 0 ? LONG_MAX : LONG_MIN;
    return sum;
}
inline long SaturatedSub(long a, long b) {
    long difference;
    if (__builtin_sub_overflow(a, b, &difference)) return b < 0 ? LONG_MAX : LONG_MIN;
    return difference;
}
// value * multiplier / divisor (rounded toward zero) held to the range of long. The product
// is taken on 128 bits, so a long span times a speed (or times 1000) never wraps before the
// division brings it back; the value may itself be a difference of two longs.
inline long SaturatedScale(__int128 value, int multiplier, int divisor) {
    const __int128 scaled = value * multiplier / divisor;
    if (scaled > LONG_MAX) return LONG_MAX;
    if (scaled < LONG_MIN) return LONG_MIN;
    return static_cast<long>(scaled);
}
inline long SaturatedMul(long a, long b) {
    long product;
    if (__builtin_mul_overflow(a, b, &product)) return (a < 0) != (b < 0) ? LONG_MIN : LONG_MAX;
    return product;
}
}  // namespace TARNPrivate
