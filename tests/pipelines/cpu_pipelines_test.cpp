// The processor pipelines against the expected images, their worked values, the _argv
// and _metadata companions, the buffer checks and bounds queries.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "pipelines/pipeline_frames.hpp"
#include "pipelines/pipeline_messages.hpp"
#include "pipelines/pipelines.hpp"

namespace {

using namespace pipeline_frames;

#if defined(__SANITIZE_THREAD__)
// The Halide runtime's thread pool synchronises through its own atomics, which are not
// instrumented and read as races to ThreadSanitizer: run pipelines on the calling thread.
// Every runtime in the process reads this when its pool starts.
const int singleThreadedPipelines = setenv("HL_NUM_THREADS", "1", 1);
#endif

using Pipeline = int (*)(halide_buffer_t*, halide_buffer_t*);
using PipelineArgv = int (*)(void**);
using PipelineMetadata = const halide_filter_metadata_t* (*)();

struct CpuPipeline {
    Format format;
    const char* name;
    Pipeline run;
    PipelineArgv runArgv;
    PipelineMetadata metadata;
};

const CpuPipeline raw12{Format::Raw12, "pixtract_raw12_cpu", pixtract_raw12_cpu, pixtract_raw12_cpu_argv,
                        pixtract_raw12_cpu_metadata};
const CpuPipeline yuv422{Format::Yuv422, "pixtract_yuv422_8_cpu", pixtract_yuv422_8_cpu,
                         pixtract_yuv422_8_cpu_argv, pixtract_yuv422_8_cpu_metadata};

constexpr uint8_t kUnwritten = 0x5A;
constexpr size_t kGuardBytes = 64;

class PipelineTest : public PipelineMessagesTest {
  protected:
    // An output image with guard bytes behind it, all preset to kUnwritten.
    static std::vector<uint8_t> Image(Format format, int width, int height) {
        return std::vector<uint8_t>(
            static_cast<size_t>(width) / 2 * OutputGroupBytes(format) * height + kGuardBytes, kUnwritten);
    }

