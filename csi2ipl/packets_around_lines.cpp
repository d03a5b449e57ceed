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
    if (from >= size) return std::nullopt;
    for (size_t at = FindPacketStart(data, size, static_cast<size_t>(from)); at < size && at < to;
         at = FindPacketStart(data, size, at + 1))
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
    const auto add = [&](uint64_t from, uint64_t to) {
        PacketList packets = PacketsIn(data, size, from, to);
        if (!packets.empty()) around.regions.push_back({from, to, std::move(packets)});
    };
    add(startOffset, lines.front().offset);
    const std::optional<uint64_t> common = CommonGapWidth(lines);
    for (size_t i = 0; i + 1 < lines.size(); ++i) {
        const uint64_t end = lines[i].PayloadEnd();
        const uint64_t next = lines[i + 1].offset;
        // A gap that only its line's room fills holds no packet.
        if (static_cast<int64_t>(next - end) <= ends.rooms[i] || next - end == common) continue;
        add(end, next);
    }
    add(lines.back().PayloadEnd(), PacketsAroundLines::kFrameEnd);
    return around;
}

std::optional<uint64_t> UncountedLinePacket(const PacketsAroundLines& around, uint8_t dataType, const uint8_t* data,
                                            size_t size) {
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
        const bool afterTheLines = region.to == PacketsAroundLines::kFrameEnd;
        if (alike) {
            if (!afterTheLines) continue;
            const size_t bound = static_cast<size_t>(std::min<uint64_t>(size, from + kNearAfterLastPacket + kPacketHeaderBytes));
            if (from >= bound || FindPacketStart(data, bound, static_cast<size_t>(from)) >= bound) continue;
        }
        if (const std::optional<uint64_t> line = LinePacketIn(data, size, from, region.to, dataType)) return line;
    }
    return std::nullopt;
}

}  // namespace csi2ipl
