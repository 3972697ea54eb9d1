// Matches written out from the summary's window menu, read back the way a spreadsheet or a script would.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "TrackerTestSupport.h"
#include "resources/resource.h"
#include "shell/AppState.h"
#include "shell/TrayMenu.h"
#include "store/RecordDatabase.h"
#include "views/MatchExport.h"
#include "views/SummaryWindow.h"
#include "views/ViewWindows.h"

namespace {
typedef std::vector<std::vector<std::string>> Table;

// RFC 4180: quoted fields with doubled quotes; records end in CRLF.
Table ParseCsv(const std::string& text) {
  Table rows(1, std::vector<std::string>(1));
  bool quoted = false;
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    std::string& field = rows.back().back();
    if (quoted) {
      if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') field += text[++i];
      else if (c == '"') quoted = false;
      else field += c;
    } else if (c == '"') {
      quoted = true;
    } else if (c == ',') {
      rows.back().emplace_back();
    } else if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
      ++i;
      rows.emplace_back(1);
    } else {
      field += c;
    }
  }
  if (rows.back().size() == 1 && rows.back()[0].empty()) rows.pop_back();
  return rows;
}

// Just enough JSON for an array of flat objects: each object becomes its values in order, strings unescaped,
// numbers kept as written (prefixed with '#', so a quoted number would not pass for one).
Table ParseJson(const std::string& text) {
  Table rows;
  size_t i = 0;
  auto skip = [&] { while (i < text.size() && strchr(" \r\n\t,:", text[i])) ++i; };
  auto string = [&] {
    std::string out;
    for (++i; i < text.size() && text[i] != '"'; ++i) {
      if (text[i] != '\\') { out += text[i]; continue; }
      char e = text[++i];
      if (e == 'u') { out += (char)std::stoi(text.substr(i + 1, 4), nullptr, 16); i += 4; }
      else out += e;
    }
    ++i;
    return out;
  };
  skip();
  if (text[i++] != '[') return rows;
  for (skip(); i < text.size() && text[i] == '{'; skip()) {
    rows.emplace_back();
    for (++i, skip(); text[i] != '}'; skip()) {
      string();  // the key: checked through the CSV header's order
      skip();
      if (text[i] == '"') rows.back().push_back(string());
      else { size_t end = text.find_first_of(",}", i); rows.back().push_back("#" + text.substr(i, end - i)); i = end; }
    }
    ++i;
  }
  return rows;
}

class MatchExportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_app.instance = GetModuleHandleW(nullptr);
    g_app.settingsPath = folder.File(L"Corvenka.ini");
    SetDatabasePath(folder.File(L"Evening.db"));
    ASSERT_TRUE(OpenRecordDatabase());
    summary = CreateDialogParamA(g_app.instance, MAKEINTRESOURCEA(IDD_SUMMARY), nullptr, SummaryDialogProc, 0);
    ASSERT_NE(summary, nullptr);
    g_app.summaryWindow = summary;
    g_app.mainWindow = summary;  // the tray icon's window, for the export's balloon
    ASSERT_TRUE(AddTrayIcon());
  }
  void TearDown() override {
    RemoveTrayIcon();
    g_app.mainWindow = nullptr;
    DestroyWindow(summary);
    g_app.summaryWindow = nullptr;
    CloseRecordDatabase();
  }
  // Runs the window-menu command and answers its save dialog with `file`; the name it offered.
  std::wstring Export(UINT command, const std::wstring& file) { return Export(summary, command, file); }
  std::wstring Export(HWND window, UINT command, const std::wstring& file) {
    std::wstring offered;
    DialogDriver save([](HWND dialog) { return GetDlgItem(dialog, 0x47C) || GetDlgItem(dialog, 0x480); },
                      [&](HWND dialog) {
                        HWND box = GetDlgItem(dialog, 0x47C) ? GetDlgItem(dialog, 0x47C) : GetDlgItem(dialog, 0x480);
                        for (int i = 0; i < 100 && WindowText(box).empty(); ++i) Sleep(20);
                        offered = WindowText(box);
                        AnswerFileDialog(dialog, file);
                      });
    SendMessageW(window, WM_SYSCOMMAND, command, 0);
    EXPECT_TRUE(save.Wait());
    return offered;
  }

  ScratchFolder folder;
  HWND summary = nullptr;
};

