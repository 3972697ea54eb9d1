// Match times: a count of 100 ns units since 1601-01-01 on the local wall clock (never UTC), kept to the
// millisecond. Days, sessions and calendar dates are all reckoned from it here.
#pragma once
#include <windows.h>

#include <cstdint>

constexpr int64_t TimestampUnitsPerMinute = 600000000LL;
constexpr int64_t TimestampUnitsPerDay = 864000000000LL;
// Matches this far apart or more belong to different sessions.
constexpr int64_t SessionGap = 30 * TimestampUnitsPerMinute;

// Days since 1601-01-01, which was a Monday.
constexpr int64_t TimestampDayOf(int64_t timestamp) {
  return timestamp >= 0 ? timestamp / TimestampUnitsPerDay : -((-timestamp - 1) / TimestampUnitsPerDay) - 1;
}
// 00:00:00.000 of the day the timestamp falls on.
constexpr int64_t StartOfDay(int64_t timestamp) { return TimestampDayOf(timestamp) * TimestampUnitsPerDay; }

// Now, as a match is stamped.
int64_t CurrentTimestamp();
// Calendar time of a timestamp and back, with no zone conversion.
SYSTEMTIME TimestampToCalendar(int64_t timestamp);
int64_t CalendarToTimestamp(const SYSTEMTIME& calendar);
