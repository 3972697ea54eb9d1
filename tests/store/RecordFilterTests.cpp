#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "StoreTestData.h"
#include "TestSupport.h"
#include "store/RecordQueries.h"

namespace {
std::string Clause(const RecordFilter& filter) {
  std::string clause = "<";
  BuildWhereClause(filter, clause);
  return clause + ">";
}

RecordFilter Everything() {
  RecordFilter f = NoConditions();
  f.timestampFrom = 130000000000000000LL;
  f.timestampTo = 130000000009999999LL;
  SetName(f.p1name, "me");
  f.p1id = 3;
  f.p1win = 2;
  SetName(f.p2name, "you");
  f.p2id = -1;
  f.p2win = 0;
  f.limit = 50;
  return f;
}

TEST(BuildWhereClause, EachFlagAlone) {
  const std::pair<uint32_t, const char*> cases[] = {
      {FilterFrom, "< WHERE timestamp >= 130000000000000000>"},
      {FilterTo, "< WHERE timestamp <= 130000000009999999>"},
      {FilterP1Name, "< WHERE p1name = 'me'>"},
      {FilterP1NameLike, "< WHERE ansi2utf8(p1name) LIKE 'me'>"},
      {FilterP1Id, "< WHERE p1id = 3>"},
      {FilterP1Win, "< WHERE p1win = 2>"},
      {FilterP2Name, "< WHERE p2name = 'you'>"},
      {FilterP2NameLike, "< WHERE ansi2utf8(p2name) LIKE 'you'>"},
      {FilterP2Id, "< WHERE p2id = -1>"},
      {FilterP2Win, "< WHERE p2win = 0>"},
      {FilterLimit, "<>"},
      {FilterP2NameNull, "< WHERE p2name IS NULL>"},
      {FilterP2NameNull | FilterFrom, "< WHERE timestamp >= 130000000000000000 AND p2name IS NULL>"},
      {0, "<>"},
  };
  for (const auto& c : cases) {
    RecordFilter f = Everything();
    f.flags = c.first;
    EXPECT_EQ(c.second, Clause(f)) << "flags " << c.first;
  }
}

TEST(BuildWhereClause, ConditionsFollowTheBitOrderJoinedByAnd) {
  RecordFilter f = Everything();
  f.flags = FilterP2NameLike | FilterLimit | FilterP1Id | FilterFrom;
  EXPECT_EQ("< WHERE timestamp >= 130000000000000000 AND p1id = 3 AND ansi2utf8(p2name) LIKE 'you'>", Clause(f));
  f.flags = 0x7FF;
  EXPECT_EQ(
      "< WHERE timestamp >= 130000000000000000 AND timestamp <= 130000000009999999 AND p1name = 'me' AND "
      "ansi2utf8(p1name) LIKE 'me' AND p1id = 3 AND p1win = 2 AND p2name = 'you' AND ansi2utf8(p2name) LIKE 'you' AND "
      "p2id = -1 AND p2win = 0>",
      Clause(f));
}

TEST(BuildWhereClause, NamesAreQuotedAndPatternsConvertedToUtf8) {
  RecordFilter f = Everything();
  SetName(f.p1name, "O'Brien");
  SetName(f.p2name, "\x83\x65\x83\x58%");  // テス% in code page 932
  f.flags = FilterP1Name | FilterP2NameLike;
  EXPECT_EQ("< WHERE p1name = 'O''Brien' AND ansi2utf8(p2name) LIKE 'テス%'>", Clause(f));
  f.flags = FilterP2Name;
  EXPECT_EQ("< WHERE p2name = '\x83\x65\x83\x58%'>", Clause(f)) << "an exact name keeps its own bytes";
  // A name that does not convert gives an empty pattern.
  f.p1name[0] = '\0';
  f.flags = FilterP1NameLike;
  EXPECT_EQ("< WHERE ansi2utf8(p1name) LIKE ''>", Clause(f));
}

TEST(BuildWhereClause, LongNamesAreNeverCut) {
  ScratchFolder folder;
  SetDatabasePath(folder.File(L"long.db"));
  ASSERT_TRUE(OpenRecordDatabase());
  std::string longName(200, 'x');
  longName += "'end";
  ASSERT_TRUE(InsertAll({Match(10000, "me", 0, 2, longName.c_str(), 1, 0), Match(20000, "me", 0, 2, "x", 1, 0)}));
  RecordFilter f = NoConditions();
  f.flags = FilterP2Name;
  SetName(f.p2name, longName.c_str());
  std::string clause;
  BuildWhereClause(f, clause);
  EXPECT_EQ(" WHERE p2name = '" + std::string(200, 'x') + "''end'", clause);

  std::vector<int64_t> seen;
  auto collect = [](const MatchRecord& r, void* c) { static_cast<std::vector<int64_t>*>(c)->push_back(r.timestamp); };
  EXPECT_TRUE(QueryMatchHistory(f, collect, &seen));
  f.flags = FilterP2NameLike;
  EXPECT_TRUE(QueryMatchHistory(f, collect, &seen));
  EXPECT_EQ((std::vector<int64_t>{10000, 10000}), seen);
  CloseRecordDatabase();
}

std::vector<std::string> NamesMatching(uint32_t flag, const char* pattern) {
  RecordFilter f = NoConditions();
  f.flags = flag;
  SetName(flag == FilterP1NameLike ? f.p1name : f.p2name, pattern);
  std::vector<std::string> names;
  bool ok = QueryMatchHistory(
      f, [](const MatchRecord& r, void* c) { static_cast<std::vector<std::string>*>(c)->push_back(r.p2name); }, &names);
  if (!ok) names.push_back("<failed>");
  return names;
}

TEST(BuildWhereClause, PatternsMatchStoredShiftJisNamesByCharacter) {
  ASSERT_EQ(932u, GetACP());
  ScratchFolder folder;
  SetDatabasePath(folder.File(L"like.db"));
  ASSERT_TRUE(OpenRecordDatabase());
  const char* te = "\x83\x65";                 // テ
  const char* tesu = "\x83\x65\x83\x58";       // テス
  const char* tesuto = "\x83\x65\x83\x58\x83\x67";  // テスト
  ASSERT_TRUE(InsertAll({
      Match(10000, "me", 0, 2, "Alice", 1, 0),
      Match(20000, "me", 0, 2, "alex", 1, 0),
      Match(30000, "me", 0, 2, "Bob", 1, 0),
      Match(40000, "me", 0, 2, "xA", 1, 0),
      Match(50000, "me", 0, 2, te, 1, 0),
      Match(60000, "me", 0, 2, tesu, 1, 0),
      Match(70000, "me", 0, 2, tesuto, 1, 0),
      Match(80000, "me", 0, 2, "ab", 1, 0),
  }));
  EXPECT_EQ((std::vector<std::string>{"ab", "alex", "Alice"}), NamesMatching(FilterP2NameLike, "A%"));
  // One double-byte character is one character for "_", never two.
  EXPECT_EQ((std::vector<std::string>{te}), NamesMatching(FilterP2NameLike, "_"));
  EXPECT_EQ((std::vector<std::string>{"ab", tesu, "xA"}), NamesMatching(FilterP2NameLike, "__"));
  EXPECT_EQ((std::vector<std::string>{tesuto}), NamesMatching(FilterP2NameLike, "\x83\x65_\x83\x67"));
  EXPECT_EQ((std::vector<std::string>{tesuto, tesu}), NamesMatching(FilterP2NameLike, "%\x83\x58%"));
  EXPECT_EQ((std::vector<std::string>{tesu}), NamesMatching(FilterP2Name, tesu)) << "exact bytes, no wildcards";
  EXPECT_EQ(8u, NamesMatching(FilterP1NameLike, "M_").size()) << "the own name goes through the same conversion";
  CloseRecordDatabase();
}

SYSTEMTIME ToSystemTime(int64_t stamp) {
  FILETIME ft{(DWORD)stamp, (DWORD)(stamp >> 32)};
  SYSTEMTIME t{};
  FileTimeToSystemTime(&ft, &t);
  return t;
}

TEST(ApplySummaryPeriod, TodayAndYesterdayAreWholeLocalDays) {
  for (int period : {(int)PeriodToday, (int)PeriodYesterday}) {
    SummaryPeriod = period;
    RecordFilter f = NoConditions();
    f.flags = FilterP1Id;
    f.p1id = 4;
    SYSTEMTIME before;
    GetLocalTime(&before);
    ApplySummaryPeriod(f);
    SYSTEMTIME after;
    GetLocalTime(&after);
    SummaryPeriod = PeriodAll;

    EXPECT_EQ((uint32_t)(FilterP1Id | FilterFrom | FilterTo), f.flags);
    EXPECT_EQ(4, f.p1id);
    EXPECT_EQ(TimestampUnitsPerDay - 10000, f.timestampTo - f.timestampFrom) << "00:00:00.000 to 23:59:59.999";
    SYSTEMTIME from = ToSystemTime(f.timestampFrom), to = ToSystemTime(f.timestampTo);
    EXPECT_EQ(0, from.wHour + from.wMinute + from.wSecond + from.wMilliseconds);
    EXPECT_EQ(23, to.wHour);
    EXPECT_EQ(59, to.wMinute);
    EXPECT_EQ(59, to.wSecond);
    EXPECT_EQ(999, to.wMilliseconds);
    // The day after the range is today for "yesterday"; today is the range itself.
    SYSTEMTIME shown = ToSystemTime(f.timestampFrom + (period == PeriodYesterday ? TimestampUnitsPerDay : 0));
    bool isToday = (shown.wYear == before.wYear && shown.wMonth == before.wMonth && shown.wDay == before.wDay) ||
                   (shown.wYear == after.wYear && shown.wMonth == after.wMonth && shown.wDay == after.wDay);
    EXPECT_TRUE(isToday) << "period " << period;
  }
}

TEST(ApplySummaryPeriod, CustomMergeKeepsTheCallersConditions) {
  RecordFilter saved = CustomFilter;
  SummaryPeriod = PeriodCustom;

  RecordFilter f = NoConditions();
  f.flags = FilterP1Id | FilterP2Win;
  f.p1id = 7;
  f.p2win = 1;
  RecordFilter untouched = f;
  memset(&CustomFilter, 0, sizeof CustomFilter);
  ApplySummaryPeriod(f);
  EXPECT_EQ(0, memcmp(&untouched, &f, sizeof f)) << "an empty custom filter changes nothing";

  CustomFilter = NoConditions();
  CustomFilter.flags = FilterFrom | FilterP2NameLike | FilterP2Win | FilterLimit;
  CustomFilter.timestampFrom = 5550000;
  SetName(CustomFilter.p2name, "A%");
  CustomFilter.p2win = 2;
  CustomFilter.limit = 30;
  ApplySummaryPeriod(f);
  EXPECT_EQ((uint32_t)(FilterP1Id | FilterP2Win | FilterFrom | FilterP2NameLike | FilterLimit), f.flags);
  EXPECT_EQ(7, f.p1id) << "kept: the custom filter does not set it";
  EXPECT_EQ(2, f.p2win) << "set in both: the custom value wins";
  EXPECT_EQ(5550000, f.timestampFrom);
  EXPECT_EQ(0, memcmp(CustomFilter.p2name, f.p2name, sizeof f.p2name)) << "the whole 260 bytes";
  EXPECT_EQ(30, f.limit);
  EXPECT_EQ(untouched.timestampTo, f.timestampTo);
  EXPECT_EQ(0, memcmp(untouched.p1name, f.p1name, sizeof f.p1name));

  // A custom id does replace the caller's.
  CustomFilter.flags = FilterP1Id;
  CustomFilter.p1id = 2;
  ApplySummaryPeriod(f);
  EXPECT_EQ(2, f.p1id);

  // All and unknown values change nothing.
  for (int period : {(int)PeriodAll, 4, -1}) {
    SummaryPeriod = period;
    RecordFilter g = f;
    ApplySummaryPeriod(g);
    EXPECT_EQ(0, memcmp(&g, &f, sizeof f)) << period;
  }
  SummaryPeriod = PeriodAll;
  CustomFilter = saved;
}
}  // namespace
