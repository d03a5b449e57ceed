// The GPU pipelines. On a machine with a GPU: they equal the processor pipelines and the
// expected images, refuse fewer than 32 lines, work on device memory from cudaMalloc (the
// CUDA runtime's primary context), and their timings are printed. Without a driver: they
// fail with an error code, and the process goes on.
#include <cuda_runtime_api.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "HalideRuntimeCuda.h"
#include "pipelines/pipeline_errors.hpp"
#include "pipelines/pipeline_frames.hpp"
#include "pipelines/pipelines.hpp"

namespace {

using namespace pipeline_frames;

#if defined(__SANITIZE_THREAD__)
// The Halide runtime's thread pool synchronises through its own atomics, which are not
// instrumented and read as races to ThreadSanitizer: run pipelines on the calling thread.
// Every runtime in the process reads this when its pool starts.
const int singleThreadedPipelines = setenv("HL_NUM_THREADS", "1", 1);
#endif
using Clock = std::chrono::steady_clock;

using Pipeline = int (*)(halide_buffer_t*, halide_buffer_t*);

struct PipelinePair {
    Format format;
    const char* name;
    Pipeline gpu;
    Pipeline cpu;
};

const PipelinePair raw12{Format::Raw12, "RAW12", pixtract_raw12_gpu, pixtract_raw12_cpu};
const PipelinePair yuv422{Format::Yuv422, "YUV422", pixtract_yuv422_8_gpu, pixtract_yuv422_8_cpu};

constexpr uint8_t kUnwritten = 0x5A;

// Empty when a CUDA device can be used, else why not: a driver older than the CUDA
// runtime linked in here reads differently from a machine without a GPU.
std::string DeviceProblem() {
    int count = 0;
    const cudaError_t status = cudaGetDeviceCount(&count);
    if (status != cudaSuccess) return cudaGetErrorString(status);
    return count > 0 ? "" : "no CUDA device";
}

bool HasDevice() {
    return DeviceProblem().empty();
}

std::vector<std::string>& Messages() {
    static std::vector<std::string> messages;
    return messages;
}

std::vector<uint8_t> Image(const Frame& frame) {
    return std::vector<uint8_t>(
        static_cast<size_t>(frame.width) / 2 * OutputGroupBytes(frame.format) * frame.height, kUnwritten);
}

double Milliseconds(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

struct GpuTimes {
    Clock::duration copyIn{}, kernel{}, copyOut{};
};

// One frame the decoder's way: the payload copied into cudaMalloc memory that the input
// descriptor wraps (no host memory), the pipeline, then the image brought back to the host.
int DecodeOnGpu(const PipelinePair& pipeline, Frame& frame, uint8_t* image, GpuTimes* times = nullptr) {
    const size_t size = InputBuffer(frame).size_in_bytes();
    Clock::time_point start = Clock::now();
    void* device = nullptr;
    if (cudaMalloc(&device, size) != cudaSuccess) return -1;
    cudaMemcpy(device, frame.bytes.data(), size, cudaMemcpyHostToDevice);
    cudaDeviceSynchronize();
    auto input = InputBuffer(frame.format, frame.width, frame.height, frame.lineLength, nullptr);
    int result = input.device_wrap_native(halide_cuda_device_interface(), reinterpret_cast<uint64_t>(device));
    auto output = OutputBuffer(frame.format, frame.width, frame.height, image);
    Clock::time_point copied = Clock::now();
    if (result == 0) result = pipeline.gpu(input.raw_buffer(), output.raw_buffer());
    // The launch returns before the kernel ends: wait for it here, so that the kernel's
    // time is not counted as copying out.
    if (output.raw_buffer()->device_interface != nullptr) output.device_sync();
    Clock::time_point ran = Clock::now();
    if (output.device_dirty()) output.copy_to_host();
    Clock::time_point back = Clock::now();
    input.device_detach_native();
    cudaFree(device);
    if (times != nullptr) {
        times->copyIn += copied - start;
        times->kernel += ran - copied;
        times->copyOut += back - ran;
    }
    return result;
}

int DecodeOnCpu(const PipelinePair& pipeline, Frame& frame, uint8_t* image) {
    auto input = InputBuffer(frame);
    auto output = OutputBuffer(frame.format, frame.width, frame.height, image);
    return pipeline.cpu(input.raw_buffer(), output.raw_buffer());
}

class GpuPipelineTest : public ::testing::Test {
  protected:
    void SetUp() override {
        // scripts/gpu-check sets PIXTRACT_REQUIRE_GPU: there a missing device is a failure.
        if (const std::string problem = DeviceProblem(); !problem.empty()) {
            if (std::getenv("PIXTRACT_REQUIRE_GPU") != nullptr)
                FAIL() << "no usable CUDA device: " << problem;
            GTEST_SKIP() << "no usable GPU device: " << problem;
        }
        Messages().clear();
        previous =
            csi2ipl::SetPipelineErrorSink([](const char* message) { Messages().emplace_back(message); });
    }
    void TearDown() override { csi2ipl::SetPipelineErrorSink(previous); }

    csi2ipl::PipelineErrorSink previous = nullptr;
};

TEST_F(GpuPipelineTest, RandomFramesEqualCpuPipelineAndReference) {
    struct Size {
        int width, height, gap;
    } sizes[] = {{64, 32, 0}, {80, 40, 6}, {70, 45, 1}, {2560, 1440, 10}, {1920, 1080, 10}};
    for (const PipelinePair* pipeline : {&raw12, &yuv422}) {
        for (const Size& size : sizes) {
            SCOPED_TRACE(std::string(pipeline->name) + " " + std::to_string(size.width) + "x" +
                         std::to_string(size.height));
            Frame frame =
                RandomFrame(pipeline->format, size.width, size.height, size.gap, size.width + size.height);
            std::vector<uint8_t> onGpu = Image(frame);
            std::vector<uint8_t> onCpu = Image(frame);
            ASSERT_EQ(DecodeOnGpu(*pipeline, frame, onGpu.data()), 0);
            ASSERT_EQ(DecodeOnCpu(*pipeline, frame, onCpu.data()), 0);
            EXPECT_TRUE(onGpu == onCpu);
            EXPECT_TRUE(onGpu == ExpectedImage(frame));
        }
    }
    EXPECT_TRUE(Messages().empty());
}

// The GPU tiles lines 32 at a time, with the last tile shifted inwards.
TEST_F(GpuPipelineTest, NeedsThirtyTwoLines) {
    for (const PipelinePair* pipeline : {&raw12, &yuv422}) {
        SCOPED_TRACE(pipeline->name);
        Frame shortFrame = RandomFrame(pipeline->format, 64, 31, 6, 1);
        std::vector<uint8_t> image = Image(shortFrame);
        EXPECT_EQ(DecodeOnGpu(*pipeline, shortFrame, image.data()), halide_error_code_access_out_of_bounds);
        EXPECT_TRUE(std::all_of(image.begin(), image.end(), [](uint8_t b) { return b == kUnwritten; }));

        Frame frame = RandomFrame(pipeline->format, 64, 32, 6, 2);
        image = Image(frame);
        ASSERT_EQ(DecodeOnGpu(*pipeline, frame, image.data()), 0);
        EXPECT_TRUE(image == ExpectedImage(frame));
    }
}

// Not a check: prints what a camera frame costs on the GPU and on the processor.
TEST_F(GpuPipelineTest, PrintTimings) {
    const int runs = 20;
    cudaDeviceProp properties{};
    int device = 0;
    cudaGetDevice(&device);
    cudaGetDeviceProperties(&properties, device);
    std::printf("GPU: %s; times are averages of %d frames after a first one\n", properties.name, runs);
    struct Case {
        const PipelinePair* pipeline;
        int width, height;
    } cases[] = {{&raw12, 2560, 1440}, {&yuv422, 1920, 1080}};
    for (const Case& c : cases) {
        // Word count 3840 bytes; 10 more per line for the packet header, footer and padding.
        Frame frame = RandomFrame(c.pipeline->format, c.width, c.height, 10, 5);
        std::vector<uint8_t> image = Image(frame);
        ASSERT_EQ(DecodeOnGpu(*c.pipeline, frame, image.data()), 0);  // loads the kernel module
        GpuTimes times;
        for (int i = 0; i < runs; ++i) ASSERT_EQ(DecodeOnGpu(*c.pipeline, frame, image.data(), &times), 0);
        Clock::time_point start = Clock::now();
        for (int i = 0; i < runs; ++i) ASSERT_EQ(DecodeOnCpu(*c.pipeline, frame, image.data()), 0);
        Clock::duration cpu = Clock::now() - start;
        std::printf(
            "%-6s %dx%d, ms per frame: GPU copy in %.3f, kernel %.3f, copy out %.3f, total %.3f; CPU %.3f\n",
            c.pipeline->name, c.width, c.height, Milliseconds(times.copyIn) / runs,
            Milliseconds(times.kernel) / runs, Milliseconds(times.copyOut) / runs,
            Milliseconds(times.copyIn + times.kernel + times.copyOut) / runs, Milliseconds(cpu) / runs);
    }
}

// Halide's default handler would abort the process here; the package's handler passes the
// message on and the pipeline returns its error code.
TEST(GpuPipelineWithoutDriver, FailsWithAnErrorCodeAndTheProcessGoesOn) {
    if (HasDevice()) GTEST_SKIP() << "a GPU device is present: this case needs none";
    Messages().clear();
    csi2ipl::PipelineErrorSink previous =
        csi2ipl::SetPipelineErrorSink([](const char* message) { Messages().emplace_back(message); });
    for (const PipelinePair* pipeline : {&raw12, &yuv422}) {
        SCOPED_TRACE(pipeline->name);
        Frame frame = RandomFrame(pipeline->format, 64, 32, 6, 3);
        std::vector<uint8_t> image = Image(frame);
        auto input = InputBuffer(frame);
        auto output = OutputBuffer(frame.format, frame.width, frame.height, image.data());
        for (int attempt = 0; attempt < 2; ++attempt)
            EXPECT_NE(pipeline->gpu(input.raw_buffer(), output.raw_buffer()), 0);
        EXPECT_TRUE(std::all_of(image.begin(), image.end(), [](uint8_t b) { return b == kUnwritten; }));

        // The processor pipelines of the same library are unaffected.
        ASSERT_EQ(DecodeOnCpu(*pipeline, frame, image.data()), 0);
        EXPECT_TRUE(image == ExpectedImage(frame));
    }
    EXPECT_FALSE(Messages().empty());
    csi2ipl::SetPipelineErrorSink(previous);
}

}  // namespace
