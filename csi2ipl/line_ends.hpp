#pragma once
// How the line packets of a frame end. The room after a line is the bytes from the end of
// its payload to the next packet's preamble: its footer, and any bytes between packets. A
// byte lost or gained inside a line's packet, or right behind it, changes that line's
// room, wherever the line stands; a whole packet of another kind between two lines, or a
// byte lost or gained inside one, leaves every room as it was. The checks against damage
// compare rooms, never the distances between lines.
#include <cstddef>
#include <algorithm>
#include <cstdint>
#include <optional>
#include <vector>

#include "csi2ipl/packet_scanner.hpp"

namespace csi2ipl {

struct LineEnds {
    // The room after each line but the last, negative when the next packet's preamble
    // stands inside the line's payload.
    std::vector<int64_t> rooms;
    int64_t lineRoom = 0;      // the room most lines but the last have (the last's with one line)
    uint32_t footerBytes = 0;  // lineRoom as footer bytes, 0 to 2: 0 for lines without footers
    // The bytes after the last line's payload as footer bytes (0 to footerBytes): a frame
    // that ends at its last pixel has none.
    uint32_t lastFooterBytes = 0;
    uint32_t packetAfterLines = 0;  // where the packet after the last line starts; 0: none
    // From the last line's payload end to that packet; without one, to the frame's end (0
    // where the packet starts inside the payload: the line is cut short).
    uint64_t roomAfterLastLine = 0;
    // The first line packet followed by fewer bytes than the lines' footer before the next
    // packet: its payload, or its footer, lost a byte.
    std::optional<uint32_t> cutShort;
};

// What captures pad packets to: padding before the packet after the last line varies by
// whole words from frame to frame.
inline constexpr uint64_t kPaddingWordBytes = 4;
// How far behind its place the packet after the last line is looked for: more padding
// than that before it is taken for none following.
inline constexpr uint64_t kPaddingReach = 256;
// Bytes less than a word: how far inside a footerless last line a packet is looked for,
// and how far from its place a fifth B8 may push the packet after it.
inline constexpr uint64_t kNearBytes = 3;
static_assert(kNearBytes < kPaddingWordBytes);

// Where a packet after `lastLine` is looked for from. For lines without footers, a few
// bytes inside its payload: where that line lost bytes, the next preamble starts there. (A
// run of B8 gives its last four, so pixels of B8 in front of the packet are not taken.
// Behind pixels of B8, a checksum that starts with B8 would make four of its own: lines
// with footers are looked behind from their payload's end.)
inline uint64_t PacketAfterLastLineFrom(const PacketItem& lastLine, bool footers) {
    const uint64_t end = lastLine.PayloadEnd();
    return footers ? end : end - std::min<uint64_t>(kNearBytes, lastLine.WordCount());
}

// `lines`: of one word count, in order, each with its payload inside the data.
LineEnds MeasureLineEnds(const uint8_t* data, size_t size, const PacketList& lines);

// The offset of the first line of `foundLines` (of the same number and word count as the
// lines `stored` was measured at) whose packet does not end as the stored lines' do: its
// room differs; the packet after the last line is not at the room of the one the stored
// lines had (or, where none followed them, at the lines' room), give or take whole 32-bit
// words of padding; or, without one, the frame ends inside as much of the last footer as
// the stored frame held. Nothing when every line ends in place. A packet after the last
// line in one frame and not in the other is no sign of damage: captures differ there.
std::optional<uint32_t> LineEndingOutOfPlace(const LineEnds& stored, const LineEnds& found,
                                             const PacketList& foundLines);

}  // namespace csi2ipl
