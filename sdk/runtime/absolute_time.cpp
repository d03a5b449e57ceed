#include "tarn/runtime/absolute_time.hpp"

#include <sys/time.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <ctime>

#include "tarn/runtime/saturated_arithmetic.hpp"

namespace {

constexpr long microsecondsPerSecond = 1000000;

// Division rounding towards minus infinity, with the matching non-negative remainder: a
// timestamp of -1 µs lies in the second before the epoch, 999 999 µs into it.
long floorDivide(long value, long divisor) {
    const long quotient = value / divisor;
    return (value % divisor != 0 && value < 0) ? quotient - 1 : quotient;
}
long floorRemainder(long value, long divisor) {
    const long remainder = value % divisor;
    return remainder < 0 ? remainder + divisor : remainder;
}

// Breaks the seconds down into the date and time fields; the sub-second fields are left
// to the caller. False (and the time untouched) when the system cannot.
bool breakDown(long seconds, bool local, TARNAbsoluteTime& time) {
    const time_t t = seconds;
    tm fields{};
    if ((local ? localtime_r(&t, &fields) : gmtime_r(&t, &fields)) == nullptr) return false;
    time.year = static_cast<unsigned int>(fields.tm_year + 1900L);
    time.month = static_cast<unsigned int>(fields.tm_mon + 1);
    time.day = static_cast<unsigned int>(fields.tm_mday);
    time.hour = static_cast<unsigned int>(fields.tm_hour);
    time.minute = static_cast<unsigned int>(fields.tm_min);
    time.second = static_cast<unsigned int>(fields.tm_sec);
    return true;
}

void breakDownWithFraction(long seconds, long microseconds, bool local, TARNAbsoluteTime& time) {
    if (!breakDown(seconds, local, time)) return;
    time.millisecond = static_cast<unsigned int>(microseconds / 1000);
    time.microsecond = static_cast<unsigned int>(microseconds % 1000);
}

// Seconds since the epoch of the date and time fields, in UTC or local time (daylight
// saving left for the system to decide). False when they name no representable time.
bool secondsOf(const TARNAbsoluteTime& time, bool local, long& seconds) {
    // The system's fields are ints: larger values name no time.
    const unsigned int largest = INT_MAX;
    if (time.year > largest || time.month > largest || time.day > largest || time.hour > largest ||
        time.minute > largest || time.second > largest)
        return false;
    tm fields{};
    fields.tm_year = static_cast<int>(time.year) - 1900;
    fields.tm_mon = static_cast<int>(time.month) - 1;
    fields.tm_mday = static_cast<int>(time.day);
    fields.tm_hour = static_cast<int>(time.hour);
    fields.tm_min = static_cast<int>(time.minute);
    fields.tm_sec = static_cast<int>(time.second);
    fields.tm_isdst = -1;
    // -1 is also 1969-12-31 23:59:59: only errno tells a failure apart.
    errno = 0;
    const time_t t = local ? mktime(&fields) : timegm(&fields);
    if (t == static_cast<time_t>(-1) && errno != 0) return false;
    seconds = t;
    return true;
}

long timestampOf(const TARNAbsoluteTime& time, bool local) {
    long seconds;
    if (!secondsOf(time, local, seconds)) return -1;
    using namespace TARNPrivate;
    const long fraction = static_cast<long>(time.millisecond) * 1000 + time.microsecond;
    return SaturatedAdd(SaturatedMul(seconds, microsecondsPerSecond), fraction);
}

void currentTime(bool local, TARNAbsoluteTime* time) {
    timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    breakDownWithFraction(now.tv_sec, now.tv_nsec / 1000, local, *time);
}

bool convert(const TARNAbsoluteTime* from, bool fromLocal, TARNAbsoluteTime* to) {
    if (from == nullptr || to == nullptr) return false;
    long seconds;
    if (!secondsOf(*from, fromLocal, seconds)) seconds = 0;
    if (!breakDown(seconds, !fromLocal, *to)) return false;
    to->millisecond = from->millisecond;
    to->microsecond = from->microsecond;
    return true;
}

bool setSystemClock(long seconds, long microseconds) {
    const timeval value{seconds, microseconds};
    return settimeofday(&value, nullptr) == 0;
}

std::atomic<TARNPrivate::SystemClockSetter> systemClockSetter{setSystemClock};

// The fields in declared order, for the comparisons.
auto fieldsOf(const TARNAbsoluteTime& t) {
    struct Fields {
        unsigned int values[8];
    };
    return Fields{{t.year, t.month, t.day, t.hour, t.minute, t.second, t.millisecond, t.microsecond}};
}

int compare(const TARNAbsoluteTime& a, const TARNAbsoluteTime& b) {
    const auto fa = fieldsOf(a);
    const auto fb = fieldsOf(b);
    for (int i = 0; i < 8; ++i) {
        if (fa.values[i] != fb.values[i]) return fa.values[i] < fb.values[i] ? -1 : 1;
    }
    return 0;
}

}  // namespace

