// The line unpackers against the reference decoder, for every data type, depth, bit shift
// and instruction level, at widths that leave every possible tail after the vector blocks;
// frames end at a guard page right after the last pixel byte.
#include "csi2ipl/line_unpackers.hpp"

#include <gtest/gtest.h>

#include <string>

#include "csi2_frames.hpp"

namespace {

using namespace csi2ipl;
using csi2_frames::DecodedImage;

std::vector<uint32_t> WidthsFor(uint8_t type) {
    const uint32_t group = capture::PixelsPerGroup(type);
    std::vector<uint32_t> widths;
    // Up to 40 groups covers every tail after blocks of 2 to 16 groups and the 16-byte
    // loads' margins, and every width short of one block of 32; 63 to 65 put the
    // blocks of 32 against the end.
    for (uint32_t groups = 1; groups <= 40; ++groups) widths.push_back(groups * group);
    for (uint32_t groups : {63u, 64u, 65u}) widths.push_back(groups * group);
    widths.push_back(1920 - 1920 % group);
    return widths;
}

TEST(LineUnpackers, EveryTypeDepthShiftAndLevelMatchesTheReference) {
    for (SimdLevel level : kAllSimdLevels) {
        if (!SimdLevelSupported(level)) continue;
        for (uint8_t type : capture::type::kAll) {
            for (uint32_t width : WidthsFor(type)) {
                capture::FrameSpec spec;
                spec.dataType = type;
                spec.width = width;
                spec.height = 3;
                spec.seed = width * 131 + type;
                const capture::CaptureFrame frame = capture::WriteFrame(spec);
                const std::vector<uint8_t> cut = csi2_frames::EndingAtLastPixel(frame);
                GuardedBuffer data(cut);
                for (bool limitTo8 : {false, true}) {
                    const GeometryResult result =
                        ComputeGeometry(data.data(), data.size(), csi2_frames::Fixed(type, limitTo8, level));
                    ASSERT_TRUE(result.Ready());
                    const FrameGeometry& geometry = result.geometry;
                    for (unsigned shift = 0; shift <= kMaximumBitShift; ++shift) {
                        const std::string where = std::string(SimdLevelName(level)) + " type " +
                                                  std::to_string(type) + " width " + std::to_string(width) +
                                                  " limit " + std::to_string(limitTo8) + " shift " +
                                                  std::to_string(shift);
                        const DecodedImage image = csi2_frames::Unpack(geometry, data.data(), data.size(), shift, 8);
                        ASSERT_TRUE(image.unpacked) << where;
                        const reference::Image expected =
                            reference::Decode(frame.bytes, frame.lines, type, limitTo8, shift);
                        ASSERT_EQ(geometry.width, expected.width) << where;
                        ASSERT_EQ(geometry.depth, expected.depth) << where;
                        ASSERT_EQ(image.Samples(geometry), expected.samples) << where;
                        ASSERT_TRUE(image.PaddingIntact(geometry)) << where;
                    }
                }
            }
        }
    }
}

// Lines built from one repeated group, decoded at every level.
std::vector<uint32_t> DecodeRepeated(uint8_t type, const std::vector<uint8_t>& group, uint32_t groups, bool limitTo8,
                                     unsigned shift, SimdLevel level) {
    capture::FrameWriter writer;
    std::vector<uint8_t> payload;
    for (uint32_t g = 0; g < groups; ++g) payload.insert(payload.end(), group.begin(), group.end());
    writer.LongPacket(capture::PacketTypeOf(type), payload);
    writer.LongPacket(capture::PacketTypeOf(type), payload);
    const std::vector<uint8_t> frame = writer.Finish();
    const GeometryResult result = ComputeGeometry(frame.data(), frame.size(), csi2_frames::Fixed(type, limitTo8, level));
    if (!result.Ready()) return {};
    return csi2_frames::Unpack(result.geometry, frame.data(), frame.size(), shift).Samples(result.geometry);
}

std::vector<uint32_t> Repeat(const std::vector<uint32_t>& samples, uint32_t times) {
    std::vector<uint32_t> all;
    for (uint32_t i = 0; i < times; ++i) all.insert(all.end(), samples.begin(), samples.end());
    return all;
}

TEST(LineUnpackers, WorkedValues) {
    struct Case {
        const char* name;
        uint8_t type;
        std::vector<uint8_t> group;
        bool limitTo8;
        unsigned shift;
        std::vector<uint32_t> samples;  // of one group
    } cases[] = {
        {"RAW12 16-bit", 0x2C, {0xAB, 0xCD, 0xEF}, false, 0, {0xABF0, 0xCDE0}},
        {"RAW12 8-bit shift 8", 0x2C, {0xAB, 0xCD, 0xEF}, true, 8, {0xAB, 0xCD}},
        {"RAW12 16-bit shift 4 cut", 0x2C, {0xAB, 0xCD, 0xEF}, false, 4, {0xBF00, 0xDE00}},
        {"RAW10 16-bit", 0x2B, {0x12, 0x34, 0x56, 0x78, 0xE4}, false, 0, {0x1200, 0x3440, 0x5680, 0x78C0}},
        {"RAW10 8-bit keeps the low byte", 0x2B, {0x12, 0x34, 0x56, 0x78, 0xE4}, true, 0, {0x00, 0x40, 0x80, 0xC0}},
        {"RAW20 16-bit", 0x2F, {0x12, 0x34, 0x56, 0x78, 0x9A}, false, 0, {0x1234, 0x5678}},
        {"RAW20 16-bit shift 11", 0x2F, {0x12, 0x34, 0x56, 0x78, 0x9A}, false, 11, {0, 0}},
        {"RAW20 16-bit shift 12", 0x2F, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, false, 12, {0, 0}},
        {"RAW24 16-bit loses b0", 0x27, {0x12, 0x34, 0x56}, false, 0, {0x6345}},
        {"RAW24 16-bit shift 8", 0x27, {0x12, 0x34, 0x56}, false, 8, {0x1263}},
        {"YUV422 8-bit", 0x1E, {0x10, 0x20, 0x30, 0x40}, false, 0, {0x20, 0x10, 0x30, 0x40, 0x10, 0x30}},
        {"YUV422 8-bit swapped", 0xFE, {0x10, 0x20, 0x30, 0x40}, false, 0, {0x10, 0x20, 0x40, 0x30, 0x20, 0x40}},
    };
    for (const Case& c : cases) {
        for (SimdLevel level : kAllSimdLevels) {
            if (!SimdLevelSupported(level)) continue;
            // 32 groups a line, two lines.
            EXPECT_EQ(DecodeRepeated(c.type, c.group, 32, c.limitTo8, c.shift, level), Repeat(c.samples, 64))
                << c.name << " " << SimdLevelName(level);
        }
    }
}

// A RAW8 or RGB888 row takes at most its width of a line, however long the line, and a
// shorter line leaves the rest of its row black; the row padding stays untouched. The
// geometry pass takes no frame whose lines differ in word count: the lines are given to
// the geometry of a frame of like lines here, as the unpackers must take any line safely.
TEST(LineUnpackers, WholeLineCopiesFillExactlyOneRow) {
    for (uint8_t type : {capture::type::kRaw8, capture::type::kRgb888}) {
        const std::vector<uint8_t> normal(24, 0x11), longer(60, 0x22), shorter(7, 0x33);
        capture::FrameWriter alike;
        for (int y = 0; y < 4; ++y) alike.LongPacket(type, normal);
        const std::vector<uint8_t> alikeFrame = alike.Finish();
        GeometryResult result =
            ComputeGeometry(alikeFrame.data(), alikeFrame.size(), csi2_frames::Fixed(type));
        ASSERT_TRUE(result.Ready());
        capture::FrameWriter writer;
        writer.LongPacket(type, normal);
        writer.LongPacket(type, longer);
        writer.LongPacket(type, shorter);
        writer.LongPacket(type, normal);
        const std::vector<uint8_t> frame = writer.Finish();
        result.geometry.lines = CSI2CountType(frame.data(), frame.size(), 64, type).lines;
        ASSERT_EQ(result.geometry.lines.size(), 4u);
        result.geometry.requiredSpan = frame.size();
        const DecodedImage image = csi2_frames::Unpack(result.geometry, frame.data(), frame.size(), 0, 16);
        ASSERT_TRUE(image.unpacked);
        EXPECT_TRUE(image.PaddingIntact(result.geometry)) << int(type);
        std::vector<uint32_t> expected;
        for (uint32_t value : {0x11u, 0x22u}) expected.insert(expected.end(), 24, value);
        expected.insert(expected.end(), 7, 0x33);
        expected.insert(expected.end(), 24 - 7, 0);
        expected.insert(expected.end(), 24, 0x11);
        EXPECT_EQ(image.Samples(result.geometry), expected) << int(type);
    }
}

// Later frames are decoded at the geometry frame's offsets and word counts, whatever
// their own headers say.
TEST(LineUnpackers, LaterFramesUseTheGeometryFramesWordCounts) {
    capture::FrameWriter writer;
    writer.LongPacket(0x2A, std::vector<uint8_t>(16, 1));
    writer.LongPacket(0x2A, std::vector<uint8_t>(16, 2));
    std::vector<uint8_t> frame = writer.Finish();
    const GeometryResult result = ComputeGeometry(frame.data(), frame.size(), csi2_frames::Fixed(0x2A));
    ASSERT_TRUE(result.Ready());
    frame[writer.Packets()[1].offset + 5] = 4;  // the second line claims 4 bytes
    const DecodedImage image = csi2_frames::Unpack(result.geometry, frame.data(), frame.size(), 0);
    std::vector<uint32_t> expected(16, 1);
    expected.insert(expected.end(), 16, 2);
    EXPECT_EQ(image.Samples(result.geometry), expected);
}

TEST(LineUnpackers, SelectionFallsBackToWhatExists) {
    EXPECT_EQ(SelectUnpacker(0x12, false, SimdLevel::kScalar), nullptr);
    // RAW12 has an AVX-512 form only for 8-bit output: 16-bit output takes the one below.
    EXPECT_EQ(SelectUnpacker(0x2C, false, SimdLevel::kAvx512), SelectUnpacker(0x2C, false, SimdLevel::kAvx2));
    // The highest level asked for gives what this processor can run, and no more.
    for (uint8_t type : capture::type::kAll) {
        for (bool limitTo8 : {false, true}) {
            EXPECT_EQ(SelectUnpacker(type, limitTo8, SimdLevel::kAvx512),
                      SelectUnpacker(type, limitTo8, DetectSimdLevel()))
                << int{type} << " " << limitTo8;
        }
    }
    if (SimdLevelSupported(SimdLevel::kAvx512)) {
        EXPECT_NE(SelectUnpacker(0x2C, true, SimdLevel::kAvx512), SelectUnpacker(0x2C, true, SimdLevel::kAvx2));
    }
    EXPECT_EQ(SelectUnpacker(0x2A, false, SimdLevel::kAvx2), SelectUnpacker(0x2A, true, SimdLevel::kScalar));
    EXPECT_NE(SelectUnpacker(0x2C, false, SimdLevel::kScalar), SelectUnpacker(0x2C, true, SimdLevel::kScalar));
}

TEST(LineUnpackers, UnpackFrameRefusesWhatItCannotDoSafely) {
    const capture::CaptureFrame frame = capture::WriteFrame({});
    const GeometryResult result = ComputeGeometry(frame.bytes.data(), frame.bytes.size(), csi2_frames::Fixed(0x2C));
    ASSERT_TRUE(result.Ready());
    const FrameGeometry& geometry = result.geometry;
    std::vector<uint8_t> image(AlignedRowBytes(geometry) * geometry.height);
    EXPECT_FALSE(UnpackFrame(geometry, frame.bytes.data(), geometry.requiredSpan - 1, image.data(),
                             AlignedRowBytes(geometry), 0));
    EXPECT_FALSE(UnpackFrame(geometry, frame.bytes.data(), frame.bytes.size(), image.data(), geometry.rowBytes - 2, 0));
    EXPECT_FALSE(UnpackFrame(geometry, frame.bytes.data(), frame.bytes.size(), image.data(), AlignedRowBytes(geometry), 13));
    EXPECT_FALSE(UnpackFrame(FrameGeometry{}, frame.bytes.data(), frame.bytes.size(), image.data(), 1 << 20, 0));
    EXPECT_TRUE(UnpackFrame(geometry, frame.bytes.data(), frame.bytes.size(), image.data(), AlignedRowBytes(geometry), 0));
}

}  // namespace
