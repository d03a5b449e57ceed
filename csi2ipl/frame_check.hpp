#pragma once
// The checks a frame passes before it is decoded at the geometry frame's line offsets:
// it is long enough for every line the decode reads, its frame-size word is not larger
// than the geometry frame's (when asked), and its second line starts with a preamble.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "csi2ipl/frame_geometry.hpp"

namespace csi2ipl {

enum class FrameStatus {
    kDecodable,
    kFrameTooShort,           // fewer than 64 + 8 bytes
    kFrameSizeMismatch,       // its frame-size word exceeds the geometry frame's
    kShorterThanLines,        // the lines to decode reach past its end
    kLineWithoutPreamble,     // no preamble where the second line should start
};

struct FrameVerdict {
    FrameStatus status = FrameStatus::kDecodable;
    std::vector<std::string> reports;  // level 0, in order

    bool Decodable() const { return status == FrameStatus::kDecodable; }
};

// `geometry` must come from a ready geometry pass.
FrameVerdict CheckFrame(const FrameGeometry& geometry, const uint8_t* data, size_t size, bool frameSizeCheck);

}  // namespace csi2ipl
