#include "store/RecordFilter.h"

#include <windows.h>
#include <sqlite3.h>

#include <cstdarg>
#include <cstring>

#include "store/RecordDatabase.h"

int SummaryPeriod = PeriodAll;
RecordFilter CustomFilter = {};

namespace {
// A filter's name field need not be terminated when its flag is clear; when it is set we still never read past it.
std::string NameOf(const char (&field)[260]) { return std::string(field, strnlen(field, sizeof field)); }

std::string PatternOf(const char (&field)[260]) {
  std::string utf8;
  AnsiToUtf8(NameOf(field).c_str(), utf8);  // an unconvertible name gives an empty pattern
  return utf8;
}

// Conditions are formatted whole: a long name must still give a statement that matches it.
std::string Format(const char* format, ...) {
  va_list args;
  va_start(args, format);
  char* text = sqlite3_vmprintf(format, args);
  va_end(args);
  std::string result = text ? text : "";
  sqlite3_free(text);
  return result;
}

std::string Condition(const RecordFilter& filter, uint32_t bit) {
  switch (bit) {
    case FilterFrom: return Format("timestamp >= %lld", (long long)filter.timestampFrom);
    case FilterTo: return Format("timestamp <= %lld", (long long)filter.timestampTo);
    case FilterP1Name: return Format("p1name = '%q'", NameOf(filter.p1name).c_str());
    case FilterP1NameLike: return Format("ansi2utf8(p1name) LIKE '%q'", PatternOf(filter.p1name).c_str());
    case FilterP1Id: return Format("p1id = %ld", (long)filter.p1id);
    case FilterP1Win: return Format("p1win = %ld", (long)filter.p1win);
    case FilterP2Name: return Format("p2name = '%q'", NameOf(filter.p2name).c_str());
    case FilterP2NameLike: return Format("ansi2utf8(p2name) LIKE '%q'", PatternOf(filter.p2name).c_str());
    case FilterP2Id: return Format("p2id = %ld", (long)filter.p2id);
    case FilterP2Win: return Format("p2win = %ld", (long)filter.p2win);
  }
  return std::string();
}

void SetToday(RecordFilter& filter) {
  SYSTEMTIME now;
  GetLocalTime(&now);
  filter.flags |= FilterFrom | FilterTo;
  filter.timestampFrom = TimestampOnDay(now, 0, 0, 0, 0);
  filter.timestampTo = TimestampOnDay(now, 23, 59, 59, 999);
}
}  // namespace

int64_t TimestampOnDay(const SYSTEMTIME& day, WORD hour, WORD minute, WORD second, WORD millisecond) {
  SYSTEMTIME t = day;
  t.wHour = hour;
  t.wMinute = minute;
  t.wSecond = second;
  t.wMilliseconds = millisecond;
  FILETIME ft{};
  SystemTimeToFileTime(&t, &ft);
  return (int64_t)(((uint64_t)ft.dwHighDateTime << 32) | ft.dwLowDateTime);
}

void BuildWhereClause(const RecordFilter& filter, std::string& clause) {
  if ((filter.flags & (0x3FF | FilterP2NameNull)) == 0) return;
  clause += " WHERE ";
  bool first = true;
  for (uint32_t bit = FilterFrom; bit <= FilterP2Win; bit <<= 1) {
    if (!(filter.flags & bit)) continue;
    if (!first) clause += " AND ";
    clause += Condition(filter, bit);
    first = false;
  }
  if (filter.flags & FilterP2NameNull) clause += first ? "p2name IS NULL" : " AND p2name IS NULL";
}

void ApplySummaryPeriod(RecordFilter& filter) {
  switch (SummaryPeriod) {
    case PeriodToday:
      SetToday(filter);
      break;
    case PeriodYesterday:
      SetToday(filter);
      filter.timestampFrom -= TimestampUnitsPerDay;
      filter.timestampTo -= TimestampUnitsPerDay;
      break;
    case PeriodCustom: {
      const RecordFilter& custom = CustomFilter;
      uint32_t set = custom.flags;
      filter.flags |= set;
      if (set & FilterFrom) filter.timestampFrom = custom.timestampFrom;
      if (set & FilterTo) filter.timestampTo = custom.timestampTo;
      if (set & (FilterP1Name | FilterP1NameLike)) memcpy(filter.p1name, custom.p1name, sizeof filter.p1name);
      if (set & FilterP1Id) filter.p1id = custom.p1id;
      if (set & FilterP1Win) filter.p1win = custom.p1win;
      if (set & (FilterP2Name | FilterP2NameLike)) memcpy(filter.p2name, custom.p2name, sizeof filter.p2name);
      if (set & FilterP2Id) filter.p2id = custom.p2id;
      if (set & FilterP2Win) filter.p2win = custom.p2win;
      if (set & FilterLimit) filter.limit = custom.limit;
      break;
    }
    default:
      break;
  }
}