bool operator<(const TARNAbsoluteTime& a, const TARNAbsoluteTime& b) {
    return compare(a, b) < 0;
}
bool operator>(const TARNAbsoluteTime& a, const TARNAbsoluteTime& b) {
    return compare(a, b) > 0;
}
bool operator==(const TARNAbsoluteTime& a, const TARNAbsoluteTime& b) {
    return compare(a, b) == 0;
}

namespace TARN {

TARNStackedString<40> AbsoluteTime2String(const TARNAbsoluteTime& time) {
    char text[64];
    std::snprintf(text, sizeof text, "%04u/%02u/%02u %02u:%02u:%02u.%03u%03u", time.year % 10000,
                  time.month % 100, time.day % 100, time.hour % 100, time.minute % 100, time.second % 100,
                  time.millisecond % 1000, time.microsecond % 1000);
    return TARNStackedString<40>(text);
}

bool GetAbsoluteTimeFromString(const TARNStackedString<40>& text, TARNAbsoluteTime& time) {
    int hour, minute, second, millisecond, day, month, year;
    if (std::sscanf(text.c_str(), "%d:%d:%d.%d (%d/%d/%d)", &hour, &minute, &second, &millisecond, &day,
                    &month, &year) != 7)
        return false;
    time.year = static_cast<unsigned int>(year);
    time.month = static_cast<unsigned int>(month);
    time.day = static_cast<unsigned int>(day);
    time.hour = static_cast<unsigned int>(hour);
    time.minute = static_cast<unsigned int>(minute);
    time.second = static_cast<unsigned int>(second);
    time.millisecond = static_cast<unsigned int>(millisecond);
    time.microsecond = 0;
    return true;
}

void GetAbsoluteTime(TARNAbsoluteTime* time) {
    currentTime(true, time);
}
void GetAbsoluteTimeLocal(TARNAbsoluteTime* time) {
    currentTime(true, time);
}
void GetAbsoluteTimeUTC(TARNAbsoluteTime* time) {
    currentTime(false, time);
}

void Timestamp2AbsoluteTimeUTC(long timestamp, TARNAbsoluteTime* time) {
    breakDownWithFraction(floorDivide(timestamp, microsecondsPerSecond),
                          floorRemainder(timestamp, microsecondsPerSecond), false, *time);
}

long AbsoluteTimeUTC2Timestamp(const TARNAbsoluteTime* time) {
    return timestampOf(*time, false);
}

long AbsoluteTime2Integer(const TARNAbsoluteTime& time) {
    return timestampOf(time, true);
}

void Integer2AbsoluteTime(long timestamp, TARNAbsoluteTime& time) {
    breakDownWithFraction(floorDivide(timestamp, microsecondsPerSecond),
                          floorRemainder(timestamp, microsecondsPerSecond), true, time);
}

bool AbsoluteTimeUTCToAbsoluteTimeLocal(const TARNAbsoluteTime* utc, TARNAbsoluteTime* local) {
    return convert(utc, false, local);
}

bool AbsoluteTimeLocalToAbsoluteTimeUTC(const TARNAbsoluteTime* local, TARNAbsoluteTime* utc) {
    return convert(local, true, utc);
}

bool SetSystemTime(const TARNAbsoluteTime* time) {
    if (time == nullptr) return false;
    long seconds;
    if (!secondsOf(*time, false, seconds)) seconds = 0;
    const long microseconds = static_cast<long>(time->millisecond) * 1000 + time->microsecond;
    return systemClockSetter.load()(seconds, microseconds);
}

bool GetLocalTimeZoneDelay(int& minutes) {
    tzset();
    const time_t now = time(nullptr);
    tm fields{};
    localtime_r(&now, &fields);
    minutes = static_cast<int>(fields.tm_gmtoff / 60);
    return true;
}

}  // namespace TARN

namespace TARNPrivate {
SystemClockSetter ReplaceSystemClockSetter(SystemClockSetter setter) {
    return systemClockSetter.exchange(setter);
}
}  // namespace TARNPrivate
