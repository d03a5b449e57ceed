// TARNEvent on its own and through the host's event service: single waits, multi-event
// waits, time triggers, and Set racing multi-event waits (the suite also runs under
// ThreadSanitizer).
#include "tarn/engine/event.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include "engine/event_service.hpp"
#include "kernel_binding.hpp"
#include "support/host_kernel_fixture.hpp"
#include "support/virtual_slot.hpp"

namespace {

// ---- Without a kernel ---------------------------------------------------------------------

class EventAlone : public ::testing::Test {
  private:
    KernelBinding m_unbound{nullptr};
};

TEST_F(EventAlone, WaitReturnsAtOnceWhenSetAndTimesOutWhenNot) {
    TARNEvent event(false);
    EXPECT_EQ(event.Wait(0), -3);
    EXPECT_EQ(event.Wait(2000), -3);
    event.Set();
    event.Set();  // a second Set changes nothing
    EXPECT_EQ(event.Wait(0), 0);
    EXPECT_EQ(event.Wait(-1), 0);
    EXPECT_EQ(event.Wait(0), 0) << "manual reset: a wait leaves the event set";
    event.Reset();
    EXPECT_EQ(event.Wait(0), -3);

    TARNEvent initiallySet(true);
    EXPECT_EQ(initiallySet.Wait(0), 0);
}

TEST_F(EventAlone, ResetEventWaitsUntilTheNextSet) {
    TARNEvent event(true);
    event.Reset();
    std::atomic<int> result{1};
    std::thread waiter([&] { result = event.Wait(-1); });
    event.Set();
    waiter.join();
    EXPECT_EQ(result, 0);
}

TEST_F(EventAlone, SetTriggerWithoutKernelArmsNothingAndAnswersTrue) {
    TARNEvent event(true);
    EXPECT_TRUE(event.SetTrigger(1000));
    EXPECT_EQ(event.Wait(0), -3) << "the trigger resets the event";
    EXPECT_FALSE(event.triggerArmed);
    event.ResetTrigger();  // harmless without a kernel
}

// ---- Through the host's event service -----------------------------------------------------

TEST(EventServiceTable, OperationsSitInTheirSlots) {
    EXPECT_EQ(VirtualSlot(&TARNEventService::SetTrigger), 2);
    EXPECT_EQ(VirtualSlot(&TARNEventService::ResetTrigger), 3);
    EXPECT_EQ(VirtualSlot(&TARNEventService::MsgWait), 4);
    EXPECT_EQ(VirtualSlot(&TARNEventService::Wait), 5);
}

using EventService = ManualTimeTest;

TEST_F(EventService, MultiEventWaitAnswersTheLowestSetIndex) {
    TARNEvent a, b, c;
    struct Case {
        const char* name;
        std::vector<TARNEvent*> events;
        std::vector<TARNEvent*> set;
        int expected;
    };
    const Case cases[] = {
        {"none set times out", {&a, &b, &c}, {}, -3},
        {"the one set", {&a, &b, &c}, {&b}, 1},
        {"lowest of several", {&a, &b, &c}, {&c, &b}, 1},
        {"nulls are skipped", {nullptr, &a, nullptr, &c}, {&c}, 3},
        {"repeated event answers its first index", {&a, &c, &c, &a}, {&c}, 1},
        {"only nulls time out", {nullptr, nullptr}, {}, -3},
    };
    for (const Case& c0 : cases) {
        SCOPED_TRACE(c0.name);
        for (TARNEvent* e : {&a, &b, &c}) e->Reset();
        for (TARNEvent* e : c0.set) e->Set();
        std::vector<TARNEvent*> events = c0.events;
        EXPECT_EQ(TARNEvent::Wait(static_cast<int>(events.size()), events.data(), 0), c0.expected);
        EXPECT_EQ(TARNEvent::MsgWait(static_cast<int>(events.size()), events.data(), 0), c0.expected);
        for (TARNEvent* e : {&a, &b, &c}) EXPECT_EQ(e->waitingThreads.Size(), 0) << "left registered";
    }
}

TEST_F(EventService, SetWakesAThreadWaitingOnSeveralEvents) {
    TARNEvent a, b, c;
    TARNEvent* events[] = {&a, &b, &c};
    std::atomic<int> result{-100};
    std::thread waiter([&] { result = TARNEvent::Wait(3, events, -1); });
    EXPECT_TRUE(Events().AwaitWaits(1));
    for (TARNEvent* e : events) {
        pthread_mutex_lock(&e->mutex);
        EXPECT_EQ(e->waitingThreads.Size(), 1) << "the waiting thread is registered in each event";
        pthread_mutex_unlock(&e->mutex);
    }
    c.Set();
    waiter.join();
    EXPECT_EQ(result, 2);
    for (TARNEvent* e : events) EXPECT_EQ(e->waitingThreads.Size(), 0);
}

// Set locks the waiting threads of an event in list order. Two waiters registered in two
// events in opposite orders must still appear in one common order in both lists, or two Sets
// at once could each hold one waiter's mutex and wait for the other's.
TEST_F(EventService, WaitingThreadsAreListedInOneOrderInEveryEvent) {
    TARNEvent a, b, stop;
    TARNEvent* forward[] = {&a, &b, &stop};
    TARNEvent* backward[] = {&stop, &b, &a};
    std::thread first([&] { TARNEvent::Wait(3, forward, -1); });
    std::thread second([&] { TARNEvent::Wait(3, backward, -1); });
    EXPECT_TRUE(Events().AwaitWaits(2));
    for (TARNEvent* e : {&a, &b, &stop}) pthread_mutex_lock(&e->mutex);
    ASSERT_EQ(a.waitingThreads.Size(), 2);
    ASSERT_EQ(b.waitingThreads.Size(), 2);
    EXPECT_EQ(a.waitingThreads[0], b.waitingThreads[0]);
    EXPECT_EQ(a.waitingThreads[0], stop.waitingThreads[0]);
    EXPECT_LT(a.waitingThreads[0], a.waitingThreads[1]) << "ascending address order";
    for (TARNEvent* e : {&a, &b, &stop}) pthread_mutex_unlock(&e->mutex);
    stop.Set();
    first.join();
    second.join();
}

TEST_F(EventService, WaitWithNothingToWaitForAndNoLimitFails) {
    TARNEvent* none[] = {nullptr};
    EXPECT_EQ(TARNEvent::Wait(1, none, -1), -4);
}

TEST_F(EventService, ManualTriggerRecordsItsDelayAndSetsTheEventWhenFired) {
    TARNEvent event(true);
    ASSERT_TRUE(event.SetTrigger(250000));
    EXPECT_EQ(event.Wait(0), -3) << "arming resets the event";
    EXPECT_TRUE(event.triggerArmed);
    EXPECT_EQ(recorder.RequestedDelays(), std::vector<long>{250000});
    EXPECT_EQ(Events().PendingTriggers(), 1);

    EXPECT_EQ(Events().FireTriggers(), 1);
    EXPECT_EQ(event.Wait(0), 0);
    EXPECT_FALSE(event.triggerArmed);
    EXPECT_EQ(Events().PendingTriggers(), 0);
}

TEST_F(EventService, ReArmingReplacesAndResetTriggerDropsThePendingTrigger) {
    TARNEvent event;
    event.SetTrigger(10);
    event.SetTrigger(20);
    EXPECT_EQ(Events().PendingTriggers(), 1);
    event.ResetTrigger();
    EXPECT_FALSE(event.triggerArmed);
    EXPECT_EQ(Events().FireTriggers(), 0);
    EXPECT_EQ(event.Wait(0), -3);
    EXPECT_EQ(recorder.RequestedDelays(), (std::vector<long>{10, 20}));
}

TEST_F(EventService, DestroyingAnArmedEventDropsItsTrigger) {
    auto event = std::make_unique<TARNEvent>();
    event->SetTrigger(1000);
    event.reset();
    EXPECT_EQ(Events().PendingTriggers(), 0);
    EXPECT_EQ(Events().FireTriggers(), 0);
}

TEST_F(EventService, TriggerThreadSetsTheEventOnTime) {
    Events().SetManualTriggers(false);
    TARNEvent event, other;
    ASSERT_TRUE(event.SetTrigger(2000));
    TARNEvent* events[] = {&other, &event};
    EXPECT_EQ(TARNEvent::Wait(2, events, -1), 1);
    EXPECT_EQ(Events().PendingTriggers(), 0);
}

TEST_F(EventService, RefusedTriggerAnswersFalse) {
    Events().RefuseTriggers(true);
    TARNEvent event;
    EXPECT_FALSE(event.SetTrigger(10));
    EXPECT_FALSE(event.triggerArmed);
}

// A thread waiting on several events reads their flags under its own mutex, so Reset, like
// Set, may change a flag only while it holds the mutex of every registered waiting thread;
// otherwise a Reset from another thread races with the waiter's reads (ThreadSanitizer).
TEST_F(EventService, ResetFromAnotherThreadWhileAMultiEventWaitReadsTheFlags) {
    TARNEvent flapping, stop;
    TARNEvent* events[] = {&flapping, &stop};
    std::atomic<int> result{-100};
    std::thread waiter([&] { result = TARNEvent::Wait(2, events, -1); });
    EXPECT_TRUE(Events().AwaitWaits(1));
    for (int i = 0; i < 1000; ++i) {
        flapping.Reset();
        // Now and then set: the waiter wakes and reads the flags while the Resets go on.
        if (i % 100 == 50) flapping.Set();
    }
    stop.Set();
    waiter.join();
    EXPECT_GE(result, 0);
}

// Waiters registered in the same events in opposite orders, and Sets of those events from
// several threads at once: every waiter wakes with an event that is set, nothing deadlocks,
// and ThreadSanitizer sees no race between Set and the waits.
TEST_F(EventService, ConcurrentSetsAgainstMultiEventWaits) {
    constexpr int Rounds = 100;
    constexpr int Waiters = 4;
    constexpr int Events_ = 3;
    for (int round = 0; round < Rounds; ++round) {
        TARNEvent events[Events_];
        std::vector<int> results(Waiters, -100);
        std::vector<std::vector<TARNEvent*>> orders(Waiters);
        std::vector<std::thread> waiters;
        for (int w = 0; w < Waiters; ++w) {
            for (int e = 0; e < Events_; ++e) orders[w].push_back(&events[(w % 2 ? Events_ - 1 - e : e)]);
            std::rotate(orders[w].begin(), orders[w].begin() + w % Events_, orders[w].end());
            waiters.emplace_back([&, w] { results[w] = TARNEvent::Wait(Events_, orders[w].data(), -1); });
        }
        EXPECT_TRUE(Events().AwaitWaits(Waiters * (round + 1)));
        std::vector<std::thread> setters;
        for (int e = 0; e < Events_; ++e) setters.emplace_back([&, e] { events[e].Set(); });
        for (std::thread& t : setters) t.join();
        for (std::thread& t : waiters) t.join();
        for (int w = 0; w < Waiters; ++w) {
            ASSERT_GE(results[w], 0);
            ASSERT_LT(results[w], Events_);
            EXPECT_EQ(orders[w][results[w]]->Wait(0), 0);
        }
    }
}

}  // namespace
