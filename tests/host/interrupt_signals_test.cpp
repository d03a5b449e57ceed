// The signals a decode run notes: the first is noted, not fatal, and turns the wake
// descriptor readable for good, so that a wait that begins after it still sees it; the next
// object starts afresh.
#include "interrupt_signals.hpp"

#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>

namespace {

bool Readable(int descriptor) {
    pollfd wake{descriptor, POLLIN, 0};
    return poll(&wake, 1, 0) == 1 && (wake.revents & POLLIN) != 0;
}

TEST(InterruptSignals, TheFirstSignalWakesEveryLaterWaitUntilTheNextObject) {
    const int wake = InterruptSignals::WakeDescriptor();
    ASSERT_GE(wake, 0);
    {
        const InterruptSignals signals;
        EXPECT_EQ(InterruptSignals::Received(), 0);
        EXPECT_FALSE(Readable(wake));
        raise(SIGTERM);
        EXPECT_EQ(InterruptSignals::Received(), SIGTERM);
        EXPECT_TRUE(Readable(wake));
        // Looking takes nothing away: the next wait sees it too.
        EXPECT_TRUE(Readable(wake));
    }
    const InterruptSignals next;
    EXPECT_EQ(InterruptSignals::Received(), 0);
    EXPECT_FALSE(Readable(wake)) << "the earlier signal would end the new run's waits";
    EXPECT_EQ(InterruptSignals::WakeDescriptor(), wake);
}

}  // namespace
