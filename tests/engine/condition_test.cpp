// TARNCondition (the event pool) and TARNCondition2 (the subscriber table), waited on from
// other threads through the host's event service.
#include "tarn/engine/condition.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "support/host_kernel_fixture.hpp"

namespace {

constexpr int Abort = 57005;
constexpr int TimedOut = -3;
constexpr int Failed = -4;

// Runs `wait` with the mutex held, as the conditions require, and records what it threw
// (0 for a normal return) and whether the mutex was released when it threw.
struct Waiter {
    template <class Wait>
    Waiter(TARNMutex& mutex, Wait wait)
        : thread([this, &mutex, wait] {
              mutex.Lock();
              try {
                  wait();
                  mutex.Release();
                  thrown = 0;
              } catch (int code) {
                  released = mutex.TryLock();
                  if (released) mutex.Release();
                  thrown = code;
              }
          }) {}
    std::atomic<int> thrown{1};
    std::atomic<bool> released{false};
    std::thread thread;
};

class Condition : public ManualTimeTest {
  protected:
    int PoolCount() const { return condition.pool.Count(); }
    int FreeEntries() const {
        int free = 0;
        for (const TARNCondition::TARNEventInPool& entry : condition.pool) free += entry.free;
        return free;
    }

    TARNMutex mutex;
    TARNEvent abort;
    TARNCondition condition{&mutex, &abort, -1};
};

TEST_F(Condition, SignalWakesEveryWaiterAndThePoolIsReused) {
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        std::vector<std::unique_ptr<Waiter>> waiters;
        for (int i = 0; i < 3; ++i)
            waiters.push_back(std::make_unique<Waiter>(mutex, [&] { condition.Wait(); }));
        EXPECT_TRUE(Events().AwaitWaits(3 * (round + 1)));
        mutex.Lock();
        EXPECT_EQ(FreeEntries(), 0);
        condition.Signal();
        mutex.Release();
        for (auto& waiter : waiters) {
            waiter->thread.join();
            EXPECT_EQ(waiter->thrown, 0);
        }
        EXPECT_EQ(PoolCount(), 3) << "three waiters at once hold three entries, reused next round";
        EXPECT_EQ(FreeEntries(), 3);
    }
}

TEST_F(Condition, AbortThrowsWithTheMutexReleased) {
    Waiter waiter(mutex, [&] { condition.Wait(); });
    EXPECT_TRUE(Events().AwaitWaits(1));
    condition.Abort();
    waiter.thread.join();
    EXPECT_EQ(waiter.thrown, Abort);
    EXPECT_TRUE(waiter.released);
    EXPECT_EQ(FreeEntries(), PoolCount()) << "an aborted wait gives its entry back";
}

TEST_F(Condition, TimeOutThrowsAndGivesTheEntryBack) {
    TARNCondition timed(&mutex, &abort, 1000);
    Waiter waiter(mutex, [&] { timed.Wait(); });
    waiter.thread.join();
    EXPECT_EQ(waiter.thrown, TimedOut);
    EXPECT_TRUE(waiter.released);
    ASSERT_EQ(timed.pool.Count(), 1);
    EXPECT_TRUE(timed.pool.Head()->Value().free);

    // The freed entry is the one taken next.
    TARNEvent* event = nullptr;
    mutex.Lock();
    void* token = timed.WaitX(&event);
    EXPECT_EQ(timed.pool.Count(), 1);
    EXPECT_EQ(event, timed.pool.Head()->Value().event);
    timed.AchieveWaitX(token);
    mutex.Release();
}

TEST_F(Condition, SplitWaitHandsOutAnEventThatSignalSets) {
    TARNEvent* event = nullptr;
    mutex.Lock();
    void* token = condition.WaitX(&event);
    ASSERT_NE(event, nullptr);
    EXPECT_TRUE(mutex.TryLock()) << "WaitX releases the mutex";
    condition.Signal();
    mutex.Release();
    EXPECT_EQ(event->Wait(0), 0);
    condition.AchieveWaitX(token);
    EXPECT_FALSE(mutex.TryLock()) << "AchieveWaitX takes the mutex again";
    mutex.Release();
    EXPECT_EQ(FreeEntries(), 1);
}

TEST_F(Condition, SignalSetsBusyEntriesOnly) {
    TARNEvent *first = nullptr, *second = nullptr;
    mutex.Lock();
    void* firstToken = condition.WaitX(&first);
    mutex.Lock();
    void* secondToken = condition.WaitX(&second);
    condition.AchieveWaitX(firstToken);  // first is free again, second still busy
    condition.Signal();
    mutex.Release();
    EXPECT_EQ(first->Wait(0), -3);
    EXPECT_EQ(second->Wait(0), 0);
    condition.AchieveWaitX(secondToken);
    mutex.Release();
}

// ---- TARNCondition2 -----------------------------------------------------------------------

class Condition2 : public ManualTimeTest {
  protected:
    TARNMutex mutex;
    TARNEvent abort;
    TARNCondition2 condition{&mutex, &abort, -1};
};

