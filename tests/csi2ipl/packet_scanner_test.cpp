// Scanning a frame for packets: what is listed, how the scan steps, and that it stays
// inside the data and ends on any input.
#include "csi2ipl/packet_scanner.hpp"

#include <gtest/gtest.h>

#include <random>

#include "csi2_frames.hpp"
#include "support/guarded_buffer.hpp"

namespace {

using namespace csi2ipl;

std::vector<uint32_t> Offsets(const PacketList& packets) {
    std::vector<uint32_t> offsets;
    for (const PacketItem& item : packets) offsets.push_back(item.offset);
    return offsets;
}

std::vector<uint32_t> Offsets(const std::vector<capture::PacketPlacement>& placements) {
    std::vector<uint32_t> offsets;
    for (const capture::PacketPlacement& placement : placements) offsets.push_back(placement.offset);
    return offsets;
}

PacketItem Item(uint8_t dataIdentifier) {
    PacketItem item{};
    item.header[4] = dataIdentifier;
    return item;
}

TEST(PacketScanner, ListsLongPacketsInOrderAndStepsOverShortOnes) {
    capture::FrameSpec spec;
    spec.frameMarkers = spec.lineMarkers = true;
    spec.embeddedLines = 2;
    const capture::CaptureFrame frame = capture::WriteFrame(spec);
    const PacketList packets = find_all_Longpackages(frame.bytes.data(), frame.bytes.size());

    ASSERT_EQ(packets.size(), 2u + spec.height);
    EXPECT_EQ(packets[0].DataIdentifier(), 0x12);
    EXPECT_EQ(packets[0].WordCount(), spec.embeddedBytes);
    const std::vector<uint32_t> listed = Offsets(packets);
    EXPECT_EQ(std::vector<uint32_t>(listed.begin() + 2, listed.end()), Offsets(frame.lines));
    EXPECT_EQ(std::memcmp(packets[2].header, frame.bytes.data() + frame.lines[0].offset, 8), 0);
}

// Packets of word count 0 and short packets whose data is 0 (frame number 0) are stepped
// over like any other: every scan moves on and ends.
TEST(PacketScanner, EndsOnPacketsOfWordCountZeroAndShortPackets) {
    capture::FrameWriter writer;
    writer.ShortPacket(0x00, 0);
    writer.LongPacket(0x2A, {});
    writer.ShortPacket(0x02, 0);
    writer.LongPacket(0x2A, {});
    writer.LongPacket(0x2C, {1, 2, 3});
    writer.ShortPacket(0x01, 0);
    const std::vector<uint8_t> frame = writer.Finish();

    const PacketList all = find_all_Longpackages(frame.data(), frame.size());
    EXPECT_EQ(Offsets(all), (std::vector<uint32_t>{writer.Packets()[1].offset, writer.Packets()[3].offset,
                                                   writer.Packets()[4].offset}));
    const LineScan raw8 = CSI2CountType(frame.data(), frame.size(), 64, 0x2A);
    EXPECT_EQ(raw8.lines.size(), 2u);
    EXPECT_EQ(raw8.lineLength, writer.Packets()[3].offset - writer.Packets()[1].offset);
    ASSERT_TRUE(CSI2FindType(frame.data(), frame.size(), 64, 0x2C).has_value());
    EXPECT_EQ(CSI2FindType(frame.data(), frame.size(), 64, 0x2C)->offset, writer.Packets()[4].offset);
}

// A flat image of value 0xB8 holds the preamble in every payload; stepping over whole
// packets never takes pixels for a packet.
TEST(PacketScanner, PixelsThatLookLikeAPreambleAreNotPackets) {
    capture::FrameWriter writer;
    for (int y = 0; y < 4; ++y) writer.LongPacket(0x2A, std::vector<uint8_t>(40, 0xB8));
    const std::vector<uint8_t> frame = writer.Finish();
    EXPECT_EQ(Offsets(find_all_Longpackages(frame.data(), frame.size())), Offsets(writer.Packets()));
    EXPECT_EQ(Offsets(CSI2CountType(frame.data(), frame.size(), 64, 0x2A).lines), Offsets(writer.Packets()));
}

TEST(PacketScanner, FindsPacketsAcrossGarbageAndWithoutFooters) {
    capture::FrameWriter writer;
    writer.Bytes({1, 2, 0xB8, 0xB8, 3});
    writer.LongPacket(0x2A, {9, 9, 9, 9});
    writer.Bytes({0xB8, 0xB8, 0xB8, 7, 7, 7, 7, 7, 7});
    writer.LongPacket(0x2A, {8, 8});
    std::vector<uint8_t> frame = writer.Finish();
    // A capture without footers: the next header follows the payload directly.
    std::vector<uint8_t> packed(64, 0);
    for (int y = 0; y < 3; ++y) {
        packed.insert(packed.end(), {0xB8, 0xB8, 0xB8, 0xB8, 0x2A, 3, 0, 0, 5, 5, 5});
    }
    EXPECT_EQ(Offsets(find_all_Longpackages(frame.data(), frame.size())), Offsets(writer.Packets()));
    EXPECT_EQ(Offsets(find_all_Longpackages(packed.data(), packed.size())), (std::vector<uint32_t>{64, 75, 86}));
}

// A clean capture is listed packet for packet: every long packet written, in order, and
// nothing else, whatever the data type, the markers, the embedded data, the virtual
// channels and the payloads, and when the last line ends the data without a footer.
TEST(PacketScanner, ListsEveryLongPacketOfCleanCapturesOfEveryType) {
    struct Shape {
        const char* name;
        capture::FrameSpec spec;
        bool footerAtEnd;
    };
    std::vector<Shape> shapes;
    for (uint8_t type : capture::type::kAll) {
        capture::FrameSpec spec;
        spec.dataType = type;
        spec.width = 64;
        spec.height = 6;
        shapes.push_back({"plain", spec, true});
        shapes.push_back({"ending at its last pixel", spec, false});
        capture::FrameSpec marked = spec;
        marked.frameMarkers = marked.lineMarkers = true;
        marked.embeddedLines = 2;
        marked.virtualChannel = 3;
        shapes.push_back({"markers, embedded data, virtual channel 3", marked, true});
        capture::FrameSpec alternating = spec;
        alternating.alternateVirtualChannels = true;
        alternating.pattern = capture::Pattern::kGradient;
        shapes.push_back({"alternating virtual channels", alternating, true});
    }
    for (Shape& shape : shapes) {
        for (unsigned seed = 1; seed <= 3; ++seed) {
            SCOPED_TRACE(std::string(shape.name) + ", type " + std::to_string(shape.spec.dataType) +
                         ", seed " + std::to_string(seed));
            shape.spec.seed = seed;
            const capture::CaptureFrame frame = capture::WriteFrame(shape.spec);
            const std::vector<uint8_t> bytes =
                shape.footerAtEnd ? frame.bytes : csi2_frames::EndingAtLastPixel(frame);
            const PacketList packets = find_all_Longpackages(bytes.data(), bytes.size());
            const size_t embedded = shape.spec.embeddedLines;
            ASSERT_EQ(packets.size(), embedded + frame.lines.size());
            for (size_t i = 0; i < embedded; ++i)
                EXPECT_EQ(packets[i].DataIdentifier(),
                          (shape.spec.virtualChannel << 6) | capture::type::kEmbedded);
            for (size_t y = 0; y < frame.lines.size(); ++y) {
                const PacketItem& listed = packets[embedded + y];
                EXPECT_EQ(listed.offset, frame.lines[y].offset);
                EXPECT_EQ(listed.DataIdentifier(), frame.lines[y].dataIdentifier);
                EXPECT_EQ(listed.WordCount(), frame.lines[y].wordCount);
            }
        }
    }
}

// A header no packet has is passed by one byte, not by its word count: a stray B8 in
// front of a preamble reads as a header of the reserved type 0x38 whose word count is
// made of the real header's bytes, and a header whose payload would run past the data
// says nothing of where the next packet is. A jump by either would pass the lines behind
// it, and AUTO would find one line or none.
TEST(PacketScanner, ListingPassesHeadersNoPacketHasByOneByte) {
    constexpr uint32_t kWidth = 80, kHeight = 5;
    capture::FrameSpec spec;
    spec.dataType = capture::type::kRaw10;
    spec.width = kWidth;
    spec.height = kHeight;
    const capture::CaptureFrame clean = capture::WriteFrame(spec);
    struct Case {
        std::string name;
        capture::CaptureFrame frame;
    };
    std::vector<Case> cases;
    for (size_t y : {size_t{0}, size_t{1}, size_t{kHeight - 1}})
        cases.push_back(
            {"a stray B8 in front of line " + std::to_string(y), csi2_frames::WithStrayByte(clean, y)});
    capture::CaptureFrame runningPast = clean;
    capture::PutPacketHeader(&runningPast.bytes[8], capture::type::kRaw10, 0xFFFF);
    cases.push_back({"a header in the frame header whose payload runs past the data", runningPast});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Offsets(find_all_Longpackages(c.frame.bytes.data(), c.frame.bytes.size())),
                  Offsets(c.frame.lines));
    }
}

