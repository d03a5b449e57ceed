#include "tarn/runtime/event_basic.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

TEST(EventBasic, WaitReportsTheFlagWithoutBlockingWhenNoTimeIsGiven) {
    TARNEventBasic event(false, "unused");
    EXPECT_EQ(event.Wait(0), -3);
    EXPECT_EQ(event.Wait(-7), -3) << "a negative time-out other than -1 does not wait";
    event.Set();
    EXPECT_EQ(event.Wait(0), 0);
    EXPECT_EQ(event.Wait(-1), 0);
}

TEST(EventBasic, StaysSetUntilResetAndDoesNotCountSets) {
    TARNEventBasic event(true, nullptr);
    EXPECT_EQ(event.Wait(0), 0);
    EXPECT_EQ(event.Wait(0), 0) << "waiting does not reset the event";
    event.Set();
    event.Reset();
    EXPECT_EQ(event.Wait(0), -3);
}

TEST(EventBasic, TimedWaitOnAClearEventLastsAtLeastTheTimeout) {
    TARNEventBasic event;
    event.Set();
    event.Reset();
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(event.Wait(1000), -3);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::microseconds(1000));
}

namespace {

// Polls until the event has `count` blocked waiters or a generous deadline passes; returns
// the last count seen.
int AwaitBlockedWaiters(TARNEventBasic& event, int count) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    int blocked = event.BlockedWaiters();
    while (blocked != count && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::microseconds(100));
        blocked = event.BlockedWaiters();
    }
    return blocked;
}

}  // namespace

// Every waiter is blocked before Set, so each must be woken by it. A waiter left asleep
// stays blocked until its own limit, which lies beyond the deadline for leaving (and then
// reports 0 all the same, the flag being set: only the blocked count shows it).
TEST(EventBasic, SetWakesEveryWaiter) {
    TARNEventBasic event;
    constexpr int kWaiters = 4;
    constexpr long kLimit = 10'000'000;
    std::vector<int> results(kWaiters, 1);
    std::vector<std::thread> waiters;
    for (int i = 0; i < kWaiters; ++i) {
        waiters.emplace_back([&, i] { results[i] = event.Wait(kLimit); });
    }
    EXPECT_EQ(AwaitBlockedWaiters(event, kWaiters), kWaiters) << "the waiters did not all block";
    event.Set();
    EXPECT_EQ(AwaitBlockedWaiters(event, 0), 0) << "Set left waiters asleep";
    for (auto& waiter : waiters) waiter.join();
    EXPECT_EQ(results, std::vector<int>(kWaiters, 0));
}

TEST(EventBasic, HandsOverDataWrittenBeforeSet) {
    TARNEventBasic ready;
    int payload = 0;
    std::thread writer([&] {
        payload = 42;
        ready.Set();
    });
    ASSERT_EQ(ready.Wait(-1), 0);
    EXPECT_EQ(payload, 42);
    writer.join();
}

struct DeadlineCase {
    timespec now;
    long microseconds;
    timespec expected;
};

std::string CaseName(const DeadlineCase& c) {
    return "At" + std::to_string(c.now.tv_sec) + "s" + std::to_string(c.now.tv_nsec) + "nsPlus" +
           std::to_string(c.microseconds) + "us";
}
// Test names (and the names CTest gives them) show the case, not the bytes of the struct.
void PrintTo(const DeadlineCase& c, std::ostream* os) {
    *os << CaseName(c);
}

class EventDeadline : public ::testing::TestWithParam<DeadlineCase> {};

TEST_P(EventDeadline, CarriesNanosecondsIntoSeconds) {
    const DeadlineCase& c = GetParam();
    const timespec deadline = TARNPrivate::DeadlineAfter(c.now, c.microseconds);
    EXPECT_EQ(deadline.tv_sec, c.expected.tv_sec);
    EXPECT_EQ(deadline.tv_nsec, c.expected.tv_nsec);
}

INSTANTIATE_TEST_SUITE_P(Cases, EventDeadline,
                         ::testing::Values(DeadlineCase{{5, 0}, 0, {5, 0}},
                                           DeadlineCase{{5, 0}, 2'500'000, {7, 500'000'000}},
                                           // exactly one second of nanoseconds
                                           DeadlineCase{{5, 999'000'000}, 1000, {6, 0}},
                                           DeadlineCase{{0, 500'000'000}, 1'500'000, {2, 0}},
                                           DeadlineCase{{5, 999'999'999}, 1, {6, 999}},
                                           DeadlineCase{{5, 1}, 999'999, {5, 999'999'001}}),
                         [](const auto& info) { return CaseName(info.param); });
