#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "StoreTestData.h"
#include "TestSupport.h"
#include "shell/ChangeJournal.h"
#include "common/TextUtil.h"
#include "store/MatchSnapshot.h"
#include "store/OpponentTally.h"
#include "store/RecordQueries.h"

namespace {
const int64_t Base = 133000000000000000LL;

void Exec(sqlite3* db, const char* sql) { ASSERT_EQ(SQLITE_OK, sqlite3_exec(db, sql, nullptr, nullptr, nullptr)) << sql; }

// The quick answer and the statement's answer, cell by cell, success and failure alike.
void ExpectSameAsStatement(const RecordFilter& f, const std::string& what) {
  memset(PairingTable, 0x55, sizeof PairingTable);
  bool byStatement = QueryPairingTotalsByStatement(f);
  PairingCell expected[14][14];
  memcpy(expected, PairingTable, sizeof expected);
  memset(PairingTable, 0x55, sizeof PairingTable);
  bool quick = QueryPairingTotals(f);
  ASSERT_EQ(byStatement, quick) << what;
  for (int a = 0; a < 14; ++a)
    for (int b = 0; b < 14; ++b) {
      ASSERT_EQ(expected[a][b].wins, PairingTable[a][b].wins) << what << " cell " << a << "," << b;
      ASSERT_EQ(expected[a][b].losses, PairingTable[a][b].losses) << what << " cell " << a << "," << b;
    }
}

std::string Describe(const RecordFilter& f) {
  return "flags " + std::to_string(f.flags) + " from " + std::to_string(f.timestampFrom) + " to " +
         std::to_string(f.timestampTo) + " p1 " + f.p1name + "/" + std::to_string(f.p1id) + "/" +
         std::to_string(f.p1win) + " p2 " + f.p2name + "/" + std::to_string(f.p2id) + "/" + std::to_string(f.p2win) +
         " limit " + std::to_string(f.limit);
}

void ExpectSameOpponents(const RecordFilter& f, const std::string& what);

class MatchSnapshotTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetDatabasePath(folder.File(L"s.db"));
    ASSERT_TRUE(OpenRecordDatabase());
  }
  void TearDown() override { CloseRecordDatabase(); }
  MatchSnapshotCounters Activity() { return MatchSnapshotActivity(RecordDatabase()); }

  std::vector<MatchRecord> RandomMatches(std::mt19937& random, int count) {
    const char* names[] = {"alpha", "Beta", "\x83\x65\x83\x58", "O'x", "", "gam"};
    std::vector<MatchRecord> records;
    int64_t t = Base;
    for (int i = 0; i < count; ++i) {
      t += (1 + random() % 3000) * 10000;
      int p1 = random() % 3 ? random() % 3 : random() % 12;  // 12 and 13 never played
      int p1win = random() % 3, p2win = p1win == 2 ? random() % 2 : 2;
      if (random() % 50 == 0) p1win = -1;  // damaged rows must count exactly as SQL counts them
      records.push_back(Match(t, random() % 2 ? "me" : "Me2", p1, p1win, names[random() % 6], random() % 14, p2win));
    }
    return records;
  }

  RecordFilter RandomFilter(std::mt19937& random, const std::vector<MatchRecord>& records) {
    RecordFilter f = NoConditions();
    f.flags = random() & (random() % 2 ? 0x7FF : (FilterFrom | FilterTo | FilterP1Id | FilterP2Id | FilterLimit));
    f.timestampFrom = records[random() % records.size()].timestamp + (random() % 3) - 1;
    f.timestampTo = records[random() % records.size()].timestamp + (random() % 3) - 1;
    const char* names[] = {"me", "ME", "%e%", "M_", "\x83\x65_", "alpha", "%"};
    SetName(f.p1name, names[random() % 7]);
    SetName(f.p2name, names[random() % 7]);
    f.p1id = (int)(random() % 16) - 1;
    f.p2id = (int)(random() % 16) - 1;
    f.p1win = (int)(random() % 4) - 1;
    f.p2win = (int)(random() % 3);
    const int limits[] = {0, 1, 30, 50, 100, -1, 5000};
    f.limit = limits[random() % 7];
    return f;
  }
  ScratchFolder folder;
};

