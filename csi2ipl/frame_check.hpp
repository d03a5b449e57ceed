#pragma once
// The checks a frame passes before it is decoded at the geometry frame's line offsets:
// it is long enough for every line the decode reads, its frame-size word is not larger
// than the geometry frame's (when asked), a packet header of the lines' data type starts
// at the offsets of its first two lines and its last (or of every line), and a preamble
// where the packet after the last line stood in the geometry frame, when the frame reaches
// that far (a frame may end after its last line, without that packet).
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "csi2ipl/frame_geometry.hpp"

namespace csi2ipl {

enum class FrameStatus {
    kDecodable,
    kFrameTooShort,        // fewer than 64 + 8 bytes
    kFrameSizeMismatch,    // its frame-size word exceeds the geometry frame's
    kShorterThanLines,     // the lines to decode reach past its end
    kLineWithoutPreamble,  // no preamble where a line should start
    kLineOfOtherType,      // a preamble there, of a header of another data type
    kNoPacketAfterLines,   // no preamble where the packet after the last line stood
    kUncountedLine,        // a line packet of the type between the lines, which they do not count
};

struct FrameVerdict {
    FrameStatus status = FrameStatus::kDecodable;
    std::vector<std::string> reports;  // level 0, in order

    bool Decodable() const { return status == FrameStatus::kDecodable; }
    // Every refusal but a frame too short for a packet: the frame's lines are not as the
    // geometry has them (where it puts them, of its type, followed by the packet after the
    // last line, all it counts), or its frame-size word is larger (the geometry frame's may
    // have been a byte short). The frame's own lines may make the stream's image all the
    // same: the geometry pass looks at them (ComputeGeometryOfALaterFrame).
    bool WorthMeasuring() const {
        return status != FrameStatus::kDecodable && status != FrameStatus::kFrameTooShort;
    }
};

// The lines the line check looks at. The first two and the last find one byte a frame
// gained or lost against the frame the lines were found in; a frame checked against lines
// found in a frame that may have had a stray byte itself (the stream's geometry frame, or a
// frame decoded at lines found in it) may have its lines elsewhere in between alone, where
// the two stray bytes differ: every line is looked at then.
// Lines whose image no second frame has confirmed may also lack a line that damage in the
// geometry frame hid from its count (a data identifier changed): the bytes between them
// are searched for line packets they do not count.
enum class LineCheck {
    kFirstTwoAndLast,
    kEveryLine,
    kEveryLineAndTheBytesBetween,
};

// `geometry` must come from a ready geometry pass. The line check reports the first line
// that fails it.
FrameVerdict CheckFrame(const FrameGeometry& geometry, const uint8_t* data, size_t size, bool frameSizeCheck,
                        LineCheck lineCheck = LineCheck::kFirstTwoAndLast);

}  // namespace csi2ipl
