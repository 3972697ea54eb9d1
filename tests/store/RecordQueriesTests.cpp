#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "StoreTestData.h"
#include "TestSupport.h"
#include "store/RecordQueries.h"

namespace {
const int64_t Base = 133000000000000000LL;  // some day in 2022
const int64_t Second = 10000000;

struct Row {
  std::string name;
  int wins, losses;
};

void CollectOpponent(const MatchRecord& r, void* context) {
  static_cast<std::vector<Row>*>(context)->push_back({r.p2name, r.p1win, r.p2win});
}
void CollectHistory(const MatchRecord& r, void* context) {
  static_cast<std::vector<MatchRecord>*>(context)->push_back(r);
}

int TotalWins() {
  int n = 0;
  for (auto& line : PairingTable)
    for (auto& cell : line) n += cell.wins;
  return n;
}
int TotalLosses() {
  int n = 0;
  for (auto& line : PairingTable)
    for (auto& cell : line) n += cell.losses;
  return n;
}

void Exec(const char* sql) { ASSERT_EQ(SQLITE_OK, sqlite3_exec(RecordDatabase(), sql, nullptr, nullptr, nullptr)) << sql; }

class RecordQueriesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetDatabasePath(folder.File(L"q.db"));
    ASSERT_TRUE(OpenRecordDatabase());
  }
  void TearDown() override { CloseRecordDatabase(); }
  ScratchFolder folder;
};

TEST_F(RecordQueriesTest, EmptyTableAndNoDatabase) {
  // Leave something in the table first, so that "all zero" is the query's doing.
  ASSERT_TRUE(InsertAll({Match(Base, "me", 1, 2, "you", 2, 0)}));
  ASSERT_TRUE(QueryPairingTotals(NoConditions()));
  ASSERT_EQ(1, PairingTable[1][2].wins);
  Exec("DELETE FROM viziriduvozmirrow");

  EXPECT_TRUE(QueryPairingTotals(NoConditions()));
  EXPECT_EQ(0, TotalWins() + TotalLosses());
  std::vector<Row> rows;
  std::vector<MatchRecord> history;
  EXPECT_TRUE(QueryOpponentTotals(NoConditions(), CollectOpponent, &rows));
  EXPECT_TRUE(QueryMatchHistory(NoConditions(), CollectHistory, &history));
  MatchRecord latest = Match(42, "keep", 3, 3, "keep", 3, 3);
  EXPECT_FALSE(QueryLatestMatch(NoConditions(), latest));
  EXPECT_EQ(42, latest.timestamp);
  EXPECT_TRUE(rows.empty());
  EXPECT_TRUE(history.empty());

  ASSERT_TRUE(InsertAll({Match(Base, "me", 1, 2, "you", 2, 0)}));
  CloseRecordDatabase();
  RecordFilter limited = NoConditions();
  limited.flags = FilterLimit;
  limited.limit = 10;
  for (const RecordFilter& f : {NoConditions(), limited}) {
    EXPECT_FALSE(QueryPairingTotals(f));
    EXPECT_FALSE(QueryPairingTotalsByStatement(f));
    EXPECT_FALSE(QueryOpponentTotals(f, CollectOpponent, &rows));
    EXPECT_FALSE(QueryMatchHistory(f, CollectHistory, &history));
    EXPECT_FALSE(QueryLatestMatch(f, latest));
  }
  EXPECT_TRUE(rows.empty());
  EXPECT_TRUE(history.empty());
}

TEST_F(RecordQueriesTest, WinsAndLossesCountByHalfTheRounds) {
  ASSERT_TRUE(InsertAll({
      Match(Base + 1 * Second, "me", 4, 2, "a", 9, 1),  // a win
      Match(Base + 2 * Second, "me", 4, 1, "a", 9, 2),  // a loss
      Match(Base + 3 * Second, "me", 4, 2, "a", 9, 0),  // a win
      Match(Base + 4 * Second, "me", 4, 0, "b", 9, 0),  // neither
      Match(Base + 5 * Second, "me", 9, -2, "b", 4, -4),  // a corrupt row: negative sums are stored as 0
  }));
  ASSERT_TRUE(QueryPairingTotals(NoConditions()));
  EXPECT_EQ(2, PairingTable[4][9].wins);
  EXPECT_EQ(1, PairingTable[4][9].losses);
  EXPECT_EQ(0, PairingTable[9][4].wins);
  EXPECT_EQ(0, PairingTable[9][4].losses);
  EXPECT_EQ(2, TotalWins());
  EXPECT_EQ(1, TotalLosses());

  std::vector<Row> rows;
  ASSERT_TRUE(QueryOpponentTotals(NoConditions(), CollectOpponent, &rows));
  ASSERT_EQ(2u, rows.size());
  EXPECT_EQ("a", rows[0].name);
  EXPECT_EQ(2, rows[0].wins);
  EXPECT_EQ(1, rows[0].losses);
  EXPECT_EQ("b", rows[1].name);
  EXPECT_EQ(-1, rows[1].wins) << "the per-opponent rows pass the sums on as they are";
  EXPECT_EQ(-2, rows[1].losses);
}

