// The geometry pass: which lines, how wide and deep, and the refusals with their reports.
#include "csi2ipl/frame_geometry.hpp"

#include <gtest/gtest.h>
#include <sys/mman.h>

#include <climits>
#include <random>
#include <string>

#include "csi2_frames.hpp"
#include "csi2ipl/decoder_reports.hpp"

namespace {

using namespace csi2ipl;
using csi2_frames::Fixed;
using Reports = std::vector<std::string>;

GeometryResult Geometry(const std::vector<uint8_t>& frame, const GeometryRequest& request) {
    return ComputeGeometry(frame.data(), frame.size(), request);
}

GeometryRequest Auto(uint8_t decodeType = 0, bool printDebug = false) {
    GeometryRequest request;
    request.decodeType = decodeType;
    request.printDebug = printDebug;
    return request;
}

TEST(FrameGeometry, EachDecodeTypeGivesWidthDepthAndColourByItsWordCount) {
    struct Case {
        uint8_t type;
        uint32_t wordCount;
        uint32_t width, depth, channels;
        const char* colour;
    } cases[] = {
        {0x1E, 3842, 1920, 8, 3, "YUV"},  {0xFE, 3840, 1920, 8, 3, "YUV"},  {0x1F, 4803, 1920, 16, 3, "YUV"},
        {0x24, 5761, 1920, 8, 3, "BGR"},  {0x27, 5760, 1920, 16, 1, "GRAY"}, {0x2A, 1921, 1921, 8, 1, "GRAY"},
        {0x2B, 2404, 1920, 16, 1, "GRAY"}, {0x2C, 3840, 2560, 16, 1, "GRAY"}, {0x2E, 3841, 1920, 16, 1, "GRAY"},
        {0x2F, 4800, 1920, 16, 1, "GRAY"},
    };
    for (const Case& c : cases) {
        for (bool limitTo8 : {false, true}) {
            capture::FrameWriter writer;
            for (int y = 0; y < 3; ++y) writer.LongPacket(capture::PacketTypeOf(c.type), std::vector<uint8_t>(c.wordCount));
            const GeometryResult result = Geometry(writer.Finish(), Fixed(c.type, limitTo8));
            ASSERT_TRUE(result.Ready()) << int(c.type);
            const FrameGeometry& g = result.geometry;
            EXPECT_EQ(g.width, c.width) << int(c.type);
            EXPECT_EQ(g.height, 3u);
            EXPECT_EQ(g.depth, limitTo8 ? 8u : c.depth) << int(c.type);
            EXPECT_EQ(g.channels, c.channels);
            EXPECT_STREQ(g.colourCode, c.colour);
            EXPECT_EQ(g.rowBytes, uint64_t{g.width} * g.channels * g.depth / 8);
            EXPECT_EQ(g.decodeType, c.type);
            EXPECT_NE(g.unpacker, nullptr);
            EXPECT_TRUE(result.reports.empty());
        }
    }
}

TEST(FrameGeometry, KeepsTheFrameHeaderAndTheLinesOffsets) {
    capture::FrameSpec spec;
    spec.embeddedLines = 2;
    spec.lineMarkers = true;
    const capture::CaptureFrame frame = capture::WriteFrame(spec);
    const GeometryResult result = Geometry(frame.bytes, Fixed(0x2C));
    ASSERT_TRUE(result.Ready());
    const FrameGeometry& g = result.geometry;
    EXPECT_EQ(g.firstLineOffset, frame.lines[0].offset);
    EXPECT_EQ(g.lineLength, frame.lines[1].offset - frame.lines[0].offset);
    EXPECT_TRUE(g.evenlySpaced);
    EXPECT_EQ(g.frameSizeWord, frame.bytes.size());
    EXPECT_TRUE(std::equal(g.frameHeader.begin(), g.frameHeader.end(), frame.bytes.begin()));
    // What follows each line: its footer, then the line end packet, the last line's too;
    // the span ends with the last footer.
    EXPECT_EQ(g.ends.footerBytes, 2u);
    EXPECT_EQ(g.ends.lastFooterBytes, 2u);
    EXPECT_EQ(g.ends.lineRoom, 2);
    const uint32_t afterLast = frame.lines.back().offset + 8u + frame.lines.back().wordCount + 2;
    EXPECT_EQ(g.ends.packetAfterLines, afterLast);
    EXPECT_EQ(g.ends.roomAfterLastLine, 2u);
    EXPECT_EQ(g.requiredSpan, afterLast);

    capture::FrameWriter uneven;
    uneven.LongPacket(0x2A, {1, 2});
    uneven.LongPacket(0x2A, {1, 2});
    uneven.Bytes({0});
    uneven.LongPacket(0x2A, {1, 2});
    EXPECT_FALSE(Geometry(uneven.Finish(), Fixed(0x2A)).geometry.evenlySpaced);
}

// The detected identifier is reported whole, virtual channel bits included.
TEST(FrameGeometry, AutoTakesTheMostFrequentIdentifierAndEveryLineOfItsType) {
    const std::pair<uint8_t, const char*> cases[] = {{0, "Target CSI2 is probably 44"},
                                                     {1, "Target CSI2 is probably 108"}};
    for (const auto& [channel, probably] : cases) {
        SCOPED_TRACE(probably);
        capture::FrameSpec spec;
        spec.height = 5;  // lines 0, 2, 4 on the channel, lines 1, 3 on the next one
        spec.virtualChannel = channel;
        spec.alternateVirtualChannels = true;
        spec.embeddedLines = 2;
        const capture::CaptureFrame frame = capture::WriteFrame(spec);
        const GeometryResult result = Geometry(frame.bytes, Auto(0, true));
        ASSERT_TRUE(result.Ready());
        EXPECT_EQ(result.geometry.searchType, 0x2C);
        EXPECT_EQ(result.geometry.height, 5u);
        EXPECT_EQ(result.reports,
                  (Reports{probably, "Line length is: " + std::to_string(result.geometry.lineLength),
                           "Size of the frame is: 320", "Width of the frame is: 64", "Height of the frame is: 5"}));
    }
}

TEST(FrameGeometry, AutoOnATieTakesTheTypeMetFirst) {
    capture::FrameWriter writer;
    for (int y = 0; y < 3; ++y) {
        writer.LongPacket(0x2B, std::vector<uint8_t>(10));
        writer.LongPacket(0x2C, std::vector<uint8_t>(6));
    }
    const GeometryResult result = Geometry(writer.Finish(), Auto());
    ASSERT_TRUE(result.Ready());
    EXPECT_EQ(result.geometry.decodeType, 0x2B);
    EXPECT_EQ(result.geometry.width, 8u);
}

// AUTO lists packets from offset 0, so a preamble in the frame header counts; the lines
// themselves are looked for from offset 64 on.
TEST(FrameGeometry, AutoCountsAPreambleInTheFrameHeader) {
    capture::FrameWriter writer;
    writer.LongPacket(0x2A, std::vector<uint8_t>(16));
    const std::vector<uint8_t> alone = writer.Finish();
    EXPECT_EQ(Geometry(alone, Auto()).reports, (Reports{"AUTO found only 1 Line or less skipp frame"}));
    EXPECT_EQ(Geometry(alone, Auto()).status, GeometryStatus::kTooFewLines);

    capture::FrameWriter withHeaderPacket;
    withHeaderPacket.SetHeaderBytes(8, {0xB8, 0xB8, 0xB8, 0xB8, 0x2A, 10, 0, 0});
    withHeaderPacket.LongPacket(0x2A, std::vector<uint8_t>(16));
    const GeometryResult result = Geometry(withHeaderPacket.Finish(), Auto());
    ASSERT_TRUE(result.Ready());
    EXPECT_EQ(result.geometry.height, 1u);
    EXPECT_EQ(result.geometry.width, 16u);
}

std::vector<uint32_t> Offsets(const PacketList& lines) {
    std::vector<uint32_t> offsets;
    for (const PacketItem& line : lines) offsets.push_back(line.offset);
    return offsets;
}

std::vector<uint32_t> Offsets(const capture::CaptureFrame& frame) {
    std::vector<uint32_t> offsets;
    for (const capture::PacketPlacement& line : frame.lines) offsets.push_back(line.offset);
    return offsets;
}

// With `frameMarkers`, a frame start packet before the lines and a frame end after them.
capture::CaptureFrame Raw10Frame(bool frameMarkers = false) {
    capture::FrameSpec spec;
    spec.dataType = capture::type::kRaw10;
    spec.width = 80;  // 100 bytes a line
    spec.height = 5;
    spec.frameMarkers = frameMarkers;
    return capture::WriteFrame(spec);
}

// AUTO finds the type and every line of a frame with a stray B8 in front of any line.
TEST(FrameGeometry, AutoFindsEveryLineOfAFrameWithAStrayByte) {
    const capture::CaptureFrame clean = Raw10Frame();
    for (size_t y = 0; y < clean.lines.size(); ++y) {
        SCOPED_TRACE(y);
        const capture::CaptureFrame stray = csi2_frames::WithStrayByte(clean, y);
        const GeometryResult result = Geometry(stray.bytes, Auto());
        ASSERT_TRUE(result.Ready()) << ::testing::PrintToString(result.reports);
        EXPECT_EQ(result.geometry.decodeType, 0x2B);
        EXPECT_EQ(result.geometry.width, 80u);
        EXPECT_EQ(Offsets(result.geometry.lines), Offsets(stray));
    }
}

// A frame whose bytes after a line show that the line's payload lost a byte gives no
// geometry: the next packet stands inside its footer. A frame that ends at its last pixel,
// or one byte into the last footer, shows nothing after its last line.
TEST(FrameGeometry, ALineCutShortGivesNoGeometry) {
    using csi2_frames::DamageKind;
    const capture::CaptureFrame clean = Raw10Frame();
    const capture::CaptureFrame marked = Raw10Frame(true);
    const auto cutShort = [](uint32_t at) {
        return "Line packet cut short at byte " + std::to_string(at) + ", skip frame";
    };
    struct Case {
        const char* name;
        std::vector<uint8_t> frame;
        std::string report;  // none: a geometry
        uint32_t lastFooterBytes = 0;
    } cases[] = {
        {"a byte lost inside line 2",
         csi2_frames::Damaged(clean.bytes, {DamageKind::kLost, clean.lines[2].offset + 18}),
         cutShort(clean.lines[2].offset)},
        {"a byte lost from line 0's footer",
         csi2_frames::Damaged(clean.bytes, {DamageKind::kLost, clean.lines[1].offset - 1}),
         cutShort(clean.lines[0].offset)},
        {"a byte lost inside the last line, a packet after it",
         csi2_frames::Damaged(marked.bytes, {DamageKind::kLost, marked.lines[4].offset + 18}),
         cutShort(marked.lines[4].offset)},
        {"a byte lost inside the last line, nothing after it",
         csi2_frames::Damaged(clean.bytes, {DamageKind::kLost, clean.lines[4].offset + 18}), "", 1},
        {"ending at the last pixel", csi2_frames::EndingAtLastPixel(clean), "", 0},
        {"clean", clean.bytes, "", 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const GeometryResult result = Geometry(c.frame, Fixed(0x2B));
        if (!c.report.empty()) {
            EXPECT_EQ(result.status, GeometryStatus::kCutShortLine);
            EXPECT_EQ(result.reports, Reports{c.report});
            continue;
        }
        ASSERT_TRUE(result.Ready()) << ::testing::PrintToString(result.reports);
        EXPECT_EQ(result.geometry.ends.footerBytes, 2u);
        EXPECT_EQ(result.geometry.ends.lastFooterBytes, c.lastFooterBytes);
        EXPECT_EQ(result.geometry.requiredSpan, c.frame.size());
    }
}

TEST(FrameGeometry, AFixedTypeThatIsNotThereIsNotFound) {
    const capture::CaptureFrame frame = capture::WriteFrame({});
    const GeometryResult result = Geometry(frame.bytes, Fixed(0x2B));
    EXPECT_EQ(result.status, GeometryStatus::kTypeNotFound);
    EXPECT_EQ(result.reports, (Reports{"Target CSI2 type not found try next Frame"}));
    EXPECT_EQ(result.geometry.lines.size(), 0u);
}

// The swapped YUV422 choice looks for packets of type 0x1E (its code 0xFE cut to six bits
// would be 0x3E, a type no packet has) and decodes them with the swapped rule.
TEST(FrameGeometry, SwappedYuvLooksFor0x1EAndDecodesWithTheSwappedRule) {
    capture::FrameSpec spec;
    spec.dataType = capture::type::kYuv422_8_YUSwapped;
    const capture::CaptureFrame frame = capture::WriteFrame(spec);
    const GeometryResult result = Geometry(frame.bytes, Fixed(0xFE));
    ASSERT_TRUE(result.Ready()) << (result.reports.empty() ? "" : result.reports.back());
    EXPECT_EQ(result.geometry.searchType, 0x1E);
    EXPECT_EQ(result.geometry.decodeType, 0xFE);
    EXPECT_EQ(result.geometry.height, spec.height);
    EXPECT_EQ(result.geometry.unpacker, SelectUnpacker(0xFE, false, SimdLevel::kScalar));
}

TEST(FrameGeometry, TheDecodeTypeCanBeOverwritten) {
    const capture::CaptureFrame frame = capture::WriteFrame({});  // RAW12, 64 pixels: 96 bytes a line
    GeometryRequest request = Fixed(0x2C);
    request.decodeType = 0x2B;
    const GeometryResult result = Geometry(frame.bytes, request);
    ASSERT_TRUE(result.Ready());
    EXPECT_EQ(result.geometry.searchType, 0x2C);
    EXPECT_EQ(result.geometry.decodeType, 0x2B);
    EXPECT_EQ(result.geometry.width, 96u / 5 * 4);
    // Decoding AUTO with AUTO as the target decodes with the detected type.
    EXPECT_EQ(Geometry(frame.bytes, Auto(0)).geometry.decodeType, 0x2C);
    EXPECT_EQ(Geometry(frame.bytes, Auto(0xFE)).geometry.decodeType, 0xFE);
}

// A detected type outside the format table (embedded data here) is refused before an
// image is laid out for it, and the record holds nothing of it.
TEST(FrameGeometry, ADetectedTypeWithoutAFormatIsRefused) {
    capture::FrameSpec spec;
    spec.height = 2;
    spec.embeddedLines = 3;
    const capture::CaptureFrame frame = capture::WriteFrame(spec);
    const GeometryResult result = Geometry(frame.bytes, Auto());
    EXPECT_EQ(result.status, GeometryStatus::kUnsupportedType);
    EXPECT_EQ(result.reports, (Reports{"CSI2 data type not supported: 0x12, skip frame"}));
    EXPECT_EQ(result.geometry.width, 0u);
    EXPECT_EQ(result.geometry.depth, 0u);
    EXPECT_EQ(result.geometry.unpacker, nullptr);
    EXPECT_TRUE(result.geometry.lines.empty());
    const FrameGeometry empty;
    EXPECT_EQ(empty.width | empty.height | empty.depth | empty.channels | empty.lineLength, 0u);
    EXPECT_EQ(empty.requiredSpan, 0u);
    EXPECT_EQ(empty.unpacker, nullptr);
}

TEST(FrameGeometry, RefusesFramesTooShortForOnePacket) {
    const capture::CaptureFrame frame = capture::WriteFrame({});
    for (size_t size : {size_t{0}, size_t{4}, size_t{63}, size_t{71}}) {
        GuardedBuffer data(frame.bytes.data(), size);
        const GeometryResult result = ComputeGeometry(data.data(), size, Fixed(0x2C));
        EXPECT_EQ(result.status, GeometryStatus::kFrameTooShort);
        EXPECT_EQ(result.reports, (Reports{"Frame too short for a CSI2 packet: " + std::to_string(size) + " bytes, skip frame"}));
        EXPECT_EQ(ComputeGeometry(data.data(), size, Auto()).status, GeometryStatus::kFrameTooShort);
    }
    capture::FrameWriter writer;
    writer.LongPacket(0x2C, {1, 2});
    EXPECT_EQ(Geometry(writer.Finish(), Fixed(0x2C)).reports,
              (Reports{"Line too short for one pixel group, word count: 2"}));
}

// A line length above 65535 bytes is kept whole.
TEST(FrameGeometry, KeepsLineLengthsAbove65535) {
    capture::FrameWriter writer;
    writer.LongPacket(0x2A, std::vector<uint8_t>(8));
    writer.Bytes(std::vector<uint8_t>(70000));
    writer.LongPacket(0x2A, std::vector<uint8_t>(8));
    const GeometryResult result = Geometry(writer.Finish(), Fixed(0x2A));
    ASSERT_TRUE(result.Ready());
    EXPECT_EQ(result.geometry.lineLength, 8u + 8 + 2 + 70000);
}

// An image of more than INT32_MAX bytes is refused, its size counted in 64 bits. The
// largest lines (YUV422 10-bit, word count 65535: 26214 pixels of three 16-bit channels,
// rows of 157288 bytes) fill INT32_MAX at 13653 lines; one line more is refused. The
// frame is mapped without backing store and only its packet headers are written.
TEST(FrameGeometry, RefusesImagesAboveInt32Max) {
    const size_t packetBytes = 8 + 65535 + 2;
    for (uint32_t lines : {13653u, 13654u}) {
        const size_t size = 64 + lines * packetBytes;
        void* mapped = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
        ASSERT_NE(mapped, MAP_FAILED);
        uint8_t* data = static_cast<uint8_t*>(mapped);
        for (uint32_t y = 0; y < lines; ++y) capture::PutPacketHeader(data + 64 + y * packetBytes, 0x1F, 65535);
        const GeometryResult result = ComputeGeometry(data, size, Fixed(0x1F));
        if (lines == 13653) {
            EXPECT_TRUE(result.Ready());
            EXPECT_EQ(AlignedRowBytes(result.geometry) * result.geometry.height, 2147453064u);
        } else {
            EXPECT_EQ(result.status, GeometryStatus::kTooLarge);
            EXPECT_EQ(result.reports, (Reports{"Frame geometry too large: 26214x13654 needs 2147610352 bytes, more "
                                               "than 2147483647"}));
            EXPECT_EQ(result.geometry.width, 0u);
        }
        munmap(mapped, size);
    }
}

}  // namespace
