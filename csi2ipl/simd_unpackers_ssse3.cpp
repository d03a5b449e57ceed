// The SSSE3 forms: per block of groups one or a few 16-byte loads, each with one byte
// shuffle, then masks and shifts on the lanes. The functions carry their own target, so
// the rest of the library runs on any x86-64 processor.
#include <immintrin.h>

#include "csi2ipl/group_byte_orders.hpp"
#include "csi2ipl/scalar_unpackers.hpp"
#include "csi2ipl/simd_unpackers.hpp"

#define CSI2IPL_SSSE3 __attribute__((target("ssse3")))

namespace csi2ipl::simd {

namespace {

CSI2IPL_SSSE3 inline __m128i Load(const void* in) { return _mm_loadu_si128(static_cast<const __m128i*>(in)); }
CSI2IPL_SSSE3 inline void Store(uint8_t* out, __m128i values) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), values);
}

// Output bytes [kFirstOutput, kFirstOutput + 16) of a block gathered by `kGather` from
// the 16 bytes at kLoad from the block's start; bytes from outside them come out zero.
template <const auto& kGather, uint32_t kFirstOutput, uint32_t kLoad>
CSI2IPL_SSSE3 inline __m128i Gathered(const uint8_t* block) {
    static constexpr auto kControl = ShuffleControl(kGather, kFirstOutput, kLoad);
    return _mm_shuffle_epi8(Load(block + kLoad), Load(kControl.data()));
}

// Lanes of a high byte over a byte of 2-bit low parts as the 10-bit values in bits
// 15..6: each lane's multiplier brings its two low bits to bits 7..6.
CSI2IPL_SSSE3 inline __m128i TenBitValues(__m128i lanes, __m128i multipliers) {
    const __m128i high = _mm_and_si128(lanes, _mm_set1_epi16(static_cast<short>(0xFF00)));
    const __m128i lowBits = _mm_and_si128(_mm_mullo_epi16(lanes, multipliers), _mm_set1_epi16(0xC0));
    return _mm_or_si128(high, lowBits);
}

// Four RAW12 groups (12 of the 16 loaded bytes) as eight 16-bit values with the 12 bits
// in bits 15..4. The shuffle puts each group as the 32-bit lane [b2, b0, b2, b1]; keeping
// b0 and the high nibble of the second b2 in place and moving the first b2's low nibble
// up by 4 gives both values of the group at once.
CSI2IPL_SSSE3 inline __m128i Raw12Values(const uint8_t* in) {
    const __m128i lanes = Gathered<kRaw12Lanes, 0, 0>(in);
    const __m128i kept = _mm_and_si128(lanes, _mm_set1_epi32(static_cast<int>(0xFFF0FF00u)));
    const __m128i lowNibble = _mm_and_si128(_mm_slli_epi32(lanes, 4), _mm_set1_epi32(0xF0));
    return _mm_or_si128(kept, lowNibble);
}

// Two RAW10 groups (10 of the 16 loaded bytes) as eight 16-bit values with the 10 bits in
// bits 15..6. The shuffle pairs each high byte with its group's fifth byte below it; a
// multiply by 64, 16, 4 or 1 brings pixel k's two low bits to bits 7..6.
CSI2IPL_SSSE3 inline __m128i Raw10Values(const uint8_t* in) {
    return TenBitValues(Gathered<kRaw10Lanes, 0, 0>(in), _mm_setr_epi16(64, 16, 4, 1, 64, 16, 4, 1));
}

CSI2IPL_SSSE3 inline __m128i LowBytes(__m128i values) {
    const __m128i low = _mm_and_si128(values, _mm_set1_epi16(0xFF));
    return _mm_packus_epi16(low, low);
}

// The low bytes of sixteen 16-bit values, in order.
CSI2IPL_SSSE3 inline __m128i LowBytes(__m128i first, __m128i second) {
    const __m128i mask = _mm_set1_epi16(0xFF);
    return _mm_packus_epi16(_mm_and_si128(first, mask), _mm_and_si128(second, mask));
}

// ---- The formats whose blocks read only their own groups. A block function takes the
// block's first payload byte, its first output byte and the bit shift as a count.

using Block = void (*)(const uint8_t* in, uint8_t* out, __m128i count);

// Unpacks the whole blocks of kBlockGroups groups among the line's first `groups` and
// says how many groups they covered; the rest are left to the plain form.
template <uint32_t kGroupBytes, uint32_t kGroupOutputBytes, uint32_t kBlockGroups, Block kBlock>
CSI2IPL_SSSE3 inline uint32_t WholeBlocks(const uint8_t* payload, uint8_t* row, uint32_t groups, unsigned shift) {
    const __m128i count = _mm_cvtsi32_si128(static_cast<int>(shift));
    uint32_t g = 0;
    for (; groups - g >= kBlockGroups; g += kBlockGroups)
        kBlock(payload + size_t{kGroupBytes} * g, row + size_t{kGroupOutputBytes} * g, count);
    return g;
}