TEST_F(RecordQueriesTest, LimitCountsTheMostRecentMatchesThatMeetTheFilter) {
  std::vector<MatchRecord> records;
  int64_t t = Base;
  // 60 old matches with own character 3 (the last 50 of them: 30 wins, 20 losses), then 100 with character 5.
  for (int i = 0; i < 60; ++i) {
    bool win = i < 10 || i % 5 < 3;
    records.push_back(Match(t += Second, "me", 3, win ? 2 : 1, i % 2 ? "odd" : "even", 7, win ? 1 : 2));
  }
  for (int i = 0; i < 100; ++i) records.push_back(Match(t += Second, "me", 5, 2, "newer", 8, 0));
  ASSERT_TRUE(InsertAll(records));

  RecordFilter f = NoConditions();
  f.flags = FilterP1Id | FilterLimit;
  f.p1id = 3;
  f.limit = 50;
  ASSERT_TRUE(QueryPairingTotals(f));
  EXPECT_EQ(30, PairingTable[3][7].wins);
  EXPECT_EQ(20, PairingTable[3][7].losses);
  EXPECT_EQ(50, TotalWins() + TotalLosses());

  f.flags = FilterLimit;
  ASSERT_TRUE(QueryPairingTotals(f));
  EXPECT_EQ(50, PairingTable[5][8].wins);
  EXPECT_EQ(50, TotalWins() + TotalLosses()) << "character 3 is not among the 50 most recent";
  f.limit = 0;
  ASSERT_TRUE(QueryPairingTotals(f));
  EXPECT_EQ(0, TotalWins() + TotalLosses());
  f.limit = -1;  // SQLite reads a negative limit as none
  ASSERT_TRUE(QueryPairingTotals(f));
  EXPECT_EQ(160, TotalWins() + TotalLosses());

  // A date condition and a limit: the per-opponent totals count exactly the matches the history lists.
  f.flags = FilterTo | FilterLimit;
  f.timestampTo = Base + 60 * Second;
  f.limit = 25;
  std::vector<MatchRecord> history;
  ASSERT_TRUE(QueryMatchHistory(f, CollectHistory, &history));
  ASSERT_EQ(25u, history.size());
  EXPECT_EQ(Base + 60 * Second, history.front().timestamp);
  EXPECT_EQ(Base + 36 * Second, history.back().timestamp);
  std::map<std::string, std::pair<int, int>> expected;
  for (const MatchRecord& r : history) {
    expected[r.p2name].first += r.p1win / 2;
    expected[r.p2name].second += r.p2win / 2;
  }
  std::vector<Row> rows;
  ASSERT_TRUE(QueryOpponentTotals(f, CollectOpponent, &rows));
  ASSERT_EQ(2u, rows.size());
  for (const Row& row : rows) {
    EXPECT_EQ(expected[row.name].first, row.wins) << row.name;
    EXPECT_EQ(expected[row.name].second, row.losses) << row.name;
  }

  // The same with an own-name condition.
  f.flags = FilterP1Name | FilterLimit;
  SetName(f.p1name, "me");
  f.limit = 120;
  rows.clear();
  ASSERT_TRUE(QueryOpponentTotals(f, CollectOpponent, &rows));
  int games = 0;
  for (const Row& row : rows) games += row.wins + row.losses;
  EXPECT_EQ(120, games);
  ASSERT_EQ(3u, rows.size());
  EXPECT_EQ("newer", rows[1].name) << "grouped by name, in name order";
  EXPECT_EQ(100, rows[1].wins);
}

