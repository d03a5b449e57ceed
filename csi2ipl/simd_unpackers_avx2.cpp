// The AVX2 forms: twice the SSSE3 block per step, each 128-bit half loaded on its own
// because the byte shuffle stays within halves.
#include <immintrin.h>

#include "csi2ipl/group_byte_orders.hpp"
#include "csi2ipl/scalar_unpackers.hpp"
#include "csi2ipl/simd_unpackers.hpp"

#define CSI2IPL_AVX2 __attribute__((target("avx2")))

namespace csi2ipl::simd {

namespace {

CSI2IPL_AVX2 inline __m256i LoadHalves(const uint8_t* low, const uint8_t* high) {
    return _mm256_inserti128_si256(_mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(low))),
                                   _mm_loadu_si128(reinterpret_cast<const __m128i*>(high)), 1);
}

CSI2IPL_AVX2 inline __m256i Load(const void* in) { return _mm256_loadu_si256(static_cast<const __m256i*>(in)); }
CSI2IPL_AVX2 inline void Store(uint8_t* out, __m256i values) {
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), values);
}

// Output bytes [kLowFirst, kLowFirst + 16) of a block gathered by `kGather` from the 16
// bytes at kLowLoad from the block's start in the low half, [kHighFirst, kHighFirst + 16)
// from those at kHighLoad in the high half; bytes from outside them come out zero.
template <const auto& kGather, uint32_t kLowFirst, uint32_t kLowLoad, uint32_t kHighFirst, uint32_t kHighLoad>
CSI2IPL_AVX2 inline __m256i Gathered(const uint8_t* block) {
    static constexpr auto kControl =
        Halves(ShuffleControl(kGather, kLowFirst, kLowLoad), ShuffleControl(kGather, kHighFirst, kHighLoad));
    __m256i bytes;
    if constexpr (kHighLoad == kLowLoad + 16)
        bytes = Load(block + kLowLoad);
    else if constexpr (kHighLoad == kLowLoad)
        bytes = _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(block + kLowLoad)));
    else
        bytes = LoadHalves(block + kLowLoad, block + kHighLoad);
    return _mm256_shuffle_epi8(bytes, Load(kControl.data()));
}

// See the SSSE3 form.
CSI2IPL_AVX2 inline __m256i TenBitValues(__m256i lanes, __m256i multipliers) {
    const __m256i high = _mm256_and_si256(lanes, _mm256_set1_epi16(static_cast<short>(0xFF00)));
    const __m256i lowBits = _mm256_and_si256(_mm256_mullo_epi16(lanes, multipliers), _mm256_set1_epi16(0xC0));
    return _mm256_or_si256(high, lowBits);
}

// Eight RAW12 groups; see the SSSE3 form for the lane arithmetic.
CSI2IPL_AVX2 inline __m256i Raw12Values(const uint8_t* in) {
    const __m256i lanes = Gathered<kRaw12Lanes, 0, 0, 16, 12>(in);
    const __m256i kept = _mm256_and_si256(lanes, _mm256_set1_epi32(static_cast<int>(0xFFF0FF00u)));
    const __m256i lowNibble = _mm256_and_si256(_mm256_slli_epi32(lanes, 4), _mm256_set1_epi32(0xF0));
    return _mm256_or_si256(kept, lowNibble);
}

// Four RAW10 groups; see the SSSE3 form.
CSI2IPL_AVX2 inline __m256i Raw10Values(const uint8_t* in) {
    return TenBitValues(Gathered<kRaw10Lanes, 0, 0, 16, 10>(in),
                        _mm256_setr_epi16(64, 16, 4, 1, 64, 16, 4, 1, 64, 16, 4, 1, 64, 16, 4, 1));
}

// The low bytes of sixteen 16-bit values, in order.
CSI2IPL_AVX2 inline __m128i LowBytes(__m256i values) {
    const __m256i low = _mm256_and_si256(values, _mm256_set1_epi16(0xFF));
    return _mm_packus_epi16(_mm256_castsi256_si128(low), _mm256_extracti128_si256(low, 1));
}

