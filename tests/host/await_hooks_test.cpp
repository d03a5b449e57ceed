// The hooks by which tests wait for other threads to reach a wait or ask for a trigger give
// up after their limit, so that a fault fails the test instead of hanging it.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "host_kernel.hpp"
#include "tarn/engine/event.hpp"

using namespace std::chrono_literals;

TEST(AwaitHooks, GiveUpAfterTheirLimitWhenNothingComes) {
    HostKernel kernel;
    EXPECT_FALSE(kernel.Events().AwaitWaits(1, 20ms));
    EXPECT_FALSE(kernel.Events().AwaitTriggerRequests(1, 20ms));
}

TEST(AwaitHooks, ReturnOnceTheWaitOrTheRequestCame) {
    HostKernel kernel;
    kernel.Events().SetManualTriggers(true);
    TARNEvent event;
    TARNEvent* events[] = {&event};
    std::thread waiter([&] { TARNEvent::Wait(1, events, -1); });
    kernel.Events().SetTrigger(&event, kernel.Time().MonotonicMicroseconds() + 1000);
    EXPECT_TRUE(kernel.Events().AwaitTriggerRequests(1));
    EXPECT_TRUE(kernel.Events().AwaitWaits(1));
    EXPECT_EQ(kernel.Events().FireTriggers(), 1);
    waiter.join();
}