TEST_F(RecordQueriesTest, IdOutsideTheRosterFailsOnlyThePairingTotals) {
  ASSERT_TRUE(InsertAll({Match(Base + Second, "me", 0, 2, "ok", 1, 0)}));
  ASSERT_TRUE(QueryPairingTotals(NoConditions()));
  PairingCell before[14][14];
  memcpy(before, PairingTable, sizeof before);

  for (const char* bad : {"INSERT INTO viziriduvozmirrow VALUES (133000000020000000, 'me', 14, 2, 'bad', 0, 0)",
                          "UPDATE viziriduvozmirrow SET p1id = 0, p2id = -1 WHERE p2name = 'bad'"}) {
    Exec(bad);
    RecordFilter limited = NoConditions();
    limited.flags = FilterLimit;
    limited.limit = 5;
    EXPECT_FALSE(QueryPairingTotals(NoConditions())) << bad;
    EXPECT_FALSE(QueryPairingTotals(limited)) << bad;
    EXPECT_FALSE(QueryPairingTotalsByStatement(NoConditions())) << bad;
    EXPECT_EQ(0, memcmp(before, PairingTable, sizeof before)) << "a failure keeps the previous table";

    // A filter that leaves the row out still succeeds.
    RecordFilter others = NoConditions();
    others.flags = FilterP2Name;
    SetName(others.p2name, "ok");
    EXPECT_TRUE(QueryPairingTotals(others));

    std::vector<Row> rows;
    ASSERT_TRUE(QueryOpponentTotals(NoConditions(), CollectOpponent, &rows));
    ASSERT_EQ(2u, rows.size());
    EXPECT_EQ("bad", rows[0].name);
    EXPECT_EQ(1, rows[0].wins);
    std::vector<MatchRecord> history;
    ASSERT_TRUE(QueryMatchHistory(NoConditions(), CollectHistory, &history));
    ASSERT_EQ(2u, history.size());
    EXPECT_EQ(std::string("bad"), history[0].p2name);
    MatchRecord latest;
    ASSERT_TRUE(QueryLatestMatch(NoConditions(), latest));
    EXPECT_EQ(history[0].p1id, latest.p1id);
    EXPECT_EQ(history[0].p2id, latest.p2id);
  }
}

// A damaged id that reads as a roster id must not take the place of that pairing's real figures.
TEST_F(RecordQueriesTest, AnIdThatIsNoWholeNumberFailsThePairingTotals) {
  ASSERT_TRUE(InsertAll({Match(Base + Second, "me", 4, 2, "ok", 0, 0), Match(Base + 2 * Second, "me", 4, 2, "ok", 0, 1),
                         Match(Base + 3 * Second, "me", 4, 2, "ok", 3, 0)}));
  ASSERT_TRUE(QueryPairingTotals(NoConditions()));
  PairingCell before[14][14];
  memcpy(before, PairingTable, sizeof before);
  for (const char* bad : {"INSERT INTO viziriduvozmirrow VALUES (133000000090000000, 'me', 4, 0, 'bad', 'zero', 2)",
                          "UPDATE viziriduvozmirrow SET p2id = 3.5 WHERE p2name = 'bad'",
                          "UPDATE viziriduvozmirrow SET p2id = 0, p1id = '4x' WHERE p2name = 'bad'",
                          "UPDATE viziriduvozmirrow SET p1id = 4, p2id = 4294967299 WHERE p2name = 'bad'"}) {
    Exec(bad);
    EXPECT_FALSE(QueryPairingTotals(NoConditions())) << bad;
    EXPECT_FALSE(QueryPairingTotalsByStatement(NoConditions())) << bad;
    EXPECT_EQ(0, memcmp(before, PairingTable, sizeof before)) << bad;
    RecordFilter others = NoConditions();
    others.flags = FilterP2Name;
    SetName(others.p2name, "ok");
    ASSERT_TRUE(QueryPairingTotals(others)) << bad;
    EXPECT_EQ(2, PairingTable[4][0].wins);
    EXPECT_EQ(1, PairingTable[4][3].wins);
  }
  MatchRecord latest;
  ASSERT_TRUE(QueryLatestMatch(NoConditions(), latest));
  EXPECT_TRUE(latest.p2id < 0 || latest.p2id > 13) << "shown as character " << latest.p2id;

  // Without column types the text '3' and the integer 3 are two groups of one cell.
  Exec("DROP TABLE viziriduvozmirrow");
  Exec("CREATE TABLE viziriduvozmirrow(timestamp, p1name, p1id, p1win, p2name, p2id, p2win)");
  Exec("INSERT INTO viziriduvozmirrow VALUES (1, 'me', 4, 2, 'ok', 3, 0), (2, 'me', 4, 0, 'bad', '3', 2)");
  EXPECT_FALSE(QueryPairingTotals(NoConditions()));
  EXPECT_FALSE(QueryPairingTotalsByStatement(NoConditions()));
  EXPECT_EQ(0, memcmp(before, PairingTable, sizeof before));
  Exec("UPDATE viziriduvozmirrow SET p2id = 3");
  ASSERT_TRUE(QueryPairingTotals(NoConditions()));
  EXPECT_EQ(1, PairingTable[4][3].wins);
  EXPECT_EQ(1, PairingTable[4][3].losses);
}

