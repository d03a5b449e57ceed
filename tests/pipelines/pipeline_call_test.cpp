// The decoder's way into the pipelines: frames wherever their first line starts, images
// whose row step exceeds the row, the checks made before a pipeline runs, and the test
// for evenly spaced lines that decides between pipeline and unpacker.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <optional>
#include <ostream>
#include <random>
#include <vector>

#include "pipelines/pipeline_call.hpp"
#include "pipelines/pipeline_frames.hpp"
#include "pipelines/pipeline_messages.hpp"

namespace {

using namespace pipeline_frames;
using csi2ipl::FrameLines;
using csi2ipl::ImageRows;
using csi2ipl::PipelineFormat;

constexpr uint8_t kUnwritten = 0x5A;

PipelineFormat ToPipelineFormat(Format format) {
    return format == Format::Raw12 ? PipelineFormat::Raw12 : PipelineFormat::Yuv422_8;
}

// Image rows are aligned to 8 bytes, so a row of RAW12 whose width is 2 mod 4, or of
// YUV422 whose width is not a multiple of 8, is followed by padding.
int AlignedRowStep(int rowBytes) {
    return (rowBytes + 7) / 8 * 8;
}

// A frame as it reaches the decoder: `firstLineOffset` bytes of frame header and packet
// header before the first line's payload, lines `lineLength` apart, and nothing after
// the last line's payload, which ends at an inaccessible page.
struct CapturedFrame {
    CapturedFrame(Format format, int width, int height, size_t firstLineOffset, int gap, unsigned seed)
        : lines(RandomFrame(format, width, height, gap, seed)), bytes(WithHeader(lines, firstLineOffset, seed)),
          guarded(bytes) {}

    FrameLines Lines(size_t firstLineOffset) const {
        return {guarded.data, bytes.size(), firstLineOffset, static_cast<size_t>(lines.lineLength), lines.width,
                lines.height};
    }

    Frame lines;
    std::vector<uint8_t> bytes;
    GuardedBytes guarded;

  private:
    static std::vector<uint8_t> WithHeader(const Frame& lines, size_t headerBytes, unsigned seed) {
        std::vector<uint8_t> bytes(headerBytes);
        std::mt19937 random(seed + 1);
        for (uint8_t& byte : bytes) byte = static_cast<uint8_t>(random());
        bytes.insert(bytes.end(), lines.bytes.begin(), lines.bytes.end());
        return bytes;
    }
};

struct CallCase {
    Format format;
    int width;
    int height;
    size_t firstLineOffset;
    int gap;
};

void PrintTo(const CallCase& c, std::ostream* out) {
    *out << (c.format == Format::Raw12 ? "RAW12 " : "YUV422 ") << c.width << 'x' << c.height << " first line at "
         << c.firstLineOffset << " gap " << c.gap;
}

class PipelineCall : public PipelineMessagesTest, public ::testing::WithParamInterface<CallCase> {};

// Every row lies at its row step from the one before, with the padding left alone: a
// pipeline told the row is its step would shear the image. The first line is read where
// the frame puts it, not at a fixed offset.
TEST_P(PipelineCall, DecodesEveryRowAtTheImageRowStep) {
    const CallCase& c = GetParam();
    const PipelineFormat format = ToPipelineFormat(c.format);
    CapturedFrame frame(c.format, c.width, c.height, c.firstLineOffset, c.gap, c.width + c.height);
    const int rowBytes = c.width / 2 * OutputGroupBytes(c.format);
    const int rowStep = AlignedRowStep(rowBytes);
    std::vector<uint8_t> image(static_cast<size_t>(rowStep) * c.height, kUnwritten);
    const FrameLines lines = frame.Lines(c.firstLineOffset);
    ASSERT_EQ(csi2ipl::FrameSpan(format, lines), frame.bytes.size() - c.firstLineOffset);

    ASSERT_EQ(csi2ipl::RunCpuPipeline(format, lines, {image.data(), image.size(), static_cast<size_t>(rowStep)}), 0);

    const std::vector<uint8_t> expected = ExpectedImage(frame.lines);
    for (int y = 0; y < c.height; ++y) {
        const uint8_t* row = image.data() + static_cast<size_t>(y) * rowStep;
        ASSERT_TRUE(std::equal(row, row + rowBytes, expected.begin() + static_cast<size_t>(y) * rowBytes))
            << "row " << y;
        ASSERT_TRUE(std::all_of(row + rowBytes, row + rowStep, [](uint8_t b) { return b == kUnwritten; }))
            << "padding of row " << y;
    }
    EXPECT_TRUE(Messages().empty());
}

// First lines after the 64-byte frame header and an 8-byte line start, and elsewhere.
// Widths whose rows need padding, and one whose rows do not.
INSTANTIATE_TEST_SUITE_P(Frames, PipelineCall,
                         ::testing::Values(CallCase{Format::Raw12, 70, 33, 72, 6},
                                           CallCase{Format::Raw12, 2562, 40, 72, 10},
                                           CallCase{Format::Raw12, 66, 3, 0, 6},
                                           CallCase{Format::Raw12, 68, 5, 201, 9},
                                           CallCase{Format::Yuv422, 66, 33, 72, 6},
                                           CallCase{Format::Yuv422, 1922, 40, 72, 10},
                                           CallCase{Format::Yuv422, 70, 1, 3, 0},
                                           CallCase{Format::Yuv422, 64, 5, 133, 7}));

// A call the geometry does not allow: the RAW12 frame and image of 64 x 4 pixels that
// the call would otherwise decode, spoilt one way.
struct RefusalCase {
    const char* what;
    int expected;
    void (*spoil)(FrameLines& frame, ImageRows& image);
};

void PrintTo(const RefusalCase& c, std::ostream* out) {
    *out << c.what;
}

class PipelineCallRefusals : public PipelineMessagesTest, public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(PipelineCallRefusals, ReturnTheErrorAndWriteNothing) {
    const RefusalCase& c = GetParam();
    CapturedFrame frame(Format::Raw12, 64, 4, 72, 6, 5);
    std::vector<uint8_t> image(64 * 2 * 4, kUnwritten);
    FrameLines lines = frame.Lines(72);
    ImageRows rows{image.data(), image.size(), 64 * 2};
    c.spoil(lines, rows);