    static bool Unwritten(const std::vector<uint8_t>& image) {
        for (uint8_t byte : image)
            if (byte != kUnwritten) return false;
        return true;
    }
};

struct FrameCase {
    const CpuPipeline* pipeline;
    int width;
    int height;
    int gap;
    int rowPadding = 0;  // bytes after each image row, as an aligned row step leaves them
};

void PrintTo(const FrameCase& c, std::ostream* out) {
    *out << c.pipeline->name << ' ' << c.width << 'x' << c.height << " gap " << c.gap << " row padding "
         << c.rowPadding;
}

class CpuPipelineFrames : public PipelineTest, public ::testing::WithParamInterface<FrameCase> {};

// The frame ends at an inaccessible page, so a read past its last byte ends the test.
// Rows are compared one by one at the row step; the padding between them, like the
// guard bytes after the image, must stay unwritten.
TEST_P(CpuPipelineFrames, DecodeRandomFrameLikeTheReference) {
    const FrameCase& c = GetParam();
    const Format format = c.pipeline->format;
    Frame frame = RandomFrame(format, c.width, c.height, c.gap, c.width * 31 + c.height);
    GuardedBytes guarded(frame.bytes);
    const int rowBytes = c.width / 2 * OutputGroupBytes(format);
    const int rowStep = rowBytes + c.rowPadding;
    std::vector<uint8_t> image(static_cast<size_t>(rowStep) * c.height + kGuardBytes, kUnwritten);
    auto input = InputBuffer(format, c.width, c.height, frame.lineLength, guarded.data);
    auto output = OutputBuffer(format, c.width, c.height, image.data(), rowStep);

    ASSERT_EQ(c.pipeline->run(input.raw_buffer(), output.raw_buffer()), 0);

    const std::vector<uint8_t> expected = ExpectedImage(frame);
    for (int y = 0; y < c.height; ++y) {
        const uint8_t* row = image.data() + static_cast<size_t>(y) * rowStep;
        ASSERT_TRUE(std::equal(row, row + rowBytes, expected.begin() + static_cast<size_t>(y) * rowBytes))
            << "row " << y;
        ASSERT_TRUE(std::all_of(row + rowBytes, row + rowStep, [](uint8_t b) { return b == kUnwritten; }))
            << "padding of row " << y;
    }
    EXPECT_TRUE(std::all_of(image.end() - kGuardBytes, image.end(), [](uint8_t b) { return b == kUnwritten; }));
    EXPECT_TRUE(Messages().empty());
}

// Widths: the narrowest line (32 groups), a tail vector that recomputes groups 3..34,
// a full camera line, and a tail in a wide line. Gaps: none, the CSI-2 header and
// footer (6 bytes), and an odd amount. Heights: fewer lines than a task's block of 32,
// and blocks with a partial last one. Row padding: where the image's row step is
// rounded up to 4 bytes (RAW12 widths of 2 mod 4 pixels, YUV422 widths not a multiple
// of 8), and more.
INSTANTIATE_TEST_SUITE_P(
    Widths, CpuPipelineFrames,
    ::testing::Values(FrameCase{&raw12, 64, 3, 0}, FrameCase{&raw12, 70, 5, 6}, FrameCase{&raw12, 2560, 16, 10},
                      FrameCase{&raw12, 1000, 7, 1}, FrameCase{&raw12, 70, 33, 6, 4},
                      FrameCase{&raw12, 2562, 45, 10, 4}, FrameCase{&raw12, 130, 1, 3, 60},
                      FrameCase{&raw12, 64, 95, 6, 8}, FrameCase{&yuv422, 64, 3, 0}, FrameCase{&yuv422, 70, 5, 6},
                      FrameCase{&yuv422, 2560, 16, 10}, FrameCase{&yuv422, 1000, 7, 1},
                      FrameCase{&yuv422, 66, 33, 6, 2}, FrameCase{&yuv422, 1918, 45, 10, 6},
                      FrameCase{&yuv422, 130, 1, 3, 61}, FrameCase{&yuv422, 64, 95, 6, 8}));

// Layouts other than packed groups starting at byte 0 take the general loop, which must
// follow the same per-byte rule: padded groups in the frame or image, and an output
// whose byte index starts later (every index from 4 (6) on repeats the last source).
TEST_F(PipelineTest, OtherLayoutsFollowTheSameRule) {
    struct Case {
        const CpuPipeline* pipeline;
        int inputGroupStride;
        int outputGroupStride;
        int outputFirstByte;
    } cases[] = {
        {&raw12, 4, 4, 0}, {&raw12, 3, 8, 0}, {&raw12, 3, 4, 1},
        {&yuv422, 5, 6, 0}, {&yuv422, 4, 7, 0}, {&yuv422, 4, 6, 2},
    };
    const int width = 70, height = 35, lineLength = 200;
    for (const Case& c : cases) {
        const Format format = c.pipeline->format;
        const int outGroup = OutputGroupBytes(format);
        SCOPED_TRACE(testing::Message() << c.pipeline->name << " input group stride " << c.inputGroupStride
                                        << " output group stride " << c.outputGroupStride << " first byte "
                                        << c.outputFirstByte);
        std::vector<uint8_t> frame(static_cast<size_t>(lineLength) * height);
        std::mt19937 random(c.inputGroupStride * 10 + c.outputGroupStride);
        for (uint8_t& byte : frame) byte = static_cast<uint8_t>(random());
        const int rowStep = width / 2 * c.outputGroupStride + 3;
        std::vector<uint8_t> image(static_cast<size_t>(rowStep) * height, kUnwritten);
        halide_dimension_t inShape[3] = {{0, InputGroupBytes(format), 1, 0},
                                         {0, width / 2, c.inputGroupStride, 0},
                                         {0, height, lineLength, 0}};
        halide_dimension_t outShape[3] = {{c.outputFirstByte, outGroup, 1, 0},
                                          {0, width / 2, c.outputGroupStride, 0},
                                          {0, height, rowStep, 0}};
        csi2ipl::PipelineBuffer input(frame.data(), 3, inShape);
        csi2ipl::PipelineBuffer output(image.data(), 3, outShape);

        ASSERT_EQ(c.pipeline->run(input.raw_buffer(), output.raw_buffer()), 0);

        std::vector<uint8_t> expected(image.size(), kUnwritten);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width / 2; ++x)
                for (int b = 0; b < outGroup; ++b)
                    expected[static_cast<size_t>(y) * rowStep + x * c.outputGroupStride + b] = ExpectedGroupByte(
                        format, c.outputFirstByte + b, &frame[static_cast<size_t>(y) * lineLength + x * c.inputGroupStride]);
        EXPECT_EQ(image, expected);
    }
}

