// The host's automatic trigger thread with several triggers pending at once: triggers armed,
// re-armed and dropped while it sleeps until the earliest of them, and timed waits on engine
// time arming triggers from several threads while the time changes under them. Run under
// ThreadSanitizer as well as AddressSanitizer.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "support/host_kernel_fixture.hpp"
#include "tarn/engine/event.hpp"
#include "tarn/engine/wait_for_timestamp.hpp"

namespace {

constexpr long Millisecond = 1000;
constexpr long Hour = 3600L * 1000 * 1000;

class TriggerThread : public ManualTimeTest {
  protected:
    void SetUp() override {
        ManualTimeTest::SetUp();
        Events().SetManualTriggers(false);
    }
};

// Every trigger is armed while the thread sleeps until the earliest one before it, so the
// table grows (and moves) under the sleeping thread; then one is dropped and all re-armed,
// each the new earliest, and all of them fire.
TEST_F(TriggerThread, TriggersArmedWhileItSleepsAllFire) {
    constexpr int Count = 6;
    TARNEvent events[Count];
    long sleeps = 0;
    for (TARNEvent& event : events) {
        ASSERT_TRUE(event.SetTrigger(Hour));
        ASSERT_TRUE(Events().AwaitTriggerThreadSleeps(++sleeps));
    }
    // Dropping one in the middle moves the ones after it.
    events[2].ResetTrigger();
    EXPECT_EQ(Events().PendingTriggers(), Count - 1);
    for (int i = 0; i < Count; ++i) ASSERT_TRUE(events[i].SetTrigger((Count - i) * Millisecond));
    for (TARNEvent& event : events) EXPECT_EQ(event.Wait(-1), 0);
    EXPECT_EQ(Events().PendingTriggers(), 0);
    for (const TARNEvent& event : events) EXPECT_FALSE(event.triggerArmed);
}

// Six threads wait for timestamps on automatic triggers while the speed, the pause and the
// time change: each change wakes them and they drop their triggers and arm new ones. Once
// the time jumps past every timestamp, every wait ends reached.
TEST_F(TriggerThread, TimedWaitsOnSeveralThreadsFollowTheChangesOfTime) {
    constexpr int Waiters = 6;
    constexpr long T0 = 5'000'000;
    Time().SetCurrentTime(T0);
    std::vector<std::thread> threads;
    std::atomic<int> reached{0};
    std::atomic<int> thrown{0};
    for (int i = 0; i < Waiters; ++i) {
        threads.emplace_back([&, i] {
            try {
                if (TARN::WaitForTimestamp(T0 + (i + 1) * Millisecond, nullptr, nullptr)) ++reached;
            } catch (int) {
                ++thrown;
            }
        });
    }
    EXPECT_TRUE(Events().AwaitTriggerRequests(Waiters));
    for (int round = 0; round < 20; ++round) {
        Time().SetTimeSpeed(round % 2 ? 500 : 2000);
        Time().Pause();
        Time().AdvanceClock(100);
        Time().SetCurrentTime(T0 - round * Millisecond);
        Time().Resume();
    }
    Time().SetTimeSpeed(1000);
    Time().SetCurrentTime(T0 + Hour);
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(reached, Waiters);
    EXPECT_EQ(thrown, 0);
    EXPECT_EQ(Events().PendingTriggers(), 0);
}

}  // namespace
