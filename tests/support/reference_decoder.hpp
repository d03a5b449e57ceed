#pragma once
// The expected image of a frame, computed pixel by pixel from the unpacking rules of each
// data type, for comparison with the decoder. It shares no code with the decoder.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "support/capture_writer.hpp"

namespace reference {

struct Image {
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t channels = 0;
    uint32_t depth = 0;  // 8 or 16
    std::vector<uint32_t> samples;  // row by row, pixel by pixel, channel by channel

    uint32_t At(uint32_t x, uint32_t y, uint32_t channel) const {
        return samples[(static_cast<size_t>(y) * width + x) * channels + channel];
    }
};

// Width of the image whose first line has `wordCount` payload bytes, by the decode type.
uint32_t WidthOf(uint8_t decodeType, uint32_t wordCount);

// Decodes the lines found at `lines` in `frame` by `decodeType` (a data type or 0xFE),
// width from the first line, with 8-bit output when `limitTo8` is set (or the type is
// 8-bit), and the bit shift `shift`.
Image Decode(const std::vector<uint8_t>& frame, const std::vector<capture::PacketPlacement>& lines,
             uint8_t decodeType, bool limitTo8, unsigned shift);

// The samples of an image the decoder wrote: rows `rowStep` bytes apart, samples of
// `depth` bits in native order, in the same order as Image::samples.
std::vector<uint32_t> SamplesOf(const uint8_t* image, size_t rowStep, uint32_t width, uint32_t height,
                                uint32_t channels, uint32_t depth);

}  // namespace reference