TEST_F(PipelineTest, WorkedValues) {
    struct Case {
        const CpuPipeline* pipeline;
        std::vector<uint8_t> in;
        std::vector<uint8_t> out;
    } cases[] = {
        {&raw12, {0xAB, 0xCD, 0xEF}, {0xF0, 0xAB, 0xE0, 0xCD}},
        {&yuv422, {0x10, 0x20, 0x30, 0x40}, {0x20, 0x10, 0x30, 0x40, 0x10, 0x30}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pipeline->name);
        const int width = 64;
        std::vector<uint8_t> line;
        for (int x = 0; x < width / 2; ++x) line.insert(line.end(), c.in.begin(), c.in.end());
        std::vector<uint8_t> image = Image(c.pipeline->format, width, 1);
        auto input = InputBuffer(c.pipeline->format, width, 1, static_cast<int>(line.size()), line.data());
        auto output = OutputBuffer(c.pipeline->format, width, 1, image.data());
        ASSERT_EQ(c.pipeline->run(input.raw_buffer(), output.raw_buffer()), 0);
        for (int x = 0; x < width / 2; ++x)
            ASSERT_TRUE(std::equal(c.out.begin(), c.out.end(), image.begin() + x * c.out.size()))
                << "group " << x;
    }
}

TEST_F(PipelineTest, ArgvCallEqualsDirectCall) {
    for (const CpuPipeline* pipeline : {&raw12, &yuv422}) {
        SCOPED_TRACE(pipeline->name);
        Frame frame = RandomFrame(pipeline->format, 134, 9, 6, 7);
        std::vector<uint8_t> direct = Image(pipeline->format, 134, 9);
        std::vector<uint8_t> viaArgv = direct;
        auto input = InputBuffer(frame);
        auto directOutput = OutputBuffer(pipeline->format, 134, 9, direct.data());
        auto argvOutput = OutputBuffer(pipeline->format, 134, 9, viaArgv.data());
        ASSERT_EQ(pipeline->run(input.raw_buffer(), directOutput.raw_buffer()), 0);
        void* args[] = {input.raw_buffer(), argvOutput.raw_buffer()};
        ASSERT_EQ(pipeline->runArgv(args), 0);
        EXPECT_EQ(viaArgv, direct);

        // Refusals come back through _argv as well.
        std::vector<uint8_t> narrow = Image(pipeline->format, 62, 9);
        auto narrowOutput = OutputBuffer(pipeline->format, 62, 9, narrow.data());
        void* refused[] = {input.raw_buffer(), narrowOutput.raw_buffer()};
        EXPECT_EQ(pipeline->runArgv(refused), halide_error_code_access_out_of_bounds);
    }
}

TEST_F(PipelineTest, MetadataNamesPipelineTargetAndArguments) {
    for (const CpuPipeline* pipeline : {&raw12, &yuv422}) {
        SCOPED_TRACE(pipeline->name);
        const halide_filter_metadata_t* metadata = pipeline->metadata();
        ASSERT_NE(metadata, nullptr);
        EXPECT_EQ(metadata->version, 1);
        EXPECT_STREQ(metadata->name, pipeline->name);
        EXPECT_STREQ(metadata->target, "x86-64-linux-avx-f16c-fma-no_runtime-sse41");
        ASSERT_EQ(metadata->num_arguments, 2);
        const char* names[] = {"input", "output"};
        const int kinds[] = {halide_argument_kind_input_buffer, halide_argument_kind_output_buffer};
        for (int i = 0; i < 2; ++i) {
            const halide_filter_argument_t& argument = metadata->arguments[i];
            EXPECT_STREQ(argument.name, names[i]);
            EXPECT_EQ(argument.kind, kinds[i]);
            EXPECT_EQ(argument.dimensions, 3);
            EXPECT_EQ(argument.type, halide_type_t(halide_type_uint, 8, 1));
        }
    }
}

// A refusal: the buffers as the decoder builds them for a 64 x 4 frame, spoilt one way.
struct RefusalCase {
    const char* what;
    const CpuPipeline* pipeline;
    int expected;
    std::function<void(halide_buffer_t& input, halide_buffer_t& output)> spoil;
    int outputWidth = 64;
};

void PrintTo(const RefusalCase& c, std::ostream* out) {
    *out << c.pipeline->name << ' ' << c.what;
}

