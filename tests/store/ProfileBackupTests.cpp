#include <gtest/gtest.h>
#include <sqlite3.h>

#include "StoreTestData.h"
#include "common/TextUtil.h"
#include "store/ProfileBackup.h"

namespace {
constexpr int64_t Day = TimestampUnitsPerDay;
constexpr int64_t Hour = Day / 24;
// 2026-12-07 (a Monday) 00:00 on the local clock.
constexpr int64_t Monday = 155568 * Day;

class ProfileBackupTest : public ::testing::Test {
 protected:
  void SetUp() override {
    profile = folder.File(L"戦績.db");
    SetDatabasePath(profile);
    ASSERT_TRUE(OpenRecordDatabase());
  }
  void TearDown() override { CloseRecordDatabase(); }
  void Fill(int count, int64_t start) {
    std::vector<MatchRecord> rows;
    for (int i = 0; i < count; ++i) rows.push_back(Match(start + i * 10000LL, "わたし", i % 14, 2, "相手", (i * 5) % 14, i % 2));
    ASSERT_TRUE(InsertAll(rows));
  }
  ScratchFolder folder;
  std::wstring profile;
};

TEST_F(ProfileBackupTest, CopyTakenWhileCapturesGoOnHoldsEveryCommittedMatchAndPassesTheCheck) {
  Fill(30000, 1000000000000LL);
  std::wstring backups = BackupFolderFor(profile, L"");
  EXPECT_EQ(folder.File(L"Backups"), backups);
  ProfileBackup job;
  ASSERT_TRUE(job.Begin(RecordDatabase(), profile, backups));
  int captured = 0;
  while (job.Step(16) == ProfileBackup::Copying) {
    // A capture between two steps, as the GUI thread would store it.
    BeginTransaction();
    ASSERT_TRUE(InsertMatchRecord(Match(2000000000000LL + captured * 10000LL, "わたし", 1, 2, "途中", 2, 0)));
    EndTransaction(false);
    ++captured;
  }
  ASSERT_GT(captured, 3);
  EXPECT_EQ(ProfileBackup::Done, job.RunToEnd());
  EXPECT_EQ(30000 + captured, job.matches());
  std::wstring name = job.finishedPath().substr(backups.size() + 1);
  EXPECT_EQ(L"戦績-", name.substr(0, 3));
  EXPECT_EQ(3u + 8 + 1 + 6 + 3, name.size());
  EXPECT_FALSE(FileExists(job.finishedPath() + L".tmp"));
  EXPECT_TRUE(VerifyBackupFile(job.finishedPath(), 30000 + captured));
  ASSERT_EQ(1u, ListBackups(backups, profile).size());
  EXPECT_EQ(job.finishedPath(), ListBackups(backups, profile)[0].path);

  // A second copy in the same second gets a name of its own.
  ProfileBackup again;
  ASSERT_TRUE(again.Begin(RecordDatabase(), profile, backups));
  EXPECT_EQ(ProfileBackup::Done, again.RunToEnd());
  EXPECT_NE(job.finishedPath(), again.finishedPath());
  EXPECT_EQ(2u, ListBackups(backups, profile).size());
}

TEST_F(ProfileBackupTest, CopyThatCannotBeWrittenFailsAndLeavesNothing) {
  Fill(100, 1000000000000LL);
  // A file where the folder should be.
  std::wstring blocked = folder.File(L"blocked");
  WriteWholeFile(blocked, "x");
  ProfileBackup job;
  job.Begin(RecordDatabase(), profile, blocked);
  EXPECT_EQ(ProfileBackup::Failed, job.RunToEnd());
  EXPECT_EQ("x", ReadWholeFile(blocked));
  // A damaged or short copy never passes.
  std::wstring copy = folder.File(L"copy.db");
  ASSERT_TRUE(CopyFileW(profile.c_str(), copy.c_str(), FALSE));
  EXPECT_TRUE(VerifyBackupFile(copy, 100));
  EXPECT_FALSE(VerifyBackupFile(copy, 101));
  std::string bytes = ReadWholeFile(copy);
  WriteWholeFile(copy, bytes.substr(0, bytes.size() / 2));
  EXPECT_FALSE(VerifyBackupFile(copy, 100));
}

std::vector<BackupEntry> Entries(const std::vector<int64_t>& taken) {
  std::vector<BackupEntry> entries;
  for (int64_t t : taken) entries.push_back({L"", t});
  return entries;
}

TEST(BackupRotationTest, KeepsSevenDailyAndFourWeeklyAndNeverTheNewestCopy) {
  // One copy a day for 60 days, three on the newest day (before a restore, after it, at exit).
  std::vector<int64_t> taken{Monday + 60 * Day + 20 * Hour, Monday + 60 * Day + 19 * Hour, Monday + 60 * Day + 9 * Hour};
  for (int d = 59; d >= 0; --d) taken.push_back(Monday + d * Day + 12 * Hour);
  std::vector<size_t> removed = BackupsToRemove(Entries(taken), 7, 4);
  std::vector<bool> kept(taken.size(), true);
  for (size_t i : removed) kept[i] = false;
  // Every copy of the newest day, and one of each of the six days before it.
  for (size_t i = 0; i < 9; ++i) EXPECT_TRUE(kept[i]) << i;
  // Day 54 is the last daily; its week (days 49..55) has it. Then the newest copy of four older weeks.
  std::vector<size_t> weekly;
  for (size_t i = 9; i < taken.size(); ++i)
    if (kept[i]) weekly.push_back(i);
  ASSERT_EQ(4u, weekly.size());
  for (size_t k = 0; k < 4; ++k) {
    int day = (int)((taken[weekly[k]] - Monday) / Day);
    EXPECT_EQ(48 - 7 * (int)k, day);  // each a Sunday, the newest day of its week
  }
  EXPECT_EQ(taken.size() - 13, removed.size());

  // Nothing to keep by the numbers still keeps the newest.
  EXPECT_EQ((std::vector<size_t>{1, 2}), BackupsToRemove(Entries({3 * Day, 2 * Day, Day}), 0, 0));
  EXPECT_TRUE(BackupsToRemove(Entries({Day}), 0, 0).empty());
}

TEST(BackupRotationTest, RotationRemovesOnlyThisProfilesOlderCopies) {
  ScratchFolder folder;
  std::wstring profile = folder.File(L"Main.db");
  for (int d = 1; d <= 12; ++d) WriteWholeFile(folder.File(FormatWide(L"Main-202611%02d-120000.db", d).c_str()), "c");
  // Not copies of this profile: another profile's, a copy not yet checked, a stray name.
  for (const wchar_t* other : {L"Main-x-20261101-120000.db", L"Mainly-20261101-120000.db",
                               L"Main-20261101-120000.db.tmp", L"Main-2026110-1200000.db"})
    WriteWholeFile(folder.File(other), "o");
  std::vector<BackupEntry> listed = ListBackups(folder.Path(), profile);
  ASSERT_EQ(12u, listed.size());
  EXPECT_EQ(folder.File(L"Main-20261112-120000.db"), listed[0].path);
  EXPECT_EQ(9, RotateBackups(folder.Path(), profile, 3, 0));
  listed = ListBackups(folder.Path(), profile);
  ASSERT_EQ(3u, listed.size());
  EXPECT_EQ(folder.File(L"Main-20261110-120000.db"), listed[2].path);
  EXPECT_TRUE(FileExists(folder.File(L"Main-x-20261101-120000.db")));
  EXPECT_TRUE(FileExists(folder.File(L"Mainly-20261101-120000.db")));
  EXPECT_TRUE(FileExists(folder.File(L"Main-20261101-120000.db.tmp")));
}
}  // namespace