// The low bytes of two sets of sixteen 16-bit values whose bytes above the low one are
// zero, in order (the pack interleaves the halves; the permute puts them back).
CSI2IPL_AVX2 inline __m256i PackInOrder(__m256i first, __m256i second) {
    return _mm256_permute4x64_epi64(_mm256_packus_epi16(first, second), 0xD8);
}
CSI2IPL_AVX2 inline __m256i LowBytes(__m256i first, __m256i second) {
    const __m256i mask = _mm256_set1_epi16(0xFF);
    return PackInOrder(_mm256_and_si256(first, mask), _mm256_and_si256(second, mask));
}

// ---- The formats whose blocks read only their own groups; see the SSSE3 file.

using Block = void (*)(const uint8_t* in, uint8_t* out, __m128i count);

template <uint32_t kGroupBytes, uint32_t kGroupOutputBytes, uint32_t kBlockGroups, Block kBlock>
CSI2IPL_AVX2 inline uint32_t WholeBlocks(const uint8_t* payload, uint8_t* row, uint32_t groups, unsigned shift) {
    const __m128i count = _mm_cvtsi32_si128(static_cast<int>(shift));
    uint32_t g = 0;
    for (; groups - g >= kBlockGroups; g += kBlockGroups)
        kBlock(payload + size_t{kGroupBytes} * g, row + size_t{kGroupOutputBytes} * g, count);
    return g;
}

// RAW16, 16 pixels and 32 pixels.
CSI2IPL_AVX2 inline __m256i Raw16Values(const uint8_t* in) { return Gathered<kRaw16Values, 0, 0, 16, 16>(in); }
CSI2IPL_AVX2 void Raw16WideBlock(const uint8_t* in, uint8_t* out, __m128i count) {
    Store(out, _mm256_sll_epi16(Raw16Values(in), count));
}
CSI2IPL_AVX2 void Raw16NarrowBlock(const uint8_t* in, uint8_t* out, __m128i count) {
    Store(out, LowBytes(_mm256_srl_epi16(Raw16Values(in), count), _mm256_srl_epi16(Raw16Values(in + 32), count)));
}

// RAW20: eight groups (40 bytes) as sixteen high 16-bit values, each half from two loads.
CSI2IPL_AVX2 inline __m256i Raw20Values(const uint8_t* in) {
    return _mm256_or_si256(Gathered<kRaw20HighValues, 0, 0, 16, 20>(in),
                           Gathered<kRaw20HighValues, 0, 4, 16, 24>(in));
}
CSI2IPL_AVX2 void Raw20WideBlock(const uint8_t* in, uint8_t* out, __m128i count) {
    Store(out, _mm256_sll_epi16(Raw20Values(in), count));
}
CSI2IPL_AVX2 inline __m256i Raw20Narrow(const uint8_t* in, __m128i count) {
    return _mm256_srli_epi16(_mm256_sll_epi16(Raw20Values(in), count), 8);
}
CSI2IPL_AVX2 void Raw20NarrowBlock(const uint8_t* in, uint8_t* out, __m128i count) {
    Store(out, PackInOrder(Raw20Narrow(in, count), Raw20Narrow(in + 40, count)));
}

// RAW24, as in the SSSE3 form: eight pixels, shifted and masked to the output's bits.
struct Raw24Shift {
    __m128i lowCount, highCount;
    __m256i lowMask, highMask;
};
CSI2IPL_AVX2 inline Raw24Shift Raw24ShiftOf(__m128i count, int keep) {
    return {_mm_add_epi64(count, _mm_cvtsi32_si128(4)), _mm_add_epi64(count, _mm_cvtsi32_si128(8)),
            _mm256_and_si256(_mm256_srl_epi32(_mm256_set1_epi32(0xFFFF), count), _mm256_set1_epi32(keep)),
            _mm256_and_si256(_mm256_srl_epi32(_mm256_set1_epi32(0xFF0000), count), _mm256_set1_epi32(keep))};
}
template <uint32_t kLowPixel, uint32_t kLowLoad, uint32_t kHighPixel, uint32_t kHighLoad>
CSI2IPL_AVX2 inline __m256i Raw24Shifted(const uint8_t* in, const Raw24Shift& shift) {
    const __m256i lanes = Gathered<kRaw24Lanes, 4 * kLowPixel, kLowLoad, 4 * kHighPixel, kHighLoad>(in);
    return _mm256_or_si256(_mm256_and_si256(_mm256_srl_epi32(lanes, shift.lowCount), shift.lowMask),
                           _mm256_and_si256(_mm256_srl_epi32(lanes, shift.highCount), shift.highMask));
}
// Sixteen pixels (48 bytes) packed to 16 bits in order: the first set of lanes holds
// pixels 0..3 and 8..11, the second 4..7 and 12..15.
CSI2IPL_AVX2 inline __m256i Raw24Packed(const uint8_t* in, const Raw24Shift& shift) {
    return _mm256_packus_epi32(Raw24Shifted<0, 0, 8, 24>(in, shift), Raw24Shifted<4, 8, 12, 32>(in, shift));
}
CSI2IPL_AVX2 void Raw24WideBlock(const uint8_t* in, uint8_t* out, __m128i count) {
    Store(out, Raw24Packed(in, Raw24ShiftOf(count, 0xFFFF)));
}

