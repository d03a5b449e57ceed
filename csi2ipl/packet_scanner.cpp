#include "csi2ipl/packet_scanner.hpp"

#include <algorithm>
#include <cstring>

namespace csi2ipl {

namespace {

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

bool PreambleAt(const uint8_t* data, size_t size, size_t at, size_t fit) {
    return at <= size && size - at >= fit && LoadWord32(data + at) == kPreamble;
}

size_t FindPacketStart(const uint8_t* data, size_t size, size_t from) {
    return FindPreamble(data, ScanBound(size), from, kPacketHeaderBytes);
}

size_t FindPacketAfter(const uint8_t* data, size_t size, size_t from) {
    size = ScanBound(size);
    size_t at = FindPacketStart(data, size, from);
    while (at < size && data[at + kPreambleBytes] == kPreambleByte &&
           FindPacketStart(data, size, at + 1) == at + 1)
        ++at;
    return at;
}

size_t NextPacketStart(const uint8_t* data, size_t size, const PacketItem& packet) {
    size = ScanBound(size);
    const uint64_t at = packet.offset;
    if (IsShortPacketType(packet.DataType())) return FindPacketStart(data, size, at + kShortPacketBytes);
    // Where the payload ends; the footer normally follows, then the next preamble. A
    // capture without footers still finds its next packet by the search from the end.
    const uint64_t payloadEnd = packet.PayloadEnd();
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

namespace {

// Whether the bytes at `identifier` are the header of a line of `lines` with its preamble
// damaged: a counted line's identifier, word count and ECC after three B8 or more among
// the five bytes before (from `from` on). A stray byte in the preamble or in front of the
// identifier leaves four, a byte in place of a preamble byte three. The ECC keeps the
// line markers out: one whose line number is the type's code reads B8 B8 B8 B8 03 2B, and
// with some widths the word count's two bytes follow, but then the next packet's B8.
// `tails`: the last four header bytes of the lines, as words, sorted.
bool DamagedLineHeaderAt(const uint8_t* data, size_t from, size_t identifier, const std::vector<uint32_t>& tails) {
    const uint8_t* before = data + std::max(from, identifier - std::min<size_t>(identifier, 5));
    if (std::count(before, data + identifier, kPreambleByte) < 3) return false;
    return std::binary_search(tails.begin(), tails.end(), LoadWord32(data + identifier));
}

// The start of the first line-header remains in [from, to), as FindUncountedLine describes
// them, or `to`. Every such header has a B8 in the five bytes before its identifier: the
// search goes from B8 to B8.
size_t FindLineRemains(const uint8_t* data, size_t from, size_t to, uint8_t dataType,
                       const std::vector<uint32_t>& tails) {
    for (size_t at = from; at < to;) {
        const void* found = std::memchr(data + at, kPreambleByte, to - at);
        if (found == nullptr) return to;
        const size_t b8 = static_cast<size_t>(static_cast<const uint8_t*>(found) - data);
        for (size_t identifier = b8 + 1; identifier <= b8 + 5 && identifier < to; ++identifier) {
            if (DataTypeOf(data[identifier]) != dataType) continue;
            const size_t header = identifier - std::min(identifier - from, kPreambleBytes);
            // A packet of the type the count could not take: its payload runs past the data.
            if (identifier - header == kPreambleBytes && LoadWord32(data + header) == kPreamble)
                return header;
            // Whole but for its preamble: it begins five bytes before its identifier when a
            // byte was added (a B8 stands there), else four.
            if (identifier + kPacketHeaderBytes - kPreambleBytes <= to &&
                DamagedLineHeaderAt(data, from, identifier, tails)) {
                const bool byteAdded =
                    identifier - kPreambleBytes > from && data[identifier - 5] == kPreambleByte;
                return byteAdded ? identifier - 5 : header;
            }
        }
        at = b8 + 1;
    }
    return to;
}

}  // namespace

std::optional<size_t> FindUncountedLine(const uint8_t* data, size_t size, size_t startOffset,
                                        uint8_t dataType, const PacketList& lines) {
    size = ScanBound(size);
    std::vector<uint32_t> tails;
    for (const PacketItem& line : lines) tails.push_back(LoadWord32(line.header + kPreambleBytes));
    std::sort(tails.begin(), tails.end());
    tails.erase(std::unique(tails.begin(), tails.end()), tails.end());
    size_t from = startOffset;
    for (size_t i = 0; i <= lines.size() && from < size; ++i) {
        const size_t to = i < lines.size() ? std::min<size_t>(lines[i].offset, size) : size;
        if (from < to) {
            const size_t remains = FindLineRemains(data, from, to, dataType, tails);
            if (remains != to) return remains;
        }
        if (i == lines.size()) break;
        const uint64_t covered =
            lines.size() == 1 ? kPacketHeaderBytes : kPacketHeaderBytes + lines[i].WordCount();
        from = static_cast<size_t>(std::min<uint64_t>(uint64_t{lines[i].offset} + covered, size));
    }
    return std::nullopt;
}

Resynchronised AlignToNextPreamble(const uint8_t* data, size_t size, size_t position) {
    if (position >= size || PreambleAt(data, size, position, kPreambleBytes)) return {position, 0};
    if (size >= sizeof(uint32_t) && LoadWord32(data) == 0) return {position, 0};
    const size_t at = FindPreamble(data, size, position, kPreambleBytes);
    return {at, at - position};
}

}  // namespace csi2ipl
