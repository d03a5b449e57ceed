#pragma once
// The CSI-2 packets of the decoder's input stream. A frame is a 64-byte header whose
// first little-endian word is the frame's byte count, then packets, each starting with
// the preamble B8 B8 B8 B8. A long packet continues with its data identifier (virtual
// channel in bits 7..6, data type in bits 5..0), a 16-bit little-endian word count and
// the header's ECC, then word count payload bytes and a 2-byte checksum. A short packet
// (data types 0x00 to 0x0F) has only the 4 bytes after the preamble.
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace csi2ipl {

inline constexpr uint8_t kPreambleByte = 0xB8;
// The preamble as the decoder compares it: four B8 bytes read as one native word.
inline constexpr uint32_t kPreamble = 0xB8B8B8B8u;
inline constexpr size_t kPreambleBytes = 4;
inline constexpr size_t kFrameHeaderBytes = 64;
inline constexpr size_t kPacketHeaderBytes = 8;  // preamble, identifier, word count, ECC
inline constexpr size_t kShortPacketBytes = 8;   // preamble, identifier, 16-bit data, ECC
inline constexpr size_t kPacketFooterBytes = 2;
// The smallest frame that can hold one packet header after the frame header.
inline constexpr size_t kMinimumFrameBytes = kFrameHeaderBytes + kPacketHeaderBytes;

inline constexpr uint8_t DataTypeOf(uint8_t dataIdentifier) { return dataIdentifier & 0x3F; }
inline constexpr uint8_t VirtualChannelOf(uint8_t dataIdentifier) { return dataIdentifier >> 6; }
// Data types 0x00 to 0x0F are synchronisation short packets: no word count, no payload.
inline constexpr bool IsShortPacketType(uint8_t dataType) { return dataType <= 0x0F; }
// Data types 0x38 to 0x3F are reserved: no packet carries one. A stray B8 in front of a
// preamble reads as a header of type 0x38, its identifier being the preamble's last B8.
inline constexpr bool IsReservedType(uint8_t dataType) { return dataType >= 0x38; }

inline uint32_t LoadWord32(const uint8_t* at) {
    uint32_t word;
    std::memcpy(&word, at, sizeof word);
    return word;
}

// One packet found in a frame (the layout of a line-list item): where its preamble
// starts, counted from the start of the frame, and its 8 header bytes as they stand.
#pragma pack(push, 1)
struct PacketItem {
    uint32_t offset;
    uint8_t header[kPacketHeaderBytes];

    uint8_t DataIdentifier() const { return header[4]; }
    uint8_t DataType() const { return DataTypeOf(header[4]); }
    uint32_t WordCount() const { return header[5] | static_cast<uint32_t>(header[6]) << 8; }
    // Where its payload ends, counted from the start of the frame (its footer follows).
    uint64_t PayloadEnd() const { return uint64_t{offset} + kPacketHeaderBytes + WordCount(); }
};
#pragma pack(pop)
static_assert(sizeof(PacketItem) == 12);

}  // namespace csi2ipl
