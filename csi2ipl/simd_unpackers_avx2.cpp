// The AVX2 forms: twice the SSSE3 block (8 RAW12 groups, 4 RAW10 groups) per step, each
// 128-bit half loaded on its own because the byte shuffle stays within halves.
#include <immintrin.h>

#include "csi2ipl/scalar_unpackers.hpp"
#include "csi2ipl/simd_unpackers.hpp"

#define CSI2IPL_AVX2 __attribute__((target("avx2")))

namespace csi2ipl::simd {

namespace {

CSI2IPL_AVX2 inline __m256i LoadHalves(const uint8_t* low, const uint8_t* high) {
    return _mm256_inserti128_si256(_mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(low))),
                                   _mm_loadu_si128(reinterpret_cast<const __m128i*>(high)), 1);
}

// Eight RAW12 groups; see the SSSE3 form for the lane arithmetic.
CSI2IPL_AVX2 inline __m256i Raw12Values(const uint8_t* in) {
    const __m256i order = _mm256_setr_epi8(2, 0, 2, 1, 5, 3, 5, 4, 8, 6, 8, 7, 11, 9, 11, 10,  //
                                           2, 0, 2, 1, 5, 3, 5, 4, 8, 6, 8, 7, 11, 9, 11, 10);
    const __m256i lanes = _mm256_shuffle_epi8(LoadHalves(in, in + 12), order);
    const __m256i kept = _mm256_and_si256(lanes, _mm256_set1_epi32(static_cast<int>(0xFFF0FF00u)));
    const __m256i lowNibble = _mm256_and_si256(_mm256_slli_epi32(lanes, 4), _mm256_set1_epi32(0xF0));
    return _mm256_or_si256(kept, lowNibble);
}

// Four RAW10 groups; see the SSSE3 form.
CSI2IPL_AVX2 inline __m256i Raw10Values(const uint8_t* in) {
    const __m256i order = _mm256_setr_epi8(4, 0, 4, 1, 4, 2, 4, 3, 9, 5, 9, 6, 9, 7, 9, 8,  //
                                           4, 0, 4, 1, 4, 2, 4, 3, 9, 5, 9, 6, 9, 7, 9, 8);
    const __m256i lanes = _mm256_shuffle_epi8(LoadHalves(in, in + 10), order);
    const __m256i high = _mm256_and_si256(lanes, _mm256_set1_epi16(static_cast<short>(0xFF00)));
    const __m256i lowBits =
        _mm256_and_si256(_mm256_mullo_epi16(lanes, _mm256_setr_epi16(64, 16, 4, 1, 64, 16, 4, 1, 64, 16, 4, 1, 64,
                                                                     16, 4, 1)),
                         _mm256_set1_epi16(0xC0));
    return _mm256_or_si256(high, lowBits);
}

// The low bytes of sixteen 16-bit values, in order.
CSI2IPL_AVX2 inline __m128i LowBytes(__m256i values) {
    const __m256i low = _mm256_and_si256(values, _mm256_set1_epi16(0xFF));
    return _mm_packus_epi16(_mm256_castsi256_si128(low), _mm256_extracti128_si256(low, 1));
}

}  // namespace

CSI2IPL_AVX2 CSI2IPL_SIMD_UNPACKER(Raw12_16bit_Avx2) {
    (void)wordCount;
    const uint64_t bytes = 3ull * (width / 2);
    const __m128i count = _mm_cvtsi32_si128(static_cast<int>(shift));
    uint32_t g = 0;
    for (; 3ull * g + 12 + 16 <= bytes; g += 8)
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(row + 4 * static_cast<size_t>(g)),
                            _mm256_sll_epi16(Raw12Values(payload + 3 * static_cast<size_t>(g)), count));
    scalar::Raw12_16bitFrom(payload, row, g, width / 2, shift);
}

CSI2IPL_AVX2 CSI2IPL_SIMD_UNPACKER(Raw12_8bit_Avx2) {
    (void)wordCount;
    const uint64_t bytes = 3ull * (width / 2);
    const __m128i count = _mm_cvtsi32_si128(static_cast<int>(shift));
    uint32_t g = 0;
    for (; 3ull * g + 12 + 16 <= bytes; g += 8)
        _mm_storeu_si128(reinterpret_cast<__m128i*>(row + 2 * static_cast<size_t>(g)),
                         LowBytes(_mm256_srl_epi16(Raw12Values(payload + 3 * static_cast<size_t>(g)), count)));
    scalar::Raw12_8bitFrom(payload, row, g, width / 2, shift);
}

CSI2IPL_AVX2 CSI2IPL_SIMD_UNPACKER(Raw10_16bit_Avx2) {
    (void)wordCount;
    const uint64_t bytes = 5ull * (width / 4);
    const __m128i count = _mm_cvtsi32_si128(static_cast<int>(shift));
    uint32_t g = 0;
    for (; 5ull * g + 10 + 16 <= bytes; g += 4)
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(row + 8 * static_cast<size_t>(g)),
                            _mm256_srl_epi16(Raw10Values(payload + 5 * static_cast<size_t>(g)), count));
    scalar::Raw10_16bitFrom(payload, row, g, width / 4, shift);
}

CSI2IPL_AVX2 CSI2IPL_SIMD_UNPACKER(Raw10_8bit_Avx2) {
    (void)wordCount;
    const uint64_t bytes = 5ull * (width / 4);
    const __m128i count = _mm_cvtsi32_si128(static_cast<int>(shift));
    uint32_t g = 0;
    for (; 5ull * g + 10 + 16 <= bytes; g += 4)
        _mm_storeu_si128(reinterpret_cast<__m128i*>(row + 4 * static_cast<size_t>(g)),
                         LowBytes(_mm256_srl_epi16(Raw10Values(payload + 5 * static_cast<size_t>(g)), count)));
    scalar::Raw10_8bitFrom(payload, row, g, width / 4, shift);
}

}  // namespace csi2ipl::simd
