// The decoder component's Core end to end (reading the element, the checks, taking an
// output element, the decode, publication), per data type and implementation, beside a
// memcpy of the image's bytes measured in the same run, and beside the decode alone on
// the same frame: the difference is what Core adds around the decode.
//   cmake --preset release && cmake --build --preset release --target decoder_bench
//   build/release/bench/decoder_bench
// Time is Core's alone (manual time). Counters: vs_memcpy (Core / memcpy in the cache),
// vs_ring_memcpy (Core / memcpy into 16 buffers in turn, as Core writes its output ring),
// decode_vs_memcpy (the decode alone / memcpy), overhead_pct ((Core - decode) / decode),
// check_pct (the frame checks alone, on a frame just written as Core meets it, / Core),
// check_unended_pct (the checks of the frame without its frame end packet, in a capture
// buffer four times its size, / Core).
// The benchmarks named .../line_markers decode frames with line start and end packets.
// Medians of the timed passes. The decode alone reads the element Core would read, just
// written, so the two meet the same cache.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "csi2ipl/csi2ipl_component.hpp"
#include "csi2ipl/data_formats.hpp"
#include "csi2ipl/frame_check.hpp"
#include "csi2ipl/frame_geometry.hpp"
#include "csi2ipl/frame_unpacking.hpp"
#include "host_kernel.hpp"
#include "pipelines/pipeline_call.hpp"
#include "random_frame.hpp"
#include "support/component_stepper.hpp"
#include "support/feeding_source.hpp"
#include "tarn/dataflow/input.hpp"
#include "tarn/engine/engine_graph.hpp"

