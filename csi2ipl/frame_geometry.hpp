#pragma once
// The geometry pass: from one frame, which packets are the image lines, how each is
// unpacked, and the size and format of the image. The stream's lines come from the passes
// of its first frames (StreamLines); later frames are decoded at them, after CheckFrame
// has found them safe to read.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "csi2ipl/csi2_packet.hpp"
#include "csi2ipl/line_ends.hpp"
#include "csi2ipl/line_unpackers.hpp"
#include "csi2ipl/packet_scanner.hpp"
#include "csi2ipl/packets_around_lines.hpp"
#include "csi2ipl/simd_level.hpp"

namespace csi2ipl {

struct FrameGeometry {
    uint8_t searchType = 0;  // data type of the line packets (0x1E for the swapped YUV422 rule)
    uint8_t decodeType = 0;  // the unpacking rule: a data type, or 0xFE
    bool limitTo8 = false;
    uint32_t width = 0;      // pixels
    uint32_t height = 0;     // lines found
    uint32_t depth = 0;      // bits per channel of the image: 8 or 16
    uint32_t channels = 0;
    const char* colourCode = "";  // for the image model: "GRAY", "YUV" or "BGR"
    size_t startOffset = 0;       // where the search for lines began
    uint32_t firstWordCount = 0;  // of the first line, which the width comes from
    uint32_t firstLineOffset = 0;
    uint32_t lineLength = 0;    // from the first line's start to the second's; 0 with one line
    bool evenlySpaced = false;  // line i starts at firstLineOffset + i x lineLength
    LineEnds ends;              // how each line packet ends, in the frame the lines were found in
    PacketsAroundLines around;  // the packets that frame held around its lines
    uint64_t rowBytes = 0;      // width x channels x depth / 8: one row without padding
    // Bytes of a frame, from its start, that decoding and the checks need: to the last
    // line's footer (as much of it as the frame the lines were found in held).
    uint64_t requiredSpan = 0;
    uint32_t frameSizeWord = 0;  // the first word of the geometry frame
    std::array<uint8_t, kFrameHeaderBytes> frameHeader{};
    PacketList lines;
    LineUnpacker unpacker = nullptr;
};

struct GeometryRequest {
    uint8_t targetType = 0;  // the "CSI2_Dataformat" type code: 0 detects (AUTO)
    uint8_t decodeType = 0;  // a type code to decode with instead, 0 for the target's own
    bool limitTo8 = false;
    bool printDebug = false;  // adds the line length, detected type and size reports
    SimdLevel simd = DetectSimdLevel();
    size_t startOffset = kFrameHeaderBytes;  // where the search for lines begins
};

enum class GeometryStatus {
    kReady,
    kFrameTooShort,    // fewer than 64 + 8 bytes
    kTypeNotFound,     // no line of the type from the start offset on
    kTooFewLines,      // AUTO: fewer than 2 packets of the most frequent identifier
    kUnsupportedType,  // the decode type is outside the format table
    kLineTooShort,     // the first line holds no whole pixel group
    kTooLarge,         // the image would need more than INT32_MAX bytes
    kUnreadableLine,   // a line packet the count could not take, or lines of unlike word counts
    kCutShortLine,     // a line packet followed by less than the other lines' footer
};

struct GeometryResult {
    GeometryStatus status = GeometryStatus::kFrameTooShort;
    FrameGeometry geometry;  // complete only when status is kReady
    // Level-0 reports in order; on a refusal the last one says why.
    std::vector<std::string> reports;
    // Seconds spent counting the lines (CSI2CountType), which the benchmark report shows
    // apart from the rest of the pass; 0 when the pass ended before counting.
    double countTypeSeconds = 0;

    bool Ready() const { return status == GeometryStatus::kReady; }
};

// Bytes of one image row as the image model lays it out (rows aligned to 8 bytes).
inline constexpr uint64_t kRowAlignment = 8;
inline uint64_t AlignedRowBytes(const FrameGeometry& geometry) {
    return (geometry.rowBytes + kRowAlignment - 1) / kRowAlignment * kRowAlignment;
}

// A frame gives no geometry when it shows that a line packet of it is damaged: one the
// count could not take (kUnreadableLine), lines of unlike word counts, or a line followed
// by fewer bytes before the next packet than the other lines' footer (kCutShortLine: its
// payload lost a byte).
GeometryResult ComputeGeometry(const uint8_t* data, size_t size, const GeometryRequest& request);

}  // namespace csi2ipl
