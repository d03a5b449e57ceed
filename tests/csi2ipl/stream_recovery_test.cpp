// Runs of the decoder component whose stream changes or is damaged more than once: two
// damaged frames that agree with each other, a resolution change, the padding before the
// packet after the last line varying by words. Whatever lines the stream holds, every clean
// frame comes out as its clean image, late at most by a frame, in the order of the frames.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "csi2_frames.hpp"
#include "decoder_test.hpp"

namespace {

using namespace decoder_test;

// What a run must give: every frame outside `mayBeLost` comes out once; each comes out as
// the reference decoder decodes `clean` for it, but those of `mayComeOutWrong`, which may
// come out as anything; images come out in the frames' order, none twice. Every failure
// is reported, each under the run's trace.
void ExpectRun(const std::vector<SinkRecord>& images, const std::vector<capture::CaptureFrame>& clean, uint8_t type,
               const std::set<size_t>& mayBeLost, const std::set<size_t>& mayComeOutWrong, const Texts& reports) {
    std::vector<bool> published(clean.size(), false);
    long previous = 0;
    for (const SinkRecord& image : images) {
        EXPECT_GT(image.timestamp, previous) << "images out of the frames' order";
        previous = image.timestamp;
        const size_t i = static_cast<size_t>(image.timestamp - 1);
        if (i >= clean.size() || published[i]) {
            ADD_FAILURE() << "image of timestamp " << image.timestamp << " published again";
            continue;
        }
        published[i] = true;
        if (mayComeOutWrong.count(i) != 0) continue;
        SCOPED_TRACE("frame " + std::to_string(i));
        ExpectImage(image, clean[i], type, false, 0);
    }
    for (size_t i = 0; i < clean.size(); ++i)
        EXPECT_TRUE(published[i] || mayBeLost.count(i) != 0)
            << "frame " << i << " not published: " << ::testing::PrintToString(reports);
}

// The frame with line y's data identifier changed, as a flipped bit delivers it: the line's
// packet stands whole, of another type.
std::vector<uint8_t> IdentifierDamaged(const capture::CaptureFrame& frame, size_t y) {
    std::vector<uint8_t> bytes = frame.bytes;
    bytes[frame.lines.at(y).offset + 4] ^= 0x01;
    return bytes;
}

// The frame without line y's packet (header, payload, footer), as a link that drops a packet
// delivers it; a capture buffer of one byte count keeps its size.
std::vector<uint8_t> PacketLost(const capture::CaptureFrame& frame, size_t y, const StreamShape& shape) {
    const capture::PacketPlacement& line = frame.lines.at(y);
    const size_t bytes = 8 + line.wordCount + (shape.footers ? 2 : 0);
    std::vector<uint8_t> damaged = frame.bytes;
    damaged.erase(damaged.begin() + line.offset, damaged.begin() + line.offset + static_cast<long>(bytes));
    if (shape.fixedSize) damaged.resize(frame.bytes.size(), 0);
    return csi2_frames::WithSizeWord(std::move(damaged));
}

// The frame without line y's packet and, where the shape has them, the line start and end
// packets around it: a whole line gone, as a link that drops a line's burst delivers it.
std::vector<uint8_t> LineGone(const capture::CaptureFrame& frame, size_t y, const StreamShape& shape) {
    if (!shape.lineMarkers) return PacketLost(frame, y, shape);
    const capture::PacketPlacement& line = frame.lines.at(y);
    const size_t from = line.offset - 8;
    const size_t to = line.offset + 8 + line.wordCount + (shape.footers ? 2 : 0) + 8;
    std::vector<uint8_t> damaged = frame.bytes;
    damaged.erase(damaged.begin() + static_cast<long>(from), damaged.begin() + static_cast<long>(to));
    if (shape.fixedSize) damaged.resize(frame.bytes.size(), 0);
    return csi2_frames::WithSizeWord(std::move(damaged));
}

// Damage done to one frame of a pair: a line that the frame loses.
using LineLoss = std::function<std::vector<uint8_t>(const capture::CaptureFrame&, const StreamShape&)>;

LineLoss LosesIdentifier(size_t y) {
    return [y](const capture::CaptureFrame& f, const StreamShape&) { return IdentifierDamaged(f, y); };
}
LineLoss LosesPacket(size_t y) {
    return [y](const capture::CaptureFrame& f, const StreamShape& shape) { return PacketLost(f, y, shape); };
}
// Bytes [from, from + count) of line y's header zeroed, as a link that garbles a burst
// delivers it: the line's packet is no packet, its payload stands where it stood.
LineLoss LosesHeaderBytes(size_t y, size_t from, size_t count) {
    return [=](const capture::CaptureFrame& f, const StreamShape&) {
        std::vector<uint8_t> bytes = f.bytes;
        std::fill_n(bytes.begin() + f.lines.at(y).offset + static_cast<long>(from), count, 0);
        return bytes;
    };
}
LineLoss LosesLine(size_t y) {
    return [y](const capture::CaptureFrame& f, const StreamShape& shape) { return LineGone(f, y, shape); };
}

// Two frames of 8, each losing a line, the same one or another, early in the run or in the
// middle, in every shape: the two may agree with each other and come out as they agree, a
// line short, but the lines they agree on never hold the run. A clean frame after them has
// a line the stream's lines do not count, or lines elsewhere: it is kept, the next clean
// frame agrees with it, and both come out whole. Every clean frame comes out as its clean
// image, but for one: where the first frame and the third are damaged alike, the second,
// kept for disagreeing with the first, is outvoted by the third and dropped.
TEST_F(DecoderTest, TwoDamagedFramesNeverLockTheRunOntoTheirLines) {
    struct PairDamage {
        const char* name;
        LineLoss first;
        LineLoss second;
        uint32_t height = 6;  // of the clean frames
    };
    const PairDamage damages[] = {
        {"line 0's identifier in both", LosesIdentifier(0), LosesIdentifier(0)},
        {"line 2's identifier in both", LosesIdentifier(2), LosesIdentifier(2)},
        {"line 1's identifier in both, 3 lines", LosesIdentifier(1), LosesIdentifier(1), 3},
        {"line 1's packet in both, 3 lines", LosesPacket(1), LosesPacket(1), 3},
        {"the last line, markers and all, in both", LosesLine(5), LosesLine(5)},
        {"line 0, markers and all, in both", LosesLine(0), LosesLine(0)},
        {"line 0's first two preamble bytes in both", LosesHeaderBytes(0, 0, 2), LosesHeaderBytes(0, 0, 2)},
        {"line 2's preamble in both", LosesHeaderBytes(2, 0, 4), LosesHeaderBytes(2, 0, 4)},
        {"the last line's header in both", LosesHeaderBytes(5, 0, 8), LosesHeaderBytes(5, 0, 8)},
        {"line 2's identifier, then line 5's", LosesIdentifier(2), LosesIdentifier(5)},
        {"line 2's identifier, then line 4's", LosesIdentifier(2), LosesIdentifier(4)},
        {"line 2's identifier, then line 1's packet", LosesIdentifier(2), LosesPacket(1)},
        {"line 5's identifier in both", LosesIdentifier(5), LosesIdentifier(5)},
        {"line 1's packet in both", LosesPacket(1), LosesPacket(1)},
        {"line 0's packet in both", LosesPacket(0), LosesPacket(0)},
        {"line 5's packet in both", LosesPacket(5), LosesPacket(5)},
    };
    struct Pair {
        size_t first, second;
        std::set<size_t> mayBeLost;  // the damaged frames, and a clean one they outvote
    };
    const Pair pairs[] = {{0, 1, {0, 1}}, {0, 2, {0, 1, 2}}, {1, 2, {1, 2}},
                          {1, 3, {1, 3}}, {2, 3, {2, 3}},    {4, 5, {4, 5}}};
    std::vector<StreamShape> shapes(std::begin(kStreamShapes), std::end(kStreamShapes));
    shapes.push_back({.name = "frame and line markers", .frameMarkers = true, .lineMarkers = true});
    shapes.push_back({.name = "line markers", .lineMarkers = true});
    const uint8_t types[] = {capture::type::kRaw12, capture::type::kRaw8, capture::type::kRaw10,
                             capture::type::kYuv422_8};
    for (const uint8_t type : types) {
        for (const uint32_t width : {40u, 80u}) {
            for (const StreamShape& shape : shapes) {
                for (const PairDamage& damage : damages) {
                    std::vector<capture::CaptureFrame> clean;
                    for (unsigned i = 0; i < 8; ++i) clean.push_back(ShapedFrame(shape, type, i, damage.height, width));
                    for (const auto& [a, b, mayBeLost] : pairs) {
                        std::vector<std::vector<uint8_t>> frames;
                        for (size_t i = 0; i < clean.size(); ++i)
                            frames.push_back(i == a   ? damage.first(clean[i], shape)
                                             : i == b ? damage.second(clean[i], shape)
                                                      : clean[i].bytes);
                        for (const bool detected : {false, true}) {
                            for (const bool frameSizeCheck : {true, false}) {
                                SCOPED_TRACE(std::string(ChoiceOf(type)) + (detected ? ", AUTO" : "") + ", " +
                                             std::to_string(width) + " pixels, " + shape.name + ", frames " +
                                             std::to_string(a) + " and " + std::to_string(b) + ": " + damage.name +
                                             (frameSizeCheck ? "" : ", size unchecked"));
                                DecoderRig& rig = Started(detected ? "AUTO" : ChoiceOf(type), frameSizeCheck);
                                for (size_t i = 0; i < frames.size(); ++i)
                                    EXPECT_EQ(rig.Feed(frames[i], static_cast<long>(i) + 1), 0);
                                ExpectRun(rig.Images(), clean, type, mayBeLost, {a, b}, Reports());
                            }
                        }
                    }
                }
            }
        }
    }
}

// The first frame of a run is decoded at its own lines as soon as it comes, judged by its
// own bytes alone: damage that breaks a line header or cuts a line short drops it; damage
// that leaves every line packet readable comes out as it stands (a line fewer or more, a
// line shifted); a stray byte between two packets comes out whole. Every frame after it
// comes out as its clean image.
TEST_F(DecoderTest, TheFirstFrameIsJudgedByItsOwnBytesAlone) {
    using csi2_frames::DamageKind;
    enum class Comes { kDropped, kWrong, kWhole };
    using Damage = std::function<std::vector<uint8_t>(const capture::CaptureFrame&, const StreamShape&)>;
    const auto header = [](const capture::CaptureFrame& f, size_t y) { return size_t{f.lines[y].offset}; };
    const auto oneByte = [](DamageKind kind, std::function<size_t(const capture::CaptureFrame&)> at,
                            uint8_t value = 0x5A) -> Damage {
        return [=](const capture::CaptureFrame& f, const StreamShape&) {
            return csi2_frames::Damaged(f.bytes, {kind, at(f), value});
        };
    };
    const auto changed = [](std::function<size_t(const capture::CaptureFrame&)> at,
                            std::function<uint8_t(uint8_t)> value) -> Damage {
        return [=](const capture::CaptureFrame& f, const StreamShape&) {
            std::vector<uint8_t> bytes = f.bytes;
            bytes[at(f)] = value(bytes[at(f)]);
            return bytes;
        };
    };
    struct Case {
        const char* name;
        Damage damage;
        Comes comes;
    };
    const Case cases[] = {
        {"a stray byte inside line 2's header", oneByte(DamageKind::kGained, [&](const auto& f) { return header(f, 2) + 5; }),
         Comes::kDropped},
        {"a fifth B8 in line 2's preamble", oneByte(DamageKind::kGained, [&](const auto& f) { return header(f, 2) + 4; }, 0xB8),
         Comes::kWhole},
        {"line 2's ECC byte lost", oneByte(DamageKind::kLost, [&](const auto& f) { return header(f, 2) + 7; }),
         Comes::kDropped},
        {"line 2's word count changed", changed([&](const auto& f) { return header(f, 2) + 5; }, [](uint8_t b) { return static_cast<uint8_t>(b + 1); }),
         Comes::kDropped},
        {"a byte lost inside line 2", oneByte(DamageKind::kLost, [&](const auto& f) { return header(f, 2) + 18; }),
         Comes::kDropped},
        {"a byte lost inside the last line, a packet behind it",
         oneByte(DamageKind::kLost, [&](const auto& f) { return header(f, f.lines.size() - 1) + 18; }), Comes::kDropped},
        {"a byte gained inside line 2", oneByte(DamageKind::kGained, [&](const auto& f) { return header(f, 2) + 18; }),
         Comes::kWrong},
        {"line 2's identifier damaged", changed([&](const auto& f) { return header(f, 2) + 4; }, [](uint8_t b) { return static_cast<uint8_t>(b ^ 1); }),
         Comes::kWrong},
        {"line 2's packet lost", [](const auto& f, const StreamShape& shape) { return PacketLost(f, 2, shape); },
         Comes::kWrong},
        {"two frames run together",
         [](const capture::CaptureFrame& f, const StreamShape&) {
             std::vector<uint8_t> both = f.bytes;
             both.insert(both.end(), f.bytes.begin() + 64, f.bytes.end());
             return csi2_frames::WithSizeWord(std::move(both));
         },
         Comes::kWrong},
        {"a stray B8 in front of line 2", oneByte(DamageKind::kGained, [&](const auto& f) { return header(f, 2); }, 0xB8),
         Comes::kWhole},
    };
    const StreamShape shapes[] = {{"frame markers", true},
                                  {.name = "frame and line markers", .frameMarkers = true, .lineMarkers = true}};
    for (const uint8_t type : {capture::type::kRaw10, capture::type::kRaw12, capture::type::kYuv422_8}) {
        for (const StreamShape& shape : shapes) {
            std::vector<capture::CaptureFrame> clean;
            for (unsigned i = 0; i < 5; ++i) clean.push_back(ShapedFrame(shape, type, i));
            for (const Case& c : cases) {
                SCOPED_TRACE(std::string(ChoiceOf(type)) + ", " + shape.name + ": " + c.name);
                DecoderRig& rig = Started(ChoiceOf(type), true);
                for (size_t i = 0; i < clean.size(); ++i)
                    EXPECT_EQ(rig.Feed(i == 0 ? c.damage(clean[0], shape) : clean[i].bytes, static_cast<long>(i) + 1), 0);
                const std::vector<SinkRecord> images = rig.Images();
                ExpectRun(images, clean, type, {0}, {0}, Reports());
                const bool published = !images.empty() && images.front().timestamp == 1;
                EXPECT_EQ(published, c.comes != Comes::kDropped) << ::testing::PrintToString(Reports());
                if (!published || c.comes == Comes::kDropped) continue;
                const reference::Image expected =
                    reference::Decode(clean[0].bytes, clean[0].lines, type, false, 0);
                const bool whole = static_cast<uint32_t>(images.front().width) == expected.width &&
                                   static_cast<uint32_t>(images.front().height) == expected.height &&
                                   SamplesOf(images.front(), expected.channels, expected.depth) == expected.samples;
                EXPECT_EQ(whole, c.comes == Comes::kWhole);
            }
        }
    }
}

// A stream whose image changes from frame `at` on, taller, shorter or wider: the frame of the
// new image is kept, the next one agrees with it, and every frame comes out, at its own
// image, the new one from then on.
TEST_F(DecoderTest, AResolutionChangeIsFollowedOneFrameLate) {
    struct Change {
        const char* name;
        uint32_t width, height, newWidth, newHeight;
    };
    const Change changes[] = {
        {"80x6 to 80x8", 80, 6, 80, 8},
        {"80x8 to 80x6", 80, 8, 80, 6},
        {"40x6 to 80x6", 40, 6, 80, 6},
    };
    const StreamShape shapes[] = {
        {"plain"},
        {"frame markers", true},
        {.name = "frame and line markers", .frameMarkers = true, .lineMarkers = true},
        {"fixed-size capture buffers", true, false, 0, false, false, true},
    };
    for (const uint8_t type : {capture::type::kRaw12, capture::type::kRaw10, capture::type::kYuv422_8}) {
        for (const StreamShape& shape : shapes) {
            for (const Change& change : changes) {
                for (const size_t at : {size_t{1}, size_t{5}}) {
                    std::vector<capture::CaptureFrame> frames;
                    for (unsigned i = 0; i < 8; ++i)
                        frames.push_back(i < at ? ShapedFrame(shape, type, i, change.height, change.width)
                                                : ShapedFrame(shape, type, i, change.newHeight, change.newWidth));
                    for (const bool frameSizeCheck : {true, false}) {
                        SCOPED_TRACE(std::string(ChoiceOf(type)) + ", " + shape.name + ", " + change.name +
                                     " at frame " + std::to_string(at) + (frameSizeCheck ? "" : ", size unchecked"));
                        DecoderRig& rig = Started(ChoiceOf(type), frameSizeCheck);
                        for (size_t i = 0; i < frames.size(); ++i)
                            EXPECT_EQ(rig.Feed(frames[i].bytes, static_cast<long>(i) + 1), 0);
                        ExpectRun(rig.Images(), frames, type, {}, {}, Reports());
                    }
                }
            }
        }
    }
}

// Frames whose padding before the frame end packet is 0, 4 and 8 bytes in turn, and one of
// them with a byte lost or gained inside its last line: the frame end packet then stands
// off the stored place by bytes that are no whole words, whichever padding the frame had.
// That frame is dropped; every other frame comes out.
TEST_F(DecoderTest, ALastLineThatLostOrGainedAByteShowsWherePaddingVariesByWords) {
    using csi2_frames::DamageKind;
    const auto paddedFrame = [](uint8_t type, uint32_t width, unsigned i) {
        StreamShape shape{"frame markers", true};
        shape.paddingBeforeEnd = 4 * (i % 3);
        return ShapedFrame(shape, type, i, 6, width);
    };
    for (const uint8_t type : {capture::type::kRaw12, capture::type::kRaw8, capture::type::kRaw10,
                               capture::type::kYuv422_8}) {
        for (const uint32_t width : {40u, 80u}) {
            std::vector<capture::CaptureFrame> clean;
            for (unsigned i = 0; i < 8; ++i) clean.push_back(paddedFrame(type, width, i));
            for (const DamageKind kind : {DamageKind::kLost, DamageKind::kGained}) {
                for (const size_t damaged : {size_t{2}, size_t{3}, size_t{4}, size_t{5}, size_t{7}}) {
                    const capture::PacketPlacement& last = clean[damaged].lines.back();
                    std::vector<std::vector<uint8_t>> frames;
                    for (size_t i = 0; i < clean.size(); ++i)
                        frames.push_back(i != damaged ? clean[i].bytes
                                                      : csi2_frames::Damaged(clean[i].bytes,
                                                                             {kind, last.offset + 8 + last.wordCount / 2,
                                                                              0x5A}));
                    for (const bool frameSizeCheck : {true, false}) {
                        SCOPED_TRACE(std::string(ChoiceOf(type)) + ", " + std::to_string(width) + " pixels, frame " +
                                     std::to_string(damaged) +
                                     (kind == DamageKind::kLost ? " lost" : " gained") +
                                     " a byte inside its last line" + (frameSizeCheck ? "" : ", size unchecked"));
                        DecoderRig& rig = Started(ChoiceOf(type), frameSizeCheck);
                        for (size_t i = 0; i < frames.size(); ++i)
                            EXPECT_EQ(rig.Feed(frames[i], static_cast<long>(i) + 1), 0);
                        const std::vector<SinkRecord> images = rig.Images();
                        ExpectRun(images, clean, type, {damaged}, {}, Reports());
                        EXPECT_TRUE(std::none_of(images.begin(), images.end(),
                                                 [&](const SinkRecord& image) {
                                                     return image.timestamp == static_cast<long>(damaged) + 1;
                                                 }))
                            << "the damaged frame came out";
                    }
                }
            }
        }
    }
}

}  // namespace
