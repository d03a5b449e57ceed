// TARNFastIO across threads: the writer's wait for a NeverSkippingReader and each way out of
// it, the writer's choice made again after a failed wait, a reader woken for a slot that the
// writer took back before it came, and one writer against 32 readers of every kind with
// subsampling on both sides; the last give-back to an abandoned ring against the unloading
// that deletes such rings. Each handshake waits for the other thread's wait to begin (the
// host's event service counts them) with a deadline.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "dataflow/abandoned_rings.hpp"
#include "fast_io_fixture.hpp"

namespace {

constexpr int Abort = 57005;
constexpr int TimedOut = -3;

// StartWriting on a thread of its own (with the writer's own give-up event, when given),
// keeping what it returned or threw.
class WriterThread {
  public:
    explicit WriterThread(FrameRing& ring, TARNEvent* giveUp = nullptr)
        : m_thread([this, &ring, giveUp] {
              try {
                  slot = ring.StartWriting(giveUp);
                  thrown = 0;
              } catch (int code) {
                  thrown = code;
              }
              finished = true;
          }) {}
    ~WriterThread() { Join(); }
    void Join() {
        if (m_thread.joinable()) m_thread.join();
    }

    TARNListIterator slot = nullptr;
    int thrown = 1;
    std::atomic<bool> finished{false};