class CpuPipelineRefusals : public PipelineTest, public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(CpuPipelineRefusals, ReturnTheErrorCodeAndWriteNothing) {
    const RefusalCase& c = GetParam();
    Frame frame = RandomFrame(c.pipeline->format, 64, 4, 6, 3);
    std::vector<uint8_t> image = Image(c.pipeline->format, 64, 4);
    auto input = InputBuffer(frame);
    auto output = OutputBuffer(c.pipeline->format, c.outputWidth, 4, image.data());
    halide_buffer_t in = *input.raw_buffer();
    halide_buffer_t out = *output.raw_buffer();
    halide_dimension_t inShape[3], outShape[3];
    std::copy(in.dim, in.dim + 3, inShape);
    std::copy(out.dim, out.dim + 3, outShape);
    in.dim = inShape;
    out.dim = outShape;
    c.spoil(in, out);

    EXPECT_EQ(c.pipeline->run(&in, &out), c.expected);
    EXPECT_TRUE(Unwritten(image));
    EXPECT_EQ(Messages().size(), 1u);
}

std::string RefusalName(const ::testing::TestParamInfo<RefusalCase>& info) {
    return std::string(info.param.pipeline->format == Format::Raw12 ? "Raw12_" : "Yuv422_") + info.param.what;
}

auto Unchanged = [](halide_buffer_t&, halide_buffer_t&) {};

INSTANTIATE_TEST_SUITE_P(
    Checks, CpuPipelineRefusals,
    ::testing::Values(
        // 31 groups: the 32-wide vector cannot shift inwards.
        RefusalCase{"Width62", &raw12, halide_error_code_access_out_of_bounds, Unchanged, 62},
        RefusalCase{"Width62", &yuv422, halide_error_code_access_out_of_bounds, Unchanged, 62},
        RefusalCase{"OutputGroupTooWide", &raw12, halide_error_code_explicit_bounds_too_small,
                    [](halide_buffer_t&, halide_buffer_t& out) { out.dim[0].extent = 5; }},
        RefusalCase{"OutputGroupTooWide", &yuv422, halide_error_code_explicit_bounds_too_small,
                    [](halide_buffer_t&, halide_buffer_t& out) { out.dim[0].extent = 7; }},
        RefusalCase{"OutputGroupTooNarrow", &raw12, halide_error_code_access_out_of_bounds,
                    [](halide_buffer_t&, halide_buffer_t& out) { out.dim[0].extent = 3; }},
        RefusalCase{"InputGroupTooNarrow", &yuv422, halide_error_code_access_out_of_bounds,
                    [](halide_buffer_t& in, halide_buffer_t&) { in.dim[0].extent = 3; }},
        RefusalCase{"InputShorterThanLine", &raw12, halide_error_code_access_out_of_bounds,
                    [](halide_buffer_t& in, halide_buffer_t&) { in.dim[1].extent = 31; }},
        RefusalCase{"InputHasFewerLines", &yuv422, halide_error_code_access_out_of_bounds,
                    [](halide_buffer_t& in, halide_buffer_t&) { in.dim[2].extent = 3; }},
        RefusalCase{"HostNullWithDeviceHandle", &raw12, halide_error_code_host_is_null,
                    [](halide_buffer_t& in, halide_buffer_t&) {
                        in.host = nullptr;
                        in.device = 1;
                    }},
        RefusalCase{"InputStrideNotOne", &raw12, halide_error_code_constraint_violated,
                    [](halide_buffer_t& in, halide_buffer_t&) { in.dim[0].stride = 2; }},
        RefusalCase{"OutputStrideNotOne", &yuv422, halide_error_code_constraint_violated,
                    [](halide_buffer_t&, halide_buffer_t& out) { out.dim[0].stride = 2; }},
        RefusalCase{"InputTwoDimensions", &raw12, halide_error_code_bad_dimensions,
                    [](halide_buffer_t& in, halide_buffer_t&) { in.dimensions = 2; }},
        RefusalCase{
            "OutputSixteenBit", &yuv422, halide_error_code_bad_type,
            [](halide_buffer_t&, halide_buffer_t& out) { out.type = halide_type_t(halide_type_uint, 16); }},
        RefusalCase{"InputDeviceDirty", &raw12, halide_error_code_device_dirty_with_no_device_support,
                    [](halide_buffer_t& in, halide_buffer_t&) { in.set_device_dirty(true); }},
        RefusalCase{"OutputSpansOverTwoGigabytes", &raw12, halide_error_code_buffer_allocation_too_large,
                    [](halide_buffer_t&, halide_buffer_t& out) { out.dim[2].stride = 1 << 30; }}),
    RefusalName);

