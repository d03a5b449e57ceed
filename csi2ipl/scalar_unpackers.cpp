#include "csi2ipl/scalar_unpackers.hpp"

#include <algorithm>
#include <array>
#include <cstring>

#include "csi2ipl/group_byte_orders.hpp"

namespace csi2ipl::scalar {

namespace {

// 16-bit rows are written through this, so a row that is not 2-byte aligned is no fault.
inline void Store16(uint8_t* row, uint32_t index, uint32_t value) {
    const uint16_t sample = static_cast<uint16_t>(value);
    std::memcpy(row + 2 * static_cast<size_t>(index), &sample, sizeof sample);
}

// The row takes the line's own bytes, at most a row's worth; a shorter line leaves the
// rest of the row black rather than holding the previous frame's pixels.
void CopyLine(const uint8_t* payload, uint32_t wordCount, uint8_t* row, uint64_t rowBytes) {
    const uint64_t copied = std::min<uint64_t>(wordCount, rowBytes);
    std::memcpy(row, payload, copied);
    std::memset(row + copied, 0, rowBytes - copied);
}

// RAW10: four high bytes, then a byte with the two low bits of each pixel, pixel k in
// bits 2k + 1 and 2k. The value carries the 10 bits in bits 15..6.
inline uint32_t Raw10Value(const uint8_t* group, unsigned k) {
    return (static_cast<uint32_t>(group[k]) << 8) + (((group[4] >> (2 * k)) & 3u) << 6);
}

// RAW12: two high bytes, then the low nibbles (first pixel low, second high). The value
// carries the 12 bits in bits 15..4.
inline uint32_t Raw12First(const uint8_t* group) {
    return (static_cast<uint32_t>(group[0]) << 8) + ((group[2] << 4) & 0xF0u);
}
inline uint32_t Raw12Second(const uint8_t* group) {
    return (static_cast<uint32_t>(group[1]) << 8) + (group[2] & 0xF0u);
}

inline uint32_t Raw16Value(const uint8_t* pair) { return (static_cast<uint32_t>(pair[0]) << 8) + pair[1]; }

// One RAW20 pixel's bytes 0 and 1 at bits 25..10.
inline uint32_t Raw20High(const uint8_t* pair) {
    return (static_cast<uint32_t>(pair[0]) << 18) + (static_cast<uint32_t>(pair[1]) << 10);
}

inline uint32_t Raw24Value(const uint8_t* group) {
    return (static_cast<uint32_t>(group[0]) << 16) + ((group[2] & 0x0Fu) << 12) + (group[1] << 4u) +
           (group[2] >> 4u);
}

// YUV422 8-bit: each group of four bytes gives six samples, picked by `sampleBytes`.
void Rearrange(const std::array<uint8_t, 6>& sampleBytes, const uint8_t* payload, uint8_t* row, uint32_t firstGroup,
               uint32_t groups) {
    for (uint32_t g = firstGroup; g < groups; ++g) {
        const uint8_t* in = payload + 4 * static_cast<size_t>(g);
        uint8_t* out = row + 6 * static_cast<size_t>(g);
        for (unsigned i = 0; i < 6; ++i) out[i] = in[sampleBytes[i]];
    }
}

}  // namespace

CSI2IPL_UNPACKER(Raw8_8bit) {
    (void)shift;
    CopyLine(payload, wordCount, row, width);
}

CSI2IPL_UNPACKER(Rgb888_8bit) {
    (void)shift;
    CopyLine(payload, wordCount, row, 3ull * width);
}

void Raw10_16bitFrom(const uint8_t* payload, uint8_t* row, uint32_t firstGroup, uint32_t groups,
                     unsigned shift) {
    for (uint32_t g = firstGroup; g < groups; ++g) {
        const uint8_t* group = payload + 5 * static_cast<size_t>(g);
        for (unsigned k = 0; k < 4; ++k) Store16(row, 4 * g + k, Raw10Value(group, k) >> shift);
    }
}

void Raw10_8bitFrom(const uint8_t* payload, uint8_t* row, uint32_t firstGroup, uint32_t groups, unsigned shift) {
    for (uint32_t g = firstGroup; g < groups; ++g) {
        const uint8_t* group = payload + 5 * static_cast<size_t>(g);
        for (unsigned k = 0; k < 4; ++k) row[4 * static_cast<size_t>(g) + k] = static_cast<uint8_t>(Raw10Value(group, k) >> shift);
    }
}

void Raw12_16bitFrom(const uint8_t* payload, uint8_t* row, uint32_t firstGroup, uint32_t groups,
                     unsigned shift) {
    for (uint32_t g = firstGroup; g < groups; ++g) {
        const uint8_t* group = payload + 3 * static_cast<size_t>(g);
        Store16(row, 2 * g, Raw12First(group) << shift);
        Store16(row, 2 * g + 1, Raw12Second(group) << shift);
    }
}

void Raw12_8bitFrom(const uint8_t* payload, uint8_t* row, uint32_t firstGroup, uint32_t groups, unsigned shift) {
    for (uint32_t g = firstGroup; g < groups; ++g) {
        const uint8_t* group = payload + 3 * static_cast<size_t>(g);
        row[2 * static_cast<size_t>(g)] = static_cast<uint8_t>(Raw12First(group) >> shift);
        row[2 * static_cast<size_t>(g) + 1] = static_cast<uint8_t>(Raw12Second(group) >> shift);
    }
}

// RAW16 is read with the pair's first byte as the high byte.
void Raw16_16bitFrom(const uint8_t* payload, uint8_t* row, uint32_t firstGroup, uint32_t groups, unsigned shift) {
    for (uint32_t x = firstGroup; x < groups; ++x) Store16(row, x, Raw16Value(payload + 2 * static_cast<size_t>(x)) << shift);
}

void Raw16_8bitFrom(const uint8_t* payload, uint8_t* row, uint32_t firstGroup, uint32_t groups, unsigned shift) {
    for (uint32_t x = firstGroup; x < groups; ++x)
        row[x] = static_cast<uint8_t>(Raw16Value(payload + 2 * static_cast<size_t>(x)) >> shift);
}

// RAW20 keeps the high 16 bits of each pixel (bytes 0 and 1, 2 and 3) at bits 25..10;
// the fifth byte's low bits are not used. Shifts past the top leave 0.
void Raw20_16bitFrom(const uint8_t* payload, uint8_t* row, uint32_t firstGroup, uint32_t groups, unsigned shift) {
    const unsigned down = (10u - shift) & 31u;
    for (uint32_t g = firstGroup; g < groups; ++g) {
        const uint8_t* group = payload + 5 * static_cast<size_t>(g);
        Store16(row, 2 * g, Raw20High(group) >> down);
        Store16(row, 2 * g + 1, Raw20High(group + 2) >> down);
    }
}

void Raw20_8bitFrom(const uint8_t* payload, uint8_t* row, uint32_t firstGroup, uint32_t groups, unsigned shift) {
    const unsigned down = 18u - shift;
    for (uint32_t g = firstGroup; g < groups; ++g) {
        const uint8_t* group = payload + 5 * static_cast<size_t>(g);
        row[2 * static_cast<size_t>(g)] = static_cast<uint8_t>(Raw20High(group) >> down);
        row[2 * static_cast<size_t>(g) + 1] = static_cast<uint8_t>(Raw20High(group + 2) >> down);
    }
}

void Raw24_16bitFrom(const uint8_t* payload, uint8_t* row, uint32_t firstGroup, uint32_t groups, unsigned shift) {
    for (uint32_t x = firstGroup; x < groups; ++x) Store16(row, x, Raw24Value(payload + 3 * static_cast<size_t>(x)) >> shift);
}

void Raw24_8bitFrom(const uint8_t* payload, uint8_t* row, uint32_t firstGroup, uint32_t groups, unsigned shift) {
    for (uint32_t x = firstGroup; x < groups; ++x)
        row[x] = static_cast<uint8_t>(Raw24Value(payload + 3 * static_cast<size_t>(x)) >> shift);
}

// The 16-bit YUV422 10-bit samples keep their full 10 bits; the bit shift is not applied.
void Yuv422_10_16bitFrom(const uint8_t* payload, uint8_t* row, uint32_t firstGroup, uint32_t groups, unsigned shift) {
    (void)shift;
    for (uint32_t g = firstGroup; g < groups; ++g) {
        const uint8_t* group = payload + 5 * static_cast<size_t>(g);
        for (unsigned i = 0; i < 6; ++i) Store16(row, 6 * g + i, Raw10Value(group, kYuv422_10SampleBytes[i]));
    }
}

void Yuv422_10_8bitFrom(const uint8_t* payload, uint8_t* row, uint32_t firstGroup, uint32_t groups, unsigned shift) {
    for (uint32_t g = firstGroup; g < groups; ++g) {
        const uint8_t* group = payload + 5 * static_cast<size_t>(g);
        for (unsigned i = 0; i < 6; ++i)
            row[6 * static_cast<size_t>(g) + i] = static_cast<uint8_t>(group[kYuv422_10SampleBytes[i]] >> shift);
    }
}

void Yuv422_8_8bitFrom(const uint8_t* payload, uint8_t* row, uint32_t firstGroup, uint32_t groups, unsigned shift) {
    (void)shift;
    Rearrange(kYuv422_8SampleBytes, payload, row, firstGroup, groups);
}

void Yuv422_8_YUSwapped_8bitFrom(const uint8_t* payload, uint8_t* row, uint32_t firstGroup, uint32_t groups,
                                 unsigned shift) {
    (void)shift;
    Rearrange(kYuv422_8YUSwappedSampleBytes, payload, row, firstGroup, groups);
}

// The whole-line forms of the unpackers above: every group from the first.
#define CSI2IPL_WHOLE_LINE(name, groupPixels)                          \
    CSI2IPL_UNPACKER(name) {                                          \
        (void)wordCount;                                              \
        name##From(payload, row, 0, width / (groupPixels), shift);    \
    }

CSI2IPL_WHOLE_LINE(Raw10_16bit, 4)
CSI2IPL_WHOLE_LINE(Raw10_8bit, 4)
CSI2IPL_WHOLE_LINE(Raw12_16bit, 2)
CSI2IPL_WHOLE_LINE(Raw12_8bit, 2)
CSI2IPL_WHOLE_LINE(Raw16_16bit, 1)
CSI2IPL_WHOLE_LINE(Raw16_8bit, 1)
CSI2IPL_WHOLE_LINE(Raw20_16bit, 2)
CSI2IPL_WHOLE_LINE(Raw20_8bit, 2)
CSI2IPL_WHOLE_LINE(Raw24_16bit, 1)
CSI2IPL_WHOLE_LINE(Raw24_8bit, 1)
CSI2IPL_WHOLE_LINE(Yuv422_10_16bit, 2)
CSI2IPL_WHOLE_LINE(Yuv422_10_8bit, 2)
CSI2IPL_WHOLE_LINE(Yuv422_8_8bit, 2)
CSI2IPL_WHOLE_LINE(Yuv422_8_YUSwapped_8bit, 2)

#undef CSI2IPL_WHOLE_LINE

}  // namespace csi2ipl::scalar