TEST_F(MatchSnapshotTest, RandomTablesAndFiltersGiveTheStatementsFigures) {
  std::mt19937 random(7);
  for (int round = 0; round < 3; ++round) {
    Exec(RecordDatabase(), "DELETE FROM viziriduvozmirrow");
    std::vector<MatchRecord> records = RandomMatches(random, 2000 + 1500 * round);
    ASSERT_TRUE(InsertAll(records));
    MatchSnapshotCounters before = Activity();
    BeginTransaction();
    for (int i = 0; i < 150; ++i) {
      RecordFilter f = RandomFilter(random, records);
      ExpectSameAsStatement(f, Describe(f));
      if (HasFatalFailure()) {
        EndTransaction(true);
        return;
      }
    }
    // The summary's own questions.
    RecordFilter f = NoConditions();
    ExpectSameAsStatement(f, "all");
    for (int c = 0; c < 14; ++c) {
      f.flags = FilterP1Id | FilterLimit;
      f.p1id = c;
      f.limit = 50;
      ExpectSameAsStatement(f, "last 50 own " + std::to_string(c));
      f.flags = FilterP2Id | FilterLimit;
      f.p2id = c;
      ExpectSameAsStatement(f, "last 50 opponent " + std::to_string(c));
    }
    EndTransaction(false);
    MatchSnapshotCounters after = Activity();
    EXPECT_EQ(150u + 29u, after.answers - before.answers) << "every question answered from the copy";
  }

  // Our own captures, removals, undo and redo are applied to the copies; every other change reads the table.
  std::vector<MatchRecord> records = RandomMatches(random, 2000);
  Exec(RecordDatabase(), "DELETE FROM viziriduvozmirrow");
  ASSERT_TRUE(InsertAll(records));
  ClearJournal();
  sqlite3* other = nullptr;
  ASSERT_EQ(SQLITE_OK, sqlite3_open(WideToUtf8(CurrentDatabasePath().c_str()).c_str(), &other));
  int64_t newest = records.back().timestamp;
  const int64_t from = records[1500].timestamp, to = newest + 10000LL * 50 * 400;
  int own = 0;
  for (int step = 0; step < 400; ++step) {
    MatchRecord r = RandomMatches(random, 1)[0];
    r.timestamp = random() % 4 ? (newest += 10000 * (1 + random() % 50)) : Base + 10000 * (random() % 3000000);
    int kind = random() % 10;
    MatchSnapshotCounters before = Activity();
    bool done = true;  // a failed write is rolled back, and a rollback reads the table again
    if (kind < 4) {
      BeginTransaction();
      done = InsertMatchRecord(r);  // an old timestamp may be taken
      EndTransaction(!done);
      if (done) RecordChange(ChangeInserted, r);
    } else if (kind < 5) {
      MatchRecord latest;
      if (!QueryLatestMatch(NoConditions(), latest)) continue;
      bool thatOne = random() % 2;
      BeginTransaction();
      ASSERT_TRUE(DeleteMatchRecord(thatOne ? latest.timestamp : r.timestamp));
      EndTransaction(false);
      if (thatOne) RecordChange(ChangeDeleted, latest);
    } else if (kind < 7) {
      done = kind % 2 ? UndoChange() : RedoChange();
    } else if (kind < 8) {
      char* sql = sqlite3_mprintf("INSERT OR REPLACE INTO viziriduvozmirrow VALUES (%lld, 'x', %d, 2, 'o', %d, 0)",
                                  (long long)(random() % 2 ? newest + 1 : r.timestamp), r.p1id, r.p2id);
      Exec(other, sql);
      sqlite3_free(sql);
      Exec(other, random() % 2 ? "UPDATE viziriduvozmirrow SET p2win = 2 WHERE rowid % 97 = 5" : "SELECT 1");
    } else {
      BeginTransaction();
      InsertMatchRecord(r);
      DeleteMatchRecord(records[random() % records.size()].timestamp);
      EndTransaction(true);
    }
    bool ownOnly = kind < 7 && done && step > 0;  // the first step's copies are new
    unsigned passes = OpponentTallyPasses();
    RecordFilter f = NoConditions();
    for (int question = 0; question < 6; ++question) {
      f.flags = question < 3 ? FilterLimit : question == 3 ? 0 : question == 4 ? FilterP1Id | FilterLimit
                                                                                  : FilterFrom | FilterTo;
      f.limit = question == 0 ? 30 : question == 1 ? 50 : question == 2 ? 100 : 50;
      f.p1id = (int)(random() % 14);
      f.timestampFrom = from;
      f.timestampTo = to;
      ExpectSameAsStatement(f, "step " + std::to_string(step) + " kind " + std::to_string(kind) + " " + Describe(f));
      if (HasFatalFailure()) break;
    }
    if (HasFatalFailure()) break;
    // The opponent totals follow our own captures alone.
    ExpectSameOpponents(f, "opponents, step " + std::to_string(step));
    if (HasFatalFailure()) break;
    if (ownOnly) {
      EXPECT_EQ(before.builds, Activity().builds) << "step " << step << " kind " << kind << ": the table read again";
      if (kind < 4 && step > 1) {
        EXPECT_EQ(passes, OpponentTallyPasses()) << "step " << step;
      }
      ++own;
    }
  }
  sqlite3_close(other);
  EXPECT_GT(own, 200);
  ClearJournal();
}

