// The checks before a frame is decoded at the geometry frame's line offsets.
#include "csi2ipl/frame_check.hpp"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "csi2_frames.hpp"

namespace {

using namespace csi2ipl;
using Reports = std::vector<std::string>;

class FrameCheckTest : public ::testing::Test {
  protected:
    void SetUp() override {
        first = capture::WriteFrame(spec).bytes;
        const GeometryResult result = ComputeGeometry(first.data(), first.size(), csi2_frames::Fixed(0x2C));
        ASSERT_TRUE(result.Ready());
        geometry = result.geometry;
    }
    static void SetFrameSizeWord(std::vector<uint8_t>& frame, uint32_t word) { std::memcpy(frame.data(), &word, 4); }

    capture::FrameSpec spec;
    std::vector<uint8_t> first;
    FrameGeometry geometry;
};

TEST_F(FrameCheckTest, TheGeometryFrameAndLikeFramesAreDecodable) {
    EXPECT_TRUE(CheckFrame(geometry, first.data(), first.size(), true).Decodable());
    spec.seed = 7;
    const std::vector<uint8_t> next = capture::WriteFrame(spec).bytes;
    const FrameVerdict verdict = CheckFrame(geometry, next.data(), next.size(), true);
    EXPECT_TRUE(verdict.Decodable());
    EXPECT_TRUE(verdict.reports.empty());
}

TEST_F(FrameCheckTest, ALargerFrameSizeWordIsAMismatchWhenChecked) {
    std::vector<uint8_t> larger = first;
    SetFrameSizeWord(larger, geometry.frameSizeWord + 1);
    const FrameVerdict verdict = CheckFrame(geometry, larger.data(), larger.size(), true);
    EXPECT_EQ(verdict.status, FrameStatus::kFrameSizeMismatch);
    EXPECT_EQ(verdict.reports, (Reports{"Frame size mismatch target: " + std::to_string(geometry.frameSizeWord + 1) +
                                        " got: " + std::to_string(geometry.frameSizeWord)}));
    EXPECT_TRUE(CheckFrame(geometry, larger.data(), larger.size(), false).Decodable());
    std::vector<uint8_t> smaller = first;
    SetFrameSizeWord(smaller, 100);
    EXPECT_TRUE(CheckFrame(geometry, smaller.data(), smaller.size(), true).Decodable());
}

// A frame shorter than the lines is refused whatever its frame-size word says and whether
// the check is on: decoding it would read past its data, which ends at a guard page.
TEST_F(FrameCheckTest, AFrameShorterThanItsLinesIsRefusedWhateverItsWord) {
    const size_t size = geometry.requiredSpan - 1;
    GuardedBuffer shorter(first.data(), size);
    for (bool frameSizeCheck : {true, false}) {
        const FrameVerdict verdict = CheckFrame(geometry, shorter.data(), size, frameSizeCheck);
        EXPECT_EQ(verdict.status, FrameStatus::kShorterThanLines);
        EXPECT_EQ(verdict.reports, (Reports{"Frame shorter than its lines: " + std::to_string(size) +
                                            " bytes, the lines need " + std::to_string(geometry.requiredSpan)}));
    }
    GuardedBuffer exact(first.data(), geometry.requiredSpan);
    EXPECT_TRUE(CheckFrame(geometry, exact.data(), exact.size(), true).Decodable());
    for (size_t tiny : {size_t{0}, size_t{3}, size_t{71}}) {
        GuardedBuffer data(first.data(), tiny);
        EXPECT_EQ(CheckFrame(geometry, data.data(), tiny, false).status, FrameStatus::kFrameTooShort);
    }
}

// A frame whose last line is shorter than the width, ending with that line against a
// guard page. As the geometry frame it gives no geometry: its lines differ in word count.
// After a frame of whole lines it is refused by the check, since every line is unpacked at
// the geometry frame's word count, the whole-line copies (RAW8) included.
TEST(FrameCheck, ALastLineShorterThanTheWidthIsNeverReadPastItsEnd) {
    const struct {
        uint8_t type;
        uint32_t width;
    } cases[] = {{capture::type::kRaw10, 80},
                 {capture::type::kYuv422_10, 64},
                 {capture::type::kRaw12, 64},
                 {capture::type::kRaw8, 64}};
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.type));
        std::vector<uint8_t> frames[2];
        size_t last = 0;
        for (const uint32_t lastWidth : {c.width, c.width / 2}) {
            std::mt19937 random(8);
            capture::FrameWriter writer;
            for (uint32_t y = 0; y < 3; ++y)
                writer.LongPacket(
                    c.type, capture::LinePayload(c.type, c.width, y, capture::Pattern::kRandom, random));
            last = writer.Size();
            writer.LongPacket(c.type,
                              capture::LinePayload(c.type, lastWidth, 3, capture::Pattern::kRandom, random));
            frames[lastWidth != c.width] = writer.Finish();
        }
        const size_t size = last + 8 + capture::WordCountFor(c.type, c.width / 2);
        GuardedBuffer data(frames[1].data(), size);

        const GeometryResult refused =
            ComputeGeometry(data.data(), size, csi2_frames::Fixed(c.type, false, DetectSimdLevel()));
        EXPECT_EQ(refused.status, GeometryStatus::kUnreadableLine);
        EXPECT_EQ(
            refused.reports,
            (Reports{"Line word counts differ: " + std::to_string(capture::WordCountFor(c.type, c.width)) +
                     " at byte 64, " + std::to_string(capture::WordCountFor(c.type, c.width / 2)) +
                     " at byte " + std::to_string(last) + ", skip frame"}));

        const GeometryResult result = ComputeGeometry(frames[0].data(), frames[0].size(),
                                                      csi2_frames::Fixed(c.type, false, DetectSimdLevel()));
        ASSERT_TRUE(result.Ready());
        EXPECT_EQ(result.geometry.requiredSpan, last + 8 + capture::WordCountFor(c.type, c.width) + 2);
        EXPECT_EQ(CheckFrame(result.geometry, data.data(), size, true).status,
                  FrameStatus::kShorterThanLines);
        EXPECT_FALSE(csi2_frames::Unpack(result.geometry, data.data(), size, 0).unpacked);
    }
}

