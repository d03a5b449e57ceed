#include "tarn/runtime/absolute_time.hpp"

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

namespace {

TARNAbsoluteTime at(unsigned year, unsigned month, unsigned day, unsigned hour, unsigned minute,
                    unsigned second, unsigned millisecond = 0, unsigned microsecond = 0) {
    return {year, month, day, hour, minute, second, millisecond, microsecond};
}

std::string text(const TARNAbsoluteTime& time) {
    return TARN::AbsoluteTime2String(time).c_str();
}

// A fixed time zone for one test: the process's TZ is put back afterwards.
class InTimeZone : public ::testing::Test {
  protected:
    void SetUp() override {
        if (const char* tz = std::getenv("TZ")) saved = tz;
    }
    void TearDown() override {
        if (saved) {
            setenv("TZ", saved->c_str(), 1);
        } else {
            unsetenv("TZ");
        }
        tzset();
    }
    // POSIX TZ texts count hours west of UTC: "ABC-3" is three hours east.
    static void Use(const char* tz) {
        setenv("TZ", tz, 1);
        tzset();
    }
    std::optional<std::string> saved;
};

// What SetSystemTime handed to the clock instead of setting it.
struct ClockRequest {
    int calls = 0;
    long seconds = 0;
    long microseconds = 0;
    bool answer = true;
};
ClockRequest clockRequest;
bool recordClockRequest(long seconds, long microseconds) {
    ++clockRequest.calls;
    clockRequest.seconds = seconds;
    clockRequest.microseconds = microseconds;
    return clockRequest.answer;
}

}  // namespace

TEST(AbsoluteTime, ComparesFieldByFieldInDeclaredOrder) {
    const TARNAbsoluteTime base = at(2021, 6, 5, 10, 20, 30, 400, 7);
    EXPECT_TRUE(base == at(2021, 6, 5, 10, 20, 30, 400, 7));
    EXPECT_TRUE(base < at(2021, 6, 5, 10, 20, 30, 401, 0)) << "a later millisecond";
    EXPECT_TRUE(base < at(2021, 6, 5, 10, 20, 30, 400, 8)) << "the microsecond decides only at the end";
    EXPECT_TRUE(at(2022, 1, 1, 0, 0, 0) > base);
    EXPECT_FALSE(base < base);
    EXPECT_FALSE(base > base);
    EXPECT_FALSE(base == at(2021, 6, 5, 10, 20, 30, 400, 8));
}

TEST(AbsoluteTime, TextForm) {
    EXPECT_EQ(text(at(2021, 6, 5, 10, 20, 30, 400, 7)), "2021/06/05 10:20:30.400007");
    EXPECT_EQ(text(at(812345, 123, 5, 7, 8, 9, 1234, 1001)), "2345/23/05 07:08:09.234001")
        << "each field is cut to its width";

    TARNAbsoluteTime parsed = at(1, 1, 1, 1, 1, 1, 1, 1);
    EXPECT_TRUE(TARN::GetAbsoluteTimeFromString("10:20:30.400 (5/6/2021)", parsed));
    EXPECT_TRUE(parsed == at(2021, 6, 5, 10, 20, 30, 400, 0));
    TARNAbsoluteTime untouched = at(1, 2, 3, 4, 5, 6, 7, 8);
    EXPECT_FALSE(TARN::GetAbsoluteTimeFromString("10:20:30.400 (5/6)", untouched));
    EXPECT_TRUE(untouched == at(1, 2, 3, 4, 5, 6, 7, 8));
}

TEST(AbsoluteTime, TimestampsInUTC) {
    const struct {
        long timestamp;
        TARNAbsoluteTime time;
    } cases[] = {
        {0, at(1970, 1, 1, 0, 0, 0)},
        {1623316830123456, at(2021, 6, 10, 9, 20, 30, 123, 456)},
        // Before the epoch the second is the one that began earlier: -1 µs is the last
        // microsecond of 1969, not a fraction wrapped round to 4294967295.
        {-1, at(1969, 12, 31, 23, 59, 59, 999, 999)},
        {-1500000, at(1969, 12, 31, 23, 59, 58, 500, 0)},
        {-1000000, at(1969, 12, 31, 23, 59, 59, 0, 0)},
    };
    for (const auto& c : cases) {
        TARNAbsoluteTime time = at(0, 0, 0, 0, 0, 0);
        TARN::Timestamp2AbsoluteTimeUTC(c.timestamp, &time);
        EXPECT_EQ(text(time), text(c.time)) << c.timestamp;
        EXPECT_EQ(TARN::AbsoluteTimeUTC2Timestamp(&c.time), c.timestamp) << text(c.time);
    }
    const TARNAbsoluteTime farBeyond = at(4000000000u, 1, 1, 0, 0, 0);
    EXPECT_EQ(TARN::AbsoluteTimeUTC2Timestamp(&farBeyond), -1);
}