// RAW24 to 8 bits in 16-bit lanes, half the lanes of the 32-bit form: sixteen pixels (48
// bytes), each half of the register gathered from two loads. A shift below 4 takes its
// byte from the value's bits 0..15, a larger one from bits 4..19 (the count given is then
// the shift less 4).
template <const auto& kGather>
CSI2IPL_AVX2 inline __m256i Raw24Gathered(const uint8_t* in) {
    return _mm256_or_si256(Gathered<kGather, 0, 0, 16, 24>(in), Gathered<kGather, 0, 8, 16, 32>(in));
}
CSI2IPL_AVX2 inline __m256i Raw24LowBits(const uint8_t* in, __m128i count) {
    const __m256i middle = Raw24Gathered<kRaw24MiddleBytes>(in);
    const __m256i low16 = _mm256_or_si256(_mm256_slli_epi16(middle, 4), _mm256_srli_epi16(middle, 12));
    return _mm256_srl_epi16(low16, count);
}
CSI2IPL_AVX2 inline __m256i Raw24HighBits(const uint8_t* in, __m128i count) {
    const __m256i middle = Raw24Gathered<kRaw24MiddleBytes>(in);
    const __m256i high = Raw24Gathered<kRaw24HighByte>(in);
    const __m256i bits4to19 =
        _mm256_or_si256(_mm256_and_si256(middle, _mm256_set1_epi16(0x0FFF)), _mm256_slli_epi16(high, 4));
    return _mm256_srl_epi16(bits4to19, count);
}
CSI2IPL_AVX2 void Raw24NarrowLowShiftBlock(const uint8_t* in, uint8_t* out, __m128i count) {
    Store(out, LowBytes(Raw24LowBits(in, count), Raw24LowBits(in + 48, count)));
}
CSI2IPL_AVX2 void Raw24NarrowHighShiftBlock(const uint8_t* in, uint8_t* out, __m128i count) {
    Store(out, LowBytes(Raw24HighBits(in, count), Raw24HighBits(in + 48, count)));
}

// YUV422 10-bit, 16-bit output: eight groups (40 bytes) give 48 samples; no shift.
template <uint32_t kFirstSample, uint32_t kLowLoad, uint32_t kHighLoad>
CSI2IPL_AVX2 inline __m256i Yuv422_10Samples(const uint8_t* in) {
    static constexpr auto kMultipliers = Yuv422_10LowBitMultipliers<16>(kFirstSample);
    return TenBitValues(
        Gathered<kYuv422_10Lanes, 2 * kFirstSample, kLowLoad, 2 * kFirstSample + 16, kHighLoad>(in),
        Load(kMultipliers.data()));
}
CSI2IPL_AVX2 void Yuv422_10WideBlock(const uint8_t* in, uint8_t* out, __m128i) {
    Store(out, Yuv422_10Samples<0, 0, 0>(in));
    Store(out + 32, Yuv422_10Samples<16, 4, 20>(in));
    Store(out + 64, Yuv422_10Samples<32, 20, 24>(in));
}

// YUV422 10-bit, 8-bit output: sixteen groups (80 bytes) give 96 shifted high bytes.
template <uint32_t kFirstSample, uint32_t kLowLoad, uint32_t kHighLoad>
CSI2IPL_AVX2 inline __m256i Yuv422_10HighBytes(const uint8_t* in, __m128i count) {
    const __m256i byteMaskLanes = _mm256_srl_epi16(_mm256_set1_epi16(0xFF), count);
    const __m256i bytes =
        Gathered<kYuv422_10HighBytes, kFirstSample, kLowLoad, kFirstSample + 16, kHighLoad>(in);
    return _mm256_and_si256(_mm256_srl_epi16(bytes, count), _mm256_packus_epi16(byteMaskLanes, byteMaskLanes));
}
CSI2IPL_AVX2 void Yuv422_10NarrowBlock(const uint8_t* in, uint8_t* out, __m128i count) {
    Store(out, Yuv422_10HighBytes<0, 0, 11>(in, count));
    Store(out + 32, Yuv422_10HighBytes<32, 24, 40>(in, count));
    Store(out + 64, Yuv422_10HighBytes<64, 51, 64>(in, count));
}

