#pragma once
// The checks a frame passes before it is decoded at the stream's line offsets: it is long
// enough for every line the decode reads, its frame-size word is not larger than the
// stream's (when asked), a packet header of the lines' data type starts at the offsets of
// its first two lines and its last (or of every line), and what follows the last line
// shows that line whole and in its place (WhatFollowsTheLastLine), and no line packet of
// the type stands around the lines that they do not count (UncountedLinePacket).
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
    kPacketAfterLinesOff,  // a preamble a few bytes off where the packet after the last line stands
    kLineAfterLastLine,    // a line packet of the type behind the last line: the lines moved
    kUncountedLine,        // a line packet of the type around the lines that they do not count
};

struct FrameVerdict {
    FrameStatus status = FrameStatus::kDecodable;
    std::vector<std::string> reports;  // level 0, in order

    bool Decodable() const { return status == FrameStatus::kDecodable; }
    // Every refusal but a frame too short for a packet: the frame's lines are not as the
    // geometry has them (where it puts them, of its type, followed as the stream's last
    // line is), or its frame-size word is larger (the stream's first frame may have been a
    // byte short). The frame's own lines may make the stream's image all the same: the
    // geometry pass looks at them (StreamLines).
    bool WorthMeasuring() const {
        return status != FrameStatus::kDecodable && status != FrameStatus::kFrameTooShort;
    }
};

// What follows the last line, looked at in one header read where the frame is laid out as
// the stream's lines. Where those lines had a packet after the last one, a packet at its
// place is sound, unless it is a line packet of the stream's type: no such packet follows
// the last line, so the frame's lines moved (a line packet more in front of it). Where no
// packet stands at the place, the first one behind the last line is looked for, however
// far: padding before it varies by whole 32-bit words only, so one that stands off the
// place by bytes that make no whole word shows that the last line lost or gained bytes. No
// packet behind the last line (padding, or the frame's end): none follows in this frame,
// which is sound. Where the stream's lines had none, a line
// packet of the type where a next line would stand shows moved lines, and a packet that
// starts inside the last footer (or the payload's last bytes) a line that lost bytes; a
// byte gained inside the last line stays unseen there.
struct LastLineFollower {
    FrameStatus status = FrameStatus::kDecodable;  // or kPacketAfterLinesOff, kLineAfterLastLine
    uint64_t preambleAt = 0;                       // of the packet that shows it
};
LastLineFollower WhatFollowsTheLastLine(const FrameGeometry& geometry, const uint8_t* data, size_t size);

// The lines the line check looks at. The first two and the last find one byte a frame
// gained or lost against a frame whose lines stood at the same offsets as another's; lines
// as one frame's own geometry pass found them (that frame may have had a stray byte of its
// own, before a line in between) may have a later frame's lines elsewhere in between alone,
// where the two stray bytes differ: every line is looked at then.
enum class LineCheck {
    kFirstTwoAndLast,
    kEveryLine,
};

// `geometry` must come from a ready geometry pass. The line check reports the first line
// that fails it.
FrameVerdict CheckFrame(const FrameGeometry& geometry, const uint8_t* data, size_t size, bool frameSizeCheck,
                        LineCheck lineCheck = LineCheck::kFirstTwoAndLast);

}  // namespace csi2ipl
