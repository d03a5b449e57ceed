#pragma once
// Line unpackers: one image line's payload into one row of the output image. The unpacker
// of a decode type, output depth and instruction level is chosen once, when the geometry
// is fixed, and then called for every line of every frame.
#include <cstdint>

#include "csi2ipl/data_formats.hpp"
#include "csi2ipl/simd_level.hpp"

namespace csi2ipl {

// Unpacks `width` pixels from `payload` into `row` (8-bit samples, or 16-bit samples in
// native order for the 16-bit unpackers) with the bit shift `shift` (0 to 12). Reads
// exactly PayloadBytesRead(format, width, wordCount) payload bytes and writes exactly
// width x channels samples. `wordCount` is the line's own payload length; only the
// whole-line copies (RAW8, RGB888) look at it.
using LineUnpacker = void (*)(const uint8_t* payload, uint32_t wordCount, uint8_t* row, uint32_t width,
                              unsigned shift);

inline constexpr unsigned kMaximumBitShift = 12;

// The unpacker of a decode type: 8-bit output when `limitTo8` is set or the format has
// depth 8, else 16-bit. Null for a type outside the format table. A level the processor
// lacks, or one a format has no vector form for, gives the next lower form.
LineUnpacker SelectUnpacker(uint8_t decodeType, bool limitTo8, SimdLevel level);

// The payload bytes an unpacker reads for a line: whole groups for the width; the
// whole-line copies take the line's word count but never more than one row.
uint64_t PayloadBytesRead(const DataFormat& format, uint32_t width, uint32_t wordCount);

}  // namespace csi2ipl