TEST_F(FrameCheckTest, ASecondLineWithoutPreambleIsReportedWithWhatStandsThere) {
    std::vector<uint8_t> moved = first;
    const uint32_t at = geometry.lines[1].offset;
    moved[at] = 0x01;
    moved[at + 1] = 0x02;
    const FrameVerdict verdict = CheckFrame(geometry, moved.data(), moved.size(), true);
    EXPECT_EQ(verdict.status, FrameStatus::kLineWithoutPreamble);
    EXPECT_EQ(verdict.reports, (Reports{"Pointer to line start: " + std::to_string(0xB8B80201u) +
                                            " header value 3099113656",
                                        "Line doesn't start with csi2 header"}));
}

// The lines are looked for at their own offsets, wherever the first line starts; a frame
// of one line has its line checked too.
TEST(FrameCheck, LooksForTheLinesAtTheirOwnOffsets) {
    capture::FrameSpec spec;
    spec.embeddedLines = 1;
    spec.embeddedBytes = 100;
    std::vector<uint8_t> frame = capture::WriteFrame(spec).bytes;
    const GeometryResult result = ComputeGeometry(frame.data(), frame.size(), csi2_frames::Fixed(0x2C));
    ASSERT_TRUE(result.Ready());
    EXPECT_TRUE(CheckFrame(result.geometry, frame.data(), frame.size(), true).Decodable());

    capture::FrameSpec single;
    single.height = 1;
    std::vector<uint8_t> one = capture::WriteFrame(single).bytes;
    const GeometryResult oneLine = ComputeGeometry(one.data(), one.size(), csi2_frames::Fixed(0x2C));
    ASSERT_TRUE(oneLine.Ready());
    EXPECT_TRUE(CheckFrame(oneLine.geometry, one.data(), one.size(), true).Decodable());
    one[64] = 0;
    EXPECT_EQ(CheckFrame(oneLine.geometry, one.data(), one.size(), true).status, FrameStatus::kLineWithoutPreamble);
}

