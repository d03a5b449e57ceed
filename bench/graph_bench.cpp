// The whole life-cycle path of an element (Core calls, reading, writing, publication, the
// run of sequential readers) beside the rings alone, measured in the same run: a source ->
// pass-through -> sink graph of the test components run by the host, and the same two hops
// as bare output rings with a relay thread, over elements of 64 bytes and of 7.4 MB.
// Every input is a NeverSkippingReader, so nothing is lost and the writer waits for space.
//
// Per element:
//   graph_ns     from the sink's first element to its last, divided by the elements between;
//                threaded: three component threads; sequential: the pass-through and the
//                sink run by their writers, all in the source's thread
//   ring_ns      the two-hop ring chain (writer, relay thread, reader thread) alone
//   over_ring_ns graph_ns - ring_ns: what the life cycle adds
// Only the first item of an element is written and passed on: the cost measured is the
// hand-off, never a copy of the bytes.
#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "dataflow/fast_io.hpp"
#include "host_graph.hpp"
#include "host_kernel.hpp"
#include "support/test_components.hpp"
#include "tarn/dataflow/reader_type.hpp"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int FifoSize = 16;

long batchFor(long bytes) {
    return bytes > 1'000'000 ? 2'000 : 20'000;
}

// ---- The rings alone --------------------------------------------------------------------------

struct Slot {
    const uint8_t* data = nullptr;
    long sequence = 0;
};
using SlotRing = TARNFastIO<Slot>;

// Takes the reader's next slot, waiting for it.
TARNListIterator take(SlotRing& ring, int id) {
    TARNListIterator slot = nullptr;
    TARNEvent* events[2] = {nullptr, nullptr};
    int taken = ring.StartReadingX(id, &events[0], &events[1], &slot);
    while (!taken) taken = ring.AchieveStartReadingX(id, TARNEvent::Wait(2, events, -1), &slot);
    return slot;
}

// Writer (this thread) -> ring 1 -> relay thread -> ring 2 -> reader thread; per element,
// seconds of one batch.
double ringChain(long bytes, long batch) {
    std::vector<std::vector<uint8_t>> buffers(2 * FifoSize,
                                              std::vector<uint8_t>(static_cast<size_t>(bytes), 0x5a));
    TARNEvent owner;
    SlotRing first(&owner, FifoSize, 1), second(&owner, FifoSize, 1);
    int buffer = 0;
    for (SlotRing* ring : {&first, &second})
        for (TARNListIterator at = ring->InitBegin(); at; SlotRing::InitNext(at))
            SlotRing::Element(at).data = buffers[static_cast<size_t>(buffer++)].data();
    const int relayId = first.RegisterReader(NeverSkippingReader);
    const int readerId = second.RegisterReader(NeverSkippingReader);
    std::atomic<long> seen{0};
    std::thread relay([&] {
        try {
            for (;;) {
                TARNListIterator in = take(first, relayId);
                TARNListIterator out = second.StartWriting();
                SlotRing::Element(out).sequence = SlotRing::Element(in).sequence;
                const_cast<uint8_t*>(SlotRing::Element(out).data)[0] = SlotRing::Element(in).data[0];
                first.StopReading(relayId, in);
                second.StopWriting(out, false);
            }
        } catch (int) {
        }
    });
    std::thread reader([&] {
        try {
            for (;;) {
                TARNListIterator in = take(second, readerId);
                benchmark::DoNotOptimize(SlotRing::Element(in).data[0]);
                const long sequence = SlotRing::Element(in).sequence;
                second.StopReading(readerId, in);
                seen.store(sequence, std::memory_order_release);
            }
        } catch (int) {
        }
    });
    const Clock::time_point start = Clock::now();
    for (long i = 1; i <= batch; ++i) {
        TARNListIterator out = first.StartWriting();
        SlotRing::Element(out).sequence = i;
        const_cast<uint8_t*>(SlotRing::Element(out).data)[0] = static_cast<uint8_t>(i);
        first.StopWriting(out, false);
    }
    while (seen.load(std::memory_order_acquire) < batch) std::this_thread::yield();
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    owner.Set();
    relay.join();
    reader.join();
    return seconds / static_cast<double>(batch);
}

// ---- The graph ------------------------------------------------------------------------------

// Per element, seconds between the sink's first and last elements of one batch.
double graphRun(HostKernel& kernel, long bytes, long batch, bool threaded) {
    using namespace test_components;
    HostGraph graph(kernel);
    graph.AddProgramModels();
    const std::string items = std::to_string(bytes / 4);
    const char* mode = threaded ? "true" : "false";
    graph.Create(SourceModel, "source");
    graph.Create(PassModel, "pass");
    graph.Create(SinkModel, "sink");
    graph.Set("source.count", std::to_string(batch));
    graph.Set("source.items", items);
    graph.Set("pass.items", items);
    graph.Set("pass.threaded", mode);
    graph.Set("sink.threaded", mode);
    graph.Set("sink.record", "false");
    graph.Connect("source.out", "pass.in");
    graph.Connect("pass.out", "sink.in");
    graph.Start();
    Sink& sink = *graph.Component<Sink>("sink");
    graph.RunUntil([&] { return sink.count.load() == batch; }, 600'000'000);
    const double seconds = static_cast<double>(sink.lastAt.load() - sink.firstAt.load()) * 1e-9;
    graph.Stop();
    return seconds / static_cast<double>(batch - 1);
}

void Graph(benchmark::State& state) {
    const long bytes = state.range(0);
    const bool threaded = state.range(1) != 0;
    const long batch = batchFor(bytes);
    HostKernel kernel;
    double graphSum = 0, ringSum = 0;
    long runs = 0;
    for (auto _ : state) {
        const double graphSeconds = graphRun(kernel, bytes, batch, threaded);
        const double ringSeconds = ringChain(bytes, batch);
        graphSum += graphSeconds;
        ringSum += ringSeconds;
        ++runs;
        state.SetIterationTime(graphSeconds * static_cast<double>(batch));
    }
    const double graphNs = graphSum / static_cast<double>(runs) * 1e9;
    const double ringNs = ringSum / static_cast<double>(runs) * 1e9;
    state.SetItemsProcessed(runs * batch);
    state.counters["graph_ns"] = graphNs;
    state.counters["ring_ns"] = ringNs;
    state.counters["over_ring_ns"] = graphNs - ringNs;
    state.counters["elements_per_s"] = 1e9 / graphNs;
    state.SetLabel(std::string(threaded ? "threaded" : "sequential") +
                   (bytes > 1'000'000 ? " 7.4MB" : " 64B"));
}

BENCHMARK(Graph)
    ->ArgsProduct({{64, 7'400'000}, {1, 0}})
    ->ArgNames({"bytes", "threaded"})
    ->UseManualTime()
    ->Iterations(5)
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