TEST_F(MatchSnapshotTest, OneSummaryRefreshReadsTheTableOnce) {
  std::mt19937 random(11);
  std::vector<MatchRecord> records = RandomMatches(random, 3000);
  ASSERT_TRUE(InsertAll(records));
  for (int refresh = 0; refresh < 2; ++refresh) {
    MatchSnapshotCounters before = Activity();
    BeginTransaction();
    RecordFilter f = NoConditions();
    ASSERT_TRUE(QueryPairingTotals(f));
    for (int c = 0; c < 14; ++c) {
      f.flags = FilterP1Id | FilterLimit;
      f.p1id = c;
      f.limit = 50;
      ASSERT_TRUE(QueryPairingTotals(f));
    }
    for (int n : {30, 50, 100}) {
      f.flags = FilterLimit;
      f.limit = n;
      ASSERT_TRUE(QueryPairingTotals(f));
    }
    EndTransaction(false);
    MatchSnapshotCounters after = Activity();
    EXPECT_EQ(18u, after.answers - before.answers);
    EXPECT_EQ(refresh == 0 ? 1u : 0u, after.builds - before.builds) << "an unchanged table is not read again";
    // A capture in between: the next refresh must count it.
    if (refresh == 0) {
      BeginTransaction();
      ASSERT_TRUE(InsertMatchRecord(Match(records.back().timestamp + 10000, "me", 13, 2, "new", 12, 0)));
      EndTransaction(false);
      ASSERT_TRUE(QueryPairingTotals(NoConditions()));
      EXPECT_EQ(1, PairingTable[13][12].wins);
    }
  }
}

