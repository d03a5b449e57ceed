// A frame through the decode graph of "tarnhost decode" (capture source -> the CPU
// package's decoder -> image sink, no files written), beside the decoder's own Core time
// for the same frames in the same run (its "benchmark_component" report). Frames of
// 4096 x 2160 RAW12 read from a capture file in the page cache, decoded by the CPU
// pipeline. Run from a release build:
//   cmake --preset release && cmake --build --preset release --target decode_graph_bench
//   build/release/bench/decode_graph_bench
// Counters (medians of the runs):
//   graph_ms       a frame through the graph: from the sink's first image to its last,
//                  divided by the images between (the manual time)
//   core_ms        the decoder's mean Core time over the same frames (its own report)
//   graph_vs_core  graph_ms / core_ms: what reading the file, the rings and the sink add
//                  beside the decoder
//   steady_ms      graph_ms once the decoder's output ring is warm (from its 17th image:
//                  the first write of each of its 16 images faults fresh memory in)
//   alone_ms       Core alone in the steady state: a decoder fed the same frame by hand,
//                  one pass timed after 16 untimed ones, the frame just written (in the cache)
//   run_ms         from the graph's start to its last image, per frame: start-up included
//   read_ms        reading one frame from the file into one buffer, alone: the source's floor
// The argument is the FIFO size of the source's output (4 by default): how many frames it may
// read ahead. The capture, 48 frames (640 MB), is written to $TMPDIR (or /tmp) and removed
// at the end.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "capture_source.hpp"
#include "csi2ipl/csi2ipl_component.hpp"
#include "host_graph.hpp"
#include "host_kernel.hpp"
#include "host_recorder.hpp"
#include "image_sink.hpp"
#include "random_frame.hpp"
#include "support/component_stepper.hpp"
#include "support/feeding_source.hpp"
#include "tarn/dataflow/input.hpp"
#include "tarn/engine/engine_graph.hpp"