// YUV422 8-bit, either order: sixteen groups (64 bytes) give 96 samples.
template <const auto& kGather>
CSI2IPL_AVX2 void Yuv422_8Block(const uint8_t* in, uint8_t* out, __m128i) {
    Store(out, Gathered<kGather, 0, 0, 16, 8>(in));
    Store(out + 32, Gathered<kGather, 32, 16, 48, 32>(in));
    Store(out + 64, Gathered<kGather, 64, 40, 80, 48>(in));
}

}  // namespace

namespace {

// RAW12 and RAW10 lines in sets of kSetGroups groups, one set of lanes each. The loads of
// a set reach kReach bytes from its start, past its own groups, so a set is taken only
// while they stay inside the payload; the plain form does the groups left.
template <__m256i (*kValues)(const uint8_t*), uint32_t kGroupBytes, uint32_t kGroupPixels, uint32_t kSetGroups,
          uint32_t kReach>
struct PackedSets {
    static constexpr uint64_t kSetBytes = uint64_t{kGroupBytes} * kSetGroups;

    // 16-bit output, shifted left (RAW12's rule) or right (RAW10's); the groups done.
    template <bool kLeft>
    CSI2IPL_AVX2 static uint32_t Wide(const uint8_t* payload, uint8_t* row, uint32_t groups, __m128i count) {
        const uint64_t bytes = uint64_t{kGroupBytes} * groups;
        uint32_t g = 0;
        for (; uint64_t{kGroupBytes} * g + kReach <= bytes; g += kSetGroups) {
            const __m256i values = kValues(payload + size_t{kGroupBytes} * g);
            Store(row + 2 * size_t{kGroupPixels} * g,
                  kLeft ? _mm256_sll_epi16(values, count) : _mm256_srl_epi16(values, count));
        }
        return g;
    }

    // 8-bit output: two sets to one 32-byte store while the second set's loads stay
    // inside, then one set to a 16-byte store; the groups done.
    CSI2IPL_AVX2 static uint32_t Narrow(const uint8_t* payload, uint8_t* row, uint32_t groups, __m128i count) {
        const uint64_t bytes = uint64_t{kGroupBytes} * groups;
        uint32_t g = 0;
        for (; uint64_t{kGroupBytes} * g + kSetBytes + kReach <= bytes; g += 2 * kSetGroups) {
            const uint8_t* in = payload + size_t{kGroupBytes} * g;
            Store(row + size_t{kGroupPixels} * g,
                  LowBytes(_mm256_srl_epi16(kValues(in), count), _mm256_srl_epi16(kValues(in + kSetBytes), count)));
        }
        for (; uint64_t{kGroupBytes} * g + kReach <= bytes; g += kSetGroups)
            _mm_storeu_si128(reinterpret_cast<__m128i*>(row + size_t{kGroupPixels} * g),
                             LowBytes(_mm256_srl_epi16(kValues(payload + size_t{kGroupBytes} * g), count)));
        return g;
    }
};

// Eight RAW12 groups per set, loaded as 16 bytes at 0 and at 12; four RAW10 groups, at 0
// and at 10.
using Raw12Sets = PackedSets<Raw12Values, 3, 2, 8, 12 + 16>;
using Raw10Sets = PackedSets<Raw10Values, 5, 4, 4, 10 + 16>;

CSI2IPL_AVX2 inline __m128i CountOf(unsigned shift) { return _mm_cvtsi32_si128(static_cast<int>(shift)); }

}  // namespace

CSI2IPL_AVX2 CSI2IPL_SIMD_UNPACKER(Raw12_16bit_Avx2) {
    (void)wordCount;
    const uint32_t done = Raw12Sets::Wide<true>(payload, row, width / 2, CountOf(shift));
    scalar::Raw12_16bitFrom(payload, row, done, width / 2, shift);
}

