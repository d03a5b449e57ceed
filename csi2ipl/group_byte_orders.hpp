#pragma once
// Where each output byte of a rearranging format comes from within its group of payload
// bytes, and the byte-shuffle controls the vector unpackers work out from it at compile
// time: the plain and the vector forms follow one order, and a control cannot drift from
// its format by a mistyped index.
#include <array>
#include <cstddef>
#include <cstdint>

namespace csi2ipl {

// YUV422 10-bit: the six samples Y0 U V Y1 U V of two pixels come from bytes 0, 1, 3, 2,
// 1, 3 (the fifth byte holds the low bits).
inline constexpr std::array<uint8_t, 6> kYuv422_10SampleBytes = {0, 1, 3, 2, 1, 3};
// YUV422 8-bit, U Y0 V Y1 in, Y0 U V Y1 U V out.
inline constexpr std::array<uint8_t, 6> kYuv422_8SampleBytes = {1, 0, 2, 3, 0, 2};
// YUV422 8-bit sent as Y0 U Y1 V, Y0 U V Y1 U V out.
inline constexpr std::array<uint8_t, 6> kYuv422_8YUSwappedSampleBytes = {0, 1, 3, 2, 1, 3};

namespace simd {

// A rearrangement: each group of `groupBytes` payload bytes gives, in turn, the bytes at
// the offsets `order` within the group (kZeroByte for a zero byte).
template <size_t N>
struct GroupGather {
    uint32_t groupBytes;
    std::array<uint8_t, N> order;
};

inline constexpr uint8_t kZeroByte = 0xFF;

// The byte-shuffle control that puts output bytes [firstOutput, firstOutput + 16) of a
// line in place from the 16 payload bytes loaded at `loadOffset`. A byte whose source
// lies outside those 16 comes out zero, so that two loads can share a block of output.
template <size_t N>
constexpr std::array<int8_t, 16> ShuffleControl(const GroupGather<N>& gather, uint32_t firstOutput,
                                                uint32_t loadOffset) {
    std::array<int8_t, 16> control{};
    for (uint32_t i = 0; i < 16; ++i) {
        const uint32_t output = firstOutput + i;
        const uint8_t within = gather.order[output % N];
        const uint32_t source = output / N * gather.groupBytes + within;
        const bool loaded = within != kZeroByte && source >= loadOffset && source < loadOffset + 16;
        control[i] = loaded ? static_cast<int8_t>(source - loadOffset) : int8_t{-128};
    }
    return control;
}

// The 64-byte permute control that puts output bytes [firstOutput, firstOutput + 64) of a
// block in place from the block's first 128 payload bytes (a permute of two sources reads
// the second from index 64). A gather with zero bytes, or a source beyond those 128, does
// not compile.
template <size_t N>
constexpr std::array<uint8_t, 64> PermuteControl(const GroupGather<N>& gather, uint32_t firstOutput) {
    std::array<uint8_t, 64> control{};
    for (uint32_t i = 0; i < 64; ++i) {
        const uint32_t output = firstOutput + i;
        const uint8_t within = gather.order[output % N];
        const uint32_t source = output / N * gather.groupBytes + within;
        if (within == kZeroByte || source >= 128) throw "outside the block's two loads";
        control[i] = static_cast<uint8_t>(source);
    }
    return control;
}

// Two controls as one for the 256-bit shuffle, which works on each 128-bit half alone.
inline constexpr std::array<int8_t, 32> Halves(const std::array<int8_t, 16>& low, const std::array<int8_t, 16>& high) {
    std::array<int8_t, 32> both{};
    for (size_t i = 0; i < 16; ++i) {
        both[i] = low[i];
        both[16 + i] = high[i];
    }
    return both;
}

// The lanes the vector unpackers work on, in native byte order.
// RAW12: each group b0 b1 b2 as the 32-bit lane b2 b0 b2 b1, whose 16-bit halves hold
// both values once the first b2's low nibble is moved up by 4.
inline constexpr GroupGather<4> kRaw12Lanes{3, {2, 0, 2, 1}};
// RAW10: each of the four high bytes above the group's fifth byte, whose two bits for
// the pixel the vector forms move to bits 7..6.
inline constexpr GroupGather<8> kRaw10Lanes{5, {4, 0, 4, 1, 4, 2, 4, 3}};
// RAW16: each big-endian pair as a 16-bit value.
inline constexpr GroupGather<2> kRaw16Values{2, {1, 0}};
// RAW20: bytes 0 and 1, 2 and 3 of each group as two 16-bit values (the fifth is unused).
inline constexpr GroupGather<4> kRaw20HighValues{5, {1, 0, 3, 2}};
// RAW24: each pixel b0 b1 b2 as the 32-bit lane b2 b1 b2 b0, from which two shifts
// and a mask give the pixel's value (see the vector forms).
inline constexpr GroupGather<4> kRaw24Lanes{3, {2, 1, 2, 0}};
// RAW24 for 8-bit output, in 16-bit lanes: b1 below b2, and b0 alone in the high byte.
// The value's bits 0..15 are the first lane rotated left by 4; its bits 4..19 are the
// first lane's low 12 bits below the second lane shifted left by 4.
inline constexpr GroupGather<2> kRaw24MiddleBytes{3, {1, 2}};
inline constexpr GroupGather<2> kRaw24HighByte{3, {kZeroByte, 0}};
// YUV422 10-bit, 16-bit output: each sample's high byte above its group's fifth byte,
// whose two bits for the sample a multiply moves to bits 7..6.
inline constexpr GroupGather<12> kYuv422_10Lanes{5, {4, 0, 4, 1, 4, 3, 4, 2, 4, 1, 4, 3}};
// YUV422 10-bit, 8-bit output: the samples' high bytes.
inline constexpr GroupGather<6> kYuv422_10HighBytes{5, kYuv422_10SampleBytes};
inline constexpr GroupGather<6> kYuv422_8Samples{4, kYuv422_8SampleBytes};
inline constexpr GroupGather<6> kYuv422_8YUSwappedSamples{4, kYuv422_8YUSwappedSampleBytes};

// The left shift of kRaw20HighValues lanes for 16-bit output: the plain form moves the
// 16 bits, held at bits 25..10, down by (10 - shift) mod 32, which is a left shift up to
// 10 and leaves nothing for 11 and 12 (a count of 16 clears a 16-bit lane).
inline constexpr unsigned Raw20WideShift(unsigned shift) { return shift <= 10 ? shift : 16; }

// For kYuv422_10Lanes: the multipliers that bring the low bits of YUV422 10-bit samples
// firstSample, firstSample + 1, ... to bits 7..6 (those of byte k sit at bits 2k + 1, 2k).
template <size_t kSamples>
constexpr std::array<int16_t, kSamples> Yuv422_10LowBitMultipliers(uint32_t firstSample) {
    std::array<int16_t, kSamples> multipliers{};
    for (uint32_t i = 0; i < kSamples; ++i) {
        const uint8_t byte = kYuv422_10SampleBytes[(firstSample + i) % kYuv422_10SampleBytes.size()];
        multipliers[i] = static_cast<int16_t>(64 >> (2 * byte));
    }
    return multipliers;
}

}  // namespace simd

}  // namespace csi2ipl
