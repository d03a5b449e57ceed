// The stream's lines from its first frames: when two frames' lines agree, what the stream
// keeps of two agreeing frames, and which frames are decoded, kept, published late or
// dropped while the lines are learnt and once two frames agree on them.
#include "csi2ipl/stream_lines.hpp"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>

#include "csi2_frames.hpp"
#include "csi2ipl/frame_check.hpp"

namespace {

using namespace csi2ipl;
using csi2_frames::Damage;
using csi2_frames::DamageKind;
using Reports = std::vector<std::string>;

capture::CaptureFrame Raw10Frame(uint32_t width = 80, uint32_t height = 5, bool frameMarkers = false,
                                 unsigned seed = 1) {
    capture::FrameSpec spec;
    spec.dataType = capture::type::kRaw10;
    spec.width = width;  // 100 bytes a line at 80
    spec.height = height;
    spec.frameMarkers = frameMarkers;
    spec.seed = seed;
    return capture::WriteFrame(spec);
}

FrameGeometry Lines(const std::vector<uint8_t>& frame) {
    GeometryResult result = ComputeGeometry(frame.data(), frame.size(), csi2_frames::Fixed(0x2B));
    EXPECT_TRUE(result.Ready()) << ::testing::PrintToString(result.reports);
    return std::move(result.geometry);
}

std::vector<uint32_t> Offsets(const PacketList& lines) {
    std::vector<uint32_t> offsets;
    for (const PacketItem& line : lines) offsets.push_back(line.offset);
    return offsets;
}

std::string OutOfPlace(uint32_t at) {
    return "Line packet at byte " + std::to_string(at) + " does not end where the stream's lines end";
}

// Two frames' lines agree when they make one image and every line packet ends as the
// other's does, wherever the lines stand; which of two frames is damaged, neither tells.
TEST(StreamLines, TwoFramesAgreeOnOneImageWithLinesThatEndAlike) {
    const capture::CaptureFrame clean = Raw10Frame();
    const capture::CaptureFrame marked = Raw10Frame(80, 5, true);
    const std::vector<uint8_t> strayBefore2 = csi2_frames::WithStrayByte(clean, 2).bytes;
    // Every line 4 bytes further from the next: laid out otherwise, each line whole.
    capture::FrameWriter padding;
    for (const capture::PacketPlacement& line : clean.lines) {
        const auto start = clean.bytes.begin() + line.offset;
        padding.Bytes(std::vector<uint8_t>(start, start + 8 + line.wordCount + 2));
        padding.Bytes({0, 0, 0, 0});
    }
    // The last line's identifier overwritten: 4 lines.
    std::vector<uint8_t> lastLineLost = clean.bytes;
    lastLineLost[clean.lines[4].offset + 4] = 0x12;
    // The frame end packet 8 bytes further, or gone with 8 bytes of padding in its place.
    std::vector<uint8_t> paddedEnd = marked.bytes;
    paddedEnd.insert(paddedEnd.end() - 8, 8, 0);
    std::vector<uint8_t> paddingForTheEnd = csi2_frames::WithoutFrameEnd(marked).bytes;
    paddingForTheEnd.insert(paddingForTheEnd.end(), 8, 0);
    const uint32_t lastLine = marked.lines[4].offset;

    struct Case {
        const char* name;
        std::vector<uint8_t> stored;
        std::vector<uint8_t> found;
        std::string disagreement;  // empty: they agree
    } cases[] = {
        {"two clean frames", clean.bytes, Raw10Frame(80, 5, false, 2).bytes, ""},
        {"every line a byte later", clean.bytes, csi2_frames::WithStrayByte(clean, 0).bytes, ""},
        {"a byte between two lines of the later frame", clean.bytes, strayBefore2,
         OutOfPlace(clean.lines[1].offset)},
        {"a byte between two lines of the stored frame", strayBefore2, clean.bytes,
         OutOfPlace(clean.lines[1].offset)},
        {"lines laid out apart", clean.bytes, padding.Finish(), OutOfPlace(clean.lines[0].offset)},
        {"a line fewer", clean.bytes, lastLineLost, "Lines of the frame make no image of 80x5"},
        {"a line more", lastLineLost, clean.bytes, "Lines of the frame make no image of 80x4"},
        {"wider lines", clean.bytes, Raw10Frame(84).bytes, "Lines of the frame make no image of 80x5"},
        {"a byte gained inside the last line moves the packet after it", marked.bytes,
         csi2_frames::Damaged(marked.bytes, {DamageKind::kGained, lastLine + 50, 0}), OutOfPlace(lastLine)},
        {"the packet after the last line a word further", marked.bytes, paddedEnd, ""},
        {"a packet after the last line where none stood", clean.bytes, marked.bytes, ""},
        {"none where one stood, the frame ending after the last footer", marked.bytes, clean.bytes, ""},
        {"none where one stood, padding in its place", marked.bytes, paddingForTheEnd, ""},
        {"the last footer a byte short where the stored frame held it", clean.bytes,
         std::vector<uint8_t>(clean.bytes.begin(), clean.bytes.end() - 1), OutOfPlace(clean.lines[4].offset)},
        {"the last footer whole where the stored frame held a byte of it",
         std::vector<uint8_t>(clean.bytes.begin(), clean.bytes.end() - 1), clean.bytes, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Disagreement(Lines(c.stored), Lines(c.found)), c.disagreement);
    }
}

// The stream keeps the newer frame's lines, the older frame's header, the larger of the two
// frame-size words where the newer frame holds what its word says, and the packet after the
// last line that the older frame had and the newer lacks.
TEST(StreamLines, AgreedLinesAreTheNewerFramesWithWhatTheOlderShowed) {
    const capture::CaptureFrame clean = Raw10Frame();
    const capture::CaptureFrame marked = Raw10Frame(80, 5, true);
    const capture::CaptureFrame moved = csi2_frames::WithStrayByte(clean, 0);
    std::vector<uint8_t> wordPastItsData = moved.bytes;
    const uint32_t hugeWord = 1u << 30;
    std::memcpy(wordPastItsData.data(), &hugeWord, 4);
    const auto size = [](const capture::CaptureFrame& f) { return static_cast<uint32_t>(f.bytes.size()); };
    // The frame end packet's place behind the last line: its footer.
    const uint32_t packetAfterMoved = moved.lines[4].offset + 8 + moved.lines[4].wordCount + 2;

    struct Case {
        const char* name;
        std::vector<uint8_t> older;
        std::vector<uint8_t> newer;
        uint32_t frameSizeWord;
        uint32_t packetAfterLines;
        uint32_t frameSizeWordOlderPastItsData;  // the older frame's word damaged
    } cases[] = {
        {"the newer frame's word larger", clean.bytes, moved.bytes, size(moved), 0, size(moved)},
        {"the older frame's word larger", moved.bytes, clean.bytes, size(moved), 0, size(clean)},
        {"the newer frame's word past its data", clean.bytes, wordPastItsData, size(clean), 0, 0},
        {"a packet after the last line in the older frame only", marked.bytes, moved.bytes, size(marked),
         packetAfterMoved, size(moved)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // The stream keeps no frame's word that exceeds the frame's data.
        std::vector<uint8_t> olderWordPastItsData = c.older;
        std::memcpy(olderWordPastItsData.data(), &hugeWord, 4);
        StreamLines stream;
        stream.Take(olderWordPastItsData.data(), olderWordPastItsData.size(), 1, csi2_frames::Fixed(0x2B),
                    true);
        stream.Take(c.newer.data(), c.newer.size(), 2, csi2_frames::Fixed(0x2B), true);
        EXPECT_EQ(stream.CurrentPhase(), StreamLines::Phase::kConfirmed);
        EXPECT_EQ(stream.Lines().frameSizeWord, c.frameSizeWordOlderPastItsData);

        const FrameGeometry older = Lines(c.older);
        const FrameGeometry newer = Lines(c.newer);
        const FrameGeometry agreed = AgreedLines(older, newer, c.newer.size());
        EXPECT_EQ(Offsets(agreed.lines), Offsets(newer.lines));
        EXPECT_EQ(agreed.frameSizeWord, c.frameSizeWord);
        EXPECT_TRUE(agreed.frameHeader == older.frameHeader);
        EXPECT_EQ(agreed.ends.packetAfterLines, c.packetAfterLines);
    }
}

// What becomes of each frame of a stream, by the frames before it. The frames: A, the
// stream's; B, a line more (a line packet doubled); C, wider lines; X, a byte lost inside
// line 2 (the frame shows it: the next packet stands in the line's footer); M, A's lines a
// byte later (a byte gained in the frame header). Each step: "decode" (at the stream's
// lines), "keep", "kept N, decode" (the kept frame of timestamp N published first, at its
// own lines), or "drop".
TEST(StreamLines, AThirdFrameDecidesBetweenTwoThatDisagree) {
    const capture::CaptureFrame a = Raw10Frame();
    std::map<char, std::vector<uint8_t>> frames{
        {'A', a.bytes},
        {'B', Raw10Frame(80, 6).bytes},
        {'C', Raw10Frame(84).bytes},
        {'X', csi2_frames::Damaged(a.bytes, {DamageKind::kLost, a.lines[2].offset + 18})},
        {'M', csi2_frames::WithStrayByte(a, 0).bytes},
    };
    struct Case {
        const char* frames;
        std::vector<std::string> steps;
        uint32_t height;  // of the stream's lines at the end
    } cases[] = {
        {"AAAA", {"decode", "decode", "decode", "decode"}, 5},
        {"ABAA", {"decode", "keep", "decode", "decode"}, 5},
        {"BAAA", {"decode", "keep", "kept 2, decode", "decode"}, 5},
        {"ABCA", {"decode", "keep", "keep", "decode"}, 5},
        {"ABCC", {"decode", "keep", "keep", "kept 3, decode"}, 5},
        {"ABXB", {"decode", "keep", "drop", "kept 2, decode"}, 6},
        {"AXAA", {"decode", "drop", "decode", "decode"}, 5},
        {"AMAM", {"decode", "decode", "decode", "decode"}, 5},
        {"AABA", {"decode", "decode", "keep", "decode"}, 5},
        // Lines two frames agreed on give way to lines two later frames agree on.
        {"AABB", {"decode", "decode", "keep", "kept 3, decode"}, 6},
        {"BBAA", {"decode", "decode", "keep", "kept 3, decode"}, 5},
        {"AABCC", {"decode", "decode", "keep", "keep", "kept 4, decode"}, 5},
        {"AABXB", {"decode", "decode", "keep", "drop", "kept 3, decode"}, 6},
        {"AABBAA", {"decode", "decode", "keep", "kept 3, decode", "keep", "kept 5, decode"}, 5},
        {"AAXA", {"decode", "decode", "drop", "decode"}, 5},
        {"XAAA", {"drop", "decode", "decode", "decode"}, 5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.frames);
        StreamLines stream;
        std::vector<std::string> steps;
        long timestamp = 0;
        for (const char* name = c.frames; *name != '\0'; ++name) {
            const std::vector<uint8_t>& frame = frames.at(*name);
            const StreamLines::Step step =
                stream.Take(frame.data(), frame.size(), ++timestamp, csi2_frames::Fixed(0x2B), true);
            std::string what = step.decodeThis                                          ? "decode"
                               : stream.Kept() && stream.Kept()->timestamp == timestamp ? "keep"
                                                                                        : "drop";
            if (step.keptToPublish) {
                what = "kept " + std::to_string(step.keptToPublish->timestamp) + ", " + what;
                // Its own bytes, at its own lines.
                EXPECT_EQ(step.keptToPublish->bytes, frames.at(c.frames[step.keptToPublish->timestamp - 1]));
                EXPECT_EQ(Offsets(step.keptToPublish->geometry.lines),
                          Offsets(Lines(step.keptToPublish->bytes).lines));
            }
            steps.push_back(what);
            if (step.decodeThis) {
                EXPECT_EQ(Offsets(stream.Lines().lines), Offsets(Lines(frame).lines));
            }
        }
        EXPECT_EQ(steps, c.steps);
        EXPECT_EQ(stream.Lines().height, c.height);
        EXPECT_EQ(stream.Kept(), nullptr);
    }
}

// What each frame reports: a kept frame says why, and what became of it. (The frame-size check is off, so that a frame of a line more meets the look
// behind the last line.)
TEST(StreamLines, AKeptFrameIsReportedWithWhatBecameOfIt) {
    const std::vector<uint8_t> a = Raw10Frame().bytes;
    const capture::CaptureFrame taller = Raw10Frame(80, 6);
    const std::vector<uint8_t>& b = taller.bytes;
    const std::vector<uint8_t> c = Raw10Frame(84).bytes;
    const std::string kept =
        "Lines of the frame are not the stored ones, which no second frame has confirmed: kept until the "
        "next "
        "frame shows which are the stream's: ";
    const std::string keptAgainstAgreed =
        "Lines of the frame are not those two frames agreed on: kept until the next frame shows which are the "
        "stream's: ";
    struct Case {
        const char* name;
        std::vector<const std::vector<uint8_t>*> frames;
        std::vector<Reports> reports;
    } cases[] = {
        {"the third frame agrees with the first",
         {&a, &b, &a},
         {{},
          {kept + "Lines of the frame make no image of 80x5"},
          {"Kept frame of timestamp 2 dropped: Lines of the frame make no image of 80x5, skip frame"}}},
        {"the third frame agrees with the second",
         {&a, &b, &b},
         {{},
          {kept + "Lines of the frame make no image of 80x5"},
          {"Kept frame of timestamp 2 has the stream's lines: the next frame agrees with them, not with the "
           "stored ones"}}},
        {"the third frame agrees with neither",
         {&a, &b, &c},
         {{},
          {kept + "Lines of the frame make no image of 80x5"},
          {"Kept frame of timestamp 2 dropped: Lines of the frame make no image of 80x5, skip frame",
           kept + "Lines of the frame make no image of 80x5"}}},
        {"another image once two frames agree, and the next frame agrees with it",
         {&a, &a, &b, &b},
         {{},
          {},
          {"Line packet after the last line at byte " + std::to_string(taller.lines[5].offset),
           keptAgainstAgreed + "Lines of the frame make no image of 80x5"},
          {"Kept frame of timestamp 3 has the stream's lines: the next frame agrees with them, not with the "
           "stored ones"}}},
        {"another image once two frames agree, and the next frame agrees with the stream's",
         {&a, &a, &b, &a},
         {{},
          {},
          {"Line packet after the last line at byte " + std::to_string(taller.lines[5].offset),
           keptAgainstAgreed + "Lines of the frame make no image of 80x5"},
          {"Kept frame of timestamp 3 dropped: Lines of the frame make no image of 80x5, skip frame"}}},
    };
    for (const Case& s : cases) {
        SCOPED_TRACE(s.name);
        StreamLines stream;
        for (size_t i = 0; i < s.frames.size(); ++i) {
            const std::vector<uint8_t>& frame = *s.frames[i];
            const StreamLines::Step step = stream.Take(frame.data(), frame.size(), static_cast<long>(i) + 1,
                                                       csi2_frames::Fixed(0x2B), false);
            EXPECT_EQ(step.reports, s.reports[i]) << "frame " << i;
        }
    }
}

}  // namespace
