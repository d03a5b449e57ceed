#pragma once
// The geometry pass: from the first frame of a stream, which packets are the image lines,
// how each is unpacked, and the size and format of the image. Later frames are decoded at
// the lines' offsets in this frame, after CheckFrame has found them safe to read.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "csi2ipl/csi2_packet.hpp"
#include "csi2ipl/line_unpackers.hpp"
#include "csi2ipl/packet_scanner.hpp"
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
    uint32_t firstWordCount = 0;  // of the first line, which the width comes from
    uint32_t firstLineOffset = 0;
    uint32_t lineLength = 0;    // from the first line's start to the second's; 0 with one line
    bool evenlySpaced = false;  // line i starts at firstLineOffset + i x lineLength
    uint64_t rowBytes = 0;      // width x channels x depth / 8: one row without padding
    uint64_t requiredSpan = 0;  // bytes of a frame, from its start, that decoding reads
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
    kNotTheImage,      // a later frame's lines make another image than the stream's
    kUnreadableLine,   // a line packet the count could not take, or lines of unlike word counts
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

GeometryResult ComputeGeometry(const uint8_t* data, size_t size, const GeometryRequest& request);

// The geometry pass on a later frame whose lines are not where `saved` puts them: a stray
// byte in front of a line moves the lines behind it, and one in the geometry frame leaves
// `saved` off the lines of every clean frame. Ready when the lines of the stream's type
// in this frame make the stream's image (its size and format, which the output's buffers
// hold) and the frame holds every byte their decode reads; the geometry then has this
// frame's lines and the geometry frame's header and frame-size word, which the frame-size
// check compares with. The types and the depth are `saved`'s; the print-debug flag, the
// vector level and the start offset are the request's.
GeometryResult ComputeGeometryOfMovedLines(const FrameGeometry& saved, const uint8_t* data, size_t size,
                                           GeometryRequest request);

}  // namespace csi2ipl
