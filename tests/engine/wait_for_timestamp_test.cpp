// TARN::WaitForTimestamp against the host's engine time and event service, driven by hand:
// the monotonic clock moves only when a test advances it and triggers fire only when a
// test fires them, so every wait is followed step by step.
#include "tarn/engine/wait_for_timestamp.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <climits>
#include <string>
#include <thread>
#include <vector>

#include "support/host_kernel_fixture.hpp"
#include "tarn/engine/event.hpp"

namespace {

constexpr long T0 = 5'000'000;
constexpr long Second = 1'000'000;

class WaitForTimestamp : public ManualTimeTest {
  protected:
    void SetUp() override {
        ManualTimeTest::SetUp();
        Time().SetCurrentTime(T0);
    }

    // Runs the wait on its own thread; Join gives its outcome.
    void Start(long timestamp, std::vector<TARNEvent*> cancel = {}) {
        m_cancel = std::move(cancel);
        m_thread = std::thread([this, timestamp] {
            try {
                reached = TARN::WaitForTimestamp(timestamp, static_cast<int>(m_cancel.size()),
                                                 m_cancel.empty() ? nullptr : m_cancel.data(), &cancelIndex,
                                                 &timeChanged);
            } catch (int code) {
                thrown = code;
            }
        });
    }
    void Join() { m_thread.join(); }

    bool reached = false;
    int cancelIndex = -2;
    bool timeChanged = false;
    int thrown = 0;

