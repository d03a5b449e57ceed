// The SSSE3 forms: one 16-byte load and one byte shuffle per block of groups (4 RAW12
// groups, 2 RAW10 groups), then masks and shifts on the lanes. The functions carry their
// own target, so the rest of the library runs on any x86-64 processor.
#include <immintrin.h>

#include "csi2ipl/scalar_unpackers.hpp"
#include "csi2ipl/simd_unpackers.hpp"

#define CSI2IPL_SSSE3 __attribute__((target("ssse3")))

namespace csi2ipl::simd {

namespace {

// Four RAW12 groups (12 of the 16 loaded bytes) as eight 16-bit values with the 12 bits
// in bits 15..4. The shuffle puts each group as the 32-bit lane [b2, b0, b2, b1]; keeping
// b0 and the high nibble of the second b2 in place and moving the first b2's low nibble
// up by 4 gives both values of the group at once.
CSI2IPL_SSSE3 inline __m128i Raw12Values(const uint8_t* in) {
    const __m128i order = _mm_setr_epi8(2, 0, 2, 1, 5, 3, 5, 4, 8, 6, 8, 7, 11, 9, 11, 10);
    const __m128i lanes = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in)), order);
    const __m128i kept = _mm_and_si128(lanes, _mm_set1_epi32(static_cast<int>(0xFFF0FF00u)));
    const __m128i lowNibble = _mm_and_si128(_mm_slli_epi32(lanes, 4), _mm_set1_epi32(0xF0));
    return _mm_or_si128(kept, lowNibble);
}

// Two RAW10 groups (10 of the 16 loaded bytes) as eight 16-bit values with the 10 bits in
// bits 15..6. The shuffle pairs each high byte with its group's fifth byte below it; a
// multiply by 64, 16, 4 or 1 brings pixel k's two low bits to bits 7..6.
CSI2IPL_SSSE3 inline __m128i Raw10Values(const uint8_t* in) {
    const __m128i order = _mm_setr_epi8(4, 0, 4, 1, 4, 2, 4, 3, 9, 5, 9, 6, 9, 7, 9, 8);
    const __m128i lanes = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in)), order);
    const __m128i high = _mm_and_si128(lanes, _mm_set1_epi16(static_cast<short>(0xFF00)));
    const __m128i lowBits = _mm_and_si128(_mm_mullo_epi16(lanes, _mm_setr_epi16(64, 16, 4, 1, 64, 16, 4, 1)),
                                          _mm_set1_epi16(0xC0));
    return _mm_or_si128(high, lowBits);
}

CSI2IPL_SSSE3 inline __m128i LowBytes(__m128i values) {
    const __m128i low = _mm_and_si128(values, _mm_set1_epi16(0xFF));
    return _mm_packus_epi16(low, low);
}

}  // namespace

CSI2IPL_SSSE3 CSI2IPL_SIMD_UNPACKER(Raw12_16bit_Ssse3) {
    (void)wordCount;
    const uint64_t bytes = 3ull * (width / 2);
    const __m128i count = _mm_cvtsi32_si128(static_cast<int>(shift));
    uint32_t g = 0;
    for (; 3ull * g + 16 <= bytes; g += 4)
        _mm_storeu_si128(reinterpret_cast<__m128i*>(row + 4 * static_cast<size_t>(g)),
                         _mm_sll_epi16(Raw12Values(payload + 3 * static_cast<size_t>(g)), count));
    scalar::Raw12_16bitFrom(payload, row, g, width / 2, shift);
}

CSI2IPL_SSSE3 CSI2IPL_SIMD_UNPACKER(Raw12_8bit_Ssse3) {
    (void)wordCount;
    const uint64_t bytes = 3ull * (width / 2);
    const __m128i count = _mm_cvtsi32_si128(static_cast<int>(shift));
    uint32_t g = 0;
    for (; 3ull * g + 16 <= bytes; g += 4)
        _mm_storel_epi64(reinterpret_cast<__m128i*>(row + 2 * static_cast<size_t>(g)),
                         LowBytes(_mm_srl_epi16(Raw12Values(payload + 3 * static_cast<size_t>(g)), count)));
    scalar::Raw12_8bitFrom(payload, row, g, width / 2, shift);
}

CSI2IPL_SSSE3 CSI2IPL_SIMD_UNPACKER(Raw10_16bit_Ssse3) {
    (void)wordCount;
    const uint64_t bytes = 5ull * (width / 4);
    const __m128i count = _mm_cvtsi32_si128(static_cast<int>(shift));
    uint32_t g = 0;
    for (; 5ull * g + 16 <= bytes; g += 2)
        _mm_storeu_si128(reinterpret_cast<__m128i*>(row + 8 * static_cast<size_t>(g)),
                         _mm_srl_epi16(Raw10Values(payload + 5 * static_cast<size_t>(g)), count));
    scalar::Raw10_16bitFrom(payload, row, g, width / 4, shift);
}

CSI2IPL_SSSE3 CSI2IPL_SIMD_UNPACKER(Raw10_8bit_Ssse3) {
    (void)wordCount;
    const uint64_t bytes = 5ull * (width / 4);
    const __m128i count = _mm_cvtsi32_si128(static_cast<int>(shift));
    uint32_t g = 0;
    for (; 5ull * g + 16 <= bytes; g += 2)
        _mm_storel_epi64(reinterpret_cast<__m128i*>(row + 4 * static_cast<size_t>(g)),
                         LowBytes(_mm_srl_epi16(Raw10Values(payload + 5 * static_cast<size_t>(g)), count)));
    scalar::Raw10_8bitFrom(payload, row, g, width / 4, shift);
}

}  // namespace csi2ipl::simd
