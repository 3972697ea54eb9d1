#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstring>

#include "TrackerTestSupport.h"
#include "common/TextUtil.h"
#include "store/RecordDatabase.h"

namespace {
std::string QueryText(const char* sql) {
  std::string out;
  sqlite3_exec(
      RecordDatabase(), sql,
      [](void* context, int columns, char** values, char**) {
        auto* text = static_cast<std::string*>(context);
        for (int i = 0; i < columns; ++i) {
          if (i) *text += "|";
          *text += values[i] ? values[i] : "NULL";
        }
        *text += "\n";
        return 0;
      },
      &out, nullptr);
  return out;
}

class RecordDatabaseTest : public ::testing::Test {
 protected:
  void TearDown() override { CloseRecordDatabase(); }
  bool Open(const std::wstring& path) {
    SetDatabasePath(path);
    return OpenRecordDatabase();
  }
  ScratchFolder folder;
};

TEST_F(RecordDatabaseTest, NewFileGetsExactlyTheGivenSchema) {
  std::wstring path = folder.File(L"新しい.db");
  ASSERT_TRUE(Open(path));
  EXPECT_TRUE(FileExists(path));
  EXPECT_EQ(std::string("table|viziriduvozmirrow|") + MatchTableSchema + "\n" + "index|viziriduvozmirrow_index|" +
                MatchIndexSchema + "\n",
            QueryText("SELECT type, name, sql FROM sqlite_master WHERE sql IS NOT NULL ORDER BY type DESC"));
  // Nothing else: the integer primary key is the row id, so it brings no index of its own.
  EXPECT_EQ("2\n", QueryText("SELECT count(*) FROM sqlite_master"));
}

TEST_F(RecordDatabaseTest, FailedNewFileLeavesNothingAndKeepsThePreviousConnection) {
  std::wstring first = folder.File(L"first.db");
  ASSERT_TRUE(Open(first));
  ASSERT_TRUE(InsertMatchRecord(Match(10000, "a", 1, 2, "b", 2, 0)));
  sqlite3* previous = RecordDatabase();

  // SQLite cannot create a file in a folder that does not exist.
  std::wstring unreachable = folder.File(L"missing\\x.db");
  EXPECT_FALSE(Open(unreachable));
  EXPECT_FALSE(FileExists(unreachable));
  EXPECT_EQ(previous, RecordDatabase());

  // The file is created, but the schema cannot be written: its journal's name is taken by a folder.
  std::wstring blocked = folder.File(L"blocked.db");
  ASSERT_TRUE(CreateDirectoryW((blocked + L"-journal").c_str(), nullptr));
  EXPECT_FALSE(Open(blocked));
  EXPECT_FALSE(FileExists(blocked)) << "a half-made profile must be removed";
  EXPECT_EQ(previous, RecordDatabase());

  // The caller restores the path; path and connection agree again and the old profile works.
  SetDatabasePath(first);
  EXPECT_EQ(first, CurrentDatabasePath());
  EXPECT_TRUE(InsertMatchRecord(Match(20000, "a", 1, 2, "b", 2, 0)));
  EXPECT_EQ(2, CountRows(first));
}

TEST_F(RecordDatabaseTest, FilesThatCannotHoldMatchesAreRefusedAndLeftAsTheyWere) {
  std::wstring good = folder.File(L"good.db");
  ASSERT_TRUE(Open(good));
  sqlite3* previous = RecordDatabase();
  const ProfileProblem expected[] = {ProfileNoMatchTable, ProfileMissingColumn, ProfileNotDatabase};
  for (int i = 0; i < 3; ++i) {
    std::wstring path = folder.File(UnusableProfiles[i].name);
    MakeUnusableProfile(path, UnusableProfiles[i]);
    std::string before = ReadWholeFile(path);
    SetDatabasePath(path);
    ProfileProblem problem = ProfileOpened;
    EXPECT_FALSE(OpenRecordDatabase(&problem)) << i;
    EXPECT_EQ(expected[i], problem) << i;
    EXPECT_EQ(previous, RecordDatabase());
    EXPECT_EQ(before, ReadWholeFile(path)) << i;
  }
  // Another program's table with a column every row must fill: each capture would be refused.
  std::string demanding = "CREATE TABLE viziriduvozmirrow(timestamp INTEGER PRIMARY KEY, p1name TEXT, p1id INTEGER, "
                          "p1win INTEGER, p2name TEXT, p2id INTEGER, p2win INTEGER, venue TEXT NOT NULL";
  std::wstring strict = folder.File(L"strict.db"), lenient = folder.File(L"lenient.db");
  ASSERT_TRUE(BuildDatabase(strict, (demanding + ")").c_str()));
  ASSERT_TRUE(BuildDatabase(lenient, (demanding + " DEFAULT 'home')").c_str()));
  SetDatabasePath(strict);
  ProfileProblem problem = ProfileOpened;
  EXPECT_FALSE(OpenRecordDatabase(&problem));
  EXPECT_EQ(ProfileRowRefused, problem);
  EXPECT_EQ(previous, RecordDatabase());
  ASSERT_TRUE(Open(lenient)) << "a column with a default takes every capture";
  EXPECT_TRUE(InsertMatchRecord(Match(10000, "a", 1, 2, "b", 2, 0)));

  // A database with nothing in it gets the table and index, as an empty file does.
  std::wstring blank = folder.File(L"blank.db");
  ASSERT_TRUE(BuildDatabase(blank, "PRAGMA user_version = 3"));
  ASSERT_TRUE(Open(blank));
  EXPECT_EQ(std::string(MatchTableSchema) + "\n" + MatchIndexSchema + "\n",
            QueryText("SELECT sql FROM sqlite_master ORDER BY type DESC"));
  EXPECT_FALSE(RecordDatabaseReadOnly());
}

TEST_F(RecordDatabaseTest, AProfileThatCannotBeWrittenOpensForReading) {
  std::wstring locked = folder.File(L"locked.db");
  ASSERT_TRUE(Open(locked));
  ASSERT_TRUE(InsertMatchRecord(Match(10000, "a", 0, 2, "b", 1, 0)));
  CloseRecordDatabase();
  std::wstring journalBlocked = folder.File(L"blocked.db");
  ASSERT_TRUE(CopyFileW(locked.c_str(), journalBlocked.c_str(), FALSE));
  // Another program holds the file without letting anyone write it (the read-only attribute does the same
  // for anyone but an administrator, and the tests run as one).
  HANDLE holder = CreateFileW(locked.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, holder);
  ASSERT_TRUE(CreateDirectoryW((journalBlocked + L"-journal").c_str(), nullptr));

  for (const std::wstring& path : {locked, journalBlocked}) {
    ASSERT_TRUE(Open(path));
    EXPECT_TRUE(RecordDatabaseReadOnly());
    EXPECT_EQ("10000\n", QueryText("SELECT timestamp FROM viziriduvozmirrow"));
    EXPECT_FALSE(InsertMatchRecord(Match(20000, "a", 0, 2, "b", 1, 0)));
    CloseRecordDatabase();
    EXPECT_EQ(1, CountRows(path));
  }
  CloseHandle(holder);
  ASSERT_TRUE(Open(locked));
  EXPECT_FALSE(RecordDatabaseReadOnly());
}

TEST_F(RecordDatabaseTest, AnEmptyFileBecomesAProfile) {
  // Made by hand so that it can be picked: it holds nothing yet, and matches stored in it must not be lost.
  std::wstring path = folder.File(L"made by hand.db");
  WriteWholeFile(path, "");
  ASSERT_TRUE(Open(path));
  EXPECT_EQ(std::string(MatchTableSchema) + "\n" + MatchIndexSchema + "\n",
            QueryText("SELECT sql FROM sqlite_master ORDER BY type DESC"));
  EXPECT_TRUE(InsertMatchRecord(Match(10000, "a", 0, 2, "b", 1, 0)));
  CloseRecordDatabase();
  EXPECT_EQ(1, CountRows(path));

  // One that cannot be written now (another program is reading it) is refused, but stays as it was.
  std::wstring busy = folder.File(L"busy.db");
  WriteWholeFile(busy, "");
  HeldReadLock reader(busy);
  ASSERT_TRUE(reader.Held());
  EXPECT_FALSE(Open(busy));
  EXPECT_TRUE(FileExists(busy));
  EXPECT_EQ(0u, ReadWholeFile(busy).size());
}

TEST_F(RecordDatabaseTest, DuplicateTimestampFailsAndChangesNothing) {
  std::wstring path = folder.File(L"dup.db");
  ASSERT_TRUE(Open(path));
  BeginTransaction();
  EXPECT_TRUE(InsertMatchRecord(Match(123450000, "one", 1, 2, "two", 2, 1)));
  EndTransaction(false);
  BeginTransaction();
  EXPECT_FALSE(InsertMatchRecord(Match(123450000, "three", 3, 0, "four", 4, 2)));
  EndTransaction(true);
  EXPECT_EQ("123450000|one|1|2|two|2|1\n", QueryText("SELECT * FROM viziriduvozmirrow"));
}

TEST_F(RecordDatabaseTest, NamesAreStoredAsTheirBytes) {
  std::wstring path = folder.File(L"names.db");
  ASSERT_TRUE(Open(path));
  const char quote[] = "O'Brien";
  const char shiftJis[] = "\x83\x65\x83\x58\x83\x67";  // テスト in code page 932
  ASSERT_TRUE(InsertMatchRecord(Match(10000, quote, 0, 2, shiftJis, 13, 1)));
  ASSERT_TRUE(InsertMatchRecord(Match(20000, "", 0, 2, "", 13, 1)));
  EXPECT_EQ(std::string("O'Brien|") + shiftJis + "\n|\n",
            QueryText("SELECT p1name, p2name FROM viziriduvozmirrow ORDER BY timestamp"));
  EXPECT_EQ("1\n", QueryText("SELECT count(*) FROM viziriduvozmirrow WHERE p2name = CAST(X'836583588367' AS TEXT)"));
}

TEST_F(RecordDatabaseTest, Ansi2Utf8FunctionConvertsTheCodePage) {
  ASSERT_EQ(932u, GetACP()) << "tests run with LANG=ja_JP.UTF-8";
  ASSERT_TRUE(Open(folder.File(L"f.db")));
  EXPECT_EQ("|1\n", QueryText("SELECT ansi2utf8(NULL), ansi2utf8(NULL) IS NOT NULL"));
  EXPECT_EQ("|1\n", QueryText("SELECT ansi2utf8(''), ansi2utf8('') = ''"));
  EXPECT_EQ("テスト\n", QueryText("SELECT ansi2utf8(CAST(X'836583588367' AS TEXT))"));

  std::string converted;
  EXPECT_TRUE(AnsiToUtf8("\x83\x65\x83\x58\x83\x67", converted));
  EXPECT_EQ("テスト", converted);
  EXPECT_FALSE(AnsiToUtf8("", converted));
  EXPECT_EQ("", converted);
}

TEST_F(RecordDatabaseTest, DeleteByTimestamp) {
  ASSERT_TRUE(Open(folder.File(L"d.db")));
  ASSERT_TRUE(InsertMatchRecord(Match(10000, "a", 0, 2, "b", 1, 0)));
  ASSERT_TRUE(InsertMatchRecord(Match(20000, "a", 0, 2, "b", 1, 0)));
  EXPECT_TRUE(DeleteMatchRecord(10000));
  EXPECT_TRUE(DeleteMatchRecord(99990000)) << "a missing row is still a success";
  EXPECT_EQ("20000\n", QueryText("SELECT timestamp FROM viziriduvozmirrow"));
}

TEST_F(RecordDatabaseTest, NothingWorksWithoutAConnection) {
  CloseRecordDatabase();
  EXPECT_EQ(nullptr, RecordDatabase());
  BeginTransaction();
  EXPECT_FALSE(InsertMatchRecord(Match(10000, "a", 0, 2, "b", 1, 0)));
  EXPECT_FALSE(DeleteMatchRecord(10000));
  EndTransaction(true);
}

TEST(Timestamp, IsTheLocalWallClockInMilliseconds) {
  SYSTEMTIME before, after;
  GetLocalTime(&before);
  int64_t stamp = CurrentTimestamp();
  GetLocalTime(&after);
  EXPECT_EQ(0, stamp % 10000) << "millisecond resolution";
  FILETIME ft{(DWORD)stamp, (DWORD)(stamp >> 32)};
  SYSTEMTIME back;
  ASSERT_TRUE(FileTimeToSystemTime(&ft, &back));
  // Local, not UTC: the hour matches GetLocalTime (allowing for a tick over the hour).
  EXPECT_TRUE(back.wHour == before.wHour || back.wHour == after.wHour);
  EXPECT_EQ(before.wDay == after.wDay ? before.wDay : back.wDay, back.wDay);
}
}  // namespace
