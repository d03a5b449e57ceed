// Processor pipelines on camera-sized frames, called as the decoder calls them, with 1
// and 8 Halide threads. Each run also copies the same number of output bytes with memcpy
// (one thread), the floor that any unpacker writing that image pays; the counter
// "vs_memcpy" is pipeline time over copy time. Run with --benchmark_repetitions=5 for
// medians: the machines are shared.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstring>
#include <random>
#include <utility>
#include <vector>

#include "pipelines/pipeline_call.hpp"

namespace {

using Clock = std::chrono::steady_clock;
using csi2ipl::PipelineFormat;

struct FrameShape {
    PipelineFormat format;
    int width;
    int height;
    size_t lineLength;  // CSI-2 word count 3840 plus packet header, footer and padding
};

// The first line's payload follows the 64-byte frame header and the line's 8-byte start.
constexpr size_t kFirstLineOffset = 72;

const FrameShape raw12{PipelineFormat::Raw12, 2560, 1440, 3850};
const FrameShape yuv422{PipelineFormat::Yuv422_8, 1920, 1080, 3850};

void DecodeFrame(benchmark::State& state, const FrameShape& shape) {
    // Set before the first pipeline call starts the pool, this also fixes the pool's size.
    halide_set_num_threads(static_cast<int>(state.range(0)));

    std::vector<uint8_t> frame(kFirstLineOffset + shape.lineLength * shape.height);
    std::mt19937 random(1);
    for (uint8_t& byte : frame) byte = static_cast<uint8_t>(random());
    const size_t rowStep = static_cast<size_t>(shape.width) / 2 * csi2ipl::OutputGroupBytes(shape.format);
    const size_t imageBytes = rowStep * shape.height;
    std::vector<uint8_t> image(imageBytes), copy(imageBytes), source(imageBytes, 0x11);
    const csi2ipl::FrameLines lines{frame.data(), frame.size(), kFirstLineOffset, shape.lineLength, shape.width,
                                    shape.height};
    const csi2ipl::ImageRows rows{image.data(), image.size(), rowStep};

    Clock::duration decoding{}, copying{};
    for (auto _ : state) {
        Clock::time_point start = Clock::now();
        if (csi2ipl::RunCpuPipeline(shape.format, lines, rows) != 0) {
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