TEST_F(RecordQueriesTest, RowsComeOutWholeAndNullNamesEmpty) {
  const char* sjis = "\x83\x65\x83\x58\x83\x67";
  std::string longest(259, 'n');
  ASSERT_TRUE(InsertAll({Match(Base + 1 * Second, "me", 1, 2, "O'Brien", 2, 1),
                         Match(Base + 3 * Second, sjis, 13, 0, longest.c_str(), 0, 2)}));
  Exec("INSERT INTO viziriduvozmirrow VALUES (133000000020000000, NULL, 6, 1, NULL, 7, 2)");

  std::vector<MatchRecord> history;
  ASSERT_TRUE(QueryMatchHistory(NoConditions(), CollectHistory, &history));
  ASSERT_EQ(3u, history.size());
  EXPECT_EQ(Base + 3 * Second, history[0].timestamp);
  EXPECT_EQ(std::string(sjis), history[0].p1name);
  EXPECT_EQ(13, history[0].p1id);
  EXPECT_EQ(0, history[0].p1win);
  EXPECT_EQ(longest, history[0].p2name);
  EXPECT_EQ(0, history[0].p2id);
  EXPECT_EQ(2, history[0].p2win);
  EXPECT_EQ(133000000020000000LL, history[1].timestamp);
  EXPECT_EQ(std::string(), history[1].p1name);
  EXPECT_EQ(std::string(), history[1].p2name);
  EXPECT_EQ(std::string("O'Brien"), history[2].p2name);

  std::vector<Row> rows;
  ASSERT_TRUE(QueryOpponentTotals(NoConditions(), CollectOpponent, &rows));
  ASSERT_EQ(3u, rows.size());
  EXPECT_EQ("", rows[0].name) << "NULL sorts first and arrives empty";
  EXPECT_EQ(1, rows[0].losses);

  RecordFilter f = NoConditions();
  f.flags = FilterP2Name | FilterLimit;
  SetName(f.p2name, "O'Brien");
  f.limit = 0;  // the newest match ignores the limit
  MatchRecord latest;
  ASSERT_TRUE(QueryLatestMatch(f, latest));
  EXPECT_EQ(Base + Second, latest.timestamp);
  EXPECT_EQ(1, latest.p1id);
  EXPECT_EQ(1, latest.p2win);

  history.clear();
  f.limit = 2;
  f.flags = FilterLimit;
  ASSERT_TRUE(QueryMatchHistory(f, CollectHistory, &history));
  EXPECT_EQ(2u, history.size());
}

TEST_F(RecordQueriesTest, ATableWithoutTheSchemaFailsEveryQuery) {
  Exec("DROP TABLE viziriduvozmirrow");
  std::vector<Row> rows;
  MatchRecord latest;
  EXPECT_FALSE(QueryPairingTotals(NoConditions()));
  EXPECT_FALSE(QueryOpponentTotals(NoConditions(), CollectOpponent, &rows));
  EXPECT_FALSE(QueryMatchHistory(NoConditions(), CollectOpponent, &rows));
  EXPECT_FALSE(QueryLatestMatch(NoConditions(), latest));
}