TEST_F(PipelineTest, NullBufferArgumentsAreRefused) {
    for (const CpuPipeline* pipeline : {&raw12, &yuv422}) {
        Frame frame = RandomFrame(pipeline->format, 64, 1, 0, 1);
        std::vector<uint8_t> image = Image(pipeline->format, 64, 1);
        auto input = InputBuffer(frame);
        auto output = OutputBuffer(pipeline->format, 64, 1, image.data());
        EXPECT_EQ(pipeline->run(nullptr, output.raw_buffer()), halide_error_code_buffer_argument_is_null);
        EXPECT_EQ(pipeline->run(input.raw_buffer(), nullptr), halide_error_code_buffer_argument_is_null);
        EXPECT_TRUE(Unwritten(image));
    }
}

// With neither host nor device memory the input is a question: the pipeline answers with
// the shape it would read for this output (32 groups at least) and computes nothing.
TEST_F(PipelineTest, BoundsQueryFillsInTheInputShape) {
    struct Case {
        const CpuPipeline* pipeline;
        int groups;
        halide_dimension_t dim1;
    } cases[] = {
        {&raw12, 35, {0, 35, 3, 0}},
        {&yuv422, 40, {0, 40, 4, 0}},
        {&raw12, 20, {-12, 32, 3, 0}},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> image = Image(c.pipeline->format, c.groups * 2, 5);
        auto output = OutputBuffer(c.pipeline->format, c.groups * 2, 5, image.data());
        halide_dimension_t shape[3] = {};
        halide_buffer_t query{};
        query.dimensions = 3;
        query.dim = shape;

        ASSERT_EQ(c.pipeline->run(&query, output.raw_buffer()), 0);

        const int group = InputGroupBytes(c.pipeline->format);
        EXPECT_EQ(query.type, halide_type_t(halide_type_uint, 8));
        EXPECT_EQ(shape[0], (halide_dimension_t{0, group, 1, 0}));
        EXPECT_EQ(shape[1], c.dim1);
        EXPECT_EQ(shape[2], (halide_dimension_t{0, 5, group * c.dim1.extent, 0}));
        EXPECT_TRUE(Unwritten(image));
        EXPECT_TRUE(Messages().empty());
    }
}

// With the output also a question, both come back filled in: the output's group and
// its line widened to the 32 groups a vector covers, dense strides, nothing computed.
TEST_F(PipelineTest, BoundsQueryFillsInTheOutputShapeToo) {
    for (const CpuPipeline* pipeline : {&raw12, &yuv422}) {
        SCOPED_TRACE(pipeline->name);
        halide_dimension_t inShape[3] = {};
        halide_dimension_t outShape[3] = {{0, 0, 0, 0}, {0, 20, 0, 0}, {2, 5, 0, 0}};
        halide_buffer_t inQuery{}, outQuery{};
        inQuery.dimensions = outQuery.dimensions = 3;
        inQuery.dim = inShape;
        outQuery.dim = outShape;

        ASSERT_EQ(pipeline->run(&inQuery, &outQuery), 0);

        const int in = InputGroupBytes(pipeline->format), out = OutputGroupBytes(pipeline->format);
        EXPECT_EQ(outQuery.type, halide_type_t(halide_type_uint, 8));
        EXPECT_EQ(outShape[0], (halide_dimension_t{0, out, 1, 0}));
        EXPECT_EQ(outShape[1], (halide_dimension_t{-12, 32, out, 0}));
        EXPECT_EQ(outShape[2], (halide_dimension_t{2, 5, out * 32, 0}));
        EXPECT_EQ(inShape[0], (halide_dimension_t{0, in, 1, 0}));
        EXPECT_EQ(inShape[1], (halide_dimension_t{-12, 32, in, 0}));
        EXPECT_EQ(inShape[2], (halide_dimension_t{2, 5, in * 32, 0}));
        EXPECT_EQ(outQuery.host, nullptr);
        EXPECT_TRUE(Messages().empty());
    }
}

}  // namespace