TEST_F(MatchExportTest, TheWholeProfileReadsBackAsCsvAndJsonInTheOrderPlayed) {
  // 2015-07-04 09:05:03.120 local, then later matches; names in the game's Shift-JIS, with the characters
  // CSV and JSON must quote, and empty.
  const int64_t first = 130804743031200000LL;
  ASSERT_TRUE(InsertMatchRecord(Match(first + 20000, "\x83\x7e\x83\x69", 3, 1, "a,\"b\"", 7, 2)));
  ASSERT_TRUE(InsertMatchRecord(Match(first, "me", 0, 2, "\x83\x4a\x83\x51", 13, 1)));
  ASSERT_TRUE(InsertMatchRecord(Match(first + 10000, "", 20, 2, "back\\slash", 5, 0)));

  EXPECT_EQ(L"Evening.csv", Export(SummaryExportCsv, folder.File(L"out.csv")));
  std::string csv = ReadWholeFile(folder.File(L"out.csv"));
  ASSERT_EQ(0u, csv.find("\xEF\xBB\xBF"));
  Table rows = ParseCsv(csv.substr(3));
  ASSERT_EQ(4u, rows.size());
  EXPECT_EQ((std::vector<std::string>{"datetime", "own_name", "own_character", "own_character_id", "own_rounds",
                                      "opponent_name", "opponent_character", "opponent_character_id",
                                      "opponent_rounds", "result"}),
            rows[0]);
  EXPECT_EQ(0u, rows[1][0].find("2015-07-04T09:05:03.120")) << rows[1][0];
  EXPECT_EQ(0u, rows[2][0].find("2015-07-04T09:05:03.121"));
  TIME_ZONE_INFORMATION zone;
  if (GetTimeZoneInformation(&zone) == TIME_ZONE_ID_UNKNOWN) {  // a zone without daylight saving
    int east = -zone.Bias;
    char offset[8];
    snprintf(offset, sizeof offset, "%c%02d:%02d", east < 0 ? '-' : '+', abs(east) / 60, abs(east) % 60);
    EXPECT_EQ(offset, rows[1][0].substr(23)) << "the local time's offset east of UTC";
  }
  EXPECT_EQ("me", rows[1][1]);
  EXPECT_EQ("13", rows[1][7]);
  EXPECT_EQ("win", rows[1][9]);
  EXPECT_EQ("", rows[2][1]) << "an empty name stays empty";
  EXPECT_EQ("", rows[2][2]) << "an id outside the roster has no character name";
  EXPECT_EQ("20", rows[2][3]);
  EXPECT_EQ("\xE3\x83\x9F\xE3\x83\x8A", rows[3][1]) << "Shift-JIS names come out as UTF-8";
  EXPECT_EQ("a,\"b\"", rows[3][5]);
  EXPECT_EQ("loss", rows[3][9]);
  for (const auto& row : rows) EXPECT_EQ(10u, row.size());

  EXPECT_EQ(L"out.csv に 3 件の対戦を書き出しました。", LastTrayBalloon());

  EXPECT_EQ(L"Evening.json", Export(SummaryExportJson, folder.File(L"out.json")));
  Table objects = ParseJson(ReadWholeFile(folder.File(L"out.json")));
  ASSERT_EQ(3u, objects.size());
  for (size_t r = 0; r < objects.size(); ++r) {
    ASSERT_EQ(10u, objects[r].size());
    for (size_t f = 0; f < 10; ++f) {
      bool number = f == 3 || f == 4 || f == 7 || f == 8;
      EXPECT_EQ((number ? "#" : "") + rows[r + 1][f], objects[r][f]) << "row " << r << " field " << f;
    }
  }
}

