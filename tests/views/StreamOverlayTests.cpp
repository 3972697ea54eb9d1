// The stream overlay files as the summary's refresh writes them.
#include <gtest/gtest.h>

#include <sqlite3.h>

#include <string>

#include "TrackerTestSupport.h"
#include "shell/AppState.h"
#include "common/CharacterTable.h"
#include "common/ResultLine.h"
#include "shell/TrayMenu.h"
#include "store/RecordDatabase.h"
#include "views/StreamOverlay.h"

namespace {
const int64_t Minute = 60LL * 10000000;

class StreamOverlayTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_app.settingsPath = folder.File(L"Corvenka.ini");
    g_app.highPrecision = false;
    overlay = folder.File(L"overlay");
    CreateDirectoryW(overlay.c_str(), nullptr);
    WriteWholeFile(g_app.settingsPath, "[StreamOverlay]\r\nEnabled=1\r\nFolder=" + Ascii(overlay) + "\r\n");
    SetDatabasePath(folder.File(L"Default.db"));
    ASSERT_TRUE(OpenRecordDatabase());
    now = CurrentTimestamp();
  }
  void TearDown() override { CloseRecordDatabase(); }
  std::string Text(const wchar_t* name) { return ReadWholeFile(overlay + L"\\" + name); }
  static std::string Utf8(const std::wstring& text) {
    std::string out(text.size() * 3 + 1, '\0');
    out.resize(WideCharToMultiByte(CP_UTF8, 0, text.c_str(), (int)text.size(), &out[0], (int)out.size(), nullptr,
                                   nullptr));
    return out;
  }

  ScratchFolder folder;
  std::wstring overlay;
  int64_t now = 0;
};

TEST_F(StreamOverlayTest, SessionsSplitAtThirtyMinutesAndStreaksPassOverUndecidedMatches) {
  MatchRecord last = Match(now - 1 * Minute, "me", 5, 2, "opp", 7, 0);
  ASSERT_TRUE(InsertMatchRecord(Match(now - 3 * 24 * 60 * Minute, "me", 5, 0, "old", 1, 2)));
  ASSERT_TRUE(InsertMatchRecord(Match(now - 90 * Minute, "me", 5, 2, "a", 1, 1)));
  ASSERT_TRUE(InsertMatchRecord(Match(now - 60 * Minute, "me", 2, 1, "b", 1, 2)));  // 30 minutes later: a new session
  ASSERT_TRUE(InsertMatchRecord(Match(now - 31 * Minute, "me", 5, 1, "c", 1, 1)));  // undecided, by hand
  // Both sides at two rounds (another program's row): neither won, for the session as for the graph.
  ASSERT_TRUE(InsertMatchRecord(Match(now - 20 * Minute, "me", 3, 2, "e", 1, 2)));
  ASSERT_TRUE(InsertMatchRecord(Match(now - 2 * Minute, "me", 5, 2, "d", 1, 0)));
  ASSERT_TRUE(InsertMatchRecord(last));
  // Not a character of the roster (another program's row): no figure counts it, as the graph does not.
  char* odd = sqlite3_mprintf("INSERT INTO viziriduvozmirrow VALUES (%lld, 'me', 20, 2, 'x', 1, 0)", now - 10 * Minute);
  ASSERT_EQ(SQLITE_OK, sqlite3_exec(RecordDatabase(), odd, nullptr, nullptr, nullptr));
  sqlite3_free(odd);
  UpdateStreamOverlay();

  EXPECT_EQ(Utf8(L"セッション 2勝1敗 66%"), Text(L"session.txt"));
  EXPECT_EQ(Utf8(L"2連勝"), Text(L"streak.txt"));
  EXPECT_EQ(Utf8(FormatResultLine(last)), Text(L"last.txt"));
  EXPECT_EQ("WIN", Text(L"result.txt"));
  EXPECT_EQ(Utf8(std::wstring(CharacterTable[5].fullName) + L" 3勝1敗 75%"), Text(L"character.txt"));
  if (now % TimestampUnitsPerDay >= 90 * Minute) {  // all but the oldest are today
    EXPECT_EQ(Utf8(L"今日 4勝2敗 66%"), Text(L"today.txt")) << "today counts rounds as the summary does";
  }
  EXPECT_FALSE(FileExists(overlay + L"\\today.txt.tmp"));

  // Half an hour after the last match, the session is over.
  ASSERT_TRUE(DeleteMatchRecord(last.timestamp));
  ASSERT_TRUE(DeleteMatchRecord(now - 2 * Minute));
  ASSERT_TRUE(DeleteMatchRecord(now - 31 * Minute));
  ASSERT_TRUE(DeleteMatchRecord(now - 20 * Minute));
  ASSERT_TRUE(DeleteMatchRecord(now - 10 * Minute));
  UpdateStreamOverlay();
  EXPECT_EQ(Utf8(L"セッション 0勝0敗"), Text(L"session.txt"));
  EXPECT_EQ(Utf8(L"1連敗"), Text(L"streak.txt"));
  EXPECT_EQ("LOSE", Text(L"result.txt"));
}

// The folder as named is made when missing; one that cannot be made is told in words, not as a number.
TEST_F(StreamOverlayTest, AMissingFolderIsMadeAndOneThatCannotBeIsToldInWords) {
  HWND window = CreateWindowW(L"STATIC", L"", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
  g_app.mainWindow = window;
  ASSERT_TRUE(AddTrayIcon());
  ASSERT_TRUE(InsertMatchRecord(Match(now - Minute, "me", 5, 1, "opp", 7, 2)));
  std::wstring made = overlay + L"\\new";
  WriteWholeFile(g_app.settingsPath, "[StreamOverlay]\r\nEnabled=1\r\nFolder=" + Ascii(made) + "\r\n");
  UpdateStreamOverlay();
  EXPECT_EQ("LOSE", ReadWholeFile(made + L"\\result.txt"));
  EXPECT_EQ(L"", LastTrayBalloon());

  std::wstring deep = overlay + L"\\missing\\deeper";
  WriteWholeFile(g_app.settingsPath, "[StreamOverlay]\r\nEnabled=1\r\nFolder=" + Ascii(deep) + "\r\n");
  UpdateStreamOverlay();
  EXPECT_FALSE(FileExists(overlay + L"\\missing")) << "only the folder named is made";
  std::wstring told = LastTrayBalloon();
  EXPECT_EQ(0u, told.find(deep + L"\n")) << Utf8(told);
  EXPECT_EQ(std::wstring::npos, told.find(L"エラー")) << Utf8(told);
  EXPECT_GT(told.size(), deep.size() + 4);
  RemoveTrayIcon();
  DestroyWindow(window);
  g_app.mainWindow = nullptr;
}
}  // namespace
