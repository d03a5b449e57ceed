// The ring tests' fixture: a TARNFastIO over a small payload that can be neither copied nor
// moved (the ring must never do either) and counts its lives, on a bound host kernel whose
// event service serves the waits, with the overflow callback counted.
#pragma once

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include "dataflow/fast_io.hpp"
#include "module_fixture.hpp"

struct Frame {
    Frame() { ++alive; }
    ~Frame() { --alive; }
    Frame(const Frame&) = delete;
    Frame& operator=(const Frame&) = delete;

    // What the writer wrote: the tests number the written elements from 1.
    int sequence = 0;
    // Payloads in existence (the single-threaded tests read it).
    static inline std::atomic<int> alive{0};
};

using FrameRing = TARNFastIO<Frame>;

class FastIOTest : public ModuleTest {
  protected:
    std::unique_ptr<FrameRing> MakeRing(int fifoSize, int outputSubsampling = 1) {
        return std::make_unique<FrameRing>(&owner, fifoSize, outputSubsampling, &CountOverflow, &overflows);
    }

    // Writes `sequence` into a new slot and hands it back (published unless `discard`).
    static void Write(FrameRing& ring, int sequence, bool discard = false) {
        TARNListIterator slot = ring.StartWriting();
        ASSERT_NE(slot, nullptr);
        FrameRing::Element(slot).sequence = sequence;
        ring.StopWriting(slot, discard);
    }

    // The whole reading protocol of an input, on this thread: takes the reader's next slot,
    // waiting as long as needed. A wait ended by the owner event throws 57005; one that
    // lasts `timeout` microseconds (-1: no limit) throws -4.
    static TARNListIterator Take(FrameRing& ring, int reader, long timeout = -1) {
        TARNListIterator slot = nullptr;
        TARNEvent* events[2] = {nullptr, nullptr};
        int taken = ring.StartReadingX(reader, &events[0], &events[1], &slot);
        while (!taken) taken = ring.AchieveStartReadingX(reader, TARNEvent::Wait(2, events, timeout), &slot);
        return slot;
    }

    // Polls `ready` until it holds; false when it still does not after ten seconds, so that a
    // broken handshake fails the test instead of hanging it.
    template <class Ready>
    static bool Eventually(Ready ready) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!ready()) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return true;
    }
    // True once `total` waits in all have begun in the host's event service.
    bool WaitsStarted(long total) {
        return Eventually([&] { return kernel.Events().WaitsStarted() >= total; });
    }

    static void CountOverflow(void* counter) { ++*static_cast<std::atomic<int>*>(counter); }

    TARNEvent owner;
    std::atomic<int> overflows{0};
};