TEST_F(InTimeZone, TimestampsInLocalTime) {
    Use("ABC-3");
    TARNAbsoluteTime time = at(0, 0, 0, 0, 0, 0);
    TARN::Integer2AbsoluteTime(-1, time);
    EXPECT_EQ(text(time), "1970/01/01 02:59:59.999999");
    TARN::Integer2AbsoluteTime(1623316830123456, time);
    EXPECT_EQ(text(time), "2021/06/10 12:20:30.123456");
    EXPECT_EQ(TARN::AbsoluteTime2Integer(time), 1623316830123456);
}

TEST_F(InTimeZone, ConvertsBetweenUTCAndLocalTime) {
    Use("ABC+5");
    const TARNAbsoluteTime utc = at(2021, 1, 1, 2, 30, 0, 12, 34);
    TARNAbsoluteTime local = at(0, 0, 0, 0, 0, 0);
    ASSERT_TRUE(TARN::AbsoluteTimeUTCToAbsoluteTimeLocal(&utc, &local));
    EXPECT_EQ(text(local), "2020/12/31 21:30:00.012034");
    TARNAbsoluteTime back = at(0, 0, 0, 0, 0, 0);
    ASSERT_TRUE(TARN::AbsoluteTimeLocalToAbsoluteTimeUTC(&local, &back));
    EXPECT_TRUE(back == utc);
    EXPECT_FALSE(TARN::AbsoluteTimeUTCToAbsoluteTimeLocal(nullptr, &local));
    EXPECT_FALSE(TARN::AbsoluteTimeLocalToAbsoluteTimeUTC(&local, nullptr));
}

TEST_F(InTimeZone, TimeZoneDelayCountsMinutesEastOfUTC) {
    int minutes = 0;
    Use("ABC-5:30");
    EXPECT_TRUE(TARN::GetLocalTimeZoneDelay(minutes));
    EXPECT_EQ(minutes, 330);
    Use("ABC+4");
    EXPECT_TRUE(TARN::GetLocalTimeZoneDelay(minutes));
    EXPECT_EQ(minutes, -240);
}

TEST_F(InTimeZone, CurrentTimeInBothZones) {
    Use("ABC-2");
    TARNAbsoluteTime utc = at(0, 0, 0, 0, 0, 0);
    TARNAbsoluteTime local = at(0, 0, 0, 0, 0, 0);
    // Read until both readings fall in the same minute, so that the hours can be compared.
    for (int attempt = 0; attempt < 5; ++attempt) {
        TARN::GetAbsoluteTimeUTC(&utc);
        TARN::GetAbsoluteTime(&local);
        if (utc.minute == local.minute) break;
    }
    EXPECT_GE(utc.year, 2020u);
    EXPECT_LT(utc.millisecond, 1000u);
    EXPECT_LT(utc.microsecond, 1000u);
    EXPECT_EQ((utc.hour + 2) % 24, local.hour);
}

TEST(AbsoluteTime, SetSystemTimeHandsTheUTCInstantToTheClock) {
    const TARNPrivate::SystemClockSetter previous = TARNPrivate::ReplaceSystemClockSetter(recordClockRequest);
    clockRequest = {};
    const TARNAbsoluteTime time = at(2021, 6, 10, 9, 20, 30, 123, 456);
    EXPECT_TRUE(TARN::SetSystemTime(&time));
    EXPECT_EQ(clockRequest.calls, 1);
    EXPECT_EQ(clockRequest.seconds, 1623316830);
    EXPECT_EQ(clockRequest.microseconds, 123456);

    clockRequest.answer = false;
    EXPECT_FALSE(TARN::SetSystemTime(&time)) << "the clock refused";
    const TARNAbsoluteTime nowhere = at(4000000000u, 1, 1, 0, 0, 0, 1, 2);
    clockRequest.answer = true;
    EXPECT_TRUE(TARN::SetSystemTime(&nowhere));
    EXPECT_EQ(clockRequest.seconds, 0) << "a time that cannot be converted sets the epoch";
    EXPECT_EQ(clockRequest.microseconds, 1002);
    EXPECT_FALSE(TARN::SetSystemTime(nullptr));
    EXPECT_EQ(clockRequest.calls, 3);
    TARNPrivate::ReplaceSystemClockSetter(previous);
}
