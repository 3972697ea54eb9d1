#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "TrackerTestSupport.h"
#include "shell/AppState.h"
#include "shell/ChangeJournal.h"
#include "common/CharacterTable.h"
#include "common/Clipboard.h"
#include "shell/MatchCapture.h"
#include "shell/PendingMatches.h"
#include "store/RecordDatabase.h"

namespace {
LRESULT CALLBACK CountingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == RefreshSummaryMessage) SetPropW(window, L"REFRESHES", (HANDLE)((INT_PTR)GetPropW(window, L"REFRESHES") + 1));
  return DefWindowProcW(window, message, wParam, lParam);
}

class MatchCaptureTest : public ::testing::Test {
 protected:
  void SetUp() override {
    WNDCLASSW wc{};
    wc.lpfnWndProc = CountingProc;
    wc.lpszClassName = L"FakeSummary";
    RegisterClassW(&wc);
    summary = CreateWindowW(L"FakeSummary", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    g_app.summaryWindow = summary;
    g_app.copyMode = CopyNone;
    probe.Install();
    ClearJournal();
    path = folder.File(L"capture.db");
    SetDatabasePath(path);
    ASSERT_TRUE(OpenRecordDatabase());
    CopyTextToClipboard(L"sentinel", -1);
    balloons.clear();
    g_pendingAnnouncer = [](const std::wstring&, const std::wstring& text) {
      balloons.push_back(text);
      return true;
    };
    unread.clear();
    g_unreadMatchAnnouncer = [](const std::wstring& title, const std::wstring& text) {
      unread.push_back(title + L"|" + text);
      return true;
    };
  }
  void TearDown() override {
    SetPendingMatchesAside();
    CloseRecordDatabase();
    DestroyWindow(summary);
  }
  // A finished match as the probe would report it.
  void Match(const char* side1, const char* side2, int w1, int w2, int c1, int c2, int isClient) {
    probe.names.clear();
    if (side1) probe.names[7] = side1;
    if (side2) probe.names[8] = side2;
    probe.values = {{4, w1}, {5, w2}, {2, c1}, {3, c2}, {1, isClient}};
  }
  int Refreshes() {
    PumpUntil([] { return false; }, 50);
    return (int)(INT_PTR)GetPropW(summary, L"REFRESHES");
  }
  std::string Rows() {
    std::string out;
    sqlite3_exec(
        RecordDatabase(), "SELECT p1name, p1id, p1win, p2name, p2id, p2win FROM viziriduvozmirrow ORDER BY timestamp",
        [](void* c, int n, char** v, char**) {
          auto* s = static_cast<std::string*>(c);
          for (int i = 0; i < n; ++i) *s += std::string(i ? "|" : "") + (v[i] ? v[i] : "NULL");
          *s += "\n";
          return 0;
        },
        &out, nullptr);
    return out;
  }
  FakeProbe probe;
  ScratchFolder folder;
  std::wstring path;
  HWND summary = nullptr;
  static std::vector<std::wstring> balloons, unread;
};
std::vector<std::wstring> MatchCaptureTest::balloons;
std::vector<std::wstring> MatchCaptureTest::unread;

TEST_F(MatchCaptureTest, HostKeepsTheSidesAndEverythingFollows) {
  Match("host", "guest", 2, 1, 3, 9, 0);
  CaptureFinishedMatch();
  EXPECT_EQ("host|3|2|guest|9|1\n", Rows());
  EXPECT_EQ((std::vector<int>{1, 7, 8, 4, 5, 2, 3, 1, 7, 8, 4, 5, 2, 3}), probe.calls) << "read twice, side first";
  EXPECT_TRUE(CanUndo());
  EXPECT_EQ(1, Refreshes());
  EXPECT_EQ(L"sentinel", ClipboardText()) << "copy mode 0 copies nothing";
}

TEST_F(MatchCaptureTest, ClientSwapsTheSides) {
  Match("host", "guest", 2, 1, 3, 9, 1);
  CaptureFinishedMatch();
  EXPECT_EQ("guest|9|1|host|3|2\n", Rows());
}

// Catches OutputDebugStringW, which raises an exception that a debugger would take.
std::string g_debugText;
LONG CALLBACK RecordDebugText(EXCEPTION_POINTERS* info) {
  const EXCEPTION_RECORD* r = info->ExceptionRecord;
  if (r->ExceptionCode == 0x40010006 && r->NumberParameters >= 2) g_debugText += (const char*)r->ExceptionInformation[1];
  return EXCEPTION_CONTINUE_SEARCH;
}

TEST_F(MatchCaptureTest, PassesThatDisagreeAreReadAgainAndNeverAgreeingOnesStoreNothing) {
  // The game turns from client to host after the first pass read the side: the later passes agree.
  Match("host", "guest", 2, 1, 3, 9, 1);
  probe.onCall = [this](int id) {
    if (id == 7) probe.values[1] = 0;
  };
  CaptureFinishedMatch();
  EXPECT_EQ("host|3|2|guest|9|1\n", Rows());
  EXPECT_EQ(21u, probe.calls.size()) << "three passes";

  // A score that changes at every pass.
  Sleep(2);
  probe.calls.clear();
  Match("a", "b", 2, 0, 1, 1, 0);
  probe.onCall = [this](int id) {
    if (id == 1) probe.values[5] = probe.values[5] ? 0 : 1;
  };
  PVOID handler = AddVectoredExceptionHandler(1, RecordDebugText);
  g_debugText.clear();
  SYSTEMTIME now;
  GetLocalTime(&now);
  CaptureFinishedMatch();
  RemoveVectoredExceptionHandler(handler);
  EXPECT_EQ(1, CountRows(path));
  EXPECT_LE(probe.calls.size(), 35u) << "a few passes only";
  EXPECT_NE(std::string::npos, g_debugText.find("nothing stored")) << g_debugText;
  // The user hears of the lost match once, with its time.
  SYSTEMTIME after;
  GetLocalTime(&after);
  ASSERT_EQ(1u, unread.size());
  EXPECT_EQ(0u, unread[0].find(L"対戦を読み取れませんでした|")) << unread[0];
  bool timed = false;
  for (const SYSTEMTIME& t : {now, after}) {
    wchar_t minute[8];
    wsprintfW(minute, L"%02d:%02d:", t.wHour, t.wMinute);
    timed = timed || unread[0].find(minute) != std::wstring::npos;
  }
  EXPECT_TRUE(timed) << unread[0];
  EXPECT_TRUE(balloons.empty());
}

TEST_F(MatchCaptureTest, FailedNameRequestsGiveEmptyNames) {
  Match(nullptr, nullptr, 2, 0, 0, 13, 0);
  CaptureFinishedMatch();
  EXPECT_EQ("|0|2||13|0\n", Rows());
}

TEST_F(MatchCaptureTest, ImplausibleValuesStoreNothing) {
  const int cases[][5] = {
      {1, 1, 0, 0, 0},   // nobody at two rounds
      {-1, 2, 0, 0, 0},  // failed read on side 1
      {2, -1, 0, 0, 0},  // failed read on side 2
      {3, 2, 0, 0, 0},   {2, 3, 0, 0, 0},  {2, 0, 20, 0, 0},  {2, 0, 0, 14, 0},
      {2, 0, -1, 0, 0},  {2, 0, 0, -1, 0}, {-1, -1, -1, -1, 0},
      {2, 0, 0, 0, -1},  // the side unreadable: taken as either, the row could be the opponent's
      {2, 0, 0, 0, 2},
  };
  for (const auto& c : cases) {
    Match("a", "b", c[0], c[1], c[2], c[3], c[4]);
    CaptureFinishedMatch();
  }
  EXPECT_EQ("", Rows());
  EXPECT_FALSE(CanUndo());
  EXPECT_EQ(0, Refreshes());
  EXPECT_EQ(L"sentinel", ClipboardText());
  EXPECT_EQ(2u, unread.size()) << "told for the two matches whose side was unreadable, not the implausible ones";
}

TEST_F(MatchCaptureTest, ADuplicateMillisecondIsDroppedSilently) {
  // The same match in every millisecond of the next few seconds, so the capture's timestamp is already taken.
  int64_t now = CurrentTimestamp();
  BeginTransaction();
  for (int i = 0; i < 5000; ++i) ASSERT_TRUE(InsertMatchRecord(::Match(now + (int64_t)i * 10000, "a", 1, 2, "b", 1, 0)));
  EndTransaction(false);
  g_app.copyMode = CopyAll;
  Match("a", "b", 2, 0, 1, 1, 0);
  CaptureFinishedMatch();
  EXPECT_EQ(5000, CountRows(path));
  EXPECT_FALSE(CanUndo());
  EXPECT_EQ(0, Refreshes());
  EXPECT_EQ(L"sentinel", ClipboardText());
  EXPECT_TRUE(sqlite3_get_autocommit(RecordDatabase())) << "rolled back, not left open";
  EXPECT_EQ(0u, PendingMatchCount()) << "a taken timestamp never frees up: nothing to wait for";
}

// Another program's rules refuse the row: it is kept and the user reads SQLite's reason; only the same match
// already stored at the timestamp is a duplicate.
TEST_F(MatchCaptureTest, ARowTheTableRefusesIsKeptAndAnnouncedNeverDropped) {
  ASSERT_TRUE(BuildDatabase(path, "CREATE TRIGGER closed BEFORE INSERT ON viziriduvozmirrow "
                                  "BEGIN SELECT RAISE(ABORT, 'closed for the season'); END"));
  g_app.copyMode = CopyOpponentName;
  Match("a", "b", 2, 0, 1, 1, 0);
  CaptureFinishedMatch();
  EXPECT_EQ(1u, PendingMatchCount());
  EXPECT_TRUE(FileExists(RecoveryFilePath(path)));
  EXPECT_EQ(L"b", ClipboardText()) << "kept, so copied";
  ASSERT_EQ(1u, balloons.size());
  EXPECT_NE(std::wstring::npos, balloons[0].find(L"closed for the season")) << balloons[0];

  // Set aside and taken up again while still refused: still kept.
  SetPendingMatchesAside();
  TakeUpRecoveredMatches();
  EXPECT_EQ(1u, PendingMatchCount());
  EXPECT_TRUE(FileExists(RecoveryFilePath(path)));

  // Another match at its timestamp is no duplicate either.
  std::string kept = ReadWholeFile(RecoveryFilePath(path));
  int64_t taken = std::stoll(kept.substr(kept.find('\n') + 1));
  ASSERT_TRUE(BuildDatabase(path, "DROP TRIGGER closed"));
  ASSERT_TRUE(InsertMatchRecord(::Match(taken, "x", 3, 2, "y", 4, 0)));
  EXPECT_FALSE(StorePendingMatches());
  EXPECT_EQ(1u, PendingMatchCount());
  ASSERT_TRUE(DeleteMatchRecord(taken));
  EXPECT_TRUE(StorePendingMatches());
  EXPECT_EQ("a|1|2|b|1|0\n", Rows());
  EXPECT_FALSE(FileExists(RecoveryFilePath(path)));
}

TEST_F(MatchCaptureTest, MatchesNoFileCanHoldStayInMemoryAndAreOfferedAtExit) {
  ScratchFolder appData;
  wchar_t previousAppData[MAX_PATH] = L"";
  GetEnvironmentVariableW(L"LOCALAPPDATA", previousAppData, MAX_PATH);
  SetEnvironmentVariableW(L"LOCALAPPDATA", appData.Path().c_str());
  std::wstring fallback = FallbackRecoveryFilePath(path);
  ASSERT_EQ(0u, fallback.find(appData.Path() + L"\\Corvenka\\")) << "named after the profile's path";
  EXPECT_NE(fallback, FallbackRecoveryFilePath(folder.File(L"other.db")));
  // Directories where the files would go: neither can be written.
  ASSERT_TRUE(CreateDirectoryW(RecoveryFilePath(path).c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryW((appData.Path() + L"\\Corvenka").c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryW(fallback.c_str(), nullptr));
  {
    HeldReadLock reader(path);
    Match("a", "b", 2, 0, 1, 1, 0);
    CaptureFinishedMatch();
  }
  std::wstring other = folder.File(L"other.db");
  SetDatabasePath(other);
  ASSERT_TRUE(OpenRecordDatabase());
  LeavePendingMatchesWith(path);
  EXPECT_EQ(1u, PendingMatchCount()) << "nothing holds it but memory";
  EXPECT_EQ(std::wstring::npos, balloons.back().find(L"次に")) << "never claimed kept";
  {
    DialogSequence answers({DialogSequence::Box(IDYES), DialogSequence::Box(IDNO)});
    SetPendingMatchesAside();
    ASSERT_TRUE(answers.Wait());
    EXPECT_NE(std::wstring::npos, answers.Seen()[1].find(L"a(")) << "named after another try";
  }
  EXPECT_NE(std::wstring::npos, ClipboardText().find(L"a(")) << ClipboardText();
  EXPECT_EQ(0, CountRows(other));

  // With the fallback writable, the match is kept there and stored once at the next opening.
  ASSERT_TRUE(RemoveDirectoryW(fallback.c_str()));
  SetDatabasePath(path);
  ASSERT_TRUE(OpenRecordDatabase());
  {
    HeldReadLock reader(path);
    Sleep(2);
    Match("c", "d", 2, 1, 1, 1, 0);
    CaptureFinishedMatch();
    SetPendingMatchesAside();
  }
  EXPECT_EQ(0u, PendingMatchCount());
  EXPECT_TRUE(FileExists(fallback));
  CloseRecordDatabase();
  ASSERT_TRUE(OpenRecordDatabase());
  TakeUpRecoveredMatches();
  TakeUpRecoveredMatches();
  EXPECT_EQ("c|1|2|d|1|1\n", Rows());
  EXPECT_FALSE(FileExists(fallback));
  SetEnvironmentVariableW(L"LOCALAPPDATA", previousAppData[0] ? previousAppData : nullptr);
}

TEST_F(MatchCaptureTest, AMatchTheFileRefusesWaitsAndIsStoredOnceInOrder) {
  g_app.copyMode = CopyOpponentName;
  std::wstring recovery = RecoveryFilePath(path);
  {
    // Another program is reading the file: each insert runs, but its commit is refused.
    HeldReadLock reader(path);
    ASSERT_TRUE(reader.Held());
    Match("a", "b", 2, 0, 1, 1, 0);
    CaptureFinishedMatch();
    EXPECT_TRUE(sqlite3_get_autocommit(RecordDatabase())) << "no transaction may stay open";
    EXPECT_EQ(L"b", ClipboardText()) << "the match is kept, so it is copied";
    Sleep(2);
    Match("c", "d", 1, 2, 1, 1, 0);
    CaptureFinishedMatch();
    EXPECT_EQ(2u, PendingMatchCount());
    EXPECT_TRUE(FileExists(recovery)) << "a crash now must not lose them";
    EXPECT_FALSE(CanUndo()) << "nothing stored to take back";
    EXPECT_EQ(0, Refreshes());
  }
  EXPECT_EQ(0, CountRows(path));
  ASSERT_EQ(1u, balloons.size()) << "told once for the episode";
  EXPECT_NE(std::wstring::npos, balloons[0].find(L"a(")) << balloons[0];
  EXPECT_NE(std::wstring::npos, balloons[0].find(L"ほかのプログラムがプロファイルを使用中です")) << balloons[0];

  // The next capture stores the waiting ones first, each once.
  Sleep(2);
  Match("e", "f", 2, 1, 1, 1, 0);
  CaptureFinishedMatch();
  EXPECT_EQ("a|1|2|b|1|0\nc|1|1|d|1|2\ne|1|2|f|1|1\n", Rows());
  EXPECT_EQ(0u, PendingMatchCount());
  EXPECT_FALSE(FileExists(recovery)) << "removed once everything is committed";
  ASSERT_EQ(2u, balloons.size());
  EXPECT_NE(std::wstring::npos, balloons[1].find(L"保存待ちの対戦 2 件")) << balloons[1];
  EXPECT_EQ(1, Refreshes());
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(UndoChange());
  EXPECT_EQ(0, CountRows(path)) << "every stored match can be taken back";
}

TEST_F(MatchCaptureTest, TheTimerStoresAWaitingMatchOnceTheFileIsFree) {
  {
    HeldReadLock reader(path);
    ASSERT_TRUE(reader.Held());
    Match("a", "b", 2, 0, 1, 1, 0);
    CaptureFinishedMatch();
  }
  EXPECT_EQ(0, CountRows(path));
  EXPECT_TRUE(PumpUntil([&] { return CountRows(path) == 1; }, 15000));
  EXPECT_TRUE(CanUndo());
  EXPECT_EQ(2u, balloons.size());
}

// The same session: the profile is opened again for writing by a retry, its journal and windows kept.
TEST_F(MatchCaptureTest, AReadOnlyProfileMadeWritableIsWrittenByTheNextRetryOnce) {
  CloseRecordDatabase();
  // Another program that keeps others from writing the file: SQLite opens it for reading only, as it does a
  // file marked read-only.
  HANDLE guard = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, guard);
  ASSERT_TRUE(OpenRecordDatabase());
  ASSERT_TRUE(RecordDatabaseReadOnly());
  Match("a", "b", 2, 0, 1, 1, 0);
  CaptureFinishedMatch();
  Sleep(2);
  Match("c", "d", 1, 2, 1, 1, 0);
  CaptureFinishedMatch();
  EXPECT_EQ(2u, PendingMatchCount());
  ASSERT_EQ(1u, balloons.size());
  EXPECT_NE(std::wstring::npos, balloons[0].find(L"プロファイルに書き込めません")) << balloons[0];

  CloseHandle(guard);
  EXPECT_TRUE(PumpUntil([&] { return CountRows(path) == 2; }, 15000));
  EXPECT_FALSE(RecordDatabaseReadOnly());
  EXPECT_EQ("a|1|2|b|1|0\nc|1|1|d|1|2\n", Rows());
  ASSERT_EQ(2u, balloons.size());
  EXPECT_EQ(0u, balloons[1].find(L"保存待ちの対戦 2 件を")) << balloons[1];
  PumpUntil([] { return false; }, 3500);
  EXPECT_EQ(2u, balloons.size()) << "told once";
  EXPECT_EQ(2, CountRows(path));
  EXPECT_TRUE(UndoChange()) << "the journal goes on with the new connection";
  EXPECT_EQ(1, CountRows(path));
}

TEST_F(MatchCaptureTest, WhatStillWaitsAtTheEndIsStoredAtTheNextOpeningOnce) {
  std::wstring recovery = RecoveryFilePath(path);
  Match("\x83\x41 '", "b", 2, 0, 1, 1, 0);  // a name in code page 932 with a quote
  {
    HeldReadLock reader(path);
    CaptureFinishedMatch();
    SetPendingMatchesAside();  // its last try is refused too
  }
  EXPECT_EQ(0u, PendingMatchCount());
  ASSERT_TRUE(FileExists(recovery));
  std::string kept = ReadWholeFile(recovery);
  CloseRecordDatabase();

  // Another profile opened meanwhile takes nothing of it.
  std::wstring other = folder.File(L"other.db");
  SetDatabasePath(other);
  ASSERT_TRUE(OpenRecordDatabase());
  TakeUpRecoveredMatches();
  EXPECT_EQ(0, CountRows(other));

  SetDatabasePath(path);
  ASSERT_TRUE(OpenRecordDatabase());
  balloons.clear();
  TakeUpRecoveredMatches();
  EXPECT_EQ("\x83\x41 '|1|2|b|1|0\n", Rows());
  EXPECT_FALSE(FileExists(recovery));
  ASSERT_EQ(1u, balloons.size());
  EXPECT_NE(std::wstring::npos, balloons[0].find(L"前回保存できなかった対戦 1 件")) << balloons[0];

  // A file left behind after its matches were committed (a crash in between) stores nothing twice.
  WriteWholeFile(recovery, kept);
  TakeUpRecoveredMatches();
  EXPECT_EQ(1, CountRows(path));
  EXPECT_FALSE(FileExists(recovery));
}

TEST_F(MatchCaptureTest, WaitingMatchesStayWithTheProfileTheyWereCapturedFor) {
  {
    HeldReadLock reader(path);
    Match("a", "b", 2, 0, 1, 1, 0);
    CaptureFinishedMatch();
    ASSERT_EQ(1u, PendingMatchCount());
    std::wstring other = folder.File(L"other.db");
    SetDatabasePath(other);
    ASSERT_TRUE(OpenRecordDatabase());
    LeavePendingMatchesWith(path);
    EXPECT_EQ(0u, PendingMatchCount());
    EXPECT_EQ(0, CountRows(other));
  }
  EXPECT_TRUE(FileExists(RecoveryFilePath(path)));
  SetDatabasePath(path);
  ASSERT_TRUE(OpenRecordDatabase());
  TakeUpRecoveredMatches();
  EXPECT_EQ("a|1|2|b|1|0\n", Rows());
}

TEST_F(MatchCaptureTest, AReaderThatLetsGoSoonOnlyDelaysTheCapture) {
  HeldReadLock reader(path);
  ASSERT_TRUE(reader.Held());
  // The other program finishes its read while the commit waits for it.
  std::thread letGo([&reader] {
    Sleep(300);
    reader.Release();
  });
  Match("a", "b", 2, 0, 1, 1, 0);
  CaptureFinishedMatch();
  letGo.join();
  EXPECT_EQ("a|1|2|b|1|0\n", Rows());
  EXPECT_TRUE(CanUndo());
  EXPECT_EQ(1, Refreshes());
}

TEST_F(MatchCaptureTest, CopyModes) {
  g_app.copyMode = CopyOpponentName;
  Match("\x83\x41", "\x83\x65\x83\x58\x83\x67", 2, 1, 0, 1, 0);  // ア vs テスト in code page 932
  CaptureFinishedMatch();
  EXPECT_EQ(L"テスト", ClipboardText());

  Sleep(2);
  Match("me", "", 1, 2, 0, 1, 0);
  CaptureFinishedMatch();
  EXPECT_EQ(L"", ClipboardText()) << "an empty opponent name empties the clipboard";

  Sleep(2);
  g_app.copyMode = CopyAll;
  Match("A", "B", 2, 1, 0, 1, 0);
  CaptureFinishedMatch();
  EXPECT_EQ(std::wstring(L"A(") + CharacterTable[0].shortName + L") 2-1 B(" + CharacterTable[1].shortName + L")",
            ClipboardText());

  Sleep(2);
  g_app.copyMode = 7;
  CopyTextToClipboard(L"sentinel", -1);
  Match("A", "B", 2, 1, 0, 1, 0);
  CaptureFinishedMatch();
  EXPECT_EQ(L"sentinel", ClipboardText()) << "an unknown mode copies nothing";
  EXPECT_EQ(4, CountRows(path));
}

TEST(CharacterTable, FourteenNamesOfTheRightLengths) {
  for (int id = 0; id < CharacterCount; ++id) {
    const CharacterEntry* entry = LookupCharacter(id);
    ASSERT_NE(nullptr, entry);
    int full = lstrlenW(entry->fullName), shortLength = lstrlenW(entry->shortName);
    EXPECT_TRUE(full >= 3 && full <= 7) << id;
    EXPECT_TRUE(shortLength >= 2 && shortLength <= 4) << id;
  }
  EXPECT_EQ(nullptr, LookupCharacter(-1));
  EXPECT_EQ(nullptr, LookupCharacter(14));
}

TEST(Clipboard, CopiesExactlyTheGivenLength) {
  ASSERT_TRUE(CopyTextToClipboard(L"abcdef", 3));
  EXPECT_EQ(L"abc", ClipboardText());
}
}  // namespace