// Every figure recomputed by plain loops over the inserted records.
TEST_F(RecordQueriesTest, RandomMatchesAgreeWithPlainLoops) {
  std::mt19937 random(20261207);
  std::vector<MatchRecord> records;
  int64_t t = Base;
  const char* names[] = {"alpha", "Beta", "\x83\x65\x83\x58", "gamma", "O'x", ""};
  for (int i = 0; i < 3000; ++i) {
    t += (1 + random() % 600) * 10000;
    int p1 = random() % 4 == 0 ? random() % 14 : random() % 3;
    int outcome = random() % 5;
    int p1win = outcome < 2 ? 2 : outcome == 4 ? 0 : random() % 2;
    int p2win = outcome < 2 ? random() % 2 : outcome == 4 ? 0 : 2;
    records.push_back(Match(t, "me", p1, p1win, names[random() % 6], random() % 14, p2win));
  }
  ASSERT_TRUE(InsertAll(records));
  std::vector<MatchRecord> newest(records.rbegin(), records.rend());

  auto check = [&](const RecordFilter& f, auto keep) {
    int expected[14][14][2] = {};
    std::map<std::string, std::pair<int, int>> byName;
    int taken = 0;
    for (const MatchRecord& r : newest) {
      if (!keep(r)) continue;
      if ((f.flags & FilterLimit) && taken == f.limit) break;
      ++taken;
      expected[r.p1id][r.p2id][0] += r.p1win / 2;
      expected[r.p1id][r.p2id][1] += r.p2win / 2;
      byName[r.p2name].first += r.p1win / 2;
      byName[r.p2name].second += r.p2win / 2;
    }
    ASSERT_TRUE(QueryPairingTotalsByStatement(f));
    for (int a = 0; a < 14; ++a)
      for (int b = 0; b < 14; ++b) {
        ASSERT_EQ(expected[a][b][0], PairingTable[a][b].wins) << a << "," << b;
        ASSERT_EQ(expected[a][b][1], PairingTable[a][b].losses) << a << "," << b;
      }
    memset(PairingTable, 0x7F, sizeof PairingTable);
    ASSERT_TRUE(QueryPairingTotals(f));
    for (int a = 0; a < 14; ++a)
      for (int b = 0; b < 14; ++b) {
        ASSERT_EQ(expected[a][b][0], PairingTable[a][b].wins) << a << "," << b;
        ASSERT_EQ(expected[a][b][1], PairingTable[a][b].losses) << a << "," << b;
      }
    std::vector<Row> rows;
    ASSERT_TRUE(QueryOpponentTotals(f, CollectOpponent, &rows));
    ASSERT_EQ(byName.size(), rows.size());
    for (const Row& row : rows) {
      EXPECT_EQ(byName[row.name].first, row.wins) << row.name;
      EXPECT_EQ(byName[row.name].second, row.losses) << row.name;
    }
    std::vector<MatchRecord> history;
    ASSERT_TRUE(QueryMatchHistory(f, CollectHistory, &history));
    ASSERT_EQ((size_t)taken, history.size());
  };

  RecordFilter f = NoConditions();
  check(f, [](const MatchRecord&) { return true; });
  for (int limit : {30, 50, 100}) {
    f.flags = FilterLimit;
    f.limit = limit;
    check(f, [](const MatchRecord&) { return true; });
  }
  for (int c = 0; c < 14; ++c) {
    f.flags = FilterP1Id | FilterLimit;
    f.p1id = c;
    f.limit = 50;
    check(f, [c](const MatchRecord& r) { return r.p1id == c; });
    f.flags = FilterP2Id | FilterLimit;
    f.p2id = c;
    check(f, [c](const MatchRecord& r) { return r.p2id == c; });
  }
  int64_t from = records[1000].timestamp, to = records[1999].timestamp;
  f.flags = FilterFrom | FilterTo | FilterP1Id;
  f.timestampFrom = from;
  f.timestampTo = to;
  f.p1id = 1;
  check(f, [&](const MatchRecord& r) { return r.timestamp >= from && r.timestamp <= to && r.p1id == 1; });
  f.flags = FilterP2NameLike | FilterP1Win | FilterLimit;
  SetName(f.p2name, "%A%");
  f.p1win = 2;
  f.limit = 200;
  check(f, [](const MatchRecord& r) {
    std::string n = r.p2name;
    return r.p1win == 2 && (n == "alpha" || n == "Beta" || n == "gamma");
  });
}
}  // namespace