CSI2IPL_AVX2 CSI2IPL_SIMD_UNPACKER(Raw12_8bit_Avx2) {
    (void)wordCount;
    const uint32_t done = Raw12Sets::Narrow(payload, row, width / 2, CountOf(shift));
    scalar::Raw12_8bitFrom(payload, row, done, width / 2, shift);
}

CSI2IPL_AVX2 CSI2IPL_SIMD_UNPACKER(Raw10_16bit_Avx2) {
    (void)wordCount;
    const uint32_t done = Raw10Sets::Wide<false>(payload, row, width / 4, CountOf(shift));
    scalar::Raw10_16bitFrom(payload, row, done, width / 4, shift);
}

CSI2IPL_AVX2 CSI2IPL_SIMD_UNPACKER(Raw10_8bit_Avx2) {
    (void)wordCount;
    const uint32_t done = Raw10Sets::Narrow(payload, row, width / 4, CountOf(shift));
    scalar::Raw10_8bitFrom(payload, row, done, width / 4, shift);
}

// Vector blocks, then the plain form from the first group they left.
#define CSI2IPL_BLOCKS_THEN_PLAIN(name, plain, groupPixels, groupBytes, groupOutputBytes, blockGroups, block, \
                                  blockShift)                                                             \
    CSI2IPL_AVX2 CSI2IPL_SIMD_UNPACKER(name) {                                                            \
        (void)wordCount;                                                                                  \
        const uint32_t groups = width / (groupPixels);                                                    \
        const uint32_t done =                                                                             \
            WholeBlocks<groupBytes, groupOutputBytes, blockGroups, block>(payload, row, groups, blockShift); \
        scalar::plain(payload, row, done, groups, shift);                                                 \
    }

CSI2IPL_BLOCKS_THEN_PLAIN(Raw16_16bit_Avx2, Raw16_16bitFrom, 1, 2, 2, 16, Raw16WideBlock, shift)
CSI2IPL_BLOCKS_THEN_PLAIN(Raw16_8bit_Avx2, Raw16_8bitFrom, 1, 2, 1, 32, Raw16NarrowBlock, shift)
CSI2IPL_BLOCKS_THEN_PLAIN(Raw20_16bit_Avx2, Raw20_16bitFrom, 2, 5, 4, 8, Raw20WideBlock, Raw20WideShift(shift))
CSI2IPL_BLOCKS_THEN_PLAIN(Raw20_8bit_Avx2, Raw20_8bitFrom, 2, 5, 2, 16, Raw20NarrowBlock, shift)
CSI2IPL_BLOCKS_THEN_PLAIN(Raw24_16bit_Avx2, Raw24_16bitFrom, 1, 3, 2, 16, Raw24WideBlock, shift)
CSI2IPL_BLOCKS_THEN_PLAIN(Yuv422_10_16bit_Avx2, Yuv422_10_16bitFrom, 2, 5, 12, 8, Yuv422_10WideBlock, 0)
CSI2IPL_BLOCKS_THEN_PLAIN(Yuv422_10_8bit_Avx2, Yuv422_10_8bitFrom, 2, 5, 6, 16, Yuv422_10NarrowBlock, shift)
CSI2IPL_BLOCKS_THEN_PLAIN(Yuv422_8_8bit_Avx2, Yuv422_8_8bitFrom, 2, 4, 6, 16, Yuv422_8Block<kYuv422_8Samples>, 0)
CSI2IPL_BLOCKS_THEN_PLAIN(Yuv422_8_YUSwapped_8bit_Avx2, Yuv422_8_YUSwapped_8bitFrom, 2, 4, 6, 16,
                          Yuv422_8Block<kYuv422_8YUSwappedSamples>, 0)

#undef CSI2IPL_BLOCKS_THEN_PLAIN

// RAW24 to 8 bits: the block form by the shift, chosen once per line.
CSI2IPL_AVX2 CSI2IPL_SIMD_UNPACKER(Raw24_8bit_Avx2) {
    (void)wordCount;
    const uint32_t done = shift < 4 ? WholeBlocks<3, 1, 32, Raw24NarrowLowShiftBlock>(payload, row, width, shift)
                                    : WholeBlocks<3, 1, 32, Raw24NarrowHighShiftBlock>(payload, row, width, shift - 4);
    scalar::Raw24_8bitFrom(payload, row, done, width, shift);
}

}  // namespace csi2ipl::simd