// The first pass read in turns: our own inserts and deletes between two turns, of rows already read or not
// yet, end up in the copy exactly once without a new pass; another program's commit or a rollback starts it
// again.
TEST_F(MatchSnapshotTest, ACopyReadInTurnsTakesUpEveryChangeBetweenTurns) {
  std::mt19937 random(23);
  sqlite3* other = nullptr;
  ASSERT_EQ(SQLITE_OK, sqlite3_open(WideToUtf8(CurrentDatabasePath().c_str()).c_str(), &other));
  const size_t rows = 300;
  for (int round = 0; round < 16; ++round) {
    Exec(RecordDatabase(), "DELETE FROM viziriduvozmirrow");
    std::vector<MatchRecord> records = RandomMatches(random, 3000);
    ASSERT_TRUE(InsertAll(records));
    RecordFilter f = NoConditions();
    size_t first = 0;  // the first row the copy takes
    if (round % 4 == 3) {
      first = 200;
      f.flags = FilterFrom | FilterTo;
      f.timestampFrom = records[200].timestamp;
      f.timestampTo = records[2800].timestamp;
    }
    MatchSnapshotCounters before = Activity();
    bool foreign = false;
    size_t turns = 0;
    while (!BuildSnapshotTurn(RecordDatabase(), f, rows)) {
      ++turns;
      ASSERT_LT(turns, 100u) << "round " << round;
      size_t read = std::min(turns * rows, records.size() - first);
      auto readRow = [&] { return first + random() % read; };
      auto unreadRow = [&](size_t beyond) { return std::min(first + read + beyond, records.size() - 1); };
      // One change that starts the pass again per round, or it might never end.
      int kind = random() % (round % 2 && !foreign ? 8 : 6);
      // Sometimes nothing happens between two turns.
      if (kind == 5) continue;
      BeginTransaction();
      bool done = true;
      if (kind < 2) {
        // Just after a row already read (kind 0) or one not yet read.
        size_t at = kind == 0 ? readRow() : unreadRow(rows + random() % rows);
        MatchRecord r = RandomMatches(random, 1)[0];
        r.timestamp = records[at].timestamp + 1 + random() % 5;
        done = InsertMatchRecord(r);
      } else if (kind < 4) {
        size_t at = kind == 2 ? readRow() : unreadRow(random() % rows);
        done = DeleteMatchRecord(records[at].timestamp);
      } else if (kind == 4) {
        MatchRecord r = RandomMatches(random, 1)[0];
        r.timestamp = records.back().timestamp + 10000 * turns;
        done = InsertMatchRecord(r);
      } else if (kind == 6) {
        char* sql = sqlite3_mprintf("INSERT OR IGNORE INTO viziriduvozmirrow VALUES (%lld, 'x', 3, 2, 'o', 4, 0)",
                                    (long long)records[readRow()].timestamp + 7);
        Exec(other, sql);
        sqlite3_free(sql);
        foreign = true;
      } else {
        InsertMatchRecord(Match(records[readRow()].timestamp + 8, "me", 3, 2, "o", 4, 0));
        done = false;
      }
      EndTransaction(!done);
      if (!done) foreign = true;  // a rollback
    }
    EXPECT_GT(turns, 3u);
    if (!foreign) {
      EXPECT_EQ(1u, Activity().builds - before.builds) << "round " << round << ": the pass began again";
    }
    BeginTransaction();
    ExpectSameAsStatement(f, "round " + std::to_string(round));
    for (int c = 0; c < 14 && !HasFatalFailure(); ++c) {
      f.flags = (f.flags & (FilterFrom | FilterTo)) | FilterP1Id | FilterLimit;
      f.p1id = c;
      f.limit = 50;
      ExpectSameAsStatement(f, "round " + std::to_string(round) + " last 50 of " + std::to_string(c));
    }
    EndTransaction(false);
    if (HasFatalFailure()) break;
  }
  sqlite3_close(other);
}