// RAW16, 8 pixels and 16 pixels.
CSI2IPL_SSSE3 inline __m128i Raw16Values(const uint8_t* in) { return Gathered<kRaw16Values, 0, 0>(in); }
CSI2IPL_SSSE3 void Raw16WideBlock(const uint8_t* in, uint8_t* out, __m128i count) {
    Store(out, _mm_sll_epi16(Raw16Values(in), count));
}
CSI2IPL_SSSE3 void Raw16NarrowBlock(const uint8_t* in, uint8_t* out, __m128i count) {
    Store(out, LowBytes(_mm_srl_epi16(Raw16Values(in), count), _mm_srl_epi16(Raw16Values(in + 16), count)));
}

// RAW20: four groups (20 bytes) as the eight pixels' high 16 bits; the first load holds
// three groups and a byte, the second the rest.
CSI2IPL_SSSE3 inline __m128i Raw20Values(const uint8_t* in) {
    return _mm_or_si128(Gathered<kRaw20HighValues, 0, 0>(in), Gathered<kRaw20HighValues, 0, 4>(in));
}
CSI2IPL_SSSE3 void Raw20WideBlock(const uint8_t* in, uint8_t* out, __m128i count) {
    Store(out, _mm_sll_epi16(Raw20Values(in), count));
}
// The 8-bit form moves the 16 bits, held at bits 25..10, down by 18 - shift and keeps the
// low byte: bits 8..15 of the 16 bits moved up by `shift`.
CSI2IPL_SSSE3 inline __m128i Raw20Narrow(const uint8_t* in, __m128i count) {
    return _mm_srli_epi16(_mm_sll_epi16(Raw20Values(in), count), 8);
}
CSI2IPL_SSSE3 void Raw20NarrowBlock(const uint8_t* in, uint8_t* out, __m128i count) {
    Store(out, _mm_packus_epi16(Raw20Narrow(in, count), Raw20Narrow(in + 20, count)));
}

// RAW24 from kRaw24Lanes lanes b2 b1 b2 b0: bits 4..19 of a lane are the value's low 16
// bits (b2's high nibble, b1, b2's low nibble), bits 24..31 its high byte (b0). The
// shifted value is the lane moved down by 4 + shift with the low part's bits kept, or'd
// with it moved down by 8 + shift with the high part's: two shifts instead of three.
// `keep` are the output's bits, so the masks also narrow the lanes for packing.
struct Raw24Shift {
    __m128i lowCount, highCount, lowMask, highMask;
};
CSI2IPL_SSSE3 inline Raw24Shift Raw24ShiftOf(__m128i count, int keep) {
    return {_mm_add_epi64(count, _mm_cvtsi32_si128(4)), _mm_add_epi64(count, _mm_cvtsi32_si128(8)),
            _mm_and_si128(_mm_srl_epi32(_mm_set1_epi32(0xFFFF), count), _mm_set1_epi32(keep)),
            _mm_and_si128(_mm_srl_epi32(_mm_set1_epi32(0xFF0000), count), _mm_set1_epi32(keep))};
}
// Four pixels, from the load at kLoad.
template <uint32_t kFirstPixel, uint32_t kLoad>
CSI2IPL_SSSE3 inline __m128i Raw24Shifted(const uint8_t* in, const Raw24Shift& shift) {
    const __m128i lanes = Gathered<kRaw24Lanes, 4 * kFirstPixel, kLoad>(in);
    return _mm_or_si128(_mm_and_si128(_mm_srl_epi32(lanes, shift.lowCount), shift.lowMask),
                        _mm_and_si128(_mm_srl_epi32(lanes, shift.highCount), shift.highMask));
}
// 8 pixels: the low 16 bits of each 32-bit lane, in order.
CSI2IPL_SSSE3 void Raw24WideBlock(const uint8_t* in, uint8_t* out, __m128i count) {
    const Raw24Shift shift = Raw24ShiftOf(count, 0xFFFF);
    const __m128i low16 = _mm_setr_epi8(0, 1, 4, 5, 8, 9, 12, 13, -1, -1, -1, -1, -1, -1, -1, -1);
    Store(out, _mm_unpacklo_epi64(_mm_shuffle_epi8(Raw24Shifted<0, 0>(in, shift), low16),
                                  _mm_shuffle_epi8(Raw24Shifted<4, 8>(in, shift), low16)));
}
// 16 pixels: lanes below 256, so the signed pack never saturates.
CSI2IPL_SSSE3 void Raw24NarrowBlock(const uint8_t* in, uint8_t* out, __m128i count) {
    const Raw24Shift shift = Raw24ShiftOf(count, 0xFF);
    const __m128i first = _mm_packs_epi32(Raw24Shifted<0, 0>(in, shift), Raw24Shifted<4, 8>(in, shift));
    const __m128i second = _mm_packs_epi32(Raw24Shifted<8, 24>(in, shift), Raw24Shifted<12, 32>(in, shift));
    Store(out, _mm_packus_epi16(first, second));
}

