// Which matches a view asks for, and its WHERE clause.
#pragma once
#include <windows.h>
#include <cstdint>
#include <string>

enum RecordFilterFlag : uint32_t {
  FilterFrom = 0x1,
  FilterTo = 0x2,
  FilterP1Name = 0x4,
  FilterP1NameLike = 0x8,
  FilterP1Id = 0x10,
  FilterP1Win = 0x20,
  FilterP2Name = 0x40,
  FilterP2NameLike = 0x80,
  FilterP2Id = 0x100,
  FilterP2Win = 0x200,
  FilterLimit = 0x400,
  // Matches stored without an opponent name, which read back as an empty one.
  FilterP2NameNull = 0x800,
};

// Copied by value, bytes and all; a field whose flag is clear means nothing.
struct RecordFilter {
  uint32_t flags;
  int64_t timestampFrom;
  int64_t timestampTo;
  char p1name[260];  // ANSI code page
  int32_t p1id;
  int32_t p1win;
  char p2name[260];
  int32_t p2id;
  int32_t p2win;
  int32_t limit;
};

enum SummaryPeriodValue : int {
  PeriodAll = 0,
  PeriodToday = 1,
  PeriodYesterday = 2,
  PeriodCustom = 3,
};

extern int SummaryPeriod;
extern RecordFilter CustomFilter;

// Appends nothing, or " WHERE " and the conditions joined by " AND ".
void BuildWhereClause(const RecordFilter& filter, std::string& clause);
void ApplySummaryPeriod(RecordFilter& filter);
// The timestamp of that time of `day`'s date.
int64_t TimestampOnDay(const SYSTEMTIME& day, WORD hour, WORD minute, WORD second, WORD millisecond);
