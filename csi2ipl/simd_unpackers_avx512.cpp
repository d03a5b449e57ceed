// The AVX-512 forms (with the byte permutes of VBMI), for RAW10 and RAW12 to 8 bits: there
// the AVX2 forms spend so many operations per output byte that they run at about twice
// the time of a copy, while these come near the memory's pace. The byte permute gathers
// from the whole 64 bytes of a load, so a block reads exactly its own groups and needs no
// margin past them; the line's last groups, short of a block, go to the plain form.
#include <immintrin.h>

#include "csi2ipl/group_byte_orders.hpp"
#include "csi2ipl/scalar_unpackers.hpp"
#include "csi2ipl/simd_unpackers.hpp"

#define CSI2IPL_AVX512 __attribute__((target("avx512f,avx512bw,avx512vbmi")))

namespace csi2ipl::simd {

namespace {

// A byte permute of one source. (The plain intrinsic starts from an undefined register,
// which GCC 12 takes for an uninitialised read; the zeroing form with every byte kept
// is the same instruction.)
CSI2IPL_AVX512 inline __m512i Permute(__m512i control, __m512i bytes) {
    return _mm512_maskz_permutexvar_epi8(~__mmask64{0}, control, bytes);
}

template <const auto& kControl>
CSI2IPL_AVX512 inline __m512i Control() {
    return _mm512_loadu_si512(kControl.data());
}

// The low bytes of the 16-bit lanes of `first`, then those of `second`.
CSI2IPL_AVX512 inline __m512i LowBytes(__m512i first, __m512i second) {
    static constexpr auto kEvenBytes = [] {
        std::array<uint8_t, 64> control{};
        for (uint32_t i = 0; i < 64; ++i) control[i] = static_cast<uint8_t>(2 * i);
        return control;
    }();
    return _mm512_permutex2var_epi8(first, Control<kEvenBytes>(), second);
}

// RAW12: each 32-bit lane b2 b0 b2 b1 becomes the two 16-bit values (12 bits in bits
// 15..4) by taking the lane shifted left by 4 where the first b2 stands and in the second
// b2's low nibble (which the shift clears), and the lane itself elsewhere: one bitwise
// select.
CSI2IPL_AVX512 inline __m512i Raw12Values(__m512i lanes) {
    constexpr int kSelectFromShifted = 0xCA;  // selector ? shifted : lanes
    return _mm512_ternarylogic_epi32(_mm512_set1_epi32(0x000F00FF), _mm512_slli_epi16(lanes, 4), lanes,
                                     kSelectFromShifted);
}

// RAW10: each 16-bit lane holds a high byte above the group's fifth byte; a shift of 6, 4,
// 2 or 0 by the pixel's place in the group brings its two low bits to bits 7..6, and one
// three-way logic step keeps those two bits below the high byte.
CSI2IPL_AVX512 inline __m512i Raw10Values(__m512i lanes) {
    constexpr int kShiftedBitsOverHigh = 0xEA;  // (shifted & lowBits) | high
    const __m512i shifted = _mm512_sllv_epi16(lanes, _mm512_set1_epi64(0x0000000200040006));
    const __m512i high = _mm512_and_si512(lanes, _mm512_set1_epi16(static_cast<short>(0xFF00)));
    return _mm512_ternarylogic_epi32(shifted, _mm512_set1_epi16(0xC0), high, kShiftedBitsOverHigh);
}

// 8-bit output in blocks of 128 lane bytes, two registers of 16-bit values (64 pixels):
// 32 RAW12 groups (96 bytes) or 16 RAW10 groups (80 bytes), taken by one 64-byte load and
// one of the rest. The first register's lanes come from the first load alone, the
// second's from both (a permute of two sources indexes the second with 64 and up).
template <const auto& kGather, __m512i (*kValues)(__m512i)>
struct NarrowBlocks {
    static constexpr uint32_t kLaneBytesPerGroup = static_cast<uint32_t>(kGather.order.size());
    static constexpr uint32_t kBlockGroups = 128 / kLaneBytesPerGroup;
    static constexpr uint32_t kGroupPixels = kLaneBytesPerGroup / 2;
    static constexpr uint32_t kRestBytes = kBlockGroups * kGather.groupBytes - 64;
    static_assert(kRestBytes == 32 || kRestBytes == 16);
    static constexpr auto kFirst = PermuteControl(kGather, 0);
    static constexpr auto kSecond = PermuteControl(kGather, 64);

    // The groups done.
    CSI2IPL_AVX512 static uint32_t Unpack(const uint8_t* payload, uint8_t* row, uint32_t groups,
                                          __m128i count) {
        uint32_t g = 0;
        for (; groups - g >= kBlockGroups; g += kBlockGroups) {
            const uint8_t* in = payload + size_t{kGather.groupBytes} * g;
            const __m512i low = _mm512_loadu_si512(in);
            __m512i rest;
            if constexpr (kRestBytes == 32)
                rest = _mm512_castsi256_si512(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + 64)));
            else
                rest = _mm512_castsi128_si512(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 64)));
            const __m512i first = kValues(Permute(Control<kFirst>(), low));
            const __m512i second = kValues(_mm512_permutex2var_epi8(low, Control<kSecond>(), rest));
            _mm512_storeu_si512(row + size_t{kGroupPixels} * g,
                                LowBytes(_mm512_srl_epi16(first, count), _mm512_srl_epi16(second, count)));
        }
        return g;
    }
};

}  // namespace

CSI2IPL_AVX512 CSI2IPL_SIMD_UNPACKER(Raw12_8bit_Avx512) {
    (void)wordCount;
    const uint32_t done = NarrowBlocks<kRaw12Lanes, Raw12Values>::Unpack(
        payload, row, width / 2, _mm_cvtsi32_si128(static_cast<int>(shift)));
    scalar::Raw12_8bitFrom(payload, row, done, width / 2, shift);
}

CSI2IPL_AVX512 CSI2IPL_SIMD_UNPACKER(Raw10_8bit_Avx512) {
    (void)wordCount;
    const uint32_t done = NarrowBlocks<kRaw10Lanes, Raw10Values>::Unpack(
        payload, row, width / 4, _mm_cvtsi32_si128(static_cast<int>(shift)));
    scalar::Raw10_8bitFrom(payload, row, done, width / 4, shift);
}

}  // namespace csi2ipl::simd
