// Calendar times, their conversions to and from timestamps, and the system clock.
#pragma once

#include "tarn/runtime/stacked_string.hpp"

// A calendar time to the microsecond. Whether it is UTC or local time is up to the caller.
struct TARNAbsoluteTime {
    unsigned int year;         // full year, e.g. 2022
    unsigned int month;        // 1-12
    unsigned int day;          // 1-31
    unsigned int hour;         // 0-23
    unsigned int minute;       // 0-59
    unsigned int second;       // 0-59 (60 for a leap second)
    unsigned int millisecond;  // 0-999
    unsigned int microsecond;  // 0-999
};

// Field by field in declared order, as unsigned numbers.
bool operator<(const TARNAbsoluteTime& a, const TARNAbsoluteTime& b);
bool operator>(const TARNAbsoluteTime& a, const TARNAbsoluteTime& b);
bool operator==(const TARNAbsoluteTime& a, const TARNAbsoluteTime& b);

namespace TARN {

// "YYYY/MM/DD hh:mm:ss.mmmuuu", each field zero-padded to its width (and cut to it: a field
// is written modulo 10 to the power of its width).
TARNStackedString<40> AbsoluteTime2String(const TARNAbsoluteTime& time);
// Reads "h:m:s.ms (d/M/y)"; on success sets those seven fields and microsecond 0 and
// returns true. With fewer than seven numbers the time is left unchanged.
bool GetAbsoluteTimeFromString(const TARNStackedString<40>& text, TARNAbsoluteTime& time);

// The current time of day, to the microsecond. GetAbsoluteTime is the local time.
void GetAbsoluteTime(TARNAbsoluteTime* time);
void GetAbsoluteTimeLocal(TARNAbsoluteTime* time);
void GetAbsoluteTimeUTC(TARNAbsoluteTime* time);

// Timestamps count microseconds since 1970-01-01 00:00:00 UTC. A negative timestamp lies
// before that: -1 is 1969-12-31 23:59:59.999999.
void Timestamp2AbsoluteTimeUTC(long timestamp, TARNAbsoluteTime* time);
// The fields taken as UTC; -1 when they name no representable time.
long AbsoluteTimeUTC2Timestamp(const TARNAbsoluteTime* time);
// The same pair in local time.
long AbsoluteTime2Integer(const TARNAbsoluteTime& time);
void Integer2AbsoluteTime(long timestamp, TARNAbsoluteTime& time);

// The same instant in the other time zone; false for a null pointer or when the instant
// cannot be broken down.
bool AbsoluteTimeUTCToAbsoluteTimeLocal(const TARNAbsoluteTime* utc, TARNAbsoluteTime* local);
bool AbsoluteTimeLocalToAbsoluteTimeUTC(const TARNAbsoluteTime* local, TARNAbsoluteTime* utc);

// Sets the system clock to the time, taken as UTC (fields naming no representable time
// set the clock to the epoch). False for a null time or when the system refuses.
bool SetSystemTime(const TARNAbsoluteTime* time);
// Re-reads the time-zone settings and stores the offset of local time from UTC, in
// minutes, positive east of UTC. Always true.
bool GetLocalTimeZoneDelay(int& minutes);

}  // namespace TARN

namespace TARNPrivate {
// How SetSystemTime sets the clock (settimeofday unless replaced): seconds since the epoch
// and microseconds; true on success. Tests put their own in place so that the conversion
// can be checked without touching the machine's clock. Returns the one replaced.
using SystemClockSetter = bool (*)(long seconds, long microseconds);
SystemClockSetter ReplaceSystemClockSetter(SystemClockSetter setter);
}  // namespace TARNPrivate
