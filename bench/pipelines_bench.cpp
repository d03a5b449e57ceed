// Processor pipelines on camera-sized frames, with 1 and 8 Halide threads. Each run also
// copies the same number of output bytes with memcpy (one thread), the floor that any
// unpacker writing that image pays; the counter "vs_memcpy" is pipeline time over copy
// time.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstring>
#include <random>
#include <utility>
#include <vector>

#include "pipelines/pipelines.hpp"

namespace {

using Pipeline = int (*)(halide_buffer_t*, halide_buffer_t*);
using Clock = std::chrono::steady_clock;

struct FrameShape {
    Pipeline pipeline;
    int width;
    int height;
    int inGroup;
    int outGroup;
    int lineLength;  // CSI-2 word count 3840 plus packet header, footer and padding
};

const FrameShape raw12{pixtract_raw12_cpu, 2560, 1440, 3, 4, 3850};
const FrameShape yuv422{pixtract_yuv422_8_cpu, 1920, 1080, 4, 6, 3850};

void DecodeFrame(benchmark::State& state, const FrameShape& shape) {
    // Set before the first pipeline call starts the pool, this also fixes the pool's size.
    halide_set_num_threads(static_cast<int>(state.range(0)));

    std::vector<uint8_t> frame(static_cast<size_t>(shape.lineLength) * shape.height);
    std::mt19937 random(1);
    for (uint8_t& byte : frame) byte = static_cast<uint8_t>(random());
    const size_t imageBytes = static_cast<size_t>(shape.width) / 2 * shape.outGroup * shape.height;
    std::vector<uint8_t> image(imageBytes), copy(imageBytes), source(imageBytes, 0x11);

    halide_dimension_t inShape[3] = {{0, shape.inGroup, 1, 0},
                                     {0, shape.width / 2, shape.inGroup, 0},
                                     {0, shape.height, shape.lineLength, 0}};
    halide_dimension_t outShape[3] = {{0, shape.outGroup, 1, 0},
                                      {0, shape.width / 2, shape.outGroup, 0},
                                      {0, shape.height, shape.width / 2 * shape.outGroup, 0}};
    csi2ipl::PipelineBuffer input(frame.data(), 3, inShape);
    csi2ipl::PipelineBuffer output(image.data(), 3, outShape);

    Clock::duration decoding{}, copying{};
    for (auto _ : state) {
        Clock::time_point start = Clock::now();
        if (shape.pipeline(input.raw_buffer(), output.raw_buffer()) != 0) {
            state.SkipWithError("pipeline refused the frame");
            break;
        }
        Clock::time_point decoded = Clock::now();
        std::memcpy(copy.data(), source.data(), imageBytes);
        benchmark::DoNotOptimize(copy.data());
        benchmark::ClobberMemory();
        Clock::time_point copied = Clock::now();
        decoding += decoded - start;
        copying += copied - decoded;
        state.SetIterationTime(std::chrono::duration<double>(decoded - start).count());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * imageBytes));
    const double iterations = static_cast<double>(state.iterations());
    state.counters["memcpy_ms"] = std::chrono::duration<double, std::milli>(copying).count() / iterations;
    state.counters["vs_memcpy"] =
        std::chrono::duration<double>(decoding) / std::chrono::duration<double>(copying);
}

}  // namespace

// Halide's thread pool grows to a larger thread count but does not shrink once it has
// started, so every run with 1 thread is registered before those with 8.
int main(int argc, char** argv) {
    for (int threads : {1, 8}) {
        for (const auto& [name, shape] : {std::pair{"DecodeFrame/raw12_2560x1440", &raw12},
                                          std::pair{"DecodeFrame/yuv422_1920x1080", &yuv422}}) {
            benchmark::RegisterBenchmark(name, DecodeFrame, *shape)
                ->ArgName("threads")
                ->Arg(threads)
                ->UseManualTime()
                ->Unit(benchmark::kMillisecond);
        }
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