namespace {

using Clock = std::chrono::steady_clock;

constexpr uint32_t Width = 4096, Height = 2160;
constexpr int Frames = 48;
// Images of the decoder's output ring: the frames before the steady state.
constexpr int WarmUp = 16;

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

// The capture, written once for the whole program: the same random frame again and again
// (the decode's cost does not depend on the values).
struct Capture {
    std::string path;
    std::vector<uint8_t> frame;
    Capture() {
        const char* folder = std::getenv("TMPDIR");
        path = std::string(folder != nullptr ? folder : "/tmp") + "/decode_graph_bench_" +
               std::to_string(getpid()) + ".bin";
        frame = RandomFrame(0x2C, Width / 2 * 3, Height);
        std::FILE* file = std::fopen(path.c_str(), "wb");
        for (int i = 0; file != nullptr && i < Frames; ++i) std::fwrite(frame.data(), 1, frame.size(), file);
        if (file != nullptr) std::fclose(file);
    }
    ~Capture() { std::remove(path.c_str()); }
};

const Capture& TheCapture() {
    static const Capture capture;
    return capture;
}

// One frame read from the capture into the same buffer, the median of a pass over the file.
double ReadSeconds(const Capture& capture) {
    std::vector<uint8_t> buffer(capture.frame.size());
    const int file = open(capture.path.c_str(), O_RDONLY);
    std::vector<double> reads;
    for (int i = 0; i < Frames; ++i) {
        const auto start = Clock::now();
        size_t got = 0;
        while (got < buffer.size()) {
            const ssize_t now = pread(file, buffer.data() + got, buffer.size() - got,
                                      static_cast<off_t>(i * buffer.size() + got));
            if (now <= 0) break;
            got += static_cast<size_t>(now);
        }
        reads.push_back(std::chrono::duration<double>(Clock::now() - start).count());
    }
    close(file);
    return Median(reads);
}

// One Core pass of a decoder fed `frame`, after WarmUp untimed ones; the median of a few.
double CoreSeconds(const std::vector<uint8_t>& frame) {
    HostKernel kernel;
    FeedingSource source("source");
    TARNOutput& frames = source.VectorOutput("frames", TARNTypeInfo::Stream8 | TARNTypeInfo::Vector,
                                             static_cast<int>(frame.size()));
    std::unique_ptr<TARNComponent> decoder(
        static_cast<TARNComponent*>(TARNcsi2ipl::Instantiate("decoder", TARNcsi2ipl::s_componentDefinition)));
    TARN::Attach(frames, decoder->Input("raw_image"));
    decoder->Set(decoder->Property("CSI2_Dataformat"), "0x2c_RAW12");
    decoder->Set(decoder->Property("decoding_implementation"), "CPU");
    decoder->Set(decoder->Property("skip_first_frames"), false);
    ComponentStepper stepper(*decoder);
    stepper.Begin();
    std::vector<double> passes;
    for (int pass = 0; pass < Frames; ++pass) {
        // Publishing the frame is the source's work, not Core's.
        source.WriteBytes(frames, frame, pass + 1);
        const auto start = Clock::now();
        stepper.Pass();
        if (pass >= WarmUp) passes.push_back(std::chrono::duration<double>(Clock::now() - start).count());
    }
    stepper.Finish();
    return Median(passes);
}

// "Time in core: X ms" of the decoder's report at its death; 0 when none came.
double CoreMilliseconds(const HostRecorder& recorder) {
    const std::string label = "Time in core: ";
    for (const HostReport& report : recorder.Reports()) {
        const size_t at = report.message.find(label);
        if (at != std::string::npos) return std::atof(report.message.c_str() + at + label.size());
    }
    return 0;
}

void DecodeGraph(benchmark::State& state) {
    const Capture& capture = TheCapture();
    std::vector<double> graph, core, steady, alone, run;
    for (auto _ : state) {
        {
            HostKernel kernel;
            HostRecorder recorder(kernel);
            HostGraph host(kernel);
            std::string error;
            if (!host.LoadPackage(PIXTRACT_CPU_PATH, error)) {
                state.SkipWithError(error.c_str());
                return;
            }
            host.AddModel(CaptureSource::Definition());
            host.AddModel(ImageSink::Definition());
            const bool made =
                host.Create(CaptureSource::Model, "capture") && host.Create("csi2ipl_cpu", "decoder") &&
                host.Create(ImageSink::Model, "images") && host.Set("capture.path", capture.path) &&
                host.Set("capture.frames.fifosize", std::to_string(state.range(0))) &&
                host.Set("decoder.raw_image.readerType", "1") &&
                host.Set("decoder.CSI2_Dataformat", "0x2c_RAW12") &&
                host.Set("decoder.decoding_implementation", "CPU") &&
                host.Set("decoder.skip_first_frames", "false") &&
                host.Set("decoder.benchmark_component", "true") &&
                host.Connect("capture.frames", "decoder.raw_image") &&
                host.Connect("decoder.ipl_image", "images.images");
            if (!made) {
                state.SkipWithError("the graph cannot be made");
                return;
            }
            std::atomic<long> images{0};
            std::atomic<Clock::rep> first{0}, warm{0}, last{0};
            // On the sink's thread, one image after the other.
            host.Component<ImageSink>("images")->taken = [&](long, ImageSink::Fate) {
                const Clock::rep now = Clock::now().time_since_epoch().count();
                if (images.load() == 0) first = now;
                if (images.load() == WarmUp) warm = now;
                last = now;
                ++images;
            };
            const Clock::time_point start = Clock::now();
            host.Start();
            const bool all = host.RunUntil([&] { return images.load() == Frames; }, 120'000'000);
            host.Stop();
            if (!all) {
                state.SkipWithError("not every frame came out");
                return;
            }
            auto seconds = [](Clock::rep from, Clock::rep to) {
                return std::chrono::duration<double>(Clock::duration(to - from)).count();
            };
            graph.push_back(seconds(first, last) / (Frames - 1));
            steady.push_back(seconds(warm, last) / (Frames - 1 - WarmUp));
            run.push_back(seconds(start.time_since_epoch().count(), last) / Frames);
            core.push_back(CoreMilliseconds(recorder) * 1e-3);
            state.SetIterationTime(graph.back());
        }
        alone.push_back(CoreSeconds(capture.frame));
    }
    const double graphMedian = Median(graph), coreMedian = Median(core);
    state.counters["graph_ms"] = graphMedian * 1e3;
    state.counters["core_ms"] = coreMedian * 1e3;
    state.counters["graph_vs_core"] = coreMedian > 0 ? graphMedian / coreMedian : 0;
    state.counters["steady_ms"] = Median(steady) * 1e3;
    state.counters["alone_ms"] = Median(alone) * 1e3;
    state.counters["run_ms"] = Median(run) * 1e3;
    state.counters["read_ms"] = ReadSeconds(capture) * 1e3;
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(capture.frame.size()));
    state.SetLabel("4096x2160 RAW12, CPU pipeline");
}

BENCHMARK(DecodeGraph)
    ->ArgName("fifo")
    ->Arg(2)
    ->Arg(4)
    ->UseManualTime()
    ->Iterations(7)
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