    EXPECT_EQ(csi2ipl::RunCpuPipeline(PipelineFormat::Raw12, lines, rows), c.expected);

    EXPECT_TRUE(std::all_of(image.begin(), image.end(), [](uint8_t b) { return b == kUnwritten; }));
    ASSERT_EQ(Messages().size(), 1u);
}

std::string RefusalName(const ::testing::TestParamInfo<RefusalCase>& info) {
    return info.param.what;
}

INSTANTIATE_TEST_SUITE_P(
    Geometry, PipelineCallRefusals,
    ::testing::Values(
        // Under kPipelineMinimumWidth the pipeline itself refuses: the unpacker's turn.
        RefusalCase{"Width62", halide_error_code_access_out_of_bounds,
                    [](FrameLines& frame, ImageRows&) { frame.width = 62; }},
        RefusalCase{"OddWidth", halide_error_code_requirement_failed,
                    [](FrameLines& frame, ImageRows&) { frame.width = 63; }},
        RefusalCase{"NoLines", halide_error_code_requirement_failed,
                    [](FrameLines& frame, ImageRows&) { frame.height = 0; }},
        RefusalCase{"FrameOneByteShort", halide_error_code_requirement_failed,
                    [](FrameLines& frame, ImageRows&) { --frame.dataSize; }},
        RefusalCase{"FirstLineBeyondFrame", halide_error_code_requirement_failed,
                    [](FrameLines& frame, ImageRows&) { frame.firstLineOffset = frame.dataSize + 1; }},
        RefusalCase{"LinesOverlap", halide_error_code_requirement_failed,
                    [](FrameLines& frame, ImageRows&) { frame.lineLength = 95; }},
        RefusalCase{"LineLengthBeyond32Bits", halide_error_code_requirement_failed,
                    [](FrameLines& frame, ImageRows&) {
                        frame.lineLength = size_t{1} << 32;
                        frame.dataSize = std::numeric_limits<size_t>::max();
                    }},
        RefusalCase{"RowsOverlap", halide_error_code_requirement_failed,
                    [](FrameLines&, ImageRows& image) { image.rowStep = 127; }},
        RefusalCase{"ImageOneByteShort", halide_error_code_requirement_failed,
                    [](FrameLines&, ImageRows& image) { --image.size; }},
        RefusalCase{"NoImage", halide_error_code_requirement_failed,
                    [](FrameLines&, ImageRows& image) { image.data = nullptr; }}),
    RefusalName);

TEST(EvenLineSpacing, GivesTheCommonDistanceOrNothing) {
    struct Case {
        std::vector<size_t> offsets;
        std::optional<size_t> spacing;
    } cases[] = {
        {{}, std::nullopt},
        {{64}, 0},
        {{72, 3922, 7772, 11622}, 3850},
        {{72, 3922, 7773}, std::nullopt},     // one line a byte late
        {{72, 3922, 7772, 7772}, std::nullopt},  // a line listed twice
        {{72, 72}, std::nullopt},
        {{7772, 3922, 72}, std::nullopt},     // out of order
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.offsets));
        EXPECT_EQ(csi2ipl::EvenLineSpacing(c.offsets), c.spacing);
    }
}

TEST(EvenLineSpacing, TakesTheOffsetOutOfEachItem) {
    struct Line {
        uint32_t offset;
        uint32_t wordCount;
    };
    const std::vector<Line> lines = {{64, 3840}, {3914, 3840}, {7764, 3840}};
    EXPECT_EQ(csi2ipl::EvenLineSpacing(lines, &Line::offset), 3850u);
    EXPECT_EQ(csi2ipl::EvenLineSpacing(lines, &Line::wordCount), std::nullopt);
}

}  // namespace
