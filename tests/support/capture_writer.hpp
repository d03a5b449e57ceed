#pragma once
// Writes frames of the decoder's input stream for tests, benchmarks and demo captures:
// a 64-byte frame header whose first little-endian word is the frame's byte count, then
// CSI-2 packets with the B8 B8 B8 B8 preamble, a correct header ECC and a CRC-16 footer.
// Lines are packed from pixel values by the packing of each data type, or are random
// bytes. Written from the packet format alone; it shares no code with the decoder.
#include <cstddef>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace capture {

// The 6-bit Hamming code of a packet header over its data identifier and word count.
uint8_t HeaderEcc(uint8_t dataIdentifier, uint16_t wordCount);
// The payload checksum: CRC-16, polynomial x^16 + x^12 + x^5 + 1 taken LSB first,
// initial value 0xFFFF.
uint16_t PayloadCrc(const uint8_t* bytes, size_t count);

// Writes the 8 bytes of a packet header (preamble, identifier, word count, ECC) at `to`.
void PutPacketHeader(uint8_t* to, uint8_t dataIdentifier, uint16_t wordCount);

// Where a packet went in a frame.
struct PacketPlacement {
    uint32_t offset;  // of its preamble
    uint8_t dataIdentifier;
    uint32_t wordCount;
};

class FrameWriter {
  public:
    FrameWriter();  // a zero frame header, 64 bytes
    // Header bytes 4 to 63 are free for tests (the first word is written by Finish).
    void SetHeaderBytes(size_t at, const std::vector<uint8_t>& bytes);
    void LongPacket(uint8_t dataIdentifier, const std::vector<uint8_t>& payload);
    // Frame start 0x00, frame end 0x01, line start 0x02, line end 0x03, ...
    void ShortPacket(uint8_t dataIdentifier, uint16_t data);
    void Bytes(const std::vector<uint8_t>& bytes);  // anything between packets
    const std::vector<PacketPlacement>& Packets() const { return packets_; }
    size_t Size() const { return bytes_.size(); }
    std::vector<uint8_t> Finish();  // stores the byte count in the first word

  private:
    std::vector<uint8_t> bytes_;
    std::vector<PacketPlacement> packets_;
};

// The data types, as the decoder names them; 0xFE is YUV422 8-bit sent as Y0 U Y1 V.
namespace type {
inline constexpr uint8_t kEmbedded = 0x12, kYuv422_8 = 0x1E, kYuv422_10 = 0x1F, kRgb888 = 0x24, kRaw24 = 0x27,
                         kRaw8 = 0x2A, kRaw10 = 0x2B, kRaw12 = 0x2C, kRaw16 = 0x2E, kRaw20 = 0x2F,
                         kYuv422_8_YUSwapped = 0xFE;
inline constexpr uint8_t kAll[] = {kYuv422_8, kYuv422_10, kRgb888, kRaw24, kRaw8,
                                   kRaw10,    kRaw12,     kRaw16,  kRaw20, kYuv422_8_YUSwapped};
}  // namespace type

// Pixels per packing group of a type (the width must be a multiple) and payload bytes of a
// line of `width` pixels.
uint32_t PixelsPerGroup(uint8_t dataType);
uint32_t WordCountFor(uint8_t dataType, uint32_t width);
// The data type of the packets that carry a type's lines (0xFE travels as 0x1E).
uint8_t PacketTypeOf(uint8_t dataType);

enum class Pattern {
    kGradient,  // smooth ramps per channel, for images a person looks at
    kRandom,    // random payload bytes, every bit pattern
};

// One line's payload.
std::vector<uint8_t> LinePayload(uint8_t dataType, uint32_t width, uint32_t y, Pattern pattern,
                                 std::mt19937& random);

struct FrameSpec {
    uint8_t dataType = type::kRaw12;
    uint32_t width = 64;
    uint32_t height = 4;
    uint8_t virtualChannel = 0;
    bool alternateVirtualChannels = false;  // odd lines on the next virtual channel
    Pattern pattern = Pattern::kRandom;
    unsigned seed = 1;
    bool frameMarkers = false;   // frame start and end short packets
    bool lineMarkers = false;    // line start and end short packets around each line
    uint32_t embeddedLines = 0;  // embedded-data packets before the first line
    uint32_t embeddedBytes = 32;
};

struct CaptureFrame {
    std::vector<uint8_t> bytes;
    std::vector<PacketPlacement> lines;  // the image lines, in order
};

CaptureFrame WriteFrame(const FrameSpec& spec);

// A capture file: the frames one after another.
void WriteCapture(const std::string& path, const std::vector<std::vector<uint8_t>>& frames);

}  // namespace capture
