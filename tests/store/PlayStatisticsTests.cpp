#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <string>
#include <iterator>
#include <tuple>
#include <vector>

#include "StoreTestData.h"
#include "store/PlayStatistics.h"

#include "TrendFigureExpectations.h"

namespace {
const int64_t Base = 133000000000000000LL / TimestampUnitsPerDay * TimestampUnitsPerDay;  // a midnight
const int64_t Second = 10000000;

// Columns over plain vectors; 'W' won 2-0, 'L' lost 0-2, 'D' neither side reached two rounds.
struct Rows {
  std::vector<int64_t> t;
  std::vector<uint8_t> a, b;
  std::vector<int8_t> w1, w2;
  void Add(int64_t when, char outcome, int own = 4, int opponent = 1) {
    t.push_back(when);
    a.push_back((uint8_t)own);
    b.push_back((uint8_t)opponent);
    w1.push_back(outcome == 'W' ? 2 : outcome == 'L' ? 0 : 1);
    w2.push_back(outcome == 'L' ? 2 : outcome == 'W' ? 1 : 1);
  }
  void AddRun(int64_t& when, const char* outcomes, int own = 4) {
    for (const char* c = outcomes; *c; ++c) Add(when += Second, *c, own);
  }
  MatchColumns Columns() const { return {t.size(), t.data(), a.data(), b.data(), w1.data(), w2.data()}; }
};

PlayTally Tally(const MatchColumns& rows, int span = 50, int character = AllCharacters) {
  PlayTally tally(span, character);
  tally.Add(rows, 0, rows.count);
  return tally;
}
Trend ComputeTrend(const MatchColumns& rows, int span, int character) { return Tally(rows, span, character).TrendOf(); }
Streaks ComputeStreaks(const MatchColumns& rows) { return Tally(rows).StreaksOf(); }
std::vector<PlaySession> ComputeSessions(const MatchColumns& rows) {
  std::vector<PlaySession> sessions = Tally(rows).Sessions();
  return {sessions.rbegin(), sessions.rend()};
}
void ComputeMatchups(const MatchColumns& rows, PairingCell (&cells)[14][14]) { Tally(rows).Matchups(cells); }

TEST(PlayStatisticsTest, RollingRateAtTheEdgesOfItsWindow) {
  Rows rows;
  int64_t t = Base;
  rows.AddRun(t, "WL");
  Trend shorter = ComputeTrend(rows.Columns(), 3, AllCharacters);
  ASSERT_EQ(2u, shorter.rate.size());
  EXPECT_EQ(1000, shorter.rate[0]);
  EXPECT_EQ(500, shorter.rate[1]);
  EXPECT_TRUE(shorter.Partial(0) && shorter.Partial(1));

  // Exactly the window, an undecided match and another character's match left out, then five days later.
  rows.Add(t += Second, 'D');
  rows.Add(t += Second, 'L', 9);
  rows.AddRun(t, "W");
  t += 5 * TimestampUnitsPerDay;
  rows.AddRun(t, "LL");
  Trend trend = ComputeTrend(rows.Columns(), 3, 4);
  ASSERT_EQ(5u, trend.rate.size());
  EXPECT_EQ(667, trend.rate[2]);
  EXPECT_FALSE(trend.Partial(2));
  EXPECT_EQ(333, trend.rate[3]);  // the days between do not empty the window
  EXPECT_EQ(333, trend.rate[4]);
  EXPECT_EQ(2, trend.wins);
  EXPECT_EQ(3, trend.losses);
  ASSERT_EQ(2u, trend.days.size());
  EXPECT_EQ(0u, trend.days[0].first);
  EXPECT_EQ(3u, trend.days[0].count);
  EXPECT_EQ(3u, trend.days[1].first);
  EXPECT_EQ(trend.days[0].day + 5, trend.days[1].day);
  EXPECT_EQ(6u, ComputeTrend(rows.Columns(), 3, AllCharacters).rate.size());
}

// A refresh after a capture adds the new rows to the tally it has; that must give what a fresh pass gives.
TEST(PlayStatisticsTest, AddingRowsToATallyGivesWhatOnePassGives) {
  Rows rows;
  int64_t t = Base;
  const char pattern[] = "WWLDWLLLWWWLWDLLWLWW";
  for (int i = 0; i < 8000; ++i) {
    rows.Add(t, pattern[i % 20], i % 3 ? 4 : 9, i % 14);
    t += (i % 17 ? 3 : 50) * TimestampUnitsPerMinute + (i % 29 ? 0 : TimestampUnitsPerDay);
  }
  MatchColumns all = rows.Columns();
  for (size_t cut : {0u, 1u, 49u, 50u, 51u, 2048u, 4095u, 7999u}) {
    PlayTally pieces(50, 4);
    pieces.Add(all, 0, cut);
    pieces.Add(all, cut, cut + 1);
    pieces.Add(all, cut + 1, all.count);
    PlayTally whole = Tally(all, 50, 4);
    EXPECT_EQ(whole.TrendOf().rate, pieces.TrendOf().rate) << cut;
    ASSERT_EQ(whole.TrendOf().days.size(), pieces.TrendOf().days.size()) << cut;
    EXPECT_EQ(whole.TrendOf().days.back().count, pieces.TrendOf().days.back().count) << cut;
    EXPECT_EQ(whole.StreaksOf().longestLosses, pieces.StreaksOf().longestLosses) << cut;
    EXPECT_EQ(whole.StreaksOf().current, pieces.StreaksOf().current) << cut;
    ASSERT_EQ(whole.Sessions().size(), pieces.Sessions().size()) << cut;
    EXPECT_EQ(whole.Sessions().back().matches, pieces.Sessions().back().matches) << cut;
    PairingCell a[14][14], b[14][14];
    whole.Matchups(a);
    pieces.Matchups(b);
    EXPECT_EQ(0, memcmp(a, b, sizeof a)) << cut;
    ASSERT_EQ(whole.TrendOf().stretches.size(), pieces.TrendOf().stretches.size()) << cut;
    for (size_t k = 0; k < whole.TrendOf().stretches.size(); ++k) {
      const TrendStretch &x = whole.TrendOf().stretches[k], &y = pieces.TrendOf().stretches[k];
      ASSERT_TRUE(x.first == y.first && x.last == y.last && x.low == y.low && x.high == y.high &&
                  x.dayMost == y.dayMost && (!x.dayMost || x.firstDay == y.firstDay))
          << cut << " stretch " << k;
    }
  }
  // The stretches sum up their points and the days that start in them.
  PlayTally tally = Tally(all, 50, 4);
  const Trend& trend = tally.TrendOf();
  ASSERT_EQ(4u, trend.stretchLength);
  for (size_t k = 0; k < trend.stretches.size(); ++k) {
    const TrendStretch& s = trend.stretches[k];
    size_t from = k * 4, to = std::min(from + 4, trend.rate.size());
    EXPECT_EQ(trend.rate[from], s.first);
    EXPECT_EQ(trend.rate[to - 1], s.last);
    EXPECT_EQ(*std::min_element(&trend.rate[from], &trend.rate[to]), s.low);
    EXPECT_EQ(*std::max_element(&trend.rate[from], &trend.rate[to]), s.high);
    uint32_t most = 0;
    for (const TrendDay& day : trend.days)
      if (day.first >= from && day.first < to) most = std::max(most, day.count);
    EXPECT_EQ(most, s.dayMost) << k;
  }
  // The overlay reads newest first and stops as soon as older matches cannot matter: it must still find the
  // graph's current session and streak.
  for (size_t end : {1u, 20u, 2049u, 8000u}) {
    PlayTally upTo(50, AllCharacters);
    upTo.Add(all, 0, end);
    int64_t now = all.timestamp[end - 1] + 20 * TimestampUnitsPerMinute;
    RecentPlay recent(now);
    for (size_t i = end; i > 0 && recent.Wants(); --i) recent.Add(all.timestamp[i - 1], MatchOutcome(all, i - 1));
    SessionTally tally = recent.Tally();
    EXPECT_EQ(upTo.StreaksOf().current, tally.StreaksOf().current) << end;
    const PlaySession* session = tally.CurrentSession(now);
    ASSERT_NE(nullptr, session) << end;
    const PlaySession& last = upTo.Sessions().back();
    EXPECT_EQ(std::make_tuple(last.start, last.matches, last.wins, last.losses),
              std::make_tuple(session->start, session->matches, session->wins, session->losses)) << end;
    EXPECT_EQ(nullptr, tally.CurrentSession(now + SessionGap));
  }
}

// Two years of matches, generated as trend_figures.py generates them, give its figures per week and per
// day, and every month of the span.
TEST(PlayStatisticsTest, ALongPeriodIsDrawnPerWeekWithThePythonFigures) {
  Rows rows;
  uint32_t x = 20241;
  int64_t t = TrendStart;
  for (int i = 0; i < TrendMatches; ++i) {
    x = (uint32_t)(((uint64_t)x * 1103515245u + 12345u) % (1u << 31));
    int64_t minutes = 1 + x % 61 + (x % 997 == 0 ? 5 * 24 * 60 : 0);
    t += minutes * TimestampUnitsPerMinute + (int64_t)(x % 1000) * 10000;
    rows.Add(t, (x >> 16) % 50 == 0 ? 'D' : (x >> 8) % 100 < 53 ? 'W' : 'L', (x >> 4) % 14, (x >> 12) % 14);
  }
  PlayTally tally = Tally(rows.Columns());
  const Trend& trend = tally.TrendOf();
  EXPECT_EQ(TrendForm::PerWeek, ChooseTrendForm(trend));
  auto same = [](const std::vector<RatePoint>& got, const RatePoint* expected, size_t count) {
    ASSERT_EQ(count, got.size());
    for (size_t i = 0; i < count; ++i)
      ASSERT_EQ(std::make_tuple(expected[i].firstDay, expected[i].wins, expected[i].losses),
                std::make_tuple(got[i].firstDay, got[i].wins, got[i].losses)) << "point " << i;
  };
  same(RatePerPeriod(trend, TrendForm::PerWeek), ExpectedWeeks, std::size(ExpectedWeeks));
  same(RatePerPeriod(trend, TrendForm::PerDay), ExpectedDays, std::size(ExpectedDays));
  std::vector<MonthMark> months = MonthMarks(trend.days.front().day, trend.days.back().day);
  ASSERT_EQ(std::size(ExpectedMonths), months.size());
  for (size_t i = 0; i < months.size(); ++i)
    EXPECT_EQ(std::make_tuple(ExpectedMonths[i].day, ExpectedMonths[i].year, ExpectedMonths[i].month),
              std::make_tuple(months[i].day, months[i].year, months[i].month));

  // The same matches within 120 days are drawn per day; a few hundred of them as the rolling rate.
  Rows season, evening;
  for (size_t i = 0; i < rows.t.size() && rows.t[i] - rows.t[0] < 100 * TimestampUnitsPerDay; ++i)
    season.Add(rows.t[i], rows.w1[i] == 2 ? 'W' : rows.w1[i] == 0 ? 'L' : 'D');
  for (int i = 0; i < 900; ++i) evening.Add(rows.t[i], rows.w1[i] == 2 ? 'W' : 'L');
  ASSERT_GT(season.t.size(), RollingPointsMost);
  EXPECT_EQ(TrendForm::PerDay, ChooseTrendForm(Tally(season.Columns()).TrendOf()));
  EXPECT_EQ(TrendForm::Rolling, ChooseTrendForm(Tally(evening.Columns()).TrendOf()));
}

TEST(PlayStatisticsTest, WilsonIntervalMatchesKnownValues) {
  struct Known {
    int wins, games;
    double low, high;
  } known[] = {{0, 10, 0.0, 0.2775}, {5, 10, 0.2366, 0.7634}, {10, 10, 0.7225, 1.0},
               {81, 263, 0.2553, 0.3662}, {12, 20, 0.3866, 0.7812}, {0, 0, 0.0, 1.0}};
  for (const Known& k : known) {
    RateInterval interval = WilsonInterval(k.wins, k.games);
    EXPECT_NEAR(k.low, interval.low, 0.00006) << k.wins << "/" << k.games;
    EXPECT_NEAR(k.high, interval.high, 0.00006) << k.wins << "/" << k.games;
  }
}

TEST(PlayStatisticsTest, SessionsSplitAtExactlyThirtyMinutes) {
  Rows rows;
  rows.Add(Base, 'W');
  rows.Add(Base + SessionGap - 10000, 'L');  // a millisecond short of the gap
  rows.Add(Base + 2 * SessionGap - 10000, 'D');  // exactly the gap
  rows.Add(Base + 2 * SessionGap + 5 * Second, 'L');
  rows.Add(Base + 4 * SessionGap, 'W');
  std::vector<PlaySession> sessions = ComputeSessions(rows.Columns());
  ASSERT_EQ(3u, sessions.size());
  EXPECT_EQ(Base + 4 * SessionGap, sessions[0].start);
  EXPECT_EQ(1u, sessions[0].matches);
  EXPECT_EQ(Base + 2 * SessionGap - 10000, sessions[1].start);
  EXPECT_EQ(2u, sessions[1].matches);
  EXPECT_EQ(0, sessions[1].wins);
  EXPECT_EQ(1, sessions[1].losses);
  EXPECT_EQ(Base, sessions[2].start);
  EXPECT_EQ(Base + SessionGap - 10000, sessions[2].end);
  EXPECT_EQ(2u, sessions[2].matches);
  EXPECT_EQ(1, sessions[2].wins);
  EXPECT_TRUE(ComputeSessions(Rows().Columns()).empty());
}

class PlayRowsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetDatabasePath(folder.File(L"p.db"));
    ASSERT_TRUE(OpenRecordDatabase());
  }
  void TearDown() override { CloseRecordDatabase(); }
  void Store(int64_t& when, const char* outcomes, int own = 4, int opponent = 1) {
    std::vector<MatchRecord> records;
    for (const char* c = outcomes; *c; ++c)
      records.push_back(Match(when += Second, "me", own, *c == 'W' ? 2 : 1, "opp", opponent, *c == 'W' ? 1 : 2));
    ASSERT_TRUE(InsertAll(records));
  }
  ScratchFolder folder;
};

