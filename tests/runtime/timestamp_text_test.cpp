#include "tarn/runtime/timestamp_text.hpp"

#include <gtest/gtest.h>

#include <climits>
#include <string>

namespace {
std::string text(long timestamp) {
    return TARN::Timestamp2String(timestamp).c_str();
}
}  // namespace

TEST(TimestampText, WritesHoursOnlyWhenThereAreAny) {
    const struct {
        long timestamp;
        const char* text;
    } cases[] = {
        {0, "00:00.000000"},
        {-1, "-00:00.000001"},
        {59999999, "00:59.999999"},
        {3599999999, "59:59.999999"},
        {3600000000, "1:00:00.000000"},
        {90061000001, "25:01:01.000001"},
        {-3600000001, "-1:00:00.000001"},
        {LONG_MAX, "2562047788:00:54.775807"},
        // Its magnitude does not fit in a long.
        {LONG_MIN, "-2562047788:00:54.775808"},
    };
    for (const auto& c : cases) EXPECT_EQ(text(c.timestamp), c.text) << c.timestamp;
}

TEST(TimestampText, ReadsSecondsMinutesAndHours) {
    const struct {
        const char* text;
        long timestamp;
        int consumed;
    } cases[] = {
        {"12", 12000000, 2},
        {"1:30", 90000000, 4},
        {"1:02:03.5", 3723500000, 9},
        {"-0:30", -30000000, 5},
        {"-1:00:00.000001", -3600000001, 15},
        {"  7.25 rest", 7250000, 6},
        {"12.1234567", 12123456, 9},  // a seventh digit is not read
        {"5:", 5000000, 1},           // a ":" without a number after it is not read
        {"1:2:3:4", 3723000000, 5},   // three numbers at most
        {"x", 0, 0},
    };
    for (const auto& c : cases) {
        char* end = nullptr;
        EXPECT_EQ(TARN::TimestampFromString(c.text, &end), c.timestamp) << c.text;
        EXPECT_EQ(end - c.text, c.consumed) << c.text;
    }
    char* end = nullptr;
    const char* empty = "";
    EXPECT_EQ(TARN::TimestampFromString(empty, &end), -1);
    EXPECT_EQ(end, empty);
    EXPECT_EQ(TARN::TimestampFromString(nullptr), -1);
}

TEST(TimestampText, EveryTextReadsBackToItsTimestamp) {
    const long timestamps[] = {0,        1,          -1,          999999,      -1000000,
                               59999999, 3600000000, -3600000001, 90061000001, 1234567890123456,
                               LONG_MAX, LONG_MIN,   LONG_MIN + 1};
    for (long timestamp : timestamps) {
        EXPECT_EQ(TARN::TimestampFromString(TARN::Timestamp2String(timestamp).c_str()), timestamp)
            << timestamp;
    }
}

TEST(TimestampText, OutOfRangeTextsAreHeldToTheRange) {
    EXPECT_EQ(TARN::TimestampFromString("99999999999999999999"), LONG_MAX);
    EXPECT_EQ(TARN::TimestampFromString("9999999999999:00"), LONG_MAX);
    EXPECT_EQ(TARN::TimestampFromString("-9999999999999:00:00.5"), LONG_MIN);
}