TEST(PacketScanner, UniqueIdentifiersCollapseOnlyConsecutiveRepeats) {
    const PacketList packets = {Item(0x2C), Item(0x2C), Item(0x12), Item(0x2C), Item(0x6C)};
    EXPECT_EQ(get_unique_datatypes(packets), (std::vector<uint8_t>{0x2C, 0x12, 0x2C, 0x6C}));
    EXPECT_EQ(filter_by_datatype(packets, 0x2C).size(), 3u);
    EXPECT_TRUE(get_unique_datatypes({}).empty());
}

TEST(PacketScanner, PrimaryIdentifierIsTheMostFrequentAndTheFirstMetOnATie) {
    struct Case {
        const char* name;
        PacketList packets;
        uint8_t primary;
    } cases[] = {
        {"most frequent", {Item(0x12), Item(0x2C), Item(0x2C), Item(0x12), Item(0x2C)}, 0x2C},
        {"tie goes to the first met", {Item(0x2B), Item(0x2C), Item(0x2C), Item(0x2B)}, 0x2B},
        {"alternating tie", {Item(0x2C), Item(0x2A), Item(0x2C), Item(0x2A)}, 0x2C},
        {"virtual channels count apart", {Item(0x2C), Item(0x6C), Item(0x6C), Item(0x2C), Item(0x6C)}, 0x6C},
        {"no packets", {}, 0x00},
    };
    for (const Case& c : cases) EXPECT_EQ(find_primary_image_form_pnt_list(c.packets), c.primary) << c.name;
}