  private:
    std::vector<TARNEvent*> m_cancel;
    std::thread m_thread;
};

TEST_F(WaitForTimestamp, ReachedTimestampReturnsAtOnceWithoutATrigger) {
    bool changed = true;
    for (long timestamp : {T0 - Second, T0, T0 + 1}) {
        EXPECT_TRUE(TARN::WaitForTimestamp(timestamp, nullptr, &changed));
        EXPECT_FALSE(changed);
    }
    EXPECT_TRUE(recorder.RequestedDelays().empty());
    EXPECT_EQ(Time().BracketsOpened(), 3);
}

TEST_F(WaitForTimestamp, TriggerDelayFollowsTheSpeed) {
    struct Case {
        int speed;
        long delay;
    };
    for (Case c : {Case{1000, Second}, Case{2000, Second / 2}, Case{500, 2 * Second}}) {
        SCOPED_TRACE(c.speed);
        Time().SetCurrentTime(T0);
        Time().SetTimeSpeed(c.speed);
        const long requested = Events().TriggerRequests();
        Start(T0 + Second);
        EXPECT_TRUE(Events().AwaitTriggerRequests(requested + 1));
        EXPECT_EQ(recorder.RequestedDelays().back(), c.delay);
        Time().AdvanceClock(c.delay);
        EXPECT_EQ(Events().FireTriggers(), 1);
        Join();
        EXPECT_TRUE(reached);
        EXPECT_FALSE(timeChanged) << "woken by the trigger, not by a change of time";
    }
}

TEST_F(WaitForTimestamp, EarlyTriggerArmsAnotherForTheRest) {
    Start(T0 + Second);
    EXPECT_TRUE(Events().AwaitTriggerRequests(1));
    Time().AdvanceClock(400'000);
    Events().FireTriggers();
    EXPECT_TRUE(Events().AwaitTriggerRequests(2));
    EXPECT_EQ(recorder.RequestedDelays(), (std::vector<long>{Second, 600'000}));
    Time().AdvanceClock(600'000);
    Events().FireTriggers();
    Join();
    EXPECT_TRUE(reached);
}

TEST_F(WaitForTimestamp, PausedWaitArmsNoTriggerUntilResumed) {
    Time().Pause();
    Start(T0 + Second);
    EXPECT_TRUE(Events().AwaitWaits(1));
    EXPECT_TRUE(recorder.RequestedDelays().empty());
    Time().Resume();
    EXPECT_TRUE(Events().AwaitTriggerRequests(1));
    EXPECT_EQ(recorder.RequestedDelays(), std::vector<long>{Second});
    Time().AdvanceClock(Second);
    Events().FireTriggers();
    Join();
    EXPECT_TRUE(reached);
}

TEST_F(WaitForTimestamp, TimestampFoundReachedOnResumeReportsTheChange) {
    Time().Pause();
    Start(T0 + Second);
    EXPECT_TRUE(Events().AwaitWaits(1));
    Time().SetCurrentTime(T0 + Second);  // a jump while paused: still no trigger
    EXPECT_TRUE(Events().AwaitWaits(2));
    Time().Resume();
    Join();
    EXPECT_TRUE(reached);
    EXPECT_TRUE(timeChanged);
    EXPECT_TRUE(recorder.RequestedDelays().empty());
}

// The trigger fires, but time was paused meanwhile, short of the timestamp: not reached, the
// wait goes on without a trigger until time moves again (or, here, a cancel event fires).
TEST_F(WaitForTimestamp, TriggerThatFiresAfterAPauseKeepsWaiting) {
    TARNEvent cancel;
    Events().HoldNextWait(1);  // the first turn's wait answers "trigger" once released
    Start(T0 + Second, {&cancel});
    EXPECT_TRUE(Events().AwaitWaits(1));
    Time().Pause();
    Events().ReleaseHeldWait();
    EXPECT_TRUE(Events().AwaitWaits(2)) << "the wait ended when the trigger fired";
    EXPECT_EQ(recorder.RequestedDelays(), std::vector<long>{Second}) << "a trigger armed while paused";
    cancel.Set();
    Join();
    EXPECT_FALSE(reached);
    EXPECT_EQ(cancelIndex, 0);
}

TEST_F(WaitForTimestamp, TimeStateTwoStandsStillUntilItChanges) {
    TARNEvent cancel;
    Time().SetTimeState(2);
    Start(T0 + Second, {&cancel});
    EXPECT_TRUE(Events().AwaitWaits(1));
    EXPECT_TRUE(recorder.RequestedDelays().empty());
    Time().SetTimeState(0);
    EXPECT_TRUE(Events().AwaitTriggerRequests(1));
    cancel.Set();
    Join();
    EXPECT_FALSE(reached);
    EXPECT_EQ(cancelIndex, 0);
}

TEST_F(WaitForTimestamp, JumpBackwardsLengthensTheWait) {
    TARNEvent cancel;
    Start(T0 + Second, {&cancel});
    EXPECT_TRUE(Events().AwaitTriggerRequests(1));
    Time().SetCurrentTime(T0 - Second);
    EXPECT_TRUE(Events().AwaitTriggerRequests(2));
    EXPECT_EQ(recorder.RequestedDelays(), (std::vector<long>{Second, 2 * Second}));
    EXPECT_EQ(Events().PendingTriggers(), 1) << "the first turn's trigger is dropped";
    cancel.Set();
    Join();
    EXPECT_FALSE(reached);
    EXPECT_FALSE(timeChanged) << "cleared when the second wait started";
    EXPECT_EQ(Events().PendingTriggers(), 0);
}

TEST_F(WaitForTimestamp, CancelEventEndsTheWaitWithItsIndex) {
    for (bool paused : {false, true}) {
        SCOPED_TRACE(paused ? "paused" : "running");
        if (paused) Time().Pause();
        TARNEvent first, second;
        const long waits = Events().WaitsStarted();
        Start(T0 + Second, {&first, &second});
        EXPECT_TRUE(Events().AwaitWaits(waits + 1));
        second.Set();
        Join();
        EXPECT_FALSE(reached);
        EXPECT_EQ(cancelIndex, 1);
        EXPECT_EQ(Events().PendingTriggers(), 0);
    }
}

TEST_F(WaitForTimestamp, SingleCancelEventForm) {
    TARNEvent cancel(true);
    bool changed = true;
    EXPECT_FALSE(TARN::WaitForTimestamp(T0 + Second, &cancel, &changed));
    EXPECT_FALSE(changed);
    EXPECT_EQ(Events().PendingTriggers(), 0);
}

TEST_F(WaitForTimestamp, FarTimestampIsNotReached) {
    TARNEvent cancel;
    Start(LONG_MAX, {&cancel});
    EXPECT_TRUE(Events().AwaitTriggerRequests(1));
    EXPECT_GT(recorder.RequestedDelays()[0], 0);
    cancel.Set();
    Join();
    EXPECT_FALSE(reached);
    EXPECT_EQ(cancelIndex, 0);
}

TEST_F(WaitForTimestamp, NegativeCountIsReportedAndThrowsBeforeAnything) {
    int thrownCode = 0;
    try {
        TARN::WaitForTimestamp(T0, -1, nullptr, nullptr, nullptr);
    } catch (int code) {
        thrownCode = code;
    }
    EXPECT_EQ(thrownCode, 57005);
    EXPECT_EQ(ReportTexts(),
              std::vector<std::string>{"TARN::WaitForTimestamp [line:751] [nbCancelEvents:-1] < 0"});
    EXPECT_EQ(Time().BracketsOpened(), 0);
}

TEST_F(WaitForTimestamp, RefusedTriggerIsReportedAndClosesTheBracket) {
    Events().RefuseTriggers(true);
    int thrownCode = 0;
    try {
        TARN::WaitForTimestamp(T0 + Second, nullptr, nullptr);
    } catch (int code) {
        thrownCode = code;
    }
    EXPECT_EQ(thrownCode, 57005);
    EXPECT_EQ(ReportTexts(),
              std::vector<std::string>{"TARN::WaitForTimestamp [line:848] Failed to set the time trigger"});
    EXPECT_EQ(Time().BracketsOpened(), 1);
    EXPECT_EQ(Time().BracketsClosed(), 1);
}

TEST(EngineDelayToRealDelay, ScalesBySpeedAndSaturates) {
    struct Case {
        long timestamp, now;
        int speed;
        long delay;
    };
    const Case cases[] = {
        {T0 + Second, T0, 1000, Second},
        {T0 + Second, T0, 2000, Second / 2},
        {T0 + Second, T0, 1, 1000 * Second},
        {T0 - Second, T0, -1000, Second},
        {T0 + Second, T0, -1000, -Second},
        {LONG_MAX, 0, 1000, LONG_MAX},
        {LONG_MAX, LONG_MIN, 2000, LONG_MAX},
        {LONG_MIN, LONG_MAX, 1000, LONG_MIN},
        {LONG_MAX / 500, 0, 2000, LONG_MAX / 500 / 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.timestamp);
        EXPECT_EQ(TARNPrivate::EngineDelayToRealDelay(c.timestamp, c.now, c.speed), c.delay);
    }
}

}  // namespace