TEST_F(MatchSnapshotTest, ChangesByThisAndOtherConnectionsAreSeen) {
  std::mt19937 random(3);
  std::vector<MatchRecord> records = RandomMatches(random, 500);
  ASSERT_TRUE(InsertAll(records));
  RecordFilter mine = NoConditions();
  mine.flags = FilterP1Id;
  mine.p1id = 13;
  ASSERT_TRUE(QueryPairingTotals(mine));
  EXPECT_EQ(0, PairingTable[13][0].wins);

  // Inside one transaction: our own insert, then its rollback.
  BeginTransaction();
  ASSERT_TRUE(QueryPairingTotals(mine));
  ASSERT_TRUE(InsertMatchRecord(Match(Base - 10000, "me", 13, 2, "x", 0, 0)));
  ASSERT_TRUE(QueryPairingTotals(mine));
  EXPECT_EQ(1, PairingTable[13][0].wins);
  EndTransaction(true);
  ASSERT_TRUE(QueryPairingTotals(mine));
  EXPECT_EQ(0, PairingTable[13][0].wins) << "the rolled back row is gone";

  // Another connection, as another process would: commits between our queries.
  sqlite3* other = nullptr;
  ASSERT_EQ(SQLITE_OK, sqlite3_open(WideToUtf8(CurrentDatabasePath().c_str()).c_str(), &other));
  Exec(other, "INSERT INTO viziriduvozmirrow VALUES (132000000000000000, 'me', 13, 2, 'y', 0, 1)");
  ASSERT_TRUE(QueryPairingTotals(mine));
  EXPECT_EQ(1, PairingTable[13][0].wins);
  BeginTransaction();
  Exec(other, "UPDATE viziriduvozmirrow SET p1win = 0 WHERE p2name = 'y'");
  ASSERT_TRUE(QueryPairingTotals(mine));
  EXPECT_EQ(0, PairingTable[13][0].wins);
  EndTransaction(false);
  // The other connection damages a row: the statement's failure comes back.
  Exec(other, "UPDATE viziriduvozmirrow SET p2id = 14 WHERE p2name = 'y'");
  EXPECT_FALSE(QueryPairingTotals(mine));
  ExpectSameAsStatement(mine, "damaged");
  sqlite3_close(other);
}

TEST_F(MatchSnapshotTest, ValuesTheCopyCannotHoldGoToTheStatements) {
  std::mt19937 random(5);
  ASSERT_TRUE(InsertAll(RandomMatches(random, 300)));
  const char* damage[] = {
      "UPDATE viziriduvozmirrow SET p1win = '2' WHERE rowid % 7 = 0",  // the column makes this the integer 2
      "UPDATE viziriduvozmirrow SET p1win = 'x2' WHERE rowid % 9 = 0",  // text rounds
      "UPDATE viziriduvozmirrow SET p1win = 1000 WHERE rowid % 5 = 0",
      "UPDATE viziriduvozmirrow SET p2id = 3.0 WHERE rowid % 3 = 0",  // stored as the integer 3
      "UPDATE viziriduvozmirrow SET p2id = 'three' WHERE rowid % 11 = 0",
      "UPDATE viziriduvozmirrow SET p1id = -1 WHERE rowid % 13 = 0",
  };
  for (const char* sql : damage) {
    Exec(RecordDatabase(), sql);
    RecordFilter f = NoConditions();
    ExpectSameAsStatement(f, sql);
    f.flags = FilterLimit;
    f.limit = 40;
    ExpectSameAsStatement(f, sql);
    f.flags = FilterP2Id | FilterLimit;
    f.p2id = 3;
    ExpectSameAsStatement(f, sql);
    f.flags = FilterP1Win;
    f.p1win = 2;
    ExpectSameAsStatement(f, sql);
  }
}

