// Sums, differences and products of microsecond counts held to the range of long.
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
inline long SaturatedMul(long a, long b) {
    long product;
    if (__builtin_mul_overflow(a, b, &product)) return (a < 0) != (b < 0) ? LONG_MIN : LONG_MAX;
    return product;
}
}  // namespace TARNPrivate