TEST_F(PlayRowsTest, StreaksCountOnlyThePeriodsMatches) {
  int64_t t = Base - 600 * Second;  // yesterday evening
  Store(t, "LWWWWW");
  t = Base;
  Store(t, "WWLWW");
  RecordFilter today = NoConditions();
  today.flags = FilterFrom | FilterTo;
  today.timestampFrom = Base;
  today.timestampTo = Base + TimestampUnitsPerDay - 10000;
  PlayRows rows;
  ASSERT_TRUE(rows.Load(today));
  EXPECT_EQ(5u, rows.Columns().count);
  Streaks streaks = ComputeStreaks(rows.Columns());
  EXPECT_EQ(2, streaks.current);
  EXPECT_EQ(2, streaks.longestWins);
  EXPECT_EQ(1, streaks.longestLosses);

  ASSERT_TRUE(rows.Load(NoConditions()));
  streaks = ComputeStreaks(rows.Columns());
  EXPECT_EQ(7, streaks.longestWins);
  Store(t, "LLL");
  ASSERT_TRUE(rows.Load(NoConditions()));
  EXPECT_EQ(-3, ComputeStreaks(rows.Columns()).current);
}

// Rows that the copy cannot hold are read with one statement, which must pick the same matches.
TEST_F(PlayRowsTest, TableWithIdsOutsideTheRosterGivesTheSameRowsWithoutThem) {
  int64_t t = Base;
  Store(t, "WLWWL", 4, 1);
  Store(t, "LLW", 9, 13);
  Store(t, "WWLW", 4, 2);
  RecordFilter recent = NoConditions();
  recent.flags = FilterP1Id | FilterLimit;
  recent.p1id = 4;
  recent.limit = 6;
  auto take = [](const RecordFilter& f, std::vector<int64_t>& stamps, PairingCell (&cells)[14][14]) {
    PlayRows rows;
    ASSERT_TRUE(rows.Load(f));
    const MatchColumns& c = rows.Columns();
    stamps.assign(c.timestamp, c.timestamp + c.count);
    ComputeMatchups(c, cells);
  };
  std::vector<int64_t> fromCopy, fromStatement;
  PairingCell copyCells[14][14], statementCells[14][14], all[14][14];
  take(recent, fromCopy, copyCells);
  ASSERT_EQ(6u, fromCopy.size());
  EXPECT_LT(fromCopy.front(), fromCopy.back());

  char* sql = sqlite3_mprintf("INSERT INTO viziriduvozmirrow VALUES (%lld, 'me', 20, 2, 'x', 1, 0), "
                              "(%lld, 'me', 4, 2, 'x', -1, 0)", t + Second, t + 2 * Second);
  ASSERT_EQ(SQLITE_OK, sqlite3_exec(RecordDatabase(), sql, nullptr, nullptr, nullptr));
  sqlite3_free(sql);
  MatchColumns none;
  ASSERT_FALSE(SnapshotColumnsFor(RecordDatabase(), recent, none));  // the copy gives way
  recent.limit = 7;  // the statement's limit also counts the row with opponent -1
  take(recent, fromStatement, statementCells);
  EXPECT_EQ(fromCopy, fromStatement);
  EXPECT_EQ(0, memcmp(copyCells, statementCells, sizeof copyCells));

  std::vector<int64_t> stamps;
  take(NoConditions(), stamps, all);
  EXPECT_EQ(12u, stamps.size());
  EXPECT_EQ(6, all[4][2].wins + all[4][1].wins);
  EXPECT_EQ(1, all[9][13].wins);
  EXPECT_EQ(2, all[9][13].losses);
}

}  // namespace