// YUV422 10-bit, 16-bit output: four groups (20 bytes) give 24 samples; no shift.
template <uint32_t kFirstSample, uint32_t kLoad>
CSI2IPL_SSSE3 inline __m128i Yuv422_10Samples(const uint8_t* in) {
    static constexpr auto kMultipliers = Yuv422_10LowBitMultipliers<8>(kFirstSample);
    return TenBitValues(Gathered<kYuv422_10Lanes, 2 * kFirstSample, kLoad>(in), Load(kMultipliers.data()));
}
CSI2IPL_SSSE3 void Yuv422_10WideBlock(const uint8_t* in, uint8_t* out, __m128i) {
    Store(out, Yuv422_10Samples<0, 0>(in));
    Store(out + 16, Yuv422_10Samples<8, 0>(in));
    Store(out + 32, Yuv422_10Samples<16, 4>(in));
}

// YUV422 10-bit, 8-bit output: eight groups (40 bytes) give 48 high bytes, each shifted
// down (a 16-bit shift, then a mask that clears what came in from the next byte).
template <uint32_t kFirstSample, uint32_t kLoad>
CSI2IPL_SSSE3 inline __m128i Yuv422_10HighBytes(const uint8_t* in, __m128i count) {
    const __m128i byteMaskLanes = _mm_srl_epi16(_mm_set1_epi16(0xFF), count);
    return _mm_and_si128(_mm_srl_epi16(Gathered<kYuv422_10HighBytes, kFirstSample, kLoad>(in), count),
                         _mm_packus_epi16(byteMaskLanes, byteMaskLanes));
}
CSI2IPL_SSSE3 void Yuv422_10NarrowBlock(const uint8_t* in, uint8_t* out, __m128i count) {
    Store(out, Yuv422_10HighBytes<0, 0>(in, count));
    Store(out + 16, Yuv422_10HighBytes<16, 11>(in, count));
    Store(out + 32, Yuv422_10HighBytes<32, 24>(in, count));
}

// YUV422 8-bit, either order: eight groups (32 bytes) give 48 samples.
template <const auto& kGather>
CSI2IPL_SSSE3 void Yuv422_8Block(const uint8_t* in, uint8_t* out, __m128i) {
    Store(out, Gathered<kGather, 0, 0>(in));
    Store(out + 16, Gathered<kGather, 16, 8>(in));
    Store(out + 32, Gathered<kGather, 32, 16>(in));
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

// Vector blocks, then the plain form from the first group they left.
#define CSI2IPL_BLOCKS_THEN_PLAIN(name, plain, groupPixels, groupBytes, groupOutputBytes, blockGroups, block, \
                                  blockShift)                                                             \
    CSI2IPL_SSSE3 CSI2IPL_SIMD_UNPACKER(name) {                                                           \
        (void)wordCount;                                                                                  \
        const uint32_t groups = width / (groupPixels);                                                    \
        const uint32_t done =                                                                             \
            WholeBlocks<groupBytes, groupOutputBytes, blockGroups, block>(payload, row, groups, blockShift); \
        scalar::plain(payload, row, done, groups, shift);                                                 \
    }

CSI2IPL_BLOCKS_THEN_PLAIN(Raw16_16bit_Ssse3, Raw16_16bitFrom, 1, 2, 2, 8, Raw16WideBlock, shift)
CSI2IPL_BLOCKS_THEN_PLAIN(Raw16_8bit_Ssse3, Raw16_8bitFrom, 1, 2, 1, 16, Raw16NarrowBlock, shift)
CSI2IPL_BLOCKS_THEN_PLAIN(Raw20_16bit_Ssse3, Raw20_16bitFrom, 2, 5, 4, 4, Raw20WideBlock, Raw20WideShift(shift))
CSI2IPL_BLOCKS_THEN_PLAIN(Raw20_8bit_Ssse3, Raw20_8bitFrom, 2, 5, 2, 8, Raw20NarrowBlock, shift)
CSI2IPL_BLOCKS_THEN_PLAIN(Raw24_16bit_Ssse3, Raw24_16bitFrom, 1, 3, 2, 8, Raw24WideBlock, shift)
CSI2IPL_BLOCKS_THEN_PLAIN(Raw24_8bit_Ssse3, Raw24_8bitFrom, 1, 3, 1, 16, Raw24NarrowBlock, shift)
CSI2IPL_BLOCKS_THEN_PLAIN(Yuv422_10_16bit_Ssse3, Yuv422_10_16bitFrom, 2, 5, 12, 4, Yuv422_10WideBlock, 0)
CSI2IPL_BLOCKS_THEN_PLAIN(Yuv422_10_8bit_Ssse3, Yuv422_10_8bitFrom, 2, 5, 6, 8, Yuv422_10NarrowBlock, shift)
CSI2IPL_BLOCKS_THEN_PLAIN(Yuv422_8_8bit_Ssse3, Yuv422_8_8bitFrom, 2, 4, 6, 8, Yuv422_8Block<kYuv422_8Samples>,
                          0)
CSI2IPL_BLOCKS_THEN_PLAIN(Yuv422_8_YUSwapped_8bit_Ssse3, Yuv422_8_YUSwapped_8bitFrom, 2, 4, 6, 8,
                          Yuv422_8Block<kYuv422_8YUSwappedSamples>, 0)

#undef CSI2IPL_BLOCKS_THEN_PLAIN

}  // namespace csi2ipl::simd
