// The packets around a frame's lines, and the line packets that lines learnt from a
// damaged frame do not count in a clean one.
#include "csi2ipl/packets_around_lines.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "csi2_frames.hpp"
#include "csi2ipl/frame_geometry.hpp"

namespace {

using namespace csi2ipl;

constexpr uint8_t kType = capture::type::kRaw10;

capture::CaptureFrame Frame(bool frameMarkers, bool lineMarkers, unsigned seed = 1) {
    capture::FrameSpec spec;
    spec.dataType = kType;
    spec.width = 40;
    spec.height = 5;
    spec.seed = seed;
    spec.frameMarkers = frameMarkers;
    spec.lineMarkers = lineMarkers;
    return capture::WriteFrame(spec);
}

std::vector<uint8_t> IdentifierDamaged(const capture::CaptureFrame& frame, size_t y) {
    std::vector<uint8_t> bytes = frame.bytes;
    bytes[frame.lines.at(y).offset + 4] ^= 0x01;
    return bytes;
}

// The frame with bytes [at, at + count) zeroed.
std::vector<uint8_t> Zeroed(const capture::CaptureFrame& frame, size_t at, size_t count) {
    std::vector<uint8_t> bytes = frame.bytes;
    std::fill_n(bytes.begin() + static_cast<long>(at), count, 0);
    return bytes;
}

// The frame without the bytes [from, to).
std::vector<uint8_t> Without(const capture::CaptureFrame& frame, size_t from, size_t to) {
    std::vector<uint8_t> bytes = frame.bytes;
    bytes.erase(bytes.begin() + static_cast<long>(from), bytes.begin() + static_cast<long>(to));
    return csi2_frames::WithSizeWord(std::move(bytes));
}

size_t PacketEnd(const capture::PacketPlacement& line) { return line.offset + 8 + line.wordCount + 2; }

TEST(PacketsAroundLines, ALineThatTheStoredFrameLostIsFoundInAFrameThatHasIt) {
    const capture::CaptureFrame plain = Frame(true, false);
    const capture::CaptureFrame marked = Frame(true, true);
    const capture::CaptureFrame markedUnended = Frame(false, true);
    const capture::CaptureFrame plainOther = Frame(true, false, 2);
    const capture::CaptureFrame markedOther = Frame(true, true, 2);
    struct Case {
        const char* name;
        std::vector<uint8_t> stored;  // the frame the lines come from
        const capture::CaptureFrame& checked;
        std::optional<uint64_t> uncounted;
    } cases[] = {
        {"the same frame", plain.bytes, plain, std::nullopt},
        {"another clean frame", plain.bytes, plainOther, std::nullopt},
        {"another clean frame, every marker", marked.bytes, markedOther, std::nullopt},
        {"the first line's identifier damaged: before the first line", IdentifierDamaged(plain, 0), plainOther,
         plain.lines[0].offset},
        {"line 2's identifier damaged, every marker: in a gap wider than most", IdentifierDamaged(marked, 2),
         markedOther, marked.lines[2].offset},
        {"the last line's identifier damaged, every marker: behind the line end packet",
         IdentifierDamaged(marked, 4), markedOther, marked.lines[4].offset},
        {"the last line's packet lost, line markers: another packet where the line end stood",
         Without(marked, marked.lines[4].offset, PacketEnd(marked.lines[4])), markedOther,
         marked.lines[4].offset},
        {"line 2's preamble garbled: bytes no packet covers where it stood", Zeroed(plain, plain.lines[2].offset, 4),
         plainOther, plain.lines[2].offset},
        {"the first line's header garbled: bytes no packet covers before the lines",
         Zeroed(plain, plain.lines[0].offset, 8), plainOther, plain.lines[0].offset},
        {"the last line's header garbled, every marker: bytes no packet covers behind the line start",
         Zeroed(marked, marked.lines[4].offset, 8), markedOther, marked.lines[4].offset},
        {"the last line lost with its markers, no frame markers: a packet behind the frame's last",
         Without(markedUnended, markedUnended.lines[4].offset - 8, PacketEnd(markedUnended.lines[4]) + 8),
         markedUnended, markedUnended.lines[4].offset},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const GeometryResult stored = ComputeGeometry(c.stored.data(), c.stored.size(), csi2_frames::Fixed(kType));
        ASSERT_TRUE(stored.Ready());
        EXPECT_EQ(UncountedLinePacket(stored.geometry.around, kType, c.checked.bytes.data(), c.checked.bytes.size()),
                  c.uncounted);
    }
}

// Packets of another kind that stand elsewhere, or not at all, hold no line of the type:
// the search behind them finds none.
TEST(PacketsAroundLines, OtherPacketsElsewhereAreNoUncountedLine) {
    const capture::CaptureFrame marked = Frame(true, true);
    std::vector<uint8_t> paddedEnd = marked.bytes;
    paddedEnd.insert(paddedEnd.end() - 8, 4, 0);  // a word before the frame end packet
    paddedEnd = csi2_frames::WithSizeWord(std::move(paddedEnd));
    const std::vector<uint8_t> unended = Without(marked, marked.bytes.size() - 8, marked.bytes.size());
    std::vector<uint8_t> embeddedAfter = marked.bytes;
    const std::vector<uint8_t> embedded = [] {
        capture::FrameWriter writer;
        writer.LongPacket(capture::type::kEmbedded, std::vector<uint8_t>(24, 0x0B));
        std::vector<uint8_t> bytes = writer.Finish();
        return std::vector<uint8_t>(bytes.begin() + 64, bytes.end());
    }();
    embeddedAfter.insert(embeddedAfter.end() - 8, embedded.begin(), embedded.end());
    embeddedAfter = csi2_frames::WithSizeWord(std::move(embeddedAfter));
    const GeometryResult stored = ComputeGeometry(marked.bytes.data(), marked.bytes.size(), csi2_frames::Fixed(kType));
    ASSERT_TRUE(stored.Ready());
    for (const std::vector<uint8_t>* frame : {&std::as_const(paddedEnd), &unended, &std::as_const(embeddedAfter)}) {
        EXPECT_EQ(UncountedLinePacket(stored.geometry.around, kType, frame->data(), frame->size()), std::nullopt);
    }
    // The frame with more behind its lines keeps what it found there.
    const GeometryResult longer = ComputeGeometry(embeddedAfter.data(), embeddedAfter.size(), csi2_frames::Fixed(kType));
    ASSERT_TRUE(longer.Ready());
    EXPECT_EQ(UncountedLinePacket(longer.geometry.around, kType, marked.bytes.data(), marked.bytes.size()),
              std::nullopt);
}

// Gaps alike between most lines are not walked: no header of theirs is kept.
TEST(PacketsAroundLines, GapsMostLinesShareAreNotWalked) {
    const capture::CaptureFrame marked = Frame(false, true);
    const GeometryResult stored = ComputeGeometry(marked.bytes.data(), marked.bytes.size(), csi2_frames::Fixed(kType));
    ASSERT_TRUE(stored.Ready());
    const std::vector<PacketsAroundLines::Region>& regions = stored.geometry.around.regions;
    ASSERT_EQ(regions.size(), 2u) << "before the first line and after the last";
    EXPECT_EQ(regions[0].packets.size(), 1u);  // the first line start
    EXPECT_EQ(regions[1].packets.size(), 1u);  // the last line end
    const std::vector<uint8_t> damaged = IdentifierDamaged(marked, 2);
    const GeometryResult lost = ComputeGeometry(damaged.data(), damaged.size(), csi2_frames::Fixed(kType));
    ASSERT_TRUE(lost.Ready());
    EXPECT_EQ(lost.geometry.around.regions.size(), 3u) << "the gap with the damaged line is walked";
}

}  // namespace
