#include "csi2ipl/packets_around_lines.hpp"

#include <algorithm>
#include <cstring>
#include <map>

#include "csi2ipl/csi2_packet.hpp"

namespace csi2ipl {

namespace {

// Behind the last packet after the lines, where the frame of the stream's lines had no
// more: a preamble this close shows a frame with more packets there.
constexpr uint64_t kNearAfterLastPacket = 12;

PacketItem ItemAt(const uint8_t* data, size_t at) {
    PacketItem item;
    item.offset = static_cast<uint32_t>(at);
    std::memcpy(item.header, data + at, kPacketHeaderBytes);
    return item;
}

// Where the bytes of `packet` end: a short packet's 8, a long packet's payload (its footer
// belongs to the bytes between packets).
uint64_t EndOf(const PacketItem& packet) {
    return IsShortPacketType(packet.DataType()) ? uint64_t{packet.offset} + kShortPacketBytes : packet.PayloadEnd();
}

// The packets of [from, to), each stepped over by its header's word count: the frame they
// are taken from is one whose lines two frames agreed on. A header that no packet has (a
// reserved type, a payload past the data) is passed by a byte.
PacketList PacketsIn(const uint8_t* data, size_t size, uint64_t from, uint64_t to) {
    PacketList packets;
    size = std::min<size_t>(size, UINT32_MAX);
    for (size_t at = FindPacketAfter(data, size, static_cast<size_t>(std::min<uint64_t>(from, size)));
         at < size && at < to;) {
        const PacketItem item = ItemAt(data, at);
        packets.push_back(item);
        const uint64_t end = EndOf(item);
        const bool passByAByte = !IsShortPacketType(item.DataType()) && (IsReservedType(item.DataType()) || end > size);
        at = FindPacketAfter(data, size, passByAByte ? at + 1 : static_cast<size_t>(end));
    }
    return packets;
}

bool SamePacketAt(const uint8_t* data, size_t size, const PacketItem& packet) {
    const uint64_t at = packet.offset;
    if (!PreambleAt(data, size, at) || data[at + 4] != packet.header[4]) return false;
    return IsShortPacketType(packet.DataType()) || std::memcmp(data + at + 5, packet.header + 5, 2) == 0;
}

// The first packet header of `dataType` starting in [from, to), every other header passed
// by a byte (its word count is not trusted: it may jump over a line).
std::optional<uint64_t> LinePacketIn(const uint8_t* data, size_t size, uint64_t from, uint64_t to,
                                     uint8_t dataType) {
    // No preamble is looked for past `to`: the search ends there, not at the data's end.
    const size_t bound = static_cast<size_t>(std::min<uint64_t>(size, to < size ? to + kPacketHeaderBytes : size));
    if (from >= bound) return std::nullopt;
    for (size_t at = FindPacketStart(data, bound, static_cast<size_t>(from)); at < bound && at < to;
         at = FindPacketStart(data, bound, at + 1))
        if (DataTypeOf(data[at + kPreambleBytes]) == dataType) return at;
    return std::nullopt;
}

// The width most gaps between lines have, where a strict majority of two or more shares
// it: the gaps of that width are not walked.
std::optional<uint64_t> CommonGapWidth(const PacketList& lines) {
    std::map<uint64_t, size_t> widths;
    for (size_t i = 0; i + 1 < lines.size(); ++i) ++widths[lines[i + 1].offset - lines[i].PayloadEnd()];
    const size_t gaps = lines.size() - 1;
    for (const auto& [width, count] : widths)
        if (count >= 2 && 2 * count > gaps) return width;
    return std::nullopt;
}

}  // namespace

PacketsAroundLines MapPacketsAroundLines(const uint8_t* data, size_t size, size_t startOffset,
                                         const PacketList& lines, const LineEnds& ends) {
    PacketsAroundLines around;
    const uint64_t room = static_cast<uint64_t>(std::max<int64_t>(0, ends.lineRoom));
    // A line packet with the room behind it, as the lines stand.
    const uint64_t lineBytes = kPacketHeaderBytes + lines.front().WordCount() + room;
    // The packets of [from, to) and the holes between them. Behind a line (or a long packet)
    // its room comes first; a short packet has none.
    const auto add = [&](uint64_t from, uint64_t to, bool behindTheLines) {
        const uint64_t bound = std::min<uint64_t>(to, size);
        PacketList packets = PacketsIn(data, size, from, bound);
        uint64_t cursor = from == startOffset ? from : from + room;
        for (const PacketItem& packet : packets) {
            if (packet.offset >= cursor + lineBytes) around.holes.push_back(cursor);
            cursor = std::max(cursor, EndOf(packet) + (IsShortPacketType(packet.DataType()) ? 0 : room));
        }
        if (bound >= cursor + lineBytes) around.holes.push_back(cursor);
        // Behind the lines, as far as a line packet more and padding reach past the last
        // packet: never to the end of a capture buffer, which may be large.
        if (behindTheLines) to = (packets.empty() ? from : EndOf(packets.back())) + lineBytes + kPaddingReach;
        if (!packets.empty()) around.regions.push_back({from, to, behindTheLines, std::move(packets)});
    };
    add(startOffset, lines.front().offset, false);
    const std::optional<uint64_t> common = CommonGapWidth(lines);
    for (size_t i = 0; i + 1 < lines.size(); ++i) {
        const uint64_t end = lines[i].PayloadEnd();
        const uint64_t next = lines[i + 1].offset;
        if (next - end == common) continue;
        // A gap that only its line's room fills holds no packet, but may hold a hole.
        if (static_cast<int64_t>(next - end) <= ends.rooms[i]) {
            if (next >= end + room + lineBytes) around.holes.push_back(end + room);
            continue;
        }
        add(end, next, false);
    }
    add(lines.back().PayloadEnd(), UINT64_MAX, true);
    return around;
}

std::optional<uint64_t> UncountedLinePacket(const PacketsAroundLines& around, uint8_t dataType, const uint8_t* data,
                                            size_t size) {
    for (const uint64_t hole : around.holes)
        if (PreambleAt(data, size, hole, kPreambleBytes + 1) && DataTypeOf(data[hole + kPreambleBytes]) == dataType)
            return hole;
    for (const PacketsAroundLines::Region& region : around.regions) {
        uint64_t from = region.from;
        bool alike = true;
        for (const PacketItem& packet : region.packets) {
            if (!SamePacketAt(data, size, packet)) {
                alike = false;
                break;
            }
            from = EndOf(packet);
        }
        if (alike) {
            if (!region.behindTheLines) continue;
            const size_t bound = static_cast<size_t>(std::min<uint64_t>(size, from + kNearAfterLastPacket + kPacketHeaderBytes));
            if (from >= bound || FindPacketStart(data, bound, static_cast<size_t>(from)) >= bound) continue;
        }
        if (const std::optional<uint64_t> line = LinePacketIn(data, size, from, region.to, dataType)) return line;
    }
    return std::nullopt;
}

}  // namespace csi2ipl