namespace {

using namespace csi2ipl;
using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

// The median of 21 copies of `bytes` into `destinations` buffers taken in turn: with one,
// the copy runs in the cache; with as many as the output ring holds, each copy writes to a
// buffer last written 16 copies ago, as Core writes its ring's images.
double MemcpySeconds(size_t bytes, size_t destinations = 1) {
    std::vector<uint8_t> from(bytes, 1);
    std::vector<std::vector<uint8_t>> to(destinations, std::vector<uint8_t>(bytes, 0));
    std::vector<double> runs;
    for (size_t run = 0; run < 21 + destinations; ++run) {
        std::vector<uint8_t>& destination = to[run % destinations];
        const auto start = Clock::now();
        std::memcpy(destination.data(), from.data(), bytes);
        benchmark::DoNotOptimize(destination.data());
        benchmark::ClobberMemory();
        if (run >= destinations) runs.push_back(Seconds(start));
    }
    return Median(runs);
}

const char* ChoiceOf(uint8_t type) {
    switch (type) {
        case 0x1E: return "0x1E_YUV422_8Bit";
        case 0x1F: return "0x1F_YUV422_10Bit";
        case 0x24: return "0x24_RGB888";
        case 0x2A: return "0x2a_RAW8";
        case 0x2B: return "0x2b_RAW10";
        case 0x2C: return "0x2c_RAW12";
        case 0x2E: return "0x2e_RAW16";
        case 0x2F: return "0x2f_RAW20";
        case 0x27: return "0x27_RAW24";
        default: return "0x1E_YUV422_8Bit_Y_U_swapped";
    }
}

// Publishes the frame on `frames` as the tests' source does, and says where the element
// holds it: the decode alone then reads the very bytes Core would, in the same cache state
// (just written), not a copy that was only read.
const uint8_t* Publish(FeedingSource& source, TARNOutput& frames, const std::vector<uint8_t>& frame) {
    TARNIOElt* element = source.StartWriting(frames, 0);
    std::memcpy(element->Data(), frame.data(), frame.size());
    element->VectorSize() = static_cast<int>(frame.size());
    source.StopWriting(element, false);
    return static_cast<const uint8_t*>(element->Data());
}

// The decode Core runs for this frame, alone: the pipeline or the unpackers.
double DecodeSeconds(const FrameGeometry& geometry, const uint8_t* frame, size_t frameBytes, bool pipeline,
                     std::vector<uint8_t>& image, size_t rowStep) {
    const auto start = Clock::now();
    if (pipeline) {
        const FrameLines lines{frame, frameBytes, geometry.firstLineOffset + kPacketHeaderBytes,
                               geometry.lineLength, static_cast<int>(geometry.width),
                               static_cast<int>(geometry.height)};
        const ImageRows rows{image.data(), image.size(), rowStep};
        RunCpuPipeline(geometry.decodeType == data_type::kRaw12 ? PipelineFormat::Raw12 : PipelineFormat::Yuv422_8,
                       lines, rows);
    } else {
        UnpackFrame(geometry, frame, frameBytes, image.data(), rowStep, 0);
    }
    benchmark::DoNotOptimize(image.data());
    benchmark::ClobberMemory();
    return Seconds(start);
}

void Core(benchmark::State& state, uint8_t type, const char* implementation, bool limitTo8, bool markers) {
    const DataFormat& format = *FindDataFormat(type);
    const bool raw12 = type == data_type::kRaw12;
    const uint32_t width = raw12 ? 2560 : 1920, height = raw12 ? 1440 : 1080;
    const uint32_t wordCount = width / format.groupPixels * format.groupBytes;
    const std::vector<uint8_t> frame = RandomFrame(SearchTypeOf(type), wordCount, height, markers);

    HostKernel kernel;
    FeedingSource source("source");
    TARNOutput& frames = source.VectorOutput("frames", TARNTypeInfo::Stream8 | TARNTypeInfo::Vector,
                                             static_cast<int>(frame.size()));
    std::unique_ptr<TARNComponent> decoder(static_cast<TARNComponent*>(
        TARNcsi2ipl::Instantiate("decoder", TARNcsi2ipl::s_componentDefinition)));
    TARN::Attach(frames, decoder->Input("raw_image"));
    decoder->Set(decoder->Property("CSI2_Dataformat"), ChoiceOf(type));
    decoder->Set(decoder->Property("decoding_implementation"), implementation);
    decoder->Set(decoder->Property("limit_depth_to_8"), limitTo8);
    decoder->Set(decoder->Property("skip_first_frames"), false);
    ComponentStepper stepper(*decoder);
    stepper.Begin();
    // The geometry pass, outside the measurement.
    source.WriteBytes(frames, frame, 0);
    stepper.Pass();

    GeometryRequest request;
    request.targetType = type;
    request.limitTo8 = limitTo8;
    const GeometryResult result = ComputeGeometry(frame.data(), frame.size(), request);
    if (!result.Ready()) {
        state.SkipWithError("geometry refused");
        return;
    }
    const FrameGeometry& geometry = result.geometry;
    // The checks' figure is that of a frame they pass, as every frame of a sound stream does.
    if (!CheckFrame(geometry, frame.data(), frame.size(), true).Decodable()) {
        state.SkipWithError("the frame fails its checks");
        return;
    }
    const size_t rowStep = AlignedRowBytes(geometry);
    // As many images as the output ring holds, written in turn as Core writes its ring's:
    // the decode alone then meets the same cache misses, and the difference is Core's own.
    std::vector<std::vector<uint8_t>> images(16, std::vector<uint8_t>(rowStep * geometry.height, 0));
    size_t next = 0;
    const bool pipeline = std::string(implementation) == "CPU" && !limitTo8 &&
                          (type == data_type::kRaw12 || type == data_type::kYuv422_8);

    std::vector<double> core, decode, check;
    for (auto _ : state) {
        // Publishing the frame upstream is not Core's work: only Core is timed.
        source.WriteBytes(frames, frame, 0);
        const auto start = Clock::now();
        stepper.Pass();
        core.push_back(Seconds(start));
        state.SetIterationTime(core.back());
        const uint8_t* published = Publish(source, frames, frame);
        decode.push_back(
            DecodeSeconds(geometry, published, frame.size(), pipeline, images[next++ % images.size()], rowStep));
        stepper.Pass();  // takes the element just written, so the ring never fills
        published = Publish(source, frames, frame);
        const auto checkStart = Clock::now();
        benchmark::DoNotOptimize(CheckFrame(geometry, published, frame.size(), true).status);
        check.push_back(Seconds(checkStart));
        stepper.Pass();
    }
    stepper.Finish();
    // The checks of a frame of the stream without its frame end packet, in a capture buffer
    // four times its size, zero past the frame: sound, and never searched to the buffer's end.
    std::vector<uint8_t> unended(frame.begin(), frame.end() - static_cast<long>(kShortPacketBytes));
    unended.resize(4 * frame.size(), 0);
    std::vector<double> uncheckedEnd;
    for (int run = 0; run < 21; ++run) {
        const auto start = Clock::now();
        benchmark::DoNotOptimize(CheckFrame(geometry, unended.data(), unended.size(), false).status);
        uncheckedEnd.push_back(Seconds(start));
    }
    const double copy = MemcpySeconds(geometry.rowBytes * geometry.height);
    const double ringCopy = MemcpySeconds(geometry.rowBytes * geometry.height, images.size());
    const double coreMedian = Median(core), decodeMedian = Median(decode);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * geometry.rowBytes * geometry.height));
    state.counters["vs_memcpy"] = coreMedian / copy;
    state.counters["decode_vs_memcpy"] = decodeMedian / copy;
    state.counters["overhead_pct"] = 100.0 * (coreMedian - decodeMedian) / decodeMedian;
    state.counters["check_pct"] = 100.0 * Median(check) / coreMedian;
    state.counters["check_unended_pct"] = 100.0 * Median(uncheckedEnd) / coreMedian;
    state.counters["memcpy_ms"] = copy * 1e3;
    state.counters["vs_ring_memcpy"] = coreMedian / ringCopy;
}

