#include <gtest/gtest.h>
#include <sqlite3.h>

#include <map>
#include <set>

#include "StoreTestData.h"
#include "common/TextUtil.h"
#include "store/ProfileBackup.h"
#include "store/ProfileSalvage.h"

namespace {
constexpr int64_t First = 130000000000000000LL;
constexpr int BackedUp = 6000;
constexpr int Stored = 12000;

MatchRecord Nth(int i) {
  std::string opponent = "相手" + std::to_string(i % 97);
  return Match(First + i * 10000LL, "わたし", i % 14, i % 3 == 0 ? 1 : 2, opponent.c_str(), (i * 5) % 14,
               i % 3 == 0 ? 2 : i % 2);
}

std::string Key(const MatchRecord& r) {
  return std::to_string(r.timestamp) + "|" + r.p1name + "|" + std::to_string(r.p1id) + "|" + std::to_string(r.p1win) +
         "|" + r.p2name + "|" + std::to_string(r.p2id) + "|" + std::to_string(r.p2win);
}

std::set<std::string> RowsOf(const std::wstring& path) {
  std::set<std::string> rows;
  sqlite3* db = nullptr;
  sqlite3_open(WideToUtf8(path.c_str()).c_str(), &db);
  sqlite3_exec(
      db, "SELECT timestamp, p1name, p1id, p1win, p2name, p2id, p2win FROM viziriduvozmirrow",
      [](void* out, int, char** v, char**) {
        std::string key;
        for (int i = 0; i < 7; ++i) key += std::string(i ? "|" : "") + (v[i] ? v[i] : "");
        static_cast<std::set<std::string>*>(out)->insert(key);
        return 0;
      },
      &rows, nullptr);
  sqlite3_close(db);
  return rows;
}

uint64_t Varint(const unsigned char*& p) {
  uint64_t v = 0;
  for (int i = 0; i < 9; ++i) {
    unsigned char b = *p++;
    if (i == 8) return (v << 8) | b;
    v = (v << 7) | (b & 0x7F);
    if (!(b & 0x80)) break;
  }
  return v;
}

// The timestamps on each leaf page of the match table, read from the file's pages as they are.
std::map<int, std::vector<int64_t>> LeafPages(const std::wstring& path, int* pageSize) {
  std::map<int, std::vector<int64_t>> leaves;
  std::string bytes = ReadWholeFile(path);
  *pageSize = ((unsigned char)bytes[16] << 8) | (unsigned char)bytes[17];
  for (size_t page = 2; page * *pageSize <= bytes.size(); ++page) {
    auto* base = reinterpret_cast<const unsigned char*>(bytes.data()) + (page - 1) * *pageSize;
    if (base[0] != 0x0D) continue;
    int cells = (base[3] << 8) | base[4];
    for (int c = 0; c < cells; ++c) {
      const unsigned char* cell = base + ((base[8 + 2 * c] << 8) | base[9 + 2 * c]);
      Varint(cell);
      leaves[(int)page].push_back((int64_t)Varint(cell));
    }
  }
  return leaves;
}

class ProfileSalvageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    profile = folder.File(L"戦績.db");
    backups = folder.File(L"Backups");
    SetDatabasePath(profile);
    ASSERT_TRUE(OpenRecordDatabase());
    std::vector<MatchRecord> rows;
    for (int i = 0; i < Stored; ++i) {
      rows.push_back(Nth(i));
      stored.insert(Key(rows.back()));
    }
    ASSERT_TRUE(InsertAll(std::vector<MatchRecord>(rows.begin(), rows.begin() + BackedUp)));
    ProfileBackup job;
    ASSERT_TRUE(job.Begin(RecordDatabase(), profile, backups));
    ASSERT_EQ(ProfileBackup::Done, job.RunToEnd());
    ASSERT_TRUE(InsertAll(std::vector<MatchRecord>(rows.begin() + BackedUp, rows.end())));
    CloseRecordDatabase();
    leaves = LeafPages(profile, &pageSize);
    ASSERT_GT(leaves.size(), 20u);
  }

  // Salvages, then checks that the profile holds every backed-up match, every match of an intact leaf page,
  // and nothing that was never stored; the damaged file is kept as it was left.
  void SalvageAndCheck(const std::set<int>& damagedPages, bool pagesReadable) {
    std::string damagedBytes = ReadWholeFile(profile);
    SalvageResult result;
    ASSERT_TRUE(SalvageProfile(profile, backups, &result));
    EXPECT_EQ(damagedBytes, ReadWholeFile(result.keptAs));
    EXPECT_EQ(BackedUp, result.fromBackup);
    std::set<std::string> rows = RowsOf(profile);
    EXPECT_EQ((size_t)(result.fromBackup + result.salvaged), rows.size());
    for (const std::string& row : rows) EXPECT_TRUE(stored.count(row)) << "never stored: " << row;
    std::set<int64_t> present;
    for (const std::string& row : rows) present.insert(std::stoll(row));
    for (int i = 0; i < BackedUp; ++i) ASSERT_TRUE(present.count(Nth(i).timestamp)) << i;
    if (!pagesReadable) return;
    size_t expected = 0;
    for (const auto& leaf : leaves) {
      if (damagedPages.count(leaf.first)) continue;
      for (int64_t t : leaf.second) {
        ++expected;
        ASSERT_TRUE(present.count(t)) << "page " << leaf.first;
      }
    }
    EXPECT_GT(expected, (size_t)BackedUp);
    // Opening it is the tracker's own way.
    SetDatabasePath(profile);
    EXPECT_TRUE(OpenRecordDatabase());
    CloseRecordDatabase();
  }

  ScratchFolder folder;
  std::wstring profile, backups;
  std::set<std::string> stored;
  std::map<int, std::vector<int64_t>> leaves;
  int pageSize = 0;
};

