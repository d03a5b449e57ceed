// The host's engine time at the ends of its range: it is held there, as the SDK's waits hold
// their deadlines, instead of wrapping round to the other end.
#include "host_engine_time.hpp"

#include <gtest/gtest.h>

#include <climits>

namespace {

constexpr long Minute = 60L * 1000 * 1000;

TEST(HostEngineTime, HeldToTheRangeOfLong) {
    struct Case {
        const char* name;
        long start;
        int speed;
        long advance;
        long expected;
    };
    const Case cases[] = {
        {"plain", 1000, 1000, 500, 1500},
        {"forwards past the end", LONG_MAX - 10, 1000, 100, LONG_MAX},
        {"backwards past the start", LONG_MIN + 10, -1000, 100, LONG_MIN},
        {"double speed past the end", LONG_MAX / 2, 2000, LONG_MAX / 2, LONG_MAX},
        // The span times the speed passes LONG_MAX after about 72 minutes; the time itself
        // is far from the end and must come out exact.
        {"highest speed for 83 minutes", 0, INT_MAX, 83 * Minute, 83 * Minute / 1000 * INT_MAX},
        {"lowest speed for 83 minutes", 0, INT_MIN, 83 * Minute, 83 * Minute / 1000 * INT_MIN},
        {"highest speed for the whole clock", 0, INT_MAX, LONG_MAX, LONG_MAX},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        HostEngineTime time;
        time.UseManualClock(0);
        time.SetCurrentTime(c.start);
        time.SetTimeSpeed(c.speed);
        time.AdvanceClock(c.advance);
        EXPECT_EQ(time.CurrentTime(), c.expected);
    }
}

// A change of speed or a pause makes the present time the new base: a saturated time stays
// saturated through it rather than being rebuilt from a wrapped value.
TEST(HostEngineTime, SaturatedTimeSurvivesARebase) {
    HostEngineTime time;
    time.UseManualClock(0);
    time.SetCurrentTime(LONG_MAX - 10);
    time.AdvanceClock(100);
    time.SetTimeSpeed(500);
    EXPECT_EQ(time.CurrentTime(), LONG_MAX);
    time.Pause();
    time.AdvanceClock(100);
    EXPECT_EQ(time.CurrentTime(), LONG_MAX);
    time.Resume();
    time.SetTimeSpeed(-1000);
    time.AdvanceClock(100);
    EXPECT_EQ(time.CurrentTime(), LONG_MAX - 100);
}

}  // namespace
