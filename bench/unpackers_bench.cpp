// The hand-written line unpackers, one thread, each beside a memcpy of the same output
// bytes measured in the same run: "vs_memcpy" is the unpacker's time per frame over the
// copy's. RAW12 at 2560 x 1440, every other type at 1920 x 1080.
//   cmake --preset release && cmake --build --preset release --target unpackers_bench
//   build/release/bench/unpackers_bench
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "csi2ipl/data_formats.hpp"
#include "random_frame.hpp"
#include "csi2ipl/frame_geometry.hpp"
#include "csi2ipl/frame_unpacking.hpp"

namespace {

using namespace csi2ipl;

// The fastest of a few memcpy runs of `bytes`, in seconds.
double MemcpySeconds(size_t bytes) {
    std::vector<uint8_t> from(bytes, 1), to(bytes, 0);
    double best = 1e9;
    for (int run = 0; run < 20; ++run) {
        const auto start = std::chrono::steady_clock::now();
        std::memcpy(to.data(), from.data(), bytes);
        benchmark::DoNotOptimize(to.data());
        benchmark::ClobberMemory();
        best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    return best;
}

void Unpack(benchmark::State& state, uint8_t decodeType, bool limitTo8, SimdLevel level) {
    if (!SimdLevelSupported(level)) {
        state.SkipWithError("instruction level not supported here");
        return;
    }
    const DataFormat& format = *FindDataFormat(decodeType);
    const bool raw12 = decodeType == data_type::kRaw12;
    const uint32_t width = raw12 ? 2560 : 1920, height = raw12 ? 1440 : 1080;
    const uint32_t wordCount = width / format.groupPixels * format.groupBytes;
    const std::vector<uint8_t> frame = RandomFrame(SearchTypeOf(decodeType), wordCount, height);
    GeometryRequest request;
    request.targetType = decodeType;
    request.limitTo8 = limitTo8;
    request.simd = level;
    const GeometryResult result = ComputeGeometry(frame.data(), frame.size(), request);
    if (!result.Ready()) {
        state.SkipWithError("geometry refused");
        return;
    }
    const FrameGeometry& geometry = result.geometry;
    const size_t rowStep = AlignedRowBytes(geometry);
    std::vector<uint8_t> image(rowStep * geometry.height, 0);
    const double copySeconds = MemcpySeconds(geometry.rowBytes * geometry.height);

    double best = 1e9;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        UnpackFrame(geometry, frame.data(), frame.size(), image.data(), rowStep, 0);
        benchmark::DoNotOptimize(image.data());
        benchmark::ClobberMemory();
        best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * geometry.rowBytes * geometry.height));
    state.counters["vs_memcpy"] = best / copySeconds;
    state.counters["memcpy_ms"] = copySeconds * 1e3;
}

void Register() {
    struct Entry {
        const char* name;
        uint8_t type;
    } entries[] = {{"RAW8", 0x2A},        {"RGB888", 0x24}, {"RAW10", 0x2B}, {"RAW12", 0x2C},
                   {"RAW16", 0x2E},       {"RAW20", 0x2F},  {"RAW24", 0x27}, {"YUV422_10", 0x1F},
                   {"YUV422_8", 0x1E},    {"YUV422_8_swapped", 0xFE}};
    for (const Entry& entry : entries) {
        const bool eightBitOnly = FindDataFormat(entry.type)->depth == 8;
        for (bool limitTo8 : {false, true}) {
            if (eightBitOnly && limitTo8) continue;
            for (SimdLevel level : kAllSimdLevels) {
                // Levels without a form of their own would only repeat the one below.
                const SimdLevel below = static_cast<SimdLevel>(static_cast<int>(level) - 1);
                const bool ownForm = level == SimdLevel::kScalar || SelectUnpacker(entry.type, limitTo8, level) !=
                                                                        SelectUnpacker(entry.type, limitTo8, below);
                if (!ownForm) continue;
                const std::string name = std::string("Unpack/") + entry.name + (eightBitOnly || limitTo8 ? "/8bit" : "/16bit") +
                                         "/" + SimdLevelName(level);
                benchmark::RegisterBenchmark(name.c_str(), Unpack, entry.type, limitTo8, level)
                    ->Unit(benchmark::kMillisecond)
                    ->Repetitions(5)
                    ->ReportAggregatesOnly(true);
            }
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    Register();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