// The type search reads a data identifier only where a preamble stands: garbage whose
// fifth byte carries the type does not end the search before the real packet.
TEST(PacketScanner, TypeSearchLooksOnlyAtPreambles) {
    capture::FrameWriter writer;
    writer.Bytes({0, 0, 0, 0, 0x2C, 0, 0, 0, 0, 0});
    writer.LongPacket(0x12, {1, 2, 3, 4});
    writer.LongPacket(0x6C, {1, 2, 3});
    const std::vector<uint8_t> frame = writer.Finish();
    const std::optional<PacketItem> found = CSI2FindType(frame.data(), frame.size(), 64, 0x2C);
    ASSERT_TRUE(found.has_value());
    EXPECT_EQ(found->offset, writer.Packets()[1].offset);
    EXPECT_FALSE(CSI2FindType(frame.data(), frame.size(), 64, 0x2B).has_value());
}

TEST(PacketScanner, CountTypeTakesEveryVirtualChannelAndOnlyWholePayloads) {
    capture::FrameSpec spec;
    spec.height = 5;
    spec.alternateVirtualChannels = true;
    const capture::CaptureFrame frame = capture::WriteFrame(spec);
    const LineScan scan = CSI2CountType(frame.bytes.data(), frame.bytes.size(), 64, 0x2C);
    EXPECT_EQ(Offsets(scan.lines), Offsets(frame.lines));
    EXPECT_EQ(scan.lineLength, frame.lines[1].offset - frame.lines[0].offset);

    // The last line cut inside its payload is not a line.
    const LineScan cut = CSI2CountType(frame.bytes.data(), frame.lines.back().offset + 8 + 10, 64, 0x2C);
    EXPECT_EQ(cut.lines.size(), 4u);
}