// An existing file is opened whatever its table looks like: timestamps that are not unique integers
// order differently from the copy, so the statements answer.
TEST_F(MatchSnapshotTest, ATableWhoseTimestampsAreNoKeyGoesToTheStatements) {
  Exec(RecordDatabase(), "DROP TABLE viziriduvozmirrow");
  Exec(RecordDatabase(),
       "CREATE TABLE viziriduvozmirrow(timestamp, p1name TEXT, p1id INTEGER NOT NULL, p1win INTEGER NOT NULL, "
       "p2name TEXT, p2id INTEGER NOT NULL, p2win INTEGER NOT NULL)");
  Exec(RecordDatabase(), "CREATE INDEX viziriduvozmirrow_index on viziriduvozmirrow (timestamp)");
  Exec(RecordDatabase(),
       "INSERT INTO viziriduvozmirrow VALUES (10000, 'me', 1, 2, 'a', 1, 0), (20000, 'me', 2, 2, 'a', 2, 0), "
       "('30000', 'me', 3, 2, 'a', 3, 0), ('late', 'me', 4, 2, 'a', 4, 0), (25000.5, 'me', 5, 2, 'a', 5, 0)");
  RecordFilter f = NoConditions();
  for (int limit : {1, 2, 3}) {
    f.flags = FilterLimit;
    f.limit = limit;
    while (!BuildSnapshotTurn(RecordDatabase(), f, 1)) {
    }
    ExpectSameAsStatement(f, "limit " + std::to_string(limit));
    f.flags = FilterLimit | FilterFrom;
    f.timestampFrom = 15000;
    while (!BuildSnapshotTurn(RecordDatabase(), f, 1)) {
    }
    ExpectSameAsStatement(f, "from, limit " + std::to_string(limit));
  }
  Exec(RecordDatabase(), "DELETE FROM viziriduvozmirrow WHERE typeof(timestamp) != 'integer'");
  Exec(RecordDatabase(), "INSERT INTO viziriduvozmirrow VALUES (20000, 'me', 6, 2, 'a', 6, 0)");
  for (int limit : {1, 2}) {
    f.flags = FilterLimit;
    f.limit = limit;
    // Read one timestamp per turn: both rows of 20000 must be seen.
    while (!BuildSnapshotTurn(RecordDatabase(), f, 1)) {
    }
    ExpectSameAsStatement(f, "same timestamp twice, limit " + std::to_string(limit));
  }
}

struct OpponentRow {
  std::string name;
  int wins, losses;
  bool operator==(const OpponentRow& o) const { return name == o.name && wins == o.wins && losses == o.losses; }
};
void CollectOpponent(const MatchRecord& r, void* context) {
  static_cast<std::vector<OpponentRow>*>(context)->push_back({r.p2name, r.p1win, r.p2win});
}

void ExpectSameOpponents(const RecordFilter& f, const std::string& what) {
  std::vector<OpponentRow> expected, quick;
  bool byStatement = QueryOpponentTotalsByStatement(f, CollectOpponent, &expected);
  bool ok = QueryOpponentTotals(f, CollectOpponent, &quick);
  ASSERT_EQ(byStatement, ok) << what;
  ASSERT_EQ(expected.size(), quick.size()) << what;
  for (size_t i = 0; i < expected.size(); ++i)
    ASSERT_TRUE(expected[i] == quick[i]) << what << " row " << i << ": " << expected[i].name << " " << expected[i].wins
                                         << "/" << expected[i].losses << " against " << quick[i].name << " "
                                         << quick[i].wins << "/" << quick[i].losses;
}

TEST_F(MatchSnapshotTest, OpponentTotalsComeInTheStatementsOrderWithItsFigures) {
  std::mt19937 random(17);
  std::vector<MatchRecord> records = RandomMatches(random, 3000);
  // Names that share prefixes, high bytes and case differences, to test the byte order of the groups.
  const char* names[] = {"a", "ab", "aB", "A", "\x83\x65", "\x83\x65\x83\x58", "\x88\x9f", "z", ""};
  for (size_t i = 0; i < records.size(); i += 3) strcpy(records[i].p2name, names[random() % 9]);
  // And hundreds of others, as a player meets them.
  for (size_t i = 1; i < records.size(); i += 3) snprintf(records[i].p2name, sizeof records[i].p2name, "n%u", (unsigned)(random() % 700));
  ASSERT_TRUE(InsertAll(records));
  Exec(RecordDatabase(), "UPDATE viziriduvozmirrow SET p2name = NULL WHERE rowid % 17 = 0");
  unsigned before = OpponentTallyAnswers();
  for (int i = 0; i < 40; ++i) {
    RecordFilter f = RandomFilter(random, records);
    f.flags &= ~FilterLimit;
    ExpectSameOpponents(f, Describe(f));
    if (HasFatalFailure()) return;
  }
  ExpectSameOpponents(NoConditions(), "all");
  EXPECT_EQ(41u, OpponentTallyAnswers() - before) << "answered in one pass every time";

  // Limited totals, and values a pass cannot sum as SQL does, are left to the statement.
  RecordFilter limited = NoConditions();
  limited.flags = FilterLimit;
  limited.limit = 100;
  ExpectSameOpponents(limited, "limited");
  const char* damage[] = {
      "UPDATE viziriduvozmirrow SET p1win = 'x2' WHERE rowid % 7 = 0",
      "UPDATE viziriduvozmirrow SET p2name = X'6162' WHERE rowid % 5 = 0",
      "UPDATE viziriduvozmirrow SET p2name = CAST(X'610062' AS TEXT) WHERE rowid % 3 = 0",
      "UPDATE viziriduvozmirrow SET p2win = 4000000000 WHERE rowid % 11 = 0",
  };
  for (const char* sql : damage) {
    BeginTransaction();
    Exec(RecordDatabase(), sql);
    ExpectSameOpponents(NoConditions(), sql);
    EndTransaction(true);
  }
  EXPECT_EQ(42u, OpponentTallyAnswers() - before) << "only the embedded NUL case is still the pass's";
}

