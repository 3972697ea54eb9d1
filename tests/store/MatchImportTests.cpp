#include <gtest/gtest.h>
#include <sqlite3.h>

#include "StoreTestData.h"
#include "common/TextUtil.h"
#include "store/MatchImport.h"
#include "store/RecordQueries.h"
#include "views/MatchExport.h"

namespace {
constexpr int64_t First = 133000000000000000LL;

// Names in the code page, as the game gives them.
MatchRecord Row(int i, int variant = 0) {
  std::wstring opponent = i % 5 == 0 ? L"相手, \"引用\"" : L"あいて" + std::to_wstring(i % 7);
  return Match(First + i * 10000LL + 123 * 10000LL * (i % 3), WideToAnsi(L"わたし").c_str(), i % 14, 2,
               WideToAnsi(opponent.c_str()).c_str(), (i + variant) % 14, i % 2);
}

// Every row as text, in timestamp order.
std::string Dump(const std::wstring& path) {
  std::string out;
  sqlite3* db = nullptr;
  sqlite3_open(WideToUtf8(path.c_str()).c_str(), &db);
  sqlite3_exec(
      db, "SELECT timestamp, hex(p1name), p1id, p1win, hex(p2name), p2id, p2win FROM viziriduvozmirrow ORDER BY 1",
      [](void* context, int n, char** v, char**) {
        for (int i = 0; i < n; ++i) *static_cast<std::string*>(context) += std::string(v[i] ? v[i] : "NULL") + "|";
        *static_cast<std::string*>(context) += "\n";
        return 0;
      },
      &out, nullptr);
  sqlite3_close(db);
  return out;
}

class MatchImportTest : public ::testing::Test {
 protected:
  void TearDown() override { CloseRecordDatabase(); }
  void Make(const std::wstring& path, int from, int to, int variantFrom = -1, int variantTo = -1) {
    SetDatabasePath(path);
    ASSERT_TRUE(OpenRecordDatabase());
    std::vector<MatchRecord> rows;
    for (int i = from; i < to; ++i) rows.push_back(Row(i, i >= variantFrom && i < variantTo ? 1 : 0));
    ASSERT_TRUE(InsertAll(rows));
    CloseRecordDatabase();
  }
  ImportCounts Import(const std::wstring& source, const std::wstring& profile) {
    ImportCounts counts;
    std::wstring error;
    EXPECT_TRUE(ImportMatches(source, profile, false, &counts, &error, nullptr)) << Ascii(error);
    return counts;
  }
  ScratchFolder folder;
};

void Expect(const ImportCounts& counts, int added, int already, int conflicts) {
  EXPECT_EQ(added, counts.added);
  EXPECT_EQ(already, counts.already);
  EXPECT_EQ(conflicts, counts.conflicts);
}

TEST_F(MatchImportTest, OwnExportIntoItsOwnProfileChangesNothing) {
  std::wstring profile = folder.File(L"自分.db");
  Make(profile, 0, 300);
  std::string before = Dump(profile);
  SetDatabasePath(profile);
  ASSERT_TRUE(OpenRecordDatabase());
  for (ExportFormat format : {ExportFormat::Csv, ExportFormat::Json}) {
    std::wstring file = folder.File(format == ExportFormat::Csv ? L"out.csv" : L"out.json");
    ExportWriter writer(file, format);
    auto add = [](const MatchRecord& record, void* context) { static_cast<ExportWriter*>(context)->Add(record); };
    ASSERT_TRUE(QueryEveryMatchOldestFirst(add, &writer));
    std::wstring error;
    ASSERT_TRUE(writer.Commit(&error));
    ImportCheck check;
    ASSERT_TRUE(CheckImportFile(file, &check, &error, nullptr));
    EXPECT_EQ(300, check.rows);
    EXPECT_EQ(0, check.refused);
    Expect(Import(file, profile), 0, 300, 0);
  }
  CloseRecordDatabase();
  Expect(Import(profile, profile), 0, 300, 0);
  EXPECT_EQ(before, Dump(profile));
}

TEST_F(MatchImportTest, OverlappingProfilesMergeOnceAndConflictsKeepTheProfilesValues) {
  std::wstring mine = folder.File(L"mine.db"), other = folder.File(L"other.db");
  Make(mine, 0, 100);
  // Rows 50..149, of which 60..69 differ from mine.
  Make(other, 50, 150, 60, 70);
  std::string conflicting = Dump(mine);
  ImportCounts counts = Import(other, mine);
  Expect(counts, 50, 40, 10);
  ASSERT_EQ(10u, counts.conflictTimestamps.size());
  EXPECT_EQ(Row(60).timestamp, counts.conflictTimestamps[0]);
  Expect(Import(other, mine), 0, 90, 10);
  std::wstring expected = folder.File(L"expected.db");
  Make(expected, 0, 150);
  EXPECT_EQ(Dump(expected), Dump(mine));
}

TEST_F(MatchImportTest, RowsThatCannotBeTakenAreRefusedWithTheirLines) {
  std::wstring profile = folder.File(L"p.db");
  Make(profile, 0, 1);
  std::wstring csv = folder.File(L"hand.csv");
  const std::string header =
      "\xEF\xBB\xBF" "datetime,own_name,own_character,own_character_id,own_rounds,opponent_name,opponent_character,"
      "opponent_character_id,opponent_rounds,result\r\n";
  WriteWholeFile(csv, header +
                          "2026-12-08T21:05:03.120+09:00,わたし,x,1,2,\"相手\r\n二行\",y,3,1,win\r\n"
                          "2026-12-08T21:06:03.120+09:00,わたし,x,1,2,\xF0\x9F\x98\x80,y,3,1,win\r\n"
                          "2026-12-08T21:07:03.120+09:00,わたし,x,14,2,相手,y,3,1,win\r\n"
                          "2026-12-08 21:08,わたし,x,1,2,相手,y,3,1,win\r\n"
                          "2026-12-08T21:09:03.120+09:00,わたし,x,1,2,相手,y,3,0,win\r\n");
  ImportCheck check;
  std::wstring error;
  ASSERT_TRUE(CheckImportFile(csv, &check, &error, nullptr));
  EXPECT_EQ(2, check.rows);
  ASSERT_EQ(3, check.refused);
  EXPECT_EQ(4, check.refusedRows[0].first);  // the quoted line break counts
  EXPECT_EQ(5, check.refusedRows[1].first);
  EXPECT_EQ(6, check.refusedRows[2].first);
  // Nothing is taken of it unless asked to leave the refused rows out.
  ImportCounts counts;
  EXPECT_FALSE(ImportMatches(csv, profile, false, &counts, &error, nullptr));
  Expect(counts, 0, 0, 0);
  ASSERT_EQ(3u, counts.refusedRows.size());
  EXPECT_EQ(6, counts.refusedRows[2].first);
  EXPECT_EQ(1, CountRows(profile));
  ASSERT_TRUE(ImportMatches(csv, profile, true, &counts, &error, nullptr));
  Expect(counts, 2, 0, 0);
  EXPECT_EQ(3, counts.refused);
  SYSTEMTIME at{2026, 12, 0, 8, 21, 5, 3, 120};
  FILETIME ft;
  SystemTimeToFileTime(&at, &ft);
  int64_t stamp = (int64_t)(((uint64_t)ft.dwHighDateTime << 32) | ft.dwLowDateTime);
  std::string name = WideToAnsi(L"相手\r\n二行");
  EXPECT_EQ(1, CountRows(profile, ("WHERE timestamp = " + std::to_string(stamp) + " AND hex(p2name) = '" +
                                   [&] {
                                     std::string hex;
                                     for (unsigned char c : name) {
                                       char b[3];
                                       snprintf(b, 3, "%02X", c);
                                       hex += b;
                                     }
                                     return hex;
                                   }() + "'")
                                      .c_str()));

  // Not our export at all, and a broken JSON: refused as a whole, naming the line.
  WriteWholeFile(csv, "a,b\r\n1,2\r\n");
  EXPECT_FALSE(CheckImportFile(csv, &check, &error, nullptr));
  std::wstring json = folder.File(L"broken.json");
  WriteWholeFile(json, "[\n  {\"datetime\": \"2026-12-08T21:05:03.120+09:00\"},\n  {\"own_name\": \n");
  EXPECT_FALSE(CheckImportFile(json, &check, &error, nullptr));
  EXPECT_NE(std::wstring::npos, error.find(L"3 行目")) << Ascii(error);
}
}  // namespace
