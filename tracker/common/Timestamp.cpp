#include "common/Timestamp.h"

namespace {
int64_t FromFileTime(const FILETIME& time) {
  return (int64_t)(((uint64_t)time.dwHighDateTime << 32) | time.dwLowDateTime);
}
}  // namespace

int64_t CurrentTimestamp() {
  SYSTEMTIME now;
  GetLocalTime(&now);
  return CalendarToTimestamp(now);
}

SYSTEMTIME TimestampToCalendar(int64_t timestamp) {
  FILETIME count;
  count.dwLowDateTime = (DWORD)(uint64_t)timestamp;
  count.dwHighDateTime = (DWORD)((uint64_t)timestamp >> 32);
  SYSTEMTIME time{};
  FileTimeToSystemTime(&count, &time);
  return time;
}

int64_t CalendarToTimestamp(const SYSTEMTIME& calendar) {
  FILETIME time{};
  SystemTimeToFileTime(&calendar, &time);
  return FromFileTime(time);
}