// The pass groups bytes; SQLite groups by the column's collation, and compares UTF-16 in a UTF-16 file.
TEST_F(MatchSnapshotTest, OpponentTotalsFollowTheColumnsCollationAndTheFilesEncoding) {
  const char* rows = "INSERT INTO viziriduvozmirrow VALUES (1, 'me', 1, 2, 'a', 1, 0), (2, 'me', 1, 2, 'A', 1, 0), "
                     "(3, 'me', 1, 0, 'b ', 1, 2), (4, 'me', 1, 2, 'b', 1, 0), (5, 'me', 1, 2, char(256), 1, 0), "
                     "(6, 'me', 1, 2, char(12354), 1, 0)";
  unsigned before = OpponentTallyAnswers();
  for (const char* collation : {"NOCASE", "RTRIM"}) {
    Exec(RecordDatabase(), "DROP TABLE viziriduvozmirrow");
    std::string schema = MatchTableSchema;
    schema.replace(schema.find("p2name     TEXT"), 15, std::string("p2name TEXT COLLATE ") + collation);
    Exec(RecordDatabase(), schema.c_str());
    Exec(RecordDatabase(), rows);
    ExpectSameOpponents(NoConditions(), collation);
  }
  CloseRecordDatabase();
  sqlite3* db = nullptr;
  ASSERT_EQ(SQLITE_OK, sqlite3_open(WideToUtf8(folder.File(L"u16.db").c_str()).c_str(), &db));
  Exec(db, "PRAGMA encoding = 'UTF-16le'");
  Exec(db, MatchTableSchema);
  Exec(db, rows);
  sqlite3_close(db);
  SetDatabasePath(folder.File(L"u16.db"));
  ASSERT_TRUE(OpenRecordDatabase());
  ExpectSameOpponents(NoConditions(), "UTF-16");
  EXPECT_EQ(before, OpponentTallyAnswers());
}

TEST_F(MatchSnapshotTest, AnotherProfileStartsAfresh) {
  ASSERT_TRUE(InsertAll({Match(Base, "me", 1, 2, "a", 1, 0)}));
  ASSERT_TRUE(QueryPairingTotals(NoConditions()));
  EXPECT_EQ(1, PairingTable[1][1].wins);
  SetDatabasePath(folder.File(L"other.db"));
  ASSERT_TRUE(OpenRecordDatabase());
  EXPECT_EQ(0u, Activity().builds);
  ASSERT_TRUE(InsertAll({Match(Base, "me", 2, 2, "a", 2, 0)}));
  ASSERT_TRUE(QueryPairingTotals(NoConditions()));
  EXPECT_EQ(0, PairingTable[1][1].wins);
  EXPECT_EQ(1, PairingTable[2][2].wins);
  EXPECT_EQ(1u, Activity().answers);
}
}  // namespace