  private:
    std::thread m_thread;
};

// A plain FifoReader that never reads rides along: only the NeverSkippingReader holds the
// writer back, and once it has read, the writer laps the other.
TEST_F(FastIOTest, WriterWaitsForANeverSkippingReaderUntilAWayOut) {
    struct WayOut {
        const char* name;
        long writerTimeout;
        std::function<void(FrameRing&, int reader)> act;
        int thrown;
        bool slot;
    };
    TARNEvent giveUp(false);
    const WayOut ways[] = {
        {"the reader takes the slot and gives it back", 10'000'000,
         [](FrameRing& ring, int reader) { ring.StopReading(reader, Take(ring, reader)); }, 0, true},
        {"the owner dies", -1, [this](FrameRing&, int) { owner.Set(); }, Abort, false},
        {"the writing is aborted", -1, [](FrameRing& ring, int) { ring.AbortWriting(); }, 0, false},
        {"the writer gives up (its own death)", -1, [&giveUp](FrameRing&, int) { giveUp.Set(); }, 0, false},
        {"the writer's time-out", 1000, [](FrameRing&, int) {}, TimedOut, false},
    };
    for (const WayOut& way : ways) {
        SCOPED_TRACE(way.name);
        owner.Reset();
        giveUp.Reset();
        overflows = 0;
        auto ring = MakeRing(1);
        ring->SetWriterTimeout(way.writerTimeout);
        const int reader = ring->RegisterReader(NeverSkippingReader);
        ring->RegisterReader(FifoReader);
        Write(*ring, 1);

        const long waits = kernel.Events().WaitsStarted();
        WriterThread writer(*ring, &giveUp);
        ASSERT_TRUE(WaitsStarted(waits + 1)) << "the writer never waited";
        ring->Mutex().Lock();
        EXPECT_EQ(FrameRing::Slot(ring->InitBegin()).State(), TARNFastIOState::Written)
            << "the waiting writer took nothing yet";
        ring->Mutex().Release();
        way.act(*ring, reader);
        // A way out that did not end the wait fails here; the owner's death then ends it.
        if (!Eventually([&] { return writer.finished.load(); })) {
            ADD_FAILURE() << "the writer still waits";
            owner.Set();
        }
        writer.Join();

        EXPECT_EQ(writer.thrown, way.thrown);
        EXPECT_EQ(writer.slot != nullptr, way.slot);
        EXPECT_EQ(overflows, way.slot ? 1 : 0) << "only the FifoReader is lapped, once";
        // Every way out left the ring mutex released.
        if (writer.slot) ring->StopWriting(writer.slot, true);
        EXPECT_EQ(ring->FifoSize(), 1);
    }
}

TEST_F(FastIOTest, AfterAFailedWaitTheWriterChoosesAgainUnderTheLock) {
    auto ring = MakeRing(2);
    const int reader = ring->RegisterReader(NeverSkippingReader);
    Write(*ring, 1);
    Write(*ring, 2);

    // The writer waits for 1 to be read; its wait will end in a failure (-4), after the
    // reader took 1 meanwhile.
    kernel.Events().HoldNextWait(-4);
    const long waits = kernel.Events().WaitsStarted();
    WriterThread writer(*ring);
    const bool waited = WaitsStarted(waits + 1);
    TARNListIterator held = waited ? Take(*ring, reader) : nullptr;
    kernel.Events().ReleaseHeldWait();
    writer.Join();
    ASSERT_TRUE(waited) << "the writer never waited";

    ASSERT_EQ(FrameRing::Element(held).sequence, 1);
    ASSERT_NE(writer.slot, nullptr);
    EXPECT_NE(writer.slot, held) << "the writer took the slot that the reader holds";
    EXPECT_EQ(FrameRing::Element(writer.slot).sequence, 2) << "gives up waiting and overwrites what is left";
    EXPECT_EQ(FrameRing::Slot(held).State(), TARNFastIOState::BeingRead);
    EXPECT_EQ(overflows, 1);
    ring->StopWriting(writer.slot, true);
    ring->StopReading(reader, held);
    EXPECT_EQ(ReportTexts(), std::vector<std::string>{});
}

TEST_F(FastIOTest, ReaderWokenForASlotTheWriterTookBackWaitsForTheNextOne) {
    for (int kind : {FifoReader, NeverSkippingReader, LastOrNextReader, Wait4NextReader, SamplingReader}) {
        SCOPED_TRACE(kind);
        auto ring = MakeRing(1);
        const int reader = ring->RegisterReader(kind);
        overflows = 0;

        // The reader's wait ends only when the test lets it go, as if its thread were slow.
        kernel.Events().HoldNextWait(0);
        const long waits = kernel.Events().WaitsStarted();
        int seen = 0, thrown = 0;
        std::thread thread([&] {
            try {
                TARNListIterator slot = Take(*ring, reader, 10'000'000);
                seen = FrameRing::Element(slot).sequence;
                ring->StopReading(reader, slot);
            } catch (int code) {
                thrown = code;
            }
        });
        ASSERT_TRUE(WaitsStarted(waits + 1));
        Write(*ring, 1);  // wakes the reader ...
        TARNListIterator writing = kind == NeverSkippingReader ? nullptr : ring->StartWriting();
        if (writing) FrameRing::Element(writing).sequence = 2;  // ... but the writer takes 1's slot back
        kernel.Events().ReleaseHeldWait();

        if (writing) {
            EXPECT_TRUE(WaitsStarted(waits + 2)) << "the reader did not wait again";
            ring->StopWriting(writing, false);
        }
        thread.join();
        EXPECT_EQ(thrown, 0);
        EXPECT_EQ(seen, writing ? 2 : 1) << "a NeverSkippingReader's slot is not taken back";
        EXPECT_EQ(overflows, IsFifoReaderType(kind) && writing ? 1 : 0);
        EXPECT_EQ(ReportTexts(), std::vector<std::string>{});
    }
}

// A payload that runs a step of the test when the ring deletes it, which the ring does under
// its mutex when the last holder gives a slot set aside back.
struct Hooked {
    ~Hooked() {
        if (onDestroy) std::exchange(onDestroy, nullptr)();
    }
    static inline std::function<void()> onDestroy;
};

// The unloading takes an abandoned ring off its list while the ring's last holder is giving
// its slot back: the holder must then leave the ring to the unloading, reading nothing of it
// once it let the ring mutex go, and the unloading must wait for that mutex before it
// deletes the ring. (ThreadSanitizer tells a holder that reads the ring after its mutex.)
TEST_F(FastIOTest, TheLastGiveBackLeavesARingTheUnloadingTookToIt) {
    using HookedRing = TARNFastIO<Hooked>;
    const int ringsBefore = TARNPrivate::AbandonedRingCount();
    auto* ring = new HookedRing(&owner, 2, 1);
    const int holder = ring->RegisterReader(FifoReader);
    ring->StopWriting(ring->StartWriting(), false);
    TARNListIterator held = nullptr;
    TARNEvent* events[2] = {nullptr, nullptr};
    ASSERT_EQ(ring->StartReadingX(holder, &events[0], &events[1], &held), 1);
    ring->UnregisterReader(holder, true);
    HookedRing::Abandon(ring);
    ASSERT_EQ(TARNPrivate::AbandonedRingCount(), ringsBefore + 1);

    std::thread unloading;
    bool tookIt = false;
    Hooked::onDestroy = [&] {
        unloading = std::thread([] { TARNPrivate::DestroyAbandonedRings(); });
        tookIt = Eventually([&] { return TARNPrivate::AbandonedRingCount() == ringsBefore; });
    };
    ring->StopReading(holder, held);
    unloading.join();
    EXPECT_TRUE(tookIt) << "the unloading never took the ring off its list";
    EXPECT_EQ(TARNPrivate::AbandonedRingCount(), ringsBefore);
    EXPECT_EQ(ReportTexts(), std::vector<std::string>{});
}

// One writer against many readers of every kind, NeverSkippingReaders with reader subsampling
// 1 to 3, over an output subsampling of 1 or 3. Whatever the timing, each kind sees what it
// promises. Each reader holds one slot at most, so a ring one slot longer than the readers
// always has a slot for the writer.
struct ManyReadersCase {
    const char* name;
    int readers;
    const char* kinds;  // taken in turn: F FifoReader, N NeverSkipping, L LastOrNext, W Wait4Next, S Sampling
    int outputSubsampling;
};

const ManyReadersCase manyReadersCases[] = {
    // The NeverSkippingReaders pace the writer.
    {"ThirtyTwoReadersOfEveryKind", 32, "FNLWS", 1},
    {"ThirtyTwoReadersOfEveryKindOutputSubsampling3", 32, "FNLWS", 3},
    // Nothing paces the writer: it laps the FIFO readers over and over.
    {"UnpacedWriterLapsItsReaders", 8, "FLWS", 1},
    {"UnpacedWriterLapsItsReadersOutputSubsampling3", 8, "FLWS", 3},
};

void PrintTo(const ManyReadersCase& test, std::ostream* out) {
    *out << test.name;
}

class OneWriterManyReaders : public FastIOTest, public ::testing::WithParamInterface<ManyReadersCase> {};

TEST_P(OneWriterManyReaders, EachKindSeesWhatItPromises) {
    const ManyReadersCase& test = GetParam();
    const int outputSubsampling = test.outputSubsampling;
    constexpr int Published = 240;  // a multiple of every reader subsampling
    const int last = Published * outputSubsampling;
    constexpr long Deadline = 10'000'000;
    const std::string letters = "FNLWS";

    auto ring = MakeRing(test.readers + 1, outputSubsampling);
    ring->SetWriterTimeout(Deadline);
    struct Run {
        int id = -1;
        int kind = FifoReader;
        int subsampling = 1;
        std::vector<int> seen;
        int thrown = 0;
    };
    std::vector<Run> runs;
    const int kindCount = static_cast<int>(std::strlen(test.kinds));
    for (int i = 0; i < test.readers; ++i) {
        const int kind = static_cast<int>(letters.find(test.kinds[i % kindCount]));
        Run run;
        run.id = ring->RegisterReader(kind);
        run.kind = kind;
        if (run.kind == NeverSkippingReader) {
            run.subsampling = 1 + i / kindCount % 3;
            ring->SetSubsamplingRate(run.id, run.subsampling);
        }
        runs.push_back(run);
    }

    // What an input does: a pass takes `subsampling` elements and delivers only the last;
    // until the last element, or until the writer or a reader gave up waiting: then every
    // reader stops (a SamplingReader never waits, and its releases would keep waking a
    // waiting writer) and so does the writer.
    std::atomic<bool> gaveUp{false};
    const auto read = [&](Run& run) {
        try {
            while (!gaveUp) {
                TARNListIterator kept = nullptr;
                for (int i = 0; i < run.subsampling; ++i) {
                    if (kept) ring->StopReading(run.id, kept);
                    kept = Take(*ring, run.id, Deadline);
                }
                run.seen.push_back(FrameRing::Element(kept).sequence);
                ring->StopReading(run.id, kept);
                if (run.seen.back() == last) return;
                if (run.kind == SamplingReader) std::this_thread::yield();  // it never waits
            }
        } catch (int code) {
            run.thrown = code;
            // The owner's death ends the Wait4NextReaders once the writer is done.
            if (code != Abort) gaveUp = true;
        }
    };
    std::vector<std::thread> threads;
    for (Run& run : runs) threads.emplace_back(read, std::ref(run));

    int writerThrew = 0;
    try {
        for (int sequence = 1; sequence <= last && !gaveUp; ++sequence) {
            TARNListIterator slot = ring->StartWriting();
            FrameRing::Element(slot).sequence = sequence;
            ring->StopWriting(slot, false);
        }
    } catch (int code) {
        writerThrew = code;
        gaveUp = true;
    }
    // Readers still waiting leave on the owner's death.
    if (gaveUp) owner.Set();
    // The Wait4NextReaders may be waiting for a publication that will not come: they stop
    // when the owner dies, once the others have all seen the last element.
    for (size_t i = 0; i < runs.size(); ++i)
        if (runs[i].kind != Wait4NextReader) threads[i].join();
    owner.Set();
    for (std::thread& thread : threads)
        if (thread.joinable()) thread.join();
    ASSERT_FALSE(gaveUp) << "a reader or the writer waited in vain (the writer threw " << writerThrew << ")";

    const auto isPublished = [&](int sequence) { return sequence % outputSubsampling == 0; };
    for (const Run& run : runs) {
        SCOPED_TRACE("reader " + std::to_string(run.id) + " of kind " + std::to_string(run.kind));
        EXPECT_EQ(run.thrown,
                  run.kind == Wait4NextReader && (run.seen.empty() || run.seen.back() != last) ? Abort : 0);
        if (run.kind == Wait4NextReader && run.seen.empty()) continue;  // it came after the last publication
        for (size_t i = 0; i < run.seen.size(); ++i) {
            ASSERT_TRUE(isPublished(run.seen[i])) << run.seen[i] << " was never published";
            if (i == 0) continue;
            if (run.kind == SamplingReader) {
                ASSERT_LE(run.seen[i - 1], run.seen[i]);
            } else {
                ASSERT_LT(run.seen[i - 1], run.seen[i]) << "taken twice or out of order";
            }
        }
        if (run.kind != Wait4NextReader) {
            EXPECT_EQ(run.seen.back(), last);
        }
        if (run.kind == NeverSkippingReader) {
            EXPECT_EQ(run.seen.size(), size_t(Published / run.subsampling))
                << "never skips, delivers one in " << run.subsampling;
            EXPECT_EQ(run.seen.front(), run.subsampling * outputSubsampling);
        }
        if (run.kind == FifoReader) {
            EXPECT_LE(Published - static_cast<int>(run.seen.size()), overflows) << "every loss was signalled";
        }
    }
    EXPECT_TRUE(ring->IsEmpty()) << "every FIFO-group reader took everything, and nothing is held";
    for (TARNListIterator at = ring->InitBegin(); at; FrameRing::InitNext(at))
        EXPECT_NE(FrameRing::Slot(at).State(), TARNFastIOState::BeingWritten);
    EXPECT_EQ(ReportTexts(), std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(FastIO, OneWriterManyReaders, ::testing::ValuesIn(manyReadersCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
