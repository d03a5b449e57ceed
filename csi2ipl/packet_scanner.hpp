#pragma once
// Finding packets in one frame of the input stream. Every function here is bounded by the
// frame's size: a packet is taken only where its 8 header bytes lie inside the data, and
// each step moves forward by at least one byte, so a scan ends on any input.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "csi2ipl/csi2_packet.hpp"

namespace csi2ipl {

using PacketList = std::vector<PacketItem>;

// A preamble at `at`, with `fit` bytes of the data from there: the preamble alone
// (kPreambleBytes), or a whole packet header.
bool PreambleAt(const uint8_t* data, size_t size, size_t at, size_t fit = kPacketHeaderBytes);

// The first position at or after `from` where a preamble starts a packet header that
// lies inside the data; `size` when there is none.
size_t FindPacketStart(const uint8_t* data, size_t size, size_t from);

// Where the packet that begins at or after `from` starts, or `size`: the last four B8 of
// the first run of four or more whose header lies inside the data. A footer ending in B8
// makes a preamble of its own with the first three B8 of the next one; a packet's data
// identifier is never B8 (a reserved type).
size_t FindPacketAfter(const uint8_t* data, size_t size, size_t from);

// The position of the packet that follows the one at `packet`, or `size` when none does.
// A long packet is stepped over whole (header, word count payload bytes, footer), so its
// pixels are never searched for a preamble; a short packet by its 8 bytes.
size_t NextPacketStart(const uint8_t* data, size_t size, const PacketItem& packet);

// Every long packet of the frame, from offset 0 (the frame header included), in order.
// Short packets are stepped over and not listed. A header no packet can have, of a
// reserved data type (a stray B8 in front of a preamble reads so) or with a payload that
// runs past the data, is not listed and is passed by one byte, as line counting passes
// other types: a jump by its word count would pass the packets behind it.
PacketList find_all_Longpackages(const uint8_t* data, size_t size);

// The data identifiers of a list in list order, consecutive repeats collapsed.
std::vector<uint8_t> get_unique_datatypes(const PacketList& packets);

// The items whose data identifier (virtual channel included) equals `dataIdentifier`.
PacketList filter_by_datatype(const PacketList& packets, uint8_t dataIdentifier);

// The data identifier with the most packets; on a tie the one met first; 0 for no packets.
uint8_t find_primary_image_form_pnt_list(const PacketList& packets);

// The first packet from `startOffset` on whose data type (virtual channel ignored) is
// `dataType`; only positions where a preamble stands are examined.
std::optional<PacketItem> CSI2FindType(const uint8_t* data, size_t size, size_t startOffset, uint8_t dataType);

// The image lines of a frame: every packet of `dataType` from `startOffset` on whose
// payload lies inside the data, with the distance from the first to the second (0 when
// there are fewer than two). A line is stepped over by its word count; a packet of any
// other type only by one byte, since its header may be a stray B8 in front of a real
// preamble or carry a corrupt word count, and a jump by it would pass real lines.
struct LineScan {
    PacketList lines;
    uint32_t lineLength = 0;
};
LineScan CSI2CountType(const uint8_t* data, size_t size, size_t startOffset, uint8_t dataType);

// Where a line packet of `dataType` begins that the count did not take, in the bytes no
// line of `lines` covers: a packet header of the type whose payload runs past the data
// (the count passes the rest of the frame behind it), or the data identifier, word count
// and ECC of a line of `lines` behind a damaged preamble (three B8 or more among the five
// bytes before: a stray byte in the preamble or in front of the identifier, or a byte in
// place of a preamble byte). A stray byte in a line's header leaves the one or the other
// where the line was. Lines cover their header and payload; a lone line only its header,
// as its word count may be one that a stray byte enlarged over the lines behind it, which
// no second line then contradicts. The offset where that header begins, or nothing.
std::optional<size_t> FindUncountedLine(const uint8_t* data, size_t size, size_t startOffset,
                                        uint8_t dataType, const PacketList& lines);

// Resynchronisation of a position that lost the packet stream: the position itself when a
// preamble stands there (its 4 bytes inside the data) or when the frame-size word (the
// data's first word) is 0; else the next position where a preamble stands, or `size`
// when none does. `skipped` is how far the position moved.
struct Resynchronised {
    size_t position = 0;
    size_t skipped = 0;
};
Resynchronised AlignToNextPreamble(const uint8_t* data, size_t size, size_t position);

}  // namespace csi2ipl