// Line counting passes a packet of another type by one byte, not by its word count. A
// stray B8 before a line's preamble reads as a packet whose word count is built from the
// real header, and embedded data may carry a corrupt word count: a jump by either lands
// past the lines that follow, and the image of the whole run is cut to the lines before.
TEST(PacketScanner, CountTypePassesPacketsOfOtherTypesByOneByte) {
    constexpr uint32_t kWidth = 80, kHeight = 5;
    enum class Damage { kStrayB8, kCorruptEmbeddedWordCount };
    struct Case {
        const char* name;
        Damage damage;
        uint32_t beforeLine;
    } cases[] = {
        {"stray B8 before the first line", Damage::kStrayB8, 0},
        {"stray B8 before the second line", Damage::kStrayB8, 1},
        {"stray B8 before the last line", Damage::kStrayB8, kHeight - 1},
        {"embedded data of word count 0xFFFF before the first line", Damage::kCorruptEmbeddedWordCount, 0},
        {"embedded data of word count 0xFFFF between lines", Damage::kCorruptEmbeddedWordCount, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::mt19937 random(6);
        capture::FrameWriter writer;
        std::vector<uint32_t> lines;
        size_t embedded = 0;
        for (uint32_t y = 0; y < kHeight; ++y) {
            if (y == c.beforeLine && c.damage == Damage::kStrayB8) writer.Bytes({0xB8});
            if (y == c.beforeLine && c.damage == Damage::kCorruptEmbeddedWordCount) {
                embedded = writer.Size();
                writer.LongPacket(capture::type::kEmbedded, std::vector<uint8_t>(24, 0x11));
            }
            lines.push_back(static_cast<uint32_t>(writer.Size()));
            writer.LongPacket(capture::type::kRaw10,
                              capture::LinePayload(capture::type::kRaw10, kWidth, y, capture::Pattern::kRandom, random));
        }
        std::vector<uint8_t> frame = writer.Finish();
        if (c.damage == Damage::kCorruptEmbeddedWordCount) frame[embedded + 5] = frame[embedded + 6] = 0xFF;

        EXPECT_EQ(Offsets(CSI2CountType(frame.data(), frame.size(), 64, capture::type::kRaw10).lines), lines);
        const GeometryResult geometry = ComputeGeometry(frame.data(), frame.size(), csi2_frames::Fixed(0x2B));
        ASSERT_TRUE(geometry.Ready());
        EXPECT_EQ(geometry.geometry.width, kWidth);
        EXPECT_EQ(geometry.geometry.height, kHeight);
    }
}

// A frame's line packets that the count missed, where each begins: what a stray byte in a
// line's header leaves (a foreign byte in its preamble, or in front of its data identifier,
// which then reads as a short packet's), a preamble byte replaced, a word count made to
// run past the data (the count passes the rest of the frame), the last line cut short,
// and the whole headers of the lines that a lone line's enlarged word count takes in.
TEST(PacketScanner, UncountedLinesAreFoundWhereTheirHeaderBegins) {
    capture::FrameSpec spec;
    spec.dataType = capture::type::kRaw10;
    spec.width = 80;  // word count 100: 0x64 0x00
    spec.height = 5;
    const capture::CaptureFrame raw10 = capture::WriteFrame(spec);
    spec.dataType = capture::type::kRaw8;
    spec.width = 64;  // word count 64: a stray 0x01 in front of its high byte makes 320
    const capture::CaptureFrame raw8 = capture::WriteFrame(spec);
    const uint32_t line = raw10.lines[2].offset;
    auto inserted = [](const capture::CaptureFrame& frame, size_t at, uint8_t value) {
        std::vector<uint8_t> bytes = frame.bytes;
        bytes.insert(bytes.begin() + static_cast<long>(at), value);
        return bytes;
    };
    std::vector<uint8_t> replaced = raw10.bytes;
    replaced[line] = 0x12;
    const std::vector<uint8_t> cut(raw10.bytes.begin(), raw10.bytes.begin() + raw10.lines[4].offset + 8 + 10);
    struct Case {
        const char* name;
        std::vector<uint8_t> frame;
        uint8_t type;
        size_t expected;
    } cases[] = {
        {"a foreign byte inside the preamble", inserted(raw10, line + 2, 0x00), 0x2B, line},
        {"a byte in front of the data identifier", inserted(raw10, line + 4, 0x00), 0x2B, line},
        {"a preamble byte replaced", replaced, 0x2B, line},
        {"a word count run past the data", inserted(raw10, line + 5, 0x01), 0x2B, line},
        {"the last line cut short", cut, 0x2B, raw10.lines[4].offset},
        {"a lone line over the others", inserted(raw8, raw8.lines[0].offset + 6, 0x01), 0x2A,
         raw8.lines[1].offset + 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const LineScan scan = CSI2CountType(c.frame.data(), c.frame.size(), 64, c.type);
        EXPECT_EQ(FindUncountedLine(c.frame.data(), c.frame.size(), 64, c.type, scan.lines),
                  std::optional<size_t>(c.expected));
    }
}

// Clean frames have no line packet the count missed: not line markers, frame markers,
// embedded data, filler or a stray B8 between packets. The line-end packet of line 42
// reads B8 B8 B8 B8 03 2A 00 and its ECC: a preamble with a byte in front of the RAW8 type,
// and with lines whose word count is that ECC times 256, their data type and word count
// too; the ECC of the lines' headers, never B8, differs from the next packet's first byte.
TEST(PacketScanner, CleanFramesHaveNoUncountedLine) {
    const uint8_t markerEcc = capture::HeaderEcc(0x03, 42);
    ASSERT_NE(markerEcc, 0);
    capture::FrameSpec spec;
    spec.dataType = capture::type::kRaw8;
    spec.width = 256u * markerEcc;
    spec.height = 44;
    spec.frameMarkers = spec.lineMarkers = true;
    spec.embeddedLines = 2;
    const capture::CaptureFrame marked = capture::WriteFrame(spec);

    std::mt19937 random(5);
    capture::FrameWriter writer;
    const std::vector<std::vector<uint8_t>> between = {
        {}, std::vector<uint8_t>(13, 0x55), {0xB8}, {0xB8, 0xB8, 0xB8}};
    for (const std::vector<uint8_t>& bytes : between) {
        writer.Bytes(bytes);
        writer.LongPacket(0x2B, capture::LinePayload(0x2B, 80, 0, capture::Pattern::kRandom, random));
    }
    const std::vector<uint8_t> spaced = writer.Finish();

    const std::pair<const std::vector<uint8_t>*, uint8_t> frames[] = {{&marked.bytes, 0x2A}, {&spaced, 0x2B}};
    for (const auto& [frame, type] : frames) {
        SCOPED_TRACE(static_cast<int>(type));
        const LineScan scan = CSI2CountType(frame->data(), frame->size(), 64, type);
        EXPECT_EQ(scan.lines.size(), type == 0x2A ? 44u : 4u);
        EXPECT_EQ(FindUncountedLine(frame->data(), frame->size(), 64, type, scan.lines), std::nullopt);
    }
}

// Every scan of every prefix of a frame ends, and reads nothing past the prefix (the
// guard page right behind it would crash the test).
TEST(PacketScanner, ScansStayInsideEveryTruncationOfAFrame) {
    capture::FrameSpec spec;
    spec.width = 8;
    spec.height = 3;
    spec.frameMarkers = spec.lineMarkers = true;
    spec.embeddedLines = 1;
    spec.embeddedBytes = 5;
    const capture::CaptureFrame frame = capture::WriteFrame(spec);
    for (size_t size = 0; size <= frame.bytes.size(); ++size) {
        GuardedBuffer data(frame.bytes.data(), size);
        const PacketList all = find_all_Longpackages(data.data(), size);
        for (const PacketItem& item : all) EXPECT_LE(item.offset + 8u, size);
        const LineScan scan = CSI2CountType(data.data(), size, 64, 0x2C);
        for (const PacketItem& line : scan.lines) EXPECT_LE(line.offset + 8u + line.WordCount(), size);
        const std::optional<size_t> uncounted = FindUncountedLine(data.data(), size, 64, 0x2C, scan.lines);
        if (uncounted) {
            EXPECT_LT(*uncounted, size);
        }
        const std::optional<PacketItem> found = CSI2FindType(data.data(), size, 64, 0x2C);
        if (found) {
            EXPECT_LE(found->offset + 8u, size);
        }
        (void)CSI2FindType(data.data(), size, size + 10, 0x2C);
    }
}

// Resynchronisation moves only where the stream was lost, and never reads past the data
// (each case's buffer ends at a guard page).
TEST(PacketScanner, ResynchronisationFindsTheNextPreambleInsideTheData) {
    const std::vector<uint8_t> preamble = {0xB8, 0xB8, 0xB8, 0xB8};
    struct Case {
        const char* name;
        std::vector<uint8_t> tail;  // what follows a frame-size word of 100
        size_t from;
        Resynchronised expected;
    } cases[] = {
        {"a preamble stands there", {0, 0xB8, 0xB8, 0xB8, 0xB8, 0}, 5, {5, 0}},
        {"garbage and a partial preamble first", {1, 0xB8, 0xB8, 2, 0xB8, 0xB8, 0xB8, 0xB8}, 4, {8, 4}},
        {"no preamble to the end", {1, 2, 3, 4, 5}, 5, {9, 4}},
        {"a preamble cut by the end", {1, 0xB8, 0xB8, 0xB8}, 4, {8, 4}},
        {"a position at the end", {1, 2}, 6, {6, 0}},
        {"a position past the end", {1, 2}, 9, {9, 0}},
    };
    for (const Case& test : cases) {
        std::vector<uint8_t> bytes = {100, 0, 0, 0};
        bytes.insert(bytes.end(), test.tail.begin(), test.tail.end());
        GuardedBuffer data(bytes);
        const Resynchronised found = AlignToNextPreamble(data.data(), bytes.size(), test.from);
        EXPECT_EQ(found.position, test.expected.position) << test.name;
        EXPECT_EQ(found.skipped, test.expected.skipped) << test.name;
    }
    // A frame-size word of 0 leaves the position where it is.
    const std::vector<uint8_t> unsized = {0, 0, 0, 0, 1, 2, 0xB8, 0xB8, 0xB8, 0xB8};
    EXPECT_EQ(AlignToNextPreamble(unsized.data(), unsized.size(), 4).position, 4u);
}

}  // namespace
