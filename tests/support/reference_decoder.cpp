#include "support/reference_decoder.hpp"

#include <cstring>
#include <stdexcept>

namespace reference {

namespace {

using capture::type::kRaw10;
using capture::type::kRaw12;
using capture::type::kRaw16;
using capture::type::kRaw20;
using capture::type::kRaw24;
using capture::type::kRaw8;
using capture::type::kRgb888;
using capture::type::kYuv422_10;
using capture::type::kYuv422_8;
using capture::type::kYuv422_8_YUSwapped;

bool EightBitOnly(uint8_t decodeType) {
    return decodeType == kRaw8 || decodeType == kRgb888 || decodeType == kYuv422_8 ||
           decodeType == kYuv422_8_YUSwapped;
}

uint32_t ChannelsOf(uint8_t decodeType) {
    return decodeType == kRgb888 || decodeType == kYuv422_8 || decodeType == kYuv422_8_YUSwapped ||
                   decodeType == kYuv422_10
               ? 3
               : 1;
}

// A 10-bit sample taken from byte n of a five-byte group: the byte gives bits 15..8, the
// fifth byte's bits 2n + 1 and 2n give bits 7 and 6.
uint32_t TenBit(const uint8_t* group, unsigned n) {
    const uint32_t low = (group[4] >> (2 * n)) & 3;
    return group[n] * 256u + low * 64u;
}

// The sample of pixel x, channel c, before the depth cut: the value and whether the bit
// shift moves it left (true), right (false); `applyShift` false keeps it as it is.
struct Raw {
    uint64_t value;
    int shiftSign;  // +1: left by s, -1: right by s, 0: no shift
};

Raw SampleOf(uint8_t type, const uint8_t* p, uint32_t x, bool eightBit) {
    switch (type) {
        case kRaw10: {
            const uint8_t* g = p + (x / 4) * 5;
            return {TenBit(g, x % 4), -1};
        }
        case kRaw12: {
            const uint8_t* g = p + (x / 2) * 3;
            const uint32_t high = g[x % 2];
            const uint32_t lowNibble = x % 2 == 0 ? (g[2] & 0x0F) : (g[2] >> 4);
            // The 12-bit pixel lands in bits 15..4.
            return {(high << 4 | lowNibble) << 4, eightBit ? -1 : +1};
        }
        case kRaw16: {
            const uint8_t* g = p + x * 2;
            return {g[0] * 256u + g[1], eightBit ? -1 : +1};
        }
        case kRaw24: {
            const uint8_t* g = p + x * 3;
            const uint64_t v = uint64_t{g[0]} * 65536 + uint64_t(g[2] & 0x0F) * 4096 + uint64_t{g[1]} * 16 + (g[2] >> 4);
            return {v, -1};
        }
        default:
            throw std::logic_error("reference: not a one-sample type");
    }
}

// RAW20: the two high bytes of a pixel at bits 25..18 and 17..10, shifted right by
// 10 - s (16-bit output, modulo 32) or 18 - s (8-bit output).
uint64_t Raw20(const uint8_t* p, uint32_t x, bool eightBit, unsigned s) {
    const uint8_t* g = p + (x / 2) * 5 + (x % 2) * 2;
    const uint64_t v = uint64_t{g[0]} << 18 | uint64_t{g[1]} << 10;
    const unsigned down = eightBit ? 18 - s : (10 - s + 32) % 32;
    return v >> down;
}

}  // namespace

uint32_t WidthOf(uint8_t decodeType, uint32_t wordCount) {
    switch (decodeType) {
        case kRaw8:
            return wordCount;
        case kRgb888:
        case kRaw24:
            return wordCount / 3;
        case kRaw16:
            return wordCount / 2;
        case kRaw10:
            return wordCount / 5 * 4;
        case kRaw12:
            return wordCount / 3 * 2;
        case kRaw20:
        case kYuv422_10:
            return wordCount / 5 * 2;
        case kYuv422_8:
        case kYuv422_8_YUSwapped:
            return wordCount / 4 * 2;
        default:
            throw std::invalid_argument("reference: unknown decode type");
    }
}

Image Decode(const std::vector<uint8_t>& frame, const std::vector<capture::PacketPlacement>& lines,
             uint8_t decodeType, bool limitTo8, unsigned shift) {
    Image image;
    if (lines.empty()) return image;
    const bool eightBit = limitTo8 || EightBitOnly(decodeType);
    image.width = WidthOf(decodeType, lines.front().wordCount);
    image.height = static_cast<uint32_t>(lines.size());
    image.channels = ChannelsOf(decodeType);
    image.depth = eightBit ? 8 : 16;
    const uint64_t cut = eightBit ? 0xFF : 0xFFFF;
    for (const capture::PacketPlacement& line : lines) {
        const uint8_t* p = frame.data() + line.offset + 8;
        for (uint32_t x = 0; x < image.width; ++x) {
            for (uint32_t c = 0; c < image.channels; ++c) {
                uint64_t sample = 0;
                switch (decodeType) {
                    case kRaw8:
                    case kRgb888: {
                        // The row holds the line's own bytes up to its word count, then zeros.
                        const uint32_t index = x * image.channels + c;
                        sample = index < line.wordCount ? p[index] : 0;
                        break;
                    }
                    case kYuv422_8: {  // U Y0 V Y1 -> Y U V per pixel
                        const uint8_t* g = p + (x / 2) * 4;
                        const uint8_t y = x % 2 == 0 ? g[1] : g[3];
                        sample = c == 0 ? y : c == 1 ? g[0] : g[2];
                        break;
                    }
                    case kYuv422_8_YUSwapped: {  // Y0 U Y1 V -> Y U V per pixel
                        const uint8_t* g = p + (x / 2) * 4;
                        const uint8_t y = x % 2 == 0 ? g[0] : g[2];
                        sample = c == 0 ? y : c == 1 ? g[1] : g[3];
                        break;
                    }
                    case kYuv422_10: {  // bytes Y0 U Y1 V, low bits in the fifth
                        const uint8_t* g = p + (x / 2) * 5;
                        const unsigned n = c == 0 ? (x % 2 == 0 ? 0 : 2) : c == 1 ? 1 : 3;
                        sample = eightBit ? (g[n] >> shift) : TenBit(g, n);
                        break;
                    }
                    case kRaw20:
                        sample = Raw20(p, x, eightBit, shift);
                        break;
                    default: {
                        const Raw raw = SampleOf(decodeType, p, x, eightBit);
                        sample = raw.shiftSign > 0 ? raw.value << shift : raw.value >> shift;
                        break;
                    }
                }
                image.samples.push_back(static_cast<uint32_t>(sample & cut));
            }
        }
    }
    return image;
}

std::vector<uint32_t> SamplesOf(const uint8_t* image, size_t rowStep, uint32_t width, uint32_t height,
                                uint32_t channels, uint32_t depth) {
    std::vector<uint32_t> samples;
    samples.reserve(static_cast<size_t>(width) * height * channels);
    for (uint32_t y = 0; y < height; ++y) {
        const uint8_t* row = image + y * rowStep;
        for (uint32_t i = 0; i < width * channels; ++i) {
            if (depth == 8) {
                samples.push_back(row[i]);
            } else {
                uint16_t sample;
                std::memcpy(&sample, row + 2 * i, sizeof sample);
                samples.push_back(sample);
            }
        }
    }
    return samples;
}

}  // namespace reference