TEST_F(MatchExportTest, AHistoryWindowWritesTheRowsItShowsInItsOrder) {
  for (int i = 0; i < 5; ++i) ASSERT_TRUE(InsertMatchRecord(Match(130804743031200000LL + i * 10000, "me", i, 2, "opp", 1, 0)));
  RecordFilter newestThree{};
  newestThree.flags = FilterLimit;
  newestThree.limit = 3;
  HWND history = OpenMatchHistoryWindow(summary, &newestThree);
  ASSERT_NE(nullptr, history);
  ASSERT_TRUE(PumpUntil([&] { return RowCount(GetDlgItem(history, 5032)) == 3; }));
  Export(history, 0xE100, folder.File(L"history.csv"));
  EXPECT_EQ(L"history.csv に 3 件の対戦を書き出しました。", LastTrayBalloon());
  Table rows = ParseCsv(ReadWholeFile(folder.File(L"history.csv")).substr(3));
  ASSERT_EQ(4u, rows.size());
  for (int i = 0; i < 3; ++i) EXPECT_EQ(std::to_string(i + 2), rows[i + 1][3]) << "oldest of the three on top";
  DestroyWindow(history);
}

TEST_F(MatchExportTest, AFailedWriteLeavesTheOlderFileAsItWas) {
  std::wstring target = folder.File(L"old.csv");
  WriteWholeFile(target, "older export");
  // A program holding the old file open without sharing keeps it from being replaced.
  HANDLE held = CreateFileW(target.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, held);
  ExportWriter writer(target, ExportFormat::Csv);
  writer.Add(Match(130804743031200000LL, "me", 0, 2, "opp", 1, 0));
  std::wstring error;
  EXPECT_FALSE(writer.Commit(&error));
  EXPECT_FALSE(error.empty());
  CloseHandle(held);
  EXPECT_EQ("older export", ReadWholeFile(target));
  EXPECT_FALSE(FileExists(target + L".tmp"));
}
TEST_F(MatchExportTest, NamesThatLookLikeFormulasStayTextAndOnlyADecidedRowHasAResult) {
  const char* names[] = {"=HYPERLINK(\"x\")", "+1", "-2+3", "@SUM(A1)", "\tx", "\rx", "a=b", "'q"};
  std::wstring csvPath = folder.File(L"names.csv"), jsonPath = folder.File(L"names.json");
  ExportWriter csv(csvPath, ExportFormat::Csv), json(jsonPath, ExportFormat::Json);
  int64_t at = 130804743031200000LL;
  for (const char* name : names) {
    MatchRecord r = Match(at += 10000, name, 1, 2, name, 2, 1);
    csv.Add(r);
    json.Add(r);
  }
  // Rows another program made: no side at two rounds, both at two, our side at three.
  const int rounds[][2] = {{1, 1}, {2, 2}, {3, 0}, {0, 3}};
  for (const auto& w : rounds) csv.Add(Match(at += 10000, "me", 1, w[0], "opp", 2, w[1]));
  std::wstring error;
  ASSERT_TRUE(csv.Commit(&error));
  ASSERT_TRUE(json.Commit(&error));
  Table rows = ParseCsv(ReadWholeFile(csvPath).substr(3));
  Table objects = ParseJson(ReadWholeFile(jsonPath));
  ASSERT_EQ(13u, rows.size());
  for (size_t i = 0; i < 8; ++i) {
    std::string expected = (i < 6 ? "'" : "") + std::string(names[i]);
    EXPECT_EQ(expected, rows[i + 1][1]) << i;
    EXPECT_EQ(expected, rows[i + 1][5]) << i;
    EXPECT_EQ(names[i], objects[i][1]) << "JSON keeps the name exactly";
    EXPECT_EQ("1", rows[i + 1][8]) << "numbers are ours, never marked";
  }
  EXPECT_EQ("", rows[9][9]);
  EXPECT_EQ("", rows[10][9]);
  EXPECT_EQ("win", rows[11][9]);
  EXPECT_EQ("loss", rows[12][9]);
}
}  // namespace