// A byte gained or lost in front of any line moves the lines from there on, the last line
// among them: no such frame passes, and the first of the first two lines and the last that
// is not where it was is reported. A stray B8 in front of a line leaves B8 B8 B8 B8 at the
// line's offset, a preamble whose header is of type 0x38 (the real preamble's last B8),
// so the data type is what fails there. A damaged header of a line in between, its line
// where it was, leaves the frame decodable.
TEST(FrameCheck, AByteGainedOrLostInFrontOfAnyLineIsFound) {
    capture::FrameSpec spec;
    spec.height = 6;
    const capture::CaptureFrame clean = capture::WriteFrame(spec);
    const GeometryResult result =
        ComputeGeometry(clean.bytes.data(), clean.bytes.size(), csi2_frames::Fixed(0x2C));
    ASSERT_TRUE(result.Ready());
    const FrameGeometry& geometry = result.geometry;
    const uint32_t lastOffset = clean.lines.back().offset;
    auto lineStartReports = [](const std::vector<uint8_t>& frame, uint32_t at) {
        uint32_t found;
        std::memcpy(&found, &frame[at], 4);
        return Reports{"Pointer to line start: " + std::to_string(found) + " header value 3099113656",
                       "Line doesn't start with csi2 header"};
    };
    for (size_t y = 0; y < clean.lines.size(); ++y) {
        SCOPED_TRACE(y);
        const capture::CaptureFrame stray = csi2_frames::WithStrayByte(clean, y);
        const FrameVerdict gained = CheckFrame(geometry, stray.bytes.data(), stray.bytes.size(), false);
        if (y <= 1 || y == clean.lines.size() - 1) {
            EXPECT_EQ(gained.status, FrameStatus::kLineOfOtherType);
            EXPECT_EQ(gained.reports,
                      (Reports{"Line " + std::to_string(y) + " is of data type 0x38, not 0x2C"}));
        } else {
            EXPECT_EQ(gained.status, FrameStatus::kLineWithoutPreamble);
            EXPECT_EQ(gained.reports, lineStartReports(stray.bytes, lastOffset));
        }

        std::vector<uint8_t> lost = clean.bytes;
        lost.erase(lost.begin() + clean.lines[y].offset - 1);  // the last byte of what stands before
        // The frame ends with the last footer: a byte lost makes it shorter than the lines'
        // span. With a byte of padding after it, the span holds, and the lines show it.
        const FrameVerdict cut = CheckFrame(geometry, lost.data(), lost.size(), true);
        EXPECT_EQ(cut.status, FrameStatus::kShorterThanLines);
        lost.push_back(0);
        const FrameVerdict shortened = CheckFrame(geometry, lost.data(), lost.size(), true);
        EXPECT_EQ(shortened.status, FrameStatus::kLineWithoutPreamble);
        EXPECT_EQ(shortened.reports, lineStartReports(lost, y == 0 ? clean.lines[0].offset : lastOffset));
    }
    std::vector<uint8_t> damaged = clean.bytes;
    damaged[clean.lines[3].offset] = 0x07;
    EXPECT_TRUE(CheckFrame(geometry, damaged.data(), damaged.size(), true).Decodable());
    // Lines on another virtual channel are lines of the type all the same.
    std::vector<uint8_t> otherChannel = clean.bytes;
    otherChannel[clean.lines.back().offset + 4] |= 0x40;
    EXPECT_TRUE(CheckFrame(geometry, otherChannel.data(), otherChannel.size(), true).Decodable());
}