TEST_F(Condition2, SkippedSlotsStayEmptyAndOnlyWaitingSubscribersAreSignalled) {
    EXPECT_EQ(condition.Subscribe(), 0);
    ASSERT_TRUE(condition.Subscribe(2));
    EXPECT_EQ(condition.count, 3);
    EXPECT_EQ(condition.events[1], nullptr);

    TARNEvent *own = nullptr, *abortOut = nullptr;
    mutex.Lock();
    condition.WaitX(2, &own, &abortOut);
    EXPECT_EQ(own, condition.events[2]);
    EXPECT_EQ(abortOut, &abort);
    mutex.Lock();
    condition.Signal();  // slot 0 is not waiting, slot 1 is empty
    mutex.Release();
    EXPECT_EQ(condition.events[0]->Wait(0), -3);
    EXPECT_EQ(condition.events[2]->Wait(0), 0);
    condition.AchieveWaitX(2, 0);
    EXPECT_FALSE(condition.waiting[2]);
    mutex.Release();
    // The destructor deletes slots 0 and 2 and skips the empty one (AddressSanitizer checks).
}

TEST_F(Condition2, SubscribingAnExistingSlotResetsIt) {
    ASSERT_EQ(condition.Subscribe(), 0);
    condition.events[0]->Set();
    TARNEvent* event = condition.events[0];
    ASSERT_TRUE(condition.Subscribe(0));
    EXPECT_EQ(condition.events[0], event);
    EXPECT_EQ(event->Wait(0), -3);
}

TEST_F(Condition2, SubscribersBeyondTheTableAreRefusedWithAReport) {
    for (int i = 0; i < TARNCondition2::MaxSubscribers; ++i) ASSERT_EQ(condition.Subscribe(), i);
    EXPECT_EQ(condition.Subscribe(), -1);
    EXPECT_FALSE(condition.Subscribe(32));
    EXPECT_FALSE(condition.Subscribe(-1));
    EXPECT_EQ(condition.count, 32);
    EXPECT_EQ(ReportTexts(), (std::vector<std::string>{
                                 "TARNCondition2::Subscribe: all 32 subscriber slots are in use",
                                 "TARNCondition2::Subscribe: subscriber 32 is outside 0 to 31",
                                 "TARNCondition2::Subscribe: subscriber -1 is outside 0 to 31",
                             }));
}

TEST_F(Condition2, WaitReturnsOnSignalAndThrowsOnAbort) {
    ASSERT_EQ(condition.Subscribe(), 0);
    Waiter signalled(mutex, [&] { condition.Wait(0); });
    EXPECT_TRUE(Events().AwaitWaits(1));
    mutex.Lock();
    condition.Signal();
    mutex.Release();
    signalled.thread.join();
    EXPECT_EQ(signalled.thrown, 0);

    Waiter aborted(mutex, [&] { condition.Wait(0); });
    EXPECT_TRUE(Events().AwaitWaits(2));
    condition.CutConnection();
    aborted.thread.join();
    EXPECT_EQ(aborted.thrown, Abort);
    EXPECT_TRUE(aborted.released);
    EXPECT_FALSE(condition.waiting[0]);
}

TEST_F(Condition2, TimedWaitThrowsTimedOut) {
    TARNCondition2 timed(&mutex, &abort, 1000);
    ASSERT_EQ(timed.Subscribe(), 0);
    Waiter waiter(mutex, [&] { timed.Wait(0); });
    waiter.thread.join();
    EXPECT_EQ(waiter.thrown, TimedOut);
    EXPECT_TRUE(waiter.released);
}

TEST_F(Condition2, AchieveWaitXTurnsTheWaitResultIntoItsOutcome) {
    struct Case {
        int result;
        int thrown;
    };
    for (Case c : {Case{0, 0}, Case{1, Abort}, Case{-3, Failed}, Case{7, Failed}}) {
        SCOPED_TRACE(c.result);
        ASSERT_TRUE(condition.Subscribe(0));
        TARNEvent *own = nullptr, *abortOut = nullptr;
        mutex.Lock();
        condition.WaitX(0, &own, &abortOut);
        int thrown = 0;
        try {
            condition.AchieveWaitX(0, c.result);
        } catch (int code) {
            thrown = code;
        }
        EXPECT_EQ(thrown, c.thrown);
        EXPECT_EQ(mutex.TryLock(), c.thrown != 0) << "held after success, released after a throw";
        mutex.Release();
    }
}

TEST_F(Condition2, AbortWaitXTakesTheMutexAndClearsTheMark) {
    ASSERT_EQ(condition.Subscribe(), 0);
    TARNEvent *own = nullptr, *abortOut = nullptr;
    mutex.Lock();
    condition.WaitX(0, &own, &abortOut);
    EXPECT_TRUE(condition.waiting[0]);
    condition.AbortWaitX(0);
    EXPECT_FALSE(condition.waiting[0]);
    EXPECT_FALSE(mutex.TryLock());
    mutex.Release();
}

}  // namespace
