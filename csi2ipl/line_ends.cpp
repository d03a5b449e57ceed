#include "csi2ipl/line_ends.hpp"

#include <algorithm>

#include "csi2ipl/csi2_packet.hpp"

namespace csi2ipl {

namespace {

// The room most of `rooms` have; of two as common, the larger, so that of a line cut short
// and a whole one, the whole one's footer is the lines'.
int64_t MostCommon(std::vector<int64_t> rooms) {
    std::sort(rooms.begin(), rooms.end());
    int64_t common = 0;
    size_t best = 0;
    for (size_t run = 0; run < rooms.size();) {
        size_t end = run;
        while (end < rooms.size() && rooms[end] == rooms[run]) ++end;
        if (end - run >= best) {
            best = end - run;
            common = rooms[run];
        }
        run = end;
    }
    return common;
}

}  // namespace

LineEnds MeasureLineEnds(const uint8_t* data, size_t size, const PacketList& lines) {
    LineEnds ends;
    ends.rooms.reserve(lines.size());
    for (size_t i = 0; i + 1 < lines.size(); ++i) {
        const uint64_t end = lines[i].PayloadEnd();
        const uint64_t next = lines[i + 1].offset;
        // The next line's preamble ends the search: the room is never past it.
        ends.rooms.push_back(end > next ? -static_cast<int64_t>(end - next)
                                        : static_cast<int64_t>(FindPacketAfter(data, size, end) - end));
    }
    // The room most lines have; with one line, the last line's own (below).
    const std::optional<int64_t> commonRoom =
        ends.rooms.empty() ? std::nullopt : std::optional<int64_t>(MostCommon(ends.rooms));
    const uint64_t lastEnd = lines.back().PayloadEnd();
    const bool footers = !commonRoom || *commonRoom > 0;
    const size_t after = FindPacketAfter(data, size, PacketAfterLastLineFrom(lines.back(), footers));
    const bool packetFollows = after < size;
    const int64_t lastRoom = static_cast<int64_t>(packetFollows ? after : size) - static_cast<int64_t>(lastEnd);
    ends.roomAfterLastLine = static_cast<uint64_t>(std::max<int64_t>(0, lastRoom));

    ends.lineRoom = commonRoom.value_or(lastRoom);
    ends.footerBytes = static_cast<uint32_t>(std::clamp<int64_t>(ends.lineRoom, 0, kPacketFooterBytes));
    ends.lastFooterBytes = static_cast<uint32_t>(std::clamp<int64_t>(lastRoom, 0, ends.footerBytes));
    if (packetFollows) ends.packetAfterLines = static_cast<uint32_t>(after);

    for (size_t i = 0; i < ends.rooms.size(); ++i)
        if (ends.rooms[i] < ends.footerBytes && !ends.cutShort) ends.cutShort = lines[i].offset;
    // A frame may end at its last pixel, without the last footer: only a packet that stands
    // inside that footer cuts the last line short.
    if (packetFollows && lastRoom < ends.footerBytes && !ends.cutShort) ends.cutShort = lines.back().offset;
    return ends;
}

std::optional<uint32_t> LineEndingOutOfPlace(const LineEnds& stored, const LineEnds& found,
                                             const PacketList& foundLines) {
    for (size_t i = 0; i < found.rooms.size() && i < stored.rooms.size(); ++i)
        if (found.rooms[i] != stored.rooms[i]) return foundLines[i].offset;
    bool lastInPlace;
    if (found.packetAfterLines != 0) {
        const uint64_t expected = stored.packetAfterLines != 0
                                      ? stored.roomAfterLastLine
                                      : static_cast<uint64_t>(std::max<int64_t>(0, stored.lineRoom));
        // Padding before that packet may differ by whole 32-bit words from frame to frame;
        // a byte lost or gained inside the last line moves the packet by one.
        const uint64_t apart = found.roomAfterLastLine > expected ? found.roomAfterLastLine - expected
                                                                  : expected - found.roomAfterLastLine;
        lastInPlace = apart % kPaddingWordBytes == 0;
    } else {
        // Padding or the frame's end follows: only a frame that ends inside the footer the
        // stored frame held shows that its last line lost bytes.
        lastInPlace = found.roomAfterLastLine >= stored.lastFooterBytes;
    }
    if (!lastInPlace) return foundLines.back().offset;
    return std::nullopt;
}

}  // namespace csi2ipl
