#include "csi2ipl/packet_scanner.hpp"

#include <algorithm>
#include <cstring>

namespace csi2ipl {

namespace {

// A preamble at `at` with `fit` bytes of the data from there (the preamble alone, or a
// whole packet header).
bool PreambleAt(const uint8_t* data, size_t size, size_t at, size_t fit = kPacketHeaderBytes) {
    return at <= size && size - at >= fit && LoadWord32(data + at) == kPreamble;
}

// The first position at or after `from` where a preamble stands with `fit` bytes of the
// data from there; `size` when there is none.
size_t FindPreamble(const uint8_t* data, size_t size, size_t from, size_t fit) {
    if (size < fit) return size;
    const size_t last = size - fit;
    size_t at = from;
    while (at <= last) {
        const void* found = std::memchr(data + at, kPreambleByte, last - at + 1);
        if (found == nullptr) return size;
        at = static_cast<size_t>(static_cast<const uint8_t*>(found) - data);
        if (LoadWord32(data + at) == kPreamble) return at;
        ++at;
    }
    return size;
}

// Offsets in a line list are 32-bit: a frame is scanned over its first 4 GiB at most.
size_t ScanBound(size_t size) { return std::min<size_t>(size, UINT32_MAX); }

PacketItem ItemAt(const uint8_t* data, size_t at) {
    PacketItem item;
    item.offset = static_cast<uint32_t>(at);
    std::memcpy(item.header, data + at, kPacketHeaderBytes);
    return item;
}

}  // namespace

size_t FindPacketStart(const uint8_t* data, size_t size, size_t from) {
    return FindPreamble(data, ScanBound(size), from, kPacketHeaderBytes);
}

size_t NextPacketStart(const uint8_t* data, size_t size, const PacketItem& packet) {
    size = ScanBound(size);
    const uint64_t at = packet.offset;
    if (IsShortPacketType(packet.DataType())) return FindPacketStart(data, size, at + kShortPacketBytes);
    // Where the payload ends; the footer normally follows, then the next preamble. A
    // capture without footers still finds its next packet by the search from the end.
    const uint64_t payloadEnd = at + kPacketHeaderBytes + packet.WordCount();
    if (payloadEnd >= size) return size;
    if (PreambleAt(data, size, payloadEnd + kPacketFooterBytes)) return payloadEnd + kPacketFooterBytes;
    return FindPacketStart(data, size, payloadEnd);
}

PacketList find_all_Longpackages(const uint8_t* data, size_t size) {
    size = ScanBound(size);
    PacketList packets;
    for (size_t at = FindPacketStart(data, size, 0); at < size;) {
        const PacketItem item = ItemAt(data, at);
        if (!IsShortPacketType(item.DataType())) {
            const bool payloadInside = size - at - kPacketHeaderBytes >= item.WordCount();
            if (IsReservedType(item.DataType()) || !payloadInside) {
                at = FindPacketStart(data, size, at + 1);
                continue;
            }
            packets.push_back(item);
        }
        at = NextPacketStart(data, size, item);
    }
    return packets;
}

std::vector<uint8_t> get_unique_datatypes(const PacketList& packets) {
    std::vector<uint8_t> identifiers;
    for (const PacketItem& item : packets)
        if (identifiers.empty() || identifiers.back() != item.DataIdentifier())
            identifiers.push_back(item.DataIdentifier());
    return identifiers;
}

PacketList filter_by_datatype(const PacketList& packets, uint8_t dataIdentifier) {
    PacketList matching;
    std::copy_if(packets.begin(), packets.end(), std::back_inserter(matching),
                 [dataIdentifier](const PacketItem& item) { return item.DataIdentifier() == dataIdentifier; });
    return matching;
}

uint8_t find_primary_image_form_pnt_list(const PacketList& packets) {
    uint8_t primary = 0;
    size_t bestCount = 0;
    for (uint8_t identifier : get_unique_datatypes(packets)) {
        const size_t count = static_cast<size_t>(
            std::count_if(packets.begin(), packets.end(),
                          [identifier](const PacketItem& item) { return item.DataIdentifier() == identifier; }));
        if (count > bestCount) {
            bestCount = count;
            primary = identifier;
        }
    }
    return primary;
}

std::optional<PacketItem> CSI2FindType(const uint8_t* data, size_t size, size_t startOffset, uint8_t dataType) {
    size = ScanBound(size);
    for (size_t at = FindPacketStart(data, size, startOffset); at < size;) {
        const PacketItem item = ItemAt(data, at);
        if (item.DataType() == dataType) return item;
        at = NextPacketStart(data, size, item);
    }
    return std::nullopt;
}

LineScan CSI2CountType(const uint8_t* data, size_t size, size_t startOffset, uint8_t dataType) {
    size = ScanBound(size);
    LineScan scan;
    for (size_t at = FindPacketStart(data, size, startOffset); at < size;) {
        const PacketItem item = ItemAt(data, at);
        if (item.DataType() != dataType || IsShortPacketType(dataType)) {
            // Not a line: its header is not trusted to say where the next packet is.
            at = FindPacketStart(data, size, at + 1);
            continue;
        }
        const bool payloadInside = size - at - kPacketHeaderBytes >= item.WordCount();
        if (payloadInside) {
            if (scan.lines.size() == 1) scan.lineLength = item.offset - scan.lines.front().offset;
            scan.lines.push_back(item);
        }
        at = NextPacketStart(data, size, item);
    }
    return scan;
}

Resynchronised AlignToNextPreamble(const uint8_t* data, size_t size, size_t position) {
    if (position >= size || PreambleAt(data, size, position, kPreambleBytes)) return {position, 0};
    if (size >= sizeof(uint32_t) && LoadWord32(data) == 0) return {position, 0};
    const size_t at = FindPreamble(data, size, position, kPreambleBytes);
    return {at, at - position};
}

}  // namespace csi2ipl