TEST_F(ProfileSalvageTest, GarbageOverPagesInTheMiddleOfTheTable) {
  std::string bytes = ReadWholeFile(profile);
  // Three leaf pages and an interior page, if one is there, of the middle of the table.
  std::set<int> damaged;
  auto leaf = leaves.begin();
  std::advance(leaf, leaves.size() / 2);
  for (int k = 0; k < 3; ++k, ++leaf) damaged.insert(leaf->first);
  for (size_t page = 2; page * pageSize <= bytes.size(); ++page)
    if ((unsigned char)bytes[(page - 1) * pageSize] == 0x05) {
      damaged.insert((int)page);
      break;
    }
  for (int page : damaged)
    for (int i = 0; i < pageSize; ++i) bytes[(page - 1) * pageSize + i] = (char)((i * 7919 + page) & 0xFF);
  WriteWholeFile(profile, bytes);
  SalvageAndCheck(damaged, true);
}

TEST_F(ProfileSalvageTest, TruncatedFile) {
  std::string bytes = ReadWholeFile(profile);
  size_t keepPages = bytes.size() / pageSize * 2 / 3;
  WriteWholeFile(profile, bytes.substr(0, keepPages * pageSize + 100));
  std::set<int> lost;
  for (const auto& leaf : leaves)
    if ((size_t)leaf.first > keepPages) lost.insert(leaf.first);
  SalvageAndCheck(lost, true);
}

TEST_F(ProfileSalvageTest, ZeroedHeader) {
  std::string bytes = ReadWholeFile(profile);
  for (int i = 0; i < 100; ++i) bytes[i] = 0;
  WriteWholeFile(profile, bytes);
  SetDatabasePath(profile);
  ProfileProblem problem;
  EXPECT_FALSE(OpenRecordDatabase(&problem));
  EXPECT_EQ(ProfileNotDatabase, problem);
  SalvageAndCheck({}, true);
}

TEST_F(ProfileSalvageTest, WithoutBackupTheReadableMatchesStillComeBack) {
  for (const BackupEntry& entry : ListBackups(backups, profile)) DeleteFileW(entry.path.c_str());
  std::string bytes = ReadWholeFile(profile);
  int page = std::prev(leaves.end())->first;
  for (int i = 0; i < pageSize; ++i) bytes[(page - 1) * pageSize + i] = (char)0xFF;
  WriteWholeFile(profile, bytes);
  SalvageResult result;
  ASSERT_TRUE(SalvageProfile(profile, backups, &result));
  EXPECT_TRUE(result.backupUsed.empty());
  EXPECT_EQ(0, result.fromBackup);
  EXPECT_EQ((int64_t)Stored - (int64_t)std::prev(leaves.end())->second.size(), result.salvaged);
  EXPECT_TRUE(FileExists(result.keptAs));
}
}  // namespace
