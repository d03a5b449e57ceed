// Hand-off through the output ring (TARNFastIO) beside a plain mutex-and-condition-variable
// queue of pointers, both measured in the same run: one writer (the benchmark thread) and 1, 4
// or 16 readers on threads of their own, over elements of 64 bytes and of a 2560 x 1440 16-bit
// image. Every buffer is filled once, before the runs; a hand-off passes a slot (or a pointer),
// never the bytes, so the cost must not depend on the element size.
//
// A batch writes 2048 elements; it ends when every reader that can see the last one has read
// it. Per element:
//   ring_ns   write (StartWriting, StopWriting publishes), each reader's read and release;
//   queue_ns  the same buffer pointer pushed to one bounded queue per reader and popped there;
//   vs_queue  ring_ns / queue_ns.
// One reader is a NeverSkippingReader, which like the bounded queue makes the writer wait
// instead of losing elements. Several readers cycle through NeverSkipping, Fifo, LastOrNext
// and Wait4Next readers. SamplingReaders are left out: one with no work of its own takes the
// newest element again and again and only measures contention on the ring mutex.
#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "dataflow/fast_io.hpp"
#include "engine/kernel_pointer.hpp"
#include "host_kernel.hpp"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int FifoSize = 16;
constexpr long Batch = 2048;

// An output element as the ring holds it: a buffer that belongs to the output, and the
// writer's words.
struct Image {
    const uint8_t* data = nullptr;
    long sequence = 0;
};
using ImageRing = TARNFastIO<Image>;

// The output's buffer block: one buffer per slot, filled once.
struct BufferBlock {
    BufferBlock(size_t bytes) : buffers(FifoSize, std::vector<uint8_t>(bytes, 0x5a)) {}
    std::vector<std::vector<uint8_t>> buffers;
};

// ---- The ring -------------------------------------------------------------------------------

class RingReaders {
  public:
    RingReaders(ImageRing& ring, int count) : m_ring(ring), m_seen(count) {
        static const int kinds[] = {NeverSkippingReader, FifoReader, LastOrNextReader, Wait4NextReader};
        for (int i = 0; i < count; ++i) {
            const int kind = kinds[i % 4];
            const int id = ring.RegisterReader(kind);
            m_followed.push_back(kind != Wait4NextReader);  // may wait past the last element
            m_threads.emplace_back([this, id, i] { read(id, m_seen[i]); });
        }
    }
    // Waits until every reader that must see `sequence` has read it.
    void AwaitSeen(long sequence) {
        for (size_t i = 0; i < m_seen.size(); ++i)
            while (m_followed[i] && m_seen[i].load(std::memory_order_acquire) < sequence)
                std::this_thread::yield();
    }
    // The owner event ends every reader's wait.
    void Stop(TARNEvent& owner) {
        owner.Set();
        for (std::thread& thread : m_threads) thread.join();
    }

  private:
    void read(int id, std::atomic<long>& seen) {
        try {
            for (;;) {
                TARNListIterator slot = nullptr;
                TARNEvent* events[2] = {nullptr, nullptr};
                int taken = m_ring.StartReadingX(id, &events[0], &events[1], &slot);
                while (!taken) taken = m_ring.AchieveStartReadingX(id, TARNEvent::Wait(2, events, -1), &slot);
                const Image& image = ImageRing::Element(slot);
                benchmark::DoNotOptimize(image.data[0]);
                const long sequence = image.sequence;
                m_ring.StopReading(id, slot);
                seen.store(sequence, std::memory_order_release);
            }
        } catch (int) {
            // 57005: the owner died, the run is over.
        }
    }

    ImageRing& m_ring;
    std::vector<std::atomic<long>> m_seen;
    std::vector<bool> m_followed;
    std::vector<std::thread> m_threads;
};

// ---- The baseline: one bounded queue of pointers per reader ------------------------------------

class PointerQueue {
  public:
    void Push(const uint8_t* buffer) {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_notFull.wait(lock, [&] { return m_count < FifoSize; });
        m_items[(m_first + m_count++) % FifoSize] = buffer;
        lock.unlock();
        m_notEmpty.notify_one();
    }
    const uint8_t* Pop() {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_notEmpty.wait(lock, [&] { return m_count > 0; });
        const uint8_t* buffer = m_items[m_first];
        m_first = (m_first + 1) % FifoSize;
        --m_count;
        lock.unlock();
        m_notFull.notify_one();
        return buffer;
    }