void Register() {
    struct Entry {
        const char* name;
        uint8_t type;
    } entries[] = {{"RAW8", 0x2A},  {"RGB888", 0x24}, {"RAW10", 0x2B},     {"RAW12", 0x2C},
                   {"RAW16", 0x2E}, {"RAW20", 0x2F},  {"RAW24", 0x27},     {"YUV422_10", 0x1F},
                   {"YUV422_8", 0x1E}, {"YUV422_8_swapped", 0xFE}};
    for (const Entry& entry : entries) {
        const bool eightBitOnly = FindDataFormat(entry.type)->depth == 8;
        const bool hasPipeline = entry.type == 0x2C || entry.type == 0x1E;
        for (bool limitTo8 : {false, true}) {
            if (eightBitOnly && limitTo8) continue;
            for (const char* implementation : {"CPU", "CPU_LEGACY"}) {
                if (!hasPipeline && std::string(implementation) == "CPU_LEGACY") continue;
                const std::string name = std::string("Core/") + entry.name +
                                         (eightBitOnly || limitTo8 ? "/8bit/" : "/16bit/") +
                                         (hasPipeline ? implementation : "unpackers");
                // Frames with line markers, where packets stand between every two lines, for
                // the types and implementations the checks' figure is reported for.
                const bool withMarkers = !limitTo8 && std::string(implementation) == "CPU" &&
                                         (entry.type == 0x2A || entry.type == 0x2B || entry.type == 0x2C ||
                                          entry.type == 0x1E);
                for (const bool markers : {false, true}) {
                    if (markers && !withMarkers) continue;
                    benchmark::RegisterBenchmark((name + (markers ? "/line_markers" : "")).c_str(), Core, entry.type,
                                                 implementation, limitTo8, markers)
                        ->Unit(benchmark::kMillisecond)
                        ->UseManualTime()
                        ->Iterations(40)
                        ->Repetitions(5)
                        ->ReportAggregatesOnly(true);
                }
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
