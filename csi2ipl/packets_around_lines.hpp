#pragma once
// The packets that stand around the lines of a frame: before the first line, between two
// lines where more stands than between most, and after the last line. Lines learnt from
// frames that each lost a line (an identifier damaged, a packet dropped) stand where a
// clean frame's lines stand all the same; the clean frame then holds a line packet that
// those lines do not count, where the learning frames held another packet or behind the
// packets they ended with, or in bytes that frame held no packet in (a line whose header was
// garbled). The check reads the header at each place where the frame of the stream's lines
// held a packet, and at each such hole: where it finds another packet than that frame's, it
// searches to where the region ends for a line packet of the type.
//
// Between lines that most gaps are alike in (line end and line start markers around every
// line, say) nothing is read: a line packet there would stand where another packet of that
// width stood, and no lost line is that narrow. Reading two headers a line would cost a
// cache miss a line.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "csi2ipl/line_ends.hpp"
#include "csi2ipl/packet_scanner.hpp"

namespace csi2ipl {

struct PacketsAroundLines {
    // Bytes of a frame outside its lines, with the packets the frame held there, in order.
    struct Region {
        uint64_t from = 0;  // the previous line's payload end, or the start of the search for lines
        // The next line's offset; behind the last line, as far as a line packet more and a few
        // words of padding reach past the last packet there.
        uint64_t to = 0;
        bool behindTheLines = false;
        PacketList packets;
    };
    std::vector<Region> regions;
    // Where a line packet would start in bytes of the frame that no packet covered and that
    // hold one (a line whose header was garbled stood there): behind the previous line's
    // room, or behind the packet before.
    std::vector<uint64_t> holes;
};

// The packets around `lines` (those of a ready geometry pass over this frame, from
// `startOffset` on, whose ends `ends` measured).
PacketsAroundLines MapPacketsAroundLines(const uint8_t* data, size_t size, size_t startOffset,
                                         const PacketList& lines, const LineEnds& ends);

// Where a frame whose lines stand where `lines` has them holds a line packet of
// `dataType` (any virtual channel) around them that they do not count: at a hole of
// `around`, at a place where `around` has another packet, or, where the frame's packets
// there are not those of `around`, anywhere from the last one alike to the region's end.
// Behind the last packet after the lines, where none followed in the frame `around` was
// taken from, a packet within a few words shows more packets than that frame had: the
// region is searched then. Nothing when every line packet stands where the lines have one.
std::optional<uint64_t> UncountedLinePacket(const PacketsAroundLines& around, uint8_t dataType, const uint8_t* data,
                                            size_t size);

}  // namespace csi2ipl