  private:
    std::mutex m_mutex;
    std::condition_variable m_notEmpty;
    std::condition_variable m_notFull;
    const uint8_t* m_items[FifoSize] = {};
    int m_first = 0;
    int m_count = 0;
};

class QueueReaders {
  public:
    explicit QueueReaders(int count) : m_queues(count), m_popped(count) {
        for (int i = 0; i < count; ++i) m_threads.emplace_back([this, i] { read(m_queues[i], m_popped[i]); });
    }
    void Push(const uint8_t* buffer) {
        for (PointerQueue& queue : m_queues) queue.Push(buffer);
    }
    void AwaitPopped(long count) {
        for (std::atomic<long>& popped : m_popped)
            while (popped.load(std::memory_order_acquire) < count) std::this_thread::yield();
    }
    // A null pointer ends each reader.
    void Stop() {
        Push(nullptr);
        for (std::thread& thread : m_threads) thread.join();
    }

  private:
    static void read(PointerQueue& queue, std::atomic<long>& popped) {
        while (const uint8_t* buffer = queue.Pop()) {
            benchmark::DoNotOptimize(buffer[0]);
            popped.fetch_add(1, std::memory_order_release);
        }
    }

    std::vector<PointerQueue> m_queues;
    std::vector<std::atomic<long>> m_popped;
    std::vector<std::thread> m_threads;
};

void HandOff(benchmark::State& state) {
    const int readers = static_cast<int>(state.range(0));
    const size_t bytes = static_cast<size_t>(state.range(1));
    BufferBlock block(bytes);

    TARNEvent owner;
    ImageRing ring(&owner, FifoSize, 1);
    int buffer = 0;
    for (TARNListIterator at = ring.InitBegin(); at; ImageRing::InitNext(at))
        ImageRing::Element(at).data = block.buffers[buffer++].data();
    RingReaders ringReaders(ring, readers);
    QueueReaders queueReaders(readers);

    long written = 0;
    Clock::duration ringTime{}, queueTime{};
    for (auto _ : state) {
        const Clock::time_point start = Clock::now();
        for (long i = 0; i < Batch; ++i) {
            TARNListIterator slot = ring.StartWriting();
            ImageRing::Element(slot).sequence = written + i + 1;
            ring.StopWriting(slot, false);
        }
        ringReaders.AwaitSeen(written + Batch);
        const Clock::time_point ringDone = Clock::now();
        for (long i = 0; i < Batch; ++i) queueReaders.Push(block.buffers[i % FifoSize].data());
        queueReaders.AwaitPopped(written + Batch);
        const Clock::time_point queueDone = Clock::now();

        written += Batch;
        ringTime += ringDone - start;
        queueTime += queueDone - ringDone;
        state.SetIterationTime(std::chrono::duration<double>(ringDone - start).count());
    }
    ringReaders.Stop(owner);
    queueReaders.Stop();

    state.SetItemsProcessed(written);
    const double elements = static_cast<double>(written);
    state.counters["ring_ns"] = std::chrono::duration<double, std::nano>(ringTime).count() / elements;
    state.counters["queue_ns"] = std::chrono::duration<double, std::nano>(queueTime).count() / elements;
    state.counters["vs_queue"] =
        std::chrono::duration<double>(ringTime) / std::chrono::duration<double>(queueTime);
}

}  // namespace

int main(int argc, char** argv) {
    // The ring's waits go through the kernel's event service: the host kernel stands in.
    HostKernel kernel;
    TARNPrivate::kernel = &kernel;

    constexpr long Image16Bit2560x1440 = 2560L * 1440 * 2;
    for (int readers : {1, 4, 16})
        for (long bytes : {64L, Image16Bit2560x1440})
            benchmark::RegisterBenchmark("HandOff", HandOff)
                ->ArgNames({"readers", "bytes"})
                ->Args({readers, bytes})
                ->UseManualTime()
                ->Unit(benchmark::kMicrosecond);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    TARNPrivate::kernel = nullptr;
    return 0;
}