// What follows the last line, by what followed it in the stream's lines. A packet at its
// place, whole words nearer or further, or none at all is sound; a preamble off by bytes
// that make no whole word shows a last line that lost or gained bytes, whatever padding
// stands before it; a line packet where the packet after the last line, or
// a next line, would stand shows lines moved by a line packet more (a packet doubled, the
// capture buffer's size kept).
TEST(FrameCheck, WhatFollowsTheLastLineShowsItWholeAndInPlace) {
    using csi2_frames::DamageKind;
    capture::FrameSpec spec;
    spec.dataType = capture::type::kRaw10;
    spec.width = 80;
    spec.height = 5;
    const capture::CaptureFrame plain = capture::WriteFrame(spec);
    spec.frameMarkers = true;
    const capture::CaptureFrame marked = capture::WriteFrame(spec);
    const capture::PacketPlacement& last = marked.lines.back();
    const uint32_t place = last.offset + 8 + last.wordCount + 2;  // the frame end packet's
    const auto withBytesAt = [](std::vector<uint8_t> frame, size_t at, size_t count) {
        frame.insert(frame.begin() + static_cast<long>(at), count, 0);
        return csi2_frames::WithSizeWord(std::move(frame));
    };
    // The first line's packet doubled, the frame's size kept: the lines move by one.
    const auto firstDoubled = [](const capture::CaptureFrame& f) {
        const capture::PacketPlacement& first = f.lines.front();
        const size_t bytes = 8 + first.wordCount + 2;
        std::vector<uint8_t> frame = f.bytes;
        frame.insert(frame.begin() + first.offset, f.bytes.begin() + first.offset,
                     f.bytes.begin() + first.offset + bytes);
        frame.resize(f.bytes.size());
        return frame;
    };
    std::vector<uint8_t> packetGone = csi2_frames::WithoutFrameEnd(marked).bytes;
    packetGone.insert(packetGone.end(), 8, 0);
    // The plain frame with the frame end packet after its lines.
    std::vector<uint8_t> plainEnded = plain.bytes;
    plainEnded.insert(plainEnded.end(), marked.bytes.end() - 8, marked.bytes.end());
    plainEnded = csi2_frames::WithSizeWord(std::move(plainEnded));
    const uint32_t plainPlace = static_cast<uint32_t>(plain.bytes.size());
    // Lines followed by a word of padding before the frame end packet.
    capture::CaptureFrame padded = marked;
    padded.bytes = withBytesAt(marked.bytes, place, 4);

    struct Case {
        const char* name;
        const capture::CaptureFrame& stored;
        std::vector<uint8_t> frame;
        FrameStatus status;
        uint64_t at = 0;  // of the preamble reported
    } cases[] = {
        {"the packet at its place", marked, marked.bytes, FrameStatus::kDecodable},
        {"a word of padding before it", marked, withBytesAt(marked.bytes, place, 4), FrameStatus::kDecodable},
        {"padding in its place", marked, packetGone, FrameStatus::kDecodable},
        {"the frame ending after the last footer", marked, csi2_frames::WithoutFrameEnd(marked).bytes,
         FrameStatus::kDecodable},
        {"a byte of padding before it", marked, withBytesAt(marked.bytes, place, 1),
         FrameStatus::kPacketAfterLinesOff, place + 1},
        {"a byte gained inside the last line", marked,
         csi2_frames::Damaged(marked.bytes, {DamageKind::kGained, last.offset + 50, 0}),
         FrameStatus::kPacketAfterLinesOff, place + 1},
        {"a byte lost inside the last line", marked,
         csi2_frames::Damaged(marked.bytes, {DamageKind::kLost, last.offset + 50}),
         FrameStatus::kPacketAfterLinesOff, place - 1},
        {"3 bytes lost inside the last line", marked,
         csi2_frames::Damaged(csi2_frames::Damaged(csi2_frames::Damaged(marked.bytes, {DamageKind::kLost, last.offset + 50}),
                                                   {DamageKind::kLost, last.offset + 50}),
                              {DamageKind::kLost, last.offset + 50}),
         FrameStatus::kPacketAfterLinesOff, place - 3},
        {"a byte gained inside the last line, its checksum ending in B8", marked,
         [&] {
             std::vector<uint8_t> frame =
                 csi2_frames::Damaged(marked.bytes, {DamageKind::kGained, last.offset + 50, 0});
             frame[place] = 0xB8;  // the checksum's last byte, in front of the packet's preamble
             return frame;
         }(),
         FrameStatus::kPacketAfterLinesOff, place + 1},
        {"a word less padding than the stored lines had, and a byte lost inside the last line", padded,
         csi2_frames::Damaged(marked.bytes, {DamageKind::kLost, last.offset + 50}), FrameStatus::kPacketAfterLinesOff,
         place - 1},
        {"a word more padding than the stored lines had, and a byte gained inside the last line", marked,
         csi2_frames::Damaged(padded.bytes, {DamageKind::kGained, last.offset + 50, 0}),
         FrameStatus::kPacketAfterLinesOff, place + 5},
        {"a word less padding than the stored lines had", padded, marked.bytes, FrameStatus::kDecodable},
        {"a line packet where the packet after the last line stood", marked, firstDoubled(marked),
         FrameStatus::kLineAfterLastLine, place},
        {"none after the stored lines: a packet after this frame's", plain, plainEnded, FrameStatus::kDecodable},
        {"none after the stored lines: a line packet where a next line would stand", plain,
         [&] {
             std::vector<uint8_t> frame = firstDoubled(plain);
             frame.insert(frame.end(), plain.bytes.end() - (8 + plain.lines[0].wordCount + 2), plain.bytes.end());
             return csi2_frames::WithSizeWord(std::move(frame));
         }(),
         FrameStatus::kLineAfterLastLine, plain.bytes.size()},
        {"none after the stored lines: a packet inside the last footer", plain,
         csi2_frames::Damaged(plainEnded, {DamageKind::kLost, plain.lines.back().offset + 50}),
         FrameStatus::kPacketAfterLinesOff, plainPlace - 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const GeometryResult stored =
            ComputeGeometry(c.stored.bytes.data(), c.stored.bytes.size(), csi2_frames::Fixed(0x2B));
        ASSERT_TRUE(stored.Ready());
        const LastLineFollower follower = WhatFollowsTheLastLine(stored.geometry, c.frame.data(), c.frame.size());
        EXPECT_EQ(follower.status, c.status);
        if (c.status != FrameStatus::kDecodable) {
            EXPECT_EQ(follower.preambleAt, c.at);
        }
        const FrameVerdict verdict = CheckFrame(stored.geometry, c.frame.data(), c.frame.size(), false);
        EXPECT_EQ(verdict.status, c.status) << ::testing::PrintToString(verdict.reports);
    }
}

// Pixels of B8 at the end of the last line, with a checksum that starts with B8, make four
// B8 of their own: they are no packet, whatever follows them.
TEST(FrameCheck, PixelsAndAChecksumOfB8AreNoPacket) {
    capture::FrameSpec spec;
    spec.dataType = capture::type::kRaw10;
    spec.width = 80;
    spec.height = 5;
    const capture::CaptureFrame plain = capture::WriteFrame(spec);
    const GeometryResult stored = ComputeGeometry(plain.bytes.data(), plain.bytes.size(), csi2_frames::Fixed(0x2B));
    ASSERT_TRUE(stored.Ready());
    const size_t lastEnd = plain.lines.back().offset + 8 + plain.lines.back().wordCount;
    std::vector<uint8_t> endingInB8 = plain.bytes;
    std::fill(endingInB8.begin() + static_cast<long>(lastEnd) - 3, endingInB8.begin() + static_cast<long>(lastEnd) + 1,
              0xB8);
    const std::vector<uint8_t> frameEnd = {0xB8, 0xB8, 0xB8, 0xB8, 0x01, 0x01, 0x00, 0x00};
    const std::vector<uint8_t> padding(8, 0);
    for (const auto* after : {&frameEnd, &padding}) {
        SCOPED_TRACE(after == &frameEnd ? "a frame end packet after it" : "padding after it");
        std::vector<uint8_t> frame = endingInB8;
        frame.insert(frame.end(), after->begin(), after->end());
        frame = csi2_frames::WithSizeWord(std::move(frame));
        const GeometryResult own = ComputeGeometry(frame.data(), frame.size(), csi2_frames::Fixed(0x2B));
        ASSERT_TRUE(own.Ready()) << ::testing::PrintToString(own.reports);
        EXPECT_EQ(own.geometry.ends.lastFooterBytes, 2u);
        EXPECT_EQ(own.geometry.ends.packetAfterLines, after == &frameEnd ? lastEnd + 2 : 0u);
        const FrameVerdict verdict = CheckFrame(stored.geometry, frame.data(), frame.size(), false);
        EXPECT_TRUE(verdict.Decodable()) << ::testing::PrintToString(verdict.reports);
    }
}

}  // namespace
