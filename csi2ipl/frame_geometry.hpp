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
    size_t startOffset = 0;       // where the search for lines began
    uint32_t firstWordCount = 0;  // of the first line, which the width comes from
    uint32_t firstLineOffset = 0;
    uint32_t lineLength = 0;    // from the first line's start to the second's; 0 with one line
    bool evenlySpaced = false;  // line i starts at firstLineOffset + i x lineLength
    // How the line packets end. The room after a line is the bytes from the end of its
    // payload to the next packet's preamble (to the frame's end after the last line, when
    // no packet follows it): its footer, and any bytes between packets.
    int64_t lineRoom = 0;       // the room most lines but the last have (the last's with one line)
    uint32_t footerBytes = 0;   // lineRoom as footer bytes, 0 to 2: 0 for lines without footers
    // The bytes the geometry frame held after its last line's payload, as footer bytes (0
    // to footerBytes): a frame that ends at its last pixel has none.
    uint32_t lastFooterBytes = 0;
    uint32_t packetAfterLines = 0;   // where the packet after the last line starts; 0: none
    uint32_t roomAfterLastLine = 0;  // to that packet, from the last line's payload end
    // Evenly spaced, and every line followed alike: the same room after each (the last
    // line's counted when a packet follows it).
    bool regular = false;
    uint64_t rowBytes = 0;      // width x channels x depth / 8: one row without padding
    // Bytes of a frame, from its start, that decoding and the checks read: to the last
    // line's footer, and to the preamble of the packet after it.
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
    kNotTheImage,      // a later frame's lines make another image than the stream's
    kUnreadableLine,   // a line packet the count could not take, or lines of unlike word counts
    kCutShortLine,     // a line packet followed by less than the other lines' footer
    kLinesOutOfPlace,  // a later frame's lines do not end where the stream's do
    // A later frame whose lines differ from stored ones no second frame has confirmed,
    // and neither frame shows which of the two is damaged: its lines are stored for the
    // next frame to confirm, and the frame itself is not decoded.
    kHeldForConfirmation,
};

struct GeometryResult {
    GeometryStatus status = GeometryStatus::kFrameTooShort;
    FrameGeometry geometry;  // complete only when status is kReady
    // Level-0 reports in order; on a refusal the last one says why.
    std::vector<std::string> reports;
    // Seconds spent counting the lines (CSI2CountType), which the benchmark report shows
    // apart from the rest of the pass; 0 when the pass ended before counting.
    double countTypeSeconds = 0;
    // A later frame's lines taken in place of the stored ones: they are laid out as the
    // stored lines are, which a second frame thus confirms.
    bool confirmsStored = false;

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

// The geometry pass on a later frame whose lines are not where `saved` puts them (a byte
// lost or gained in front of a line moves the lines behind it, and one in the geometry
// frame leaves `saved` off the lines of every clean frame), whose frame-size word is larger
// than the stored one, or in which lines stand that `saved` does not count. Its lines are
// taken (Ready) when they make the stream's image (the size and format the output's
// buffers hold) with every line in place: at the distances from one another that the
// saved lines have, each followed as the saved lines are (its footer, and where the
// geometry frame had a packet after its last line, that packet at the same distance). The
// geometry then has this frame's lines, the geometry frame's header and the larger of the
// two frame-size words, and `confirmsStored` is set.
//
// While no second frame has confirmed `saved` (`savedConfirmed` clear), `saved` may be the
// damaged one. Of two frames with lines of one image laid out apart, a regular one is
// trusted over one that is not: this frame's lines replace `saved`'s when only they are
// regular (Ready, with this frame's header and frame-size word), and are refused when only
// `saved`'s are. A frame of the same width with more lines (a line the geometry frame lost)
// replaces `saved`, image and all: decoded when its lines are regular, held otherwise.
// Where neither frame shows which is damaged, the frame is kHeldForConfirmation: its geometry replaces the
// stored one for the next frame to confirm or refute, and the frame is not decoded. Once a
// frame has confirmed `saved`, the stream's image and the layout of its lines are fixed:
// a frame whose lines make another image, or are laid out otherwise, is refused.
//
// The types and the depth are `saved`'s; the print-debug flag, the vector level and the
// start offset are the request's.
GeometryResult ComputeGeometryOfMovedLines(const FrameGeometry& saved, bool savedConfirmed, const uint8_t* data,
                                           size_t size, GeometryRequest request);

}  // namespace csi2ipl
