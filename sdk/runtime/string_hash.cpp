#include "tarn/runtime/hash_table.hpp"

// The published sequence, kept in its three-column shape.
// clang-format off
void TARNStringHashFunction::mix64(unsigned long& a, unsigned long& b, unsigned long& c) {
    a -= b; a -= c; a ^= (c >> 43);
    b -= c; b -= a; b ^= (a << 9);
    c -= a; c -= b; c ^= (b >> 8);
    a -= b; a -= c; a ^= (c >> 38);
    b -= c; b -= a; b ^= (a << 23);
    c -= a; c -= b; c ^= (b >> 5);
    a -= b; a -= c; a ^= (c >> 35);
    b -= c; b -= a; b ^= (a << 49);
    c -= a; c -= b; c ^= (b >> 11);
    a -= b; a -= c; a ^= (c >> 12);
    b -= c; b -= a; b ^= (a << 18);
    c -= a; c -= b; c ^= (b >> 22);
}
// clang-format on

namespace {

// Eight bytes as a little-endian word, whatever the host's order.
unsigned long word(const unsigned char* k) {
    unsigned long w = 0;
    for (int i = 7; i >= 0; --i) w = (w << 8) | k[i];
    return w;
}

}  // namespace

unsigned long TARNStringHashFunction::hash(const unsigned char* k, unsigned long length,
                                           unsigned long level) {
    unsigned long a = level;
    unsigned long b = level;
    unsigned long c = 0x9E3779B97F4A7C13UL;  // the golden ratio, an arbitrary value
    unsigned long len = length;

    while (len >= 24) {
        a += word(k);
        b += word(k + 8);
        c += word(k + 16);
        mix64(a, b, c);
        k += 24;
        len -= 24;
    }

    // The last 0 to 23 bytes. The low byte of c is taken by the length, so bytes 16 to 22
    // enter c from bit 8 upward.
    c += length;
    for (unsigned long i = len; i-- > 16;) c += static_cast<unsigned long>(k[i]) << (8 * (i - 15));
    for (unsigned long i = len < 16 ? len : 16; i-- > 8;)
        b += static_cast<unsigned long>(k[i]) << (8 * (i - 8));
    for (unsigned long i = len < 8 ? len : 8; i-- > 0;) a += static_cast<unsigned long>(k[i]) << (8 * i);
    mix64(a, b, c);
    return c;
}

unsigned long TARNStringHashFunction::operator()(const TARNStackedString<40>& key) const {
    return hash(reinterpret_cast<const unsigned char*>(key.c_str()), static_cast<unsigned long>(key.Length()),
                Seed);
}
