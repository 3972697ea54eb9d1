#include <gtest/gtest.h>
#include <sqlite3.h>

#include <string>
#include <vector>

#include "TrackerTestSupport.h"
#include "shell/ChangeJournal.h"
#include "store/RecordDatabase.h"

namespace {
MatchRecord Record(int64_t timestamp, int p1id = 1, int p1win = 2, int p2win = 1) {
  return Match(timestamp, "me", p1id, p1win, "you", 5, p2win);
}

class ChangeJournalTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ClearJournal();
    SetDatabasePath(folder.File(L"journal.db"));
    ASSERT_TRUE(OpenRecordDatabase());
    sqlite3_trace_v2(
        RecordDatabase(), SQLITE_TRACE_STMT,
        [](unsigned, void* context, void* statement, void*) {
          static_cast<std::vector<std::string>*>(context)->push_back(sqlite3_sql((sqlite3_stmt*)statement));
          return 0;
        },
        &statements);
  }
  void TearDown() override { CloseRecordDatabase(); }

  // What a capture does: store in a transaction, then journal.
  void Capture(const MatchRecord& r) {
    BeginTransaction();
    ASSERT_TRUE(InsertMatchRecord(r));
    EndTransaction(false);
    RecordChange(ChangeInserted, r);
  }
  std::string Timestamps() {
    std::string out;
    sqlite3_exec(
        RecordDatabase(), "SELECT timestamp FROM viziriduvozmirrow ORDER BY timestamp",
        [](void* c, int, char** v, char**) {
          *static_cast<std::string*>(c) += std::string(v[0]) + " ";
          return 0;
        },
        &out, nullptr);
    return out;
  }
  ScratchFolder folder;
  std::vector<std::string> statements;
};

TEST_F(ChangeJournalTest, UndoAndRedoOfACapture) {
  MatchRecord r = Record(100000, 3, 2, 1);
  Capture(r);
  EXPECT_TRUE(CanUndo());
  EXPECT_FALSE(CanRedo());
  EXPECT_TRUE(UndoChange());
  EXPECT_EQ("", Timestamps());
  EXPECT_FALSE(CanUndo());
  EXPECT_TRUE(CanRedo());
  EXPECT_TRUE(RedoChange());
  EXPECT_EQ(1, CountRows(folder.File(L"journal.db"), "WHERE timestamp = 100000 AND p1name = 'me' AND p1id = 3 "
                                                     "AND p1win = 2 AND p2name = 'you' AND p2id = 5 AND p2win = 1"));
}

TEST_F(ChangeJournalTest, UndoAndRedoOfADeletion) {
  Capture(Record(100000));
  ClearJournal();
  BeginTransaction();
  ASSERT_TRUE(DeleteMatchRecord(100000));
  EndTransaction(false);
  RecordChange(ChangeDeleted, Record(100000));
  EXPECT_TRUE(UndoChange());
  EXPECT_EQ("100000 ", Timestamps());
  EXPECT_TRUE(RedoChange());
  EXPECT_EQ("", Timestamps());
}

TEST_F(ChangeJournalTest, ANewChangeDropsTheRedoStack) {
  Capture(Record(100000));
  ASSERT_TRUE(UndoChange());
  Capture(Record(200000));
  EXPECT_FALSE(CanRedo());
  EXPECT_FALSE(RedoChange());
  EXPECT_EQ("200000 ", Timestamps());
}

TEST_F(ChangeJournalTest, EmptyStacksOpenNoTransaction) {
  statements.clear();
  EXPECT_FALSE(UndoChange());
  EXPECT_FALSE(RedoChange());
  EXPECT_TRUE(statements.empty()) << statements.front();
}

TEST_F(ChangeJournalTest, ClearingForAnotherProfileEmptiesBoth) {
  Capture(Record(100000));
  Capture(Record(200000));
  ASSERT_TRUE(UndoChange());
  ClearJournal();
  EXPECT_FALSE(CanUndo());
  EXPECT_FALSE(CanRedo());
}

TEST_F(ChangeJournalTest, UndoesNewestFirstAndRedoesOldestFirst) {
  Capture(Record(100000));
  Capture(Record(200000));
  Capture(Record(300000));
  ASSERT_TRUE(UndoChange());
  EXPECT_EQ("100000 200000 ", Timestamps());
  ASSERT_TRUE(UndoChange());
  EXPECT_EQ("100000 ", Timestamps());
  ASSERT_TRUE(UndoChange());
  EXPECT_EQ("", Timestamps());
  ASSERT_TRUE(RedoChange());
  EXPECT_EQ("100000 ", Timestamps());
  ASSERT_TRUE(RedoChange());
  EXPECT_EQ("100000 200000 ", Timestamps());
  ASSERT_TRUE(RedoChange());
  EXPECT_EQ("100000 200000 300000 ", Timestamps());
}

TEST_F(ChangeJournalTest, ARefusedStepKeepsTheEntryWhereItWas) {
  BeginTransaction();
  ASSERT_TRUE(DeleteMatchRecord(100000));
  EndTransaction(false);
  RecordChange(ChangeDeleted, Record(100000));
  // The timestamp is in use again, so re-inserting it must fail and be rolled back.
  Capture(Record(100000, 7));
  ClearJournal();
  RecordChange(ChangeDeleted, Record(100000));
  EXPECT_FALSE(UndoChange());
  EXPECT_TRUE(CanUndo());
  EXPECT_FALSE(CanRedo());
  EXPECT_EQ(1, CountRows(folder.File(L"journal.db"), "WHERE p1id = 7"));
  EXPECT_TRUE(sqlite3_get_autocommit(RecordDatabase())) << "the failed step's transaction was ended";

  // Undoing a capture whose row is already gone still moves the entry.
  ClearJournal();
  RecordChange(ChangeInserted, Record(999990000));
  EXPECT_TRUE(UndoChange());
  EXPECT_TRUE(CanRedo());
}
TEST_F(ChangeJournalTest, AStepThatCannotBeCommittedIsNotTakenAsDone) {
  std::wstring path = folder.File(L"journal.db");
  Capture(Record(100000));
  {
    // Another program is reading the file: the delete runs, but its commit is refused.
    HeldReadLock reader(path);
    ASSERT_TRUE(reader.Held());
    EXPECT_FALSE(UndoChange());
    EXPECT_TRUE(sqlite3_get_autocommit(RecordDatabase())) << "no transaction may stay open";
    EXPECT_TRUE(CanUndo());
    EXPECT_FALSE(CanRedo());
  }
  EXPECT_EQ(1, CountRows(path)) << "the journal and the file agree";

  // Once the file is free the same entry can be taken back and brought back.
  ASSERT_TRUE(UndoChange());
  EXPECT_EQ(0, CountRows(path));
  {
    HeldReadLock reader(path);
    ASSERT_TRUE(reader.Held());
    EXPECT_FALSE(RedoChange());
    EXPECT_TRUE(sqlite3_get_autocommit(RecordDatabase()));
    EXPECT_TRUE(CanRedo());
    EXPECT_FALSE(CanUndo());
  }
  EXPECT_EQ(0, CountRows(path));
  ASSERT_TRUE(RedoChange());
  EXPECT_EQ(1, CountRows(path));
}
}  // namespace
