// The tracker's hidden window in this process, with a scripted probe: start-up and shut-down, the settings
// they read and write, the probe's notifications, the tray icon and the menu commands.
#include <gtest/gtest.h>

#include <windows.h>
#include <tlhelp32.h>

#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "TrackerTestSupport.h"
#include "resources/resource.h"
#include "shell/AppState.h"
#include "shell/MainWindow.h"
#include "common/ResultLine.h"
#include "shell/PendingMatches.h"
#include "shell/ProbeBinding.h"
#include "shell/ProfileShortcuts.h"
#include "shell/TrayMenu.h"
#include "store/RecordDatabase.h"
#include "views/SummaryWindow.h"

namespace {
HINSTANCE Instance() { return GetModuleHandleW(nullptr); }

HICON TrayImage(int id) {
  return (HICON)LoadImageW(Instance(), MAKEINTRESOURCEW(id), IMAGE_ICON, 16, 16, LR_SHARED);
}

// True when the shell still holds the tracker's icon (a change of a missing icon fails).
bool TrayIconPresent() {
  NOTIFYICONDATAW data = TrayIconData();
  data.uFlags = NIF_TIP;
  return Shell_NotifyIconW(NIM_MODIFY, &data) != FALSE;
}

bool ProcessRunning(const wchar_t* exeName) {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  bool found = false;
  for (BOOL more = Process32FirstW(snapshot, &entry); more && !found; more = Process32NextW(snapshot, &entry))
    found = lstrcmpiW(entry.szExeFile, exeName) == 0;
  CloseHandle(snapshot);
  return found;
}

// Notes, at the moment the main window is destroyed, whether the report tool has run by then.
WNDPROC g_trackerProc = nullptr;
std::wstring g_reportLog;
bool g_reportRanBeforeEnd = false;
LRESULT CALLBACK WatchEndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_DESTROY) g_reportRanBeforeEnd = WaitUntil([] { return FileExists(g_reportLog); }, 15000);
  return CallWindowProcW(g_trackerProc, window, message, wParam, lParam);
}

// Records the commands the summary window receives.
WNDPROC g_summaryProc = nullptr;
std::vector<UINT> g_summaryCommands;
LRESULT CALLBACK RecordCommandsProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_COMMAND) g_summaryCommands.push_back(LOWORD(wParam));
  return CallWindowProcW(g_summaryProc, window, message, wParam, lParam);
}

// The tracker's popup menu while it is being tracked, or null.
HWND OpenPopupMenu() {
  HWND found = nullptr;
  WaitUntil([&] {
    found = FindWindowW(L"#32768", nullptr);
    return found && IsWindowVisible(found);
  }, 10000);
  return found;
}

class TrackerWindowTest : public TrackerFixture {
 protected:
  bool Checked(UINT id) { return (GetMenuState(g_app.popupMenu, id, MF_BYCOMMAND) & MF_CHECKED) != 0; }
  void Notify(WPARAM wParam, LPARAM lParam) { SendMessageW(window, ProbeNotifyMessage, wParam, lParam); }
  void FinishedMatch() {
    probe.names = {{7, "host"}, {8, "guest"}};
    probe.values = {{4, 2}, {5, 1}, {2, 3}, {3, 7}, {1, 0}, {0, 0}};
  }
};

TEST_F(TrackerWindowTest, StartsHiddenWithDefaultProfileAndEndsWithZero) {
  ASSERT_NE(nullptr, Start());
  EXPECT_EQ(MainWindowClass, ClassNameOf(window));
  EXPECT_FALSE(IsWindowVisible(window));
  EXPECT_EQ((LONG)WS_POPUP, GetWindowLongW(window, GWL_STYLE) & (WS_POPUP | WS_CHILD | WS_CAPTION));
  EXPECT_EQ(1, probe.startups);
  EXPECT_TRUE(FileExists(folder.File(L"Default.db")));
  EXPECT_EQ(folder.File(L"Default.db"), CurrentDatabasePath());

  ASSERT_NE(nullptr, g_app.summaryWindow);
  EXPECT_EQ(L"#32770", ClassNameOf(g_app.summaryWindow));
  EXPECT_FALSE(IsWindowVisible(g_app.summaryWindow));

  const NOTIFYICONDATAW& tray = TrayIconData();
  EXPECT_EQ(936u, tray.cbSize);
  EXPECT_EQ(window, tray.hWnd);
  EXPECT_EQ(0u, tray.uID);
  EXPECT_EQ((UINT)(NIF_MESSAGE | NIF_ICON | NIF_TIP), tray.uFlags);
  EXPECT_EQ(TrayNotifyMessage, tray.uCallbackMessage);
  EXPECT_STREQ(L"Corvenka Rev.9\nゲーム待ち\n今日 0勝0敗", tray.szTip);
  EXPECT_EQ(TrayImage(IDI_DETACHED), tray.hIcon);
  EXPECT_TRUE(TrayIconPresent());

  // Defaults of a missing file.
  EXPECT_TRUE(Checked(IDM_COPY_NONE));
  EXPECT_FALSE(Checked(IDM_HIGH_PRECISION));
  EXPECT_FALSE(Checked(IDM_COLORIZATION));
  EXPECT_TRUE(Checked(IDM_AUTO_ADJUST));
  EXPECT_FALSE(Checked(IDM_GAME_AUTORUN));

  EXPECT_EQ(0, Exit());
  EXPECT_EQ(1, probe.cleanups);
  EXPECT_EQ(nullptr, RecordDatabase());
  EXPECT_EQ(folder.File(L"Default.db"), Raw(L"General", L"Profile"));
  EXPECT_EQ(L"0", Raw(L"General", L"InfoTrans"));
  EXPECT_EQ(L"0", Raw(L"WinningRate", L"HighPrecision"));
  EXPECT_EQ(L"0", Raw(L"WinningRate", L"Colorization"));
  EXPECT_EQ(L"1", Raw(L"RUZ.Behavior", L"AutoAjustViewRect"));
}

// A fresh install says once where the tracker went; a later start says nothing.
TEST_F(TrackerWindowTest, OnlyTheFirstStartTellsWhereTheTrackerRuns) {
  ASSERT_NE(nullptr, Start());
  EXPECT_EQ(L"Corvenka は通知領域で動いています", LastTrayBalloonTitle());
  EXPECT_NE(std::wstring::npos, LastTrayBalloon().find(L"ダブルクリック"));
  EXPECT_EQ(0, Exit());
  ASSERT_NE(nullptr, Start());
  EXPECT_EQ(L"", LastTrayBalloon());
  EXPECT_EQ(0, Exit());
}

TEST_F(TrackerWindowTest, CopyModeKeyIsReadSmallAndWrittenAsOneCapitalKey) {
  Settings("[General]\r\ninfoTrans=2\r\n[WinningRate]\r\nHighPrecision=7\r\n");
  ASSERT_NE(nullptr, Start());
  EXPECT_EQ(CopyAll, g_app.copyMode);
  EXPECT_TRUE(Checked(IDM_COPY_ALL));
  EXPECT_FALSE(Checked(IDM_COPY_NONE));
  EXPECT_FALSE(Checked(IDM_COPY_OPPONENT));
  EXPECT_TRUE(Checked(IDM_HIGH_PRECISION));
  EXPECT_EQ(0, Exit());
  std::string file = ReadWholeFile(g_app.settingsPath);
  size_t first = file.find("nfoTrans=");
  ASSERT_NE(std::string::npos, first);
  EXPECT_EQ(std::string::npos, file.find("nfoTrans=", first + 1));
  EXPECT_EQ(L"2", Raw(L"General", L"InfoTrans"));
  EXPECT_EQ(L"1", Raw(L"WinningRate", L"HighPrecision"));

  for (const char* bad : {"5", "-1", "3"}) {
    Settings((std::string("[General]\r\ninfoTrans=") + bad + "\r\n").c_str());
    ASSERT_NE(nullptr, Start());
    EXPECT_EQ(CopyNone, g_app.copyMode) << bad;
    EXPECT_TRUE(Checked(IDM_COPY_NONE)) << bad;
    EXPECT_EQ(0, Exit());
    EXPECT_EQ(L"0", Raw(L"General", L"InfoTrans")) << bad;
  }
}

TEST_F(TrackerWindowTest, FailedStartsWriteNoSettingsAndCallOnlyWhatWasStarted) {
  const char* original = "[General]\r\nProfile=\r\ninfoTrans=2\r\n[Shortcut]\r\nKey0=2113\r\nPath0=C:\\a.db\r\n";
  Settings(original);
  g_bindProbeStep = [](HWND) { return false; };
  EXPECT_EQ(nullptr, Start());
  EXPECT_EQ(0, probe.cleanups);
  EXPECT_FALSE(FileExists(folder.File(L"Default.db")));
  EXPECT_EQ(original, ReadWholeFile(g_app.settingsPath));
  DrainQuit();

  // The probe was started, the database never opened: the probe is stopped, the file stays as it was.
  g_bindProbeStep = ScriptedBind;
  std::string unopenable = std::string("[General]\r\nProfile=") + "Z:\\no\\such\\folder\\x.db\r\ninfoTrans=2\r\n";
  Settings(unopenable.c_str());
  // Not found: not made there, a file asked for, and its cancel ends the start with a word.
  DialogSequence answers({DialogSequence::Box(IDNO), DialogSequence::File(L""), DialogSequence::Box(IDOK)});
  EXPECT_EQ(nullptr, Start());
  ASSERT_TRUE(answers.Wait());
  EXPECT_EQ(0u, answers.Seen()[0].find(L"プロファイルが見つかりません。\n\nZ:\\no\\such\\folder\\x.db\n"));
  EXPECT_NE(std::wstring::npos, answers.Seen()[1].find(L"プロファイル"));
  EXPECT_NE(std::wstring::npos, answers.Seen()[2].find(L"終了します"));
  EXPECT_EQ(1, probe.startups);
  EXPECT_EQ(1, probe.cleanups);
  EXPECT_EQ(unopenable, ReadWholeFile(g_app.settingsPath));
}

TEST_F(TrackerWindowTest, UnopenableProfileAsksForAnotherFileAndKeepsIt) {
  std::wstring chosen = folder.File(L"chosen.db");
  Settings("[General]\r\nProfile=Z:\\no\\such\\folder\\x.db\r\n");
  std::wstring boxText, fileType, fileName;
  bool created = false;
  probe.state = Attached;
  FinishedMatch();
  // Made where it was, as asked: that fails, then the error box, the file dialog, its question whether to
  // create the new file, which is typed without its extension.
  std::thread answers([&] {
    DialogSequence boxes({DialogSequence::Box(IDYES), DialogSequence::Box(IDOK)});
    if (boxes.Wait()) boxText = boxes.Seen()[1];
    DialogDriver dialog(
        [](HWND d) { return GetDlgItem(d, 0x470) != nullptr; },
        [&](HWND d) {
          fileType = WindowText(GetDlgItem(d, 0x470));
          HWND name = GetDlgItem(d, 0x47C) ? GetDlgItem(d, 0x47C) : GetDlgItem(d, 0x480);
          fileName = WindowText(name);
          // The game attaches and a match ends while the dialog's own loop runs.
          SendMessageW(g_app.mainWindow, ProbeNotifyMessage, ConnectionChangedWParam(Attached), 0);
          SendMessageW(g_app.mainWindow, ProbeNotifyMessage, ParamChangedWParam(Side1Wins), 2);
          AnswerFileDialog(d, folder.File(L"chosen"));
        });
    dialog.Wait();
    MessageBoxAnswerer create(IDYES);
    created = create.Wait();
  });
  HWND started = Start();
  answers.join();
  ASSERT_NE(nullptr, started);
  EXPECT_EQ(L"プロファイルのマッピングに失敗しました。\n\nZ:\\no\\such\\folder\\x.db\n\nファイルを作成できませんでした。",
            boxText.substr(0, boxText.find(L'\n', 50)));
  EXPECT_EQ(L"VizirIduvoz Database (*.db)", fileType);
  // The dialog may split the initial path into its folder and the name.
  EXPECT_EQ(L"x.db", fileName.substr(fileName.size() < 4 ? 0 : fileName.size() - 4));
  EXPECT_TRUE(created);
  EXPECT_EQ(chosen, CurrentDatabasePath());
  EXPECT_EQ(TrayImage(IDI_ATTACHED), TrayIconData().hIcon);
  // Stored once the start-up has finished, into the profile chosen.
  EXPECT_TRUE(PumpUntil([&] { return CountRows(chosen) == 1; }));
  EXPECT_EQ(0, Exit());
  EXPECT_EQ(1, CountRows(chosen));
  EXPECT_EQ(chosen, Raw(L"General", L"Profile"));
}

TEST_F(TrackerWindowTest, ProfileTooLongForTheSettingIsNotOpenedCut) {
  // Four folders deep, so that the cut falls in the file's own name and would name a new file there.
  std::wstring folderPath = folder.Path();
  for (wchar_t letter : {L'a', L'b', L'c', L'd'}) {
    folderPath += L"\\" + std::wstring(200, letter);
    ASSERT_TRUE(CreateDirectoryW(folderPath.c_str(), nullptr));
  }
  std::wstring profile = folderPath + L"\\" + std::wstring(240, L'e') + L".db";
  ASSERT_GT(profile.size(), 1024u);
  std::wstring cut = profile.substr(0, 1024);
  const std::string settings = "[General]\r\nProfile=" + Ascii(profile) + "\r\ninfoTrans=1\r\n";
  Settings(settings);
  DialogSequence answers({DialogSequence::Box(IDOK), DialogSequence::File(L""), DialogSequence::Box(IDOK)});
  EXPECT_EQ(nullptr, Start());
  ASSERT_TRUE(answers.Wait());
  EXPECT_EQ(0u, answers.Seen()[0].find(L"プロファイルのマッピングに失敗しました。\n\n" + cut + L"\n\nパスが長すぎて"));
  EXPECT_FALSE(FileExists(cut));
  EXPECT_EQ(settings, ReadWholeFile(g_app.settingsPath));
  DeleteFileW(cut.c_str());
}

TEST_F(TrackerWindowTest, SavedProfilesThatCannotHoldMatchesAreRefusedAndAMovedOneIsNotMadeAnew) {
  // Each is named with its reason and left as it was; the file chosen instead keeps the next capture.
  for (const UnusableProfile& bad : UnusableProfiles) {
    std::wstring path = folder.File(bad.name);
    MakeUnusableProfile(path, bad);
    std::string before = ReadWholeFile(path);
    Settings("[General]\r\nProfile=" + Ascii(path) + "\r\n");
    DialogSequence answers({DialogSequence::Box(IDOK), DialogSequence::File(L""), DialogSequence::Box(IDOK)});
    EXPECT_EQ(nullptr, Start());
    ASSERT_TRUE(answers.Wait());
    EXPECT_EQ(0u, answers.Seen()[0].find(L"プロファイルのマッピングに失敗しました。\n\n" + path + L"\n\n"));
    EXPECT_NE(std::wstring::npos, answers.Seen()[0].find(bad.reason)) << answers.Seen()[0];
    EXPECT_EQ(before, ReadWholeFile(path));
    DrainQuit();
  }

  // A saved profile that was moved: "No" asks for the file without making one where it was.
  std::wstring moved = folder.File(L"moved.db");
  std::wstring found = folder.File(L"found.db");
  ASSERT_TRUE(BuildDatabase(found, MatchTableSchema));
  Settings("[General]\r\nProfile=" + Ascii(moved) + "\r\n");
  DialogSequence answers({DialogSequence::Box(IDNO), DialogSequence::File(found)});
  ASSERT_NE(nullptr, Start());
  ASSERT_TRUE(answers.Wait());
  EXPECT_NE(std::wstring::npos, answers.Seen()[0].find(moved));
  EXPECT_FALSE(FileExists(moved));
  EXPECT_EQ(std::wstring::npos, std::wstring(TrayIconData().szTip).find(L"読み取り専用"));
  FinishedMatch();
  Notify(ParamChangedWParam(Side1Wins), 2);
  EXPECT_EQ(0, Exit());
  EXPECT_EQ(1, CountRows(found));
  EXPECT_EQ(found, Raw(L"General", L"Profile"));

  // One that cannot be written is opened for reading, with a warning in a box and on the tray.
  ASSERT_TRUE(CreateDirectoryW((found + L"-journal").c_str(), nullptr));
  MessageBoxAnswerer warning(IDOK);
  ASSERT_NE(nullptr, Start());
  EXPECT_EQ(0u, warning.Text().find(L"このプロファイルには書き込めないため、読み取り専用で開きました。"));
  EXPECT_NE(std::wstring::npos, warning.Text().find(found));
  EXPECT_NE(std::wstring::npos, std::wstring(TrayIconData().szTip).find(L"対戦は保存されません"));
  EXPECT_EQ(found, CurrentDatabasePath());
  EXPECT_EQ(0, Exit());
  EXPECT_EQ(found, Raw(L"General", L"Profile"));
}

TEST_F(TrackerWindowTest, SessionEndSavesLikeTheExitCommand) {
  ASSERT_NE(nullptr, Start());
  SendMessageW(window, WM_COMMAND, IDM_COPY_ALL, 0);
  SendMessageW(window, WM_COMMAND, IDM_HIGH_PRECISION, 0);
  EXPECT_TRUE(SendMessageW(window, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF));
  // Called off by another program: the tracker runs on and has written nothing.
  SendMessageW(window, WM_ENDSESSION, FALSE, ENDSESSION_LOGOFF);
  EXPECT_TRUE(IsWindow(window));
  EXPECT_EQ(L"<none>", Raw(L"General", L"InfoTrans"));

  // A match the profile refuses (another program reads it) waits: the balloon says so.
  std::wstring recovery = RecoveryFilePath(folder.File(L"Default.db"));
  HeldReadLock reader(folder.File(L"Default.db"));
  ASSERT_TRUE(reader.Held());
  FinishedMatch();
  Notify(ParamChangedWParam(Side1Wins), 2);
  EXPECT_EQ(1u, PendingMatchCount());
  EXPECT_TRUE(ShowTrayBalloon(L"t", L"balloon")) << "the shell takes a balloon on the icon";

  // The process may be ended as soon as this returns, before the loop runs again.
  SendMessageW(window, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF);
  EXPECT_TRUE(FileExists(recovery)) << "what still waits is kept beside the profile";
  reader.Release();
  EXPECT_EQ(0, CountRows(folder.File(L"Default.db")));
  EXPECT_EQ(L"2", Raw(L"General", L"InfoTrans"));
  EXPECT_EQ(L"1", Raw(L"WinningRate", L"HighPrecision"));
  EXPECT_EQ(folder.File(L"Default.db"), Raw(L"General", L"Profile"));
  EXPECT_EQ(1, probe.cleanups);
  EXPECT_EQ(nullptr, RecordDatabase());
  EXPECT_FALSE(TrayIconPresent());
  ASSERT_FALSE(IsWindow(window));
  EXPECT_EQ(0, RunMessageLoop());
}

TEST_F(TrackerWindowTest, AnExitDuringACaptureFollowsTheStoredMatch) {
  ASSERT_NE(nullptr, Start());
  FinishedMatch();
  bool exited = false;
  // The exit command reaches the window while the capture waits for an answer of the game.
  probe.onCall = [&](int id) {
    if (exited || id != Side2Wins) return;
    exited = true;
    SendMessageW(window, WM_COMMAND, IDM_EXIT, 0);
    EXPECT_NE(nullptr, RecordDatabase());
    EXPECT_EQ(0, probe.cleanups);
  };
  Notify(ParamChangedWParam(Side1Wins), 2);
  EXPECT_TRUE(exited);
  EXPECT_FALSE(IsWindow(window));
  EXPECT_EQ(1, probe.cleanups);
  EXPECT_EQ(nullptr, RecordDatabase());
  EXPECT_EQ(1, CountRows(folder.File(L"Default.db")));
  EXPECT_EQ(L"0", Raw(L"General", L"InfoTrans"));
  EXPECT_EQ(0, RunMessageLoop());
}

TEST_F(TrackerWindowTest, ProfileNamedOutsideTheCodePageIsTheOneOpenedNextTime) {
  // Neither letter has a place in the ANSI code page; the first would be stored as a plain "e".
  std::wstring chosen = folder.File(L"Zo\u00eb-\uD55C.db");
  ASSERT_NE(nullptr, Start());
  ASSERT_TRUE(LoadSummaryProfile(g_app.summaryWindow, chosen));
  EXPECT_EQ(0, Exit());
  // Otherwise the next start would stop at the error box for a file that does not exist.
  ASSERT_EQ(chosen, Raw(L"General", L"Profile"));

  ASSERT_NE(nullptr, Start());
  EXPECT_EQ(chosen, CurrentDatabasePath());
  EXPECT_EQ(0, Exit());
}

TEST_F(TrackerWindowTest, OnlyASecondRoundWinIsCaptured) {
  ASSERT_NE(nullptr, Start());
  FinishedMatch();
  Notify(ParamChangedWParam(Side1Wins), 1);
  Notify(ParamChangedWParam(Side2Character), 2);
  Notify(ParamChangedWParam(BattleState), 2);
  Notify(ConnectionChangedWParam(2), 2);
  EXPECT_TRUE(probe.calls.empty());
  ASSERT_TRUE(ShowTrayBalloon(L"", L"none yet"));
  Notify(ParamChangedWParam(Side1Wins), 2);
  EXPECT_EQ(1, CountRows(CurrentDatabasePath()));
  // Told on the tray, the tooltip's record counting it.
  EXPECT_EQ(FormatResultLine(Match(0, "host", 3, 2, "guest", 7, 1)), LastTrayBalloon());
  EXPECT_EQ(L"勝ち - 対戦を記録しました", LastTrayBalloonTitle());
  EXPECT_NE(std::wstring::npos, std::wstring(TrayIconData().szTip).find(L"\n今日 1勝0敗"));
  probe.values[4] = 1;
  probe.values[5] = 2;
  Sleep(2);  // a fresh timestamp for the second row
  Settings("[Tray]\r\nResultBalloon=0\r\n");
  ASSERT_TRUE(ShowTrayBalloon(L"", L"none yet"));
  Notify(ParamChangedWParam(Side2Wins), 2);
  EXPECT_EQ(2, CountRows(CurrentDatabasePath()));
  EXPECT_EQ(L"none yet", LastTrayBalloon()) << "switched off";
  EXPECT_NE(std::wstring::npos, std::wstring(TrayIconData().szTip).find(L"\n今日 1勝1敗"));
  EXPECT_EQ(1, CountRows(CurrentDatabasePath(), "WHERE p1name = 'host' AND p1win = 1 AND p2win = 2"));
  EXPECT_EQ(0, Exit());
}

TEST_F(TrackerWindowTest, ConnectionChangesSwitchTheIcon) {
  ASSERT_NE(nullptr, Start());
  Notify(ConnectionChangedWParam(Attached), 0);
  EXPECT_EQ(TrayImage(IDI_ATTACHED), TrayIconData().hIcon);
  EXPECT_EQ(0, wcsncmp(L"Corvenka Rev.9\nゲーム接続中\n", TrayIconData().szTip, 20));
  Notify(ConnectionChangedWParam(Detached), 0);
  EXPECT_EQ(TrayImage(IDI_DETACHED), TrayIconData().hIcon);
  EXPECT_EQ(0, wcsncmp(L"Corvenka Rev.9\nゲーム待ち\n", TrayIconData().szTip, 19));
  Notify(ConnectionChangedWParam(InMatch), 0);
  EXPECT_EQ(TrayImage(IDI_ATTACHED), TrayIconData().hIcon);
  Notify(ConnectionChangedWParam(7), 0);
  EXPECT_EQ(TrayImage(IDI_ATTACHED), TrayIconData().hIcon);
  // Without the game's auto-start, the tracker outlives the game.
  Notify(ConnectionChangedWParam(Detached), 0);
  EXPECT_TRUE(IsWindow(window));
  EXPECT_EQ(0, Exit());
}

TEST_F(TrackerWindowTest, GameGoingAwayStartsTheReportToolThenEndsTheTracker) {
  std::wstring tool = folder.File(L"mirrow_report.exe");
  ASSERT_TRUE(CopyFileW((ProgramFolder() + L"\\..\\..\\standin\\mirrow_report.exe").c_str(), tool.c_str(), FALSE));
  g_reportLog = folder.File(L"mirrow_report.log");
  std::string settings = "[Autorun]\r\nGameProgram.Enabled=1\r\nReportTool.Enabled=1\r\nReportTool.FileName=" +
                         std::string(Ascii(tool)) + "\r\n";
  Settings(settings.c_str());
  // Pause held down would skip the game's start; with no game file set, nothing starts anyway.
  ASSERT_NE(nullptr, Start());

  // Counting switched off: the game's end is not even seen.
  SendMessageW(window, WM_COMMAND, IDM_AUTOCOUNT_OFF, 0);
  Notify(ConnectionChangedWParam(Detached), 0);
  EXPECT_TRUE(IsWindow(window));
  // The shell starts the program before it returns, so it would be running or done by now.
  EXPECT_FALSE(ProcessRunning(L"mirrow_report.exe"));
  EXPECT_FALSE(FileExists(g_reportLog));

  SendMessageW(window, WM_COMMAND, IDM_AUTOCOUNT_OFF, 0);
  g_trackerProc = (WNDPROC)SetWindowLongPtrW(window, GWLP_WNDPROC, (LONG_PTR)WatchEndProc);
  g_reportRanBeforeEnd = false;
  Notify(ConnectionChangedWParam(Detached), 0);
  EXPECT_FALSE(IsWindow(window));
  EXPECT_TRUE(g_reportRanBeforeEnd);
  EXPECT_EQ(0, RunMessageLoop());
  EXPECT_EQ(1, probe.cleanups);
}

TEST_F(TrackerWindowTest, AutoCountOffIgnoresTheProbeAndOnAgainAsksIt) {
  ASSERT_NE(nullptr, Start());
  Notify(ConnectionChangedWParam(InMatch), 0);
  SendMessageW(window, WM_COMMAND, IDM_AUTOCOUNT_OFF, 0);
  EXPECT_TRUE(Checked(IDM_AUTOCOUNT_OFF));
  EXPECT_EQ(TrayImage(IDI_DETACHED), TrayIconData().hIcon);
  EXPECT_EQ(0, wcsncmp(L"Corvenka Rev.9\nカウント停止中\n", TrayIconData().szTip, 23));

  FinishedMatch();
  Notify(ParamChangedWParam(Side1Wins), 2);
  Notify(ConnectionChangedWParam(Attached), 0);
  EXPECT_EQ(0, CountRows(CurrentDatabasePath()));
  EXPECT_TRUE(probe.calls.empty());
  EXPECT_EQ(TrayImage(IDI_DETACHED), TrayIconData().hIcon);

  probe.state = InMatch;
  SendMessageW(window, WM_COMMAND, IDM_AUTOCOUNT_OFF, 0);
  EXPECT_FALSE(Checked(IDM_AUTOCOUNT_OFF));
  EXPECT_EQ(TrayImage(IDI_ATTACHED), TrayIconData().hIcon);
  Notify(ParamChangedWParam(Side1Wins), 2);
  EXPECT_EQ(1, CountRows(CurrentDatabasePath()));

  probe.state = Detached;
  SendMessageW(window, WM_COMMAND, IDM_AUTOCOUNT_OFF, 0);
  SendMessageW(window, WM_COMMAND, IDM_AUTOCOUNT_OFF, 0);
  EXPECT_EQ(TrayImage(IDI_DETACHED), TrayIconData().hIcon);
  EXPECT_EQ(0, Exit());
  EXPECT_EQ(L"<none>", Raw(L"General", L"AutoCount"));
}

TEST_F(TrackerWindowTest, CopyModeChecksAreExclusiveAndSurviveARestart) {
  ASSERT_NE(nullptr, Start());
  SendMessageW(window, WM_COMMAND, IDM_COPY_OPPONENT, 0);
  EXPECT_TRUE(Checked(IDM_COPY_OPPONENT));
  EXPECT_FALSE(Checked(IDM_COPY_NONE));
  EXPECT_FALSE(Checked(IDM_COPY_ALL));
  EXPECT_EQ(CopyOpponentName, g_app.copyMode);
  EXPECT_EQ(0, Exit());

  ASSERT_NE(nullptr, Start());
  EXPECT_TRUE(Checked(IDM_COPY_OPPONENT));
  EXPECT_FALSE(Checked(IDM_COPY_NONE));
  SendMessageW(window, WM_COMMAND, IDM_COPY_ALL, 0);
  EXPECT_TRUE(Checked(IDM_COPY_ALL));
  EXPECT_FALSE(Checked(IDM_COPY_OPPONENT));
  SendMessageW(window, WM_COMMAND, IDM_COPY_NONE, 0);
  EXPECT_TRUE(Checked(IDM_COPY_NONE));
  EXPECT_FALSE(Checked(IDM_COPY_ALL));
  EXPECT_EQ(0, Exit());
  EXPECT_EQ(L"0", Raw(L"General", L"InfoTrans"));
}

TEST_F(TrackerWindowTest, DisplaySwitchesToggleAndAreSavedAtExit) {
  ASSERT_NE(nullptr, Start());
  SendMessageW(window, WM_COMMAND, IDM_HIGH_PRECISION, 0);
  SendMessageW(window, WM_COMMAND, IDM_COLORIZATION, 0);
  SendMessageW(window, WM_COMMAND, IDM_AUTO_ADJUST, 0);
  EXPECT_TRUE(g_app.highPrecision && g_app.colorization && !g_app.autoAjustViewRect);
  EXPECT_TRUE(Checked(IDM_HIGH_PRECISION));
  EXPECT_TRUE(Checked(IDM_COLORIZATION));
  EXPECT_FALSE(Checked(IDM_AUTO_ADJUST));
  // Not written before the end.
  EXPECT_EQ(L"<none>", Raw(L"WinningRate", L"HighPrecision"));
  EXPECT_EQ(0, Exit());
  EXPECT_EQ(L"1", Raw(L"WinningRate", L"HighPrecision"));
  EXPECT_EQ(L"1", Raw(L"WinningRate", L"Colorization"));
  EXPECT_EQ(L"0", Raw(L"RUZ.Behavior", L"AutoAjustViewRect"));
}

TEST_F(TrackerWindowTest, AutorunSwitchesAreWrittenAtOnce) {
  Settings("[Autorun]\r\nReportTool.Enabled=1\r\n");
  ASSERT_NE(nullptr, Start());
  EXPECT_TRUE(Checked(IDM_REPORT_AUTORUN));
  EXPECT_FALSE(Checked(IDM_GAME_AUTORUN));
  SendMessageW(window, WM_COMMAND, IDM_GAME_AUTORUN, 0);
  EXPECT_EQ(L"1", Raw(L"Autorun", L"GameProgram.Enabled"));
  EXPECT_TRUE(Checked(IDM_GAME_AUTORUN));
  SendMessageW(window, WM_COMMAND, IDM_REPORT_AUTORUN, 0);
  EXPECT_EQ(L"0", Raw(L"Autorun", L"ReportTool.Enabled"));
  EXPECT_FALSE(Checked(IDM_REPORT_AUTORUN));
  // The check mark follows the file, also when it was changed by hand meanwhile.
  WritePrivateProfileStringW(L"Autorun", L"GameProgram.Enabled", L"0", g_app.settingsPath.c_str());
  SendMessageW(window, WM_COMMAND, IDM_GAME_AUTORUN, 0);
  EXPECT_EQ(L"1", Raw(L"Autorun", L"GameProgram.Enabled"));
  EXPECT_TRUE(Checked(IDM_GAME_AUTORUN));
  EXPECT_EQ(0, Exit());
}

TEST_F(TrackerWindowTest, ChoosingAProgramWritesItsPathAndCancelKeepsIt) {
  std::wstring game = folder.File(L"mirrow.exe");
  WriteWholeFile(game, "MZ");
  ASSERT_NE(nullptr, Start());
  std::wstring fileType;
  {
    DialogDriver dialog([](HWND d) { return GetDlgItem(d, 0x470) != nullptr; },
                        [&](HWND d) {
                          fileType = WindowText(GetDlgItem(d, 0x470));
                          AnswerFileDialog(d, game);
                        });
    SendMessageW(window, WM_COMMAND, IDM_GAME_PATH, 0);
    EXPECT_TRUE(dialog.Wait());
  }
  EXPECT_EQ(L"ゲームプログラム (mirrow.exe)", fileType);
  EXPECT_EQ(game, Raw(L"Autorun", L"GameProgram.FileName"));
  {
    DialogDriver dialog([](HWND d) { return GetDlgItem(d, 0x470) != nullptr; },
                        [&](HWND d) { fileType = WindowText(GetDlgItem(d, 0x470)); });
    // A program that is not there is not taken: the dialog says so and stays until cancelled.
    DialogSequence answers({DialogSequence::File(folder.File(L"mirrow_report.exe")), DialogSequence::Box(IDOK),
                            DialogSequence::File(L"")});
    SendMessageW(window, WM_COMMAND, IDM_REPORT_PATH, 0);
    EXPECT_TRUE(dialog.Wait());
    EXPECT_TRUE(answers.Wait());
  }
  EXPECT_EQ(L"報告ツール (mirrow_report.exe)", fileType);
  EXPECT_EQ(L"<none>", Raw(L"Autorun", L"ReportTool.FileName"));
  EXPECT_EQ(0, Exit());
}

TEST_F(TrackerWindowTest, TaskbarRestartBringsTheIconBack) {
  ASSERT_NE(nullptr, Start());
  ASSERT_TRUE(TrayIconPresent());
  NOTIFYICONDATAW lost = TrayIconData();
  ASSERT_TRUE(Shell_NotifyIconW(NIM_DELETE, &lost));
  ASSERT_FALSE(TrayIconPresent());
  SendMessageW(window, RegisterWindowMessageW(L"TaskbarCreated"), 0, 0);
  EXPECT_TRUE(TrayIconPresent());
  EXPECT_EQ(0, Exit());
  EXPECT_FALSE(TrayIconPresent());
}

TEST_F(TrackerWindowTest, DoubleClickShowsTheSummary) {
  ASSERT_NE(nullptr, Start());
  EXPECT_EQ(1, SendMessageW(window, TrayNotifyMessage, 0, WM_LBUTTONDBLCLK));
  EXPECT_TRUE(IsWindowVisible(g_app.summaryWindow));
  ShowWindow(g_app.summaryWindow, SW_HIDE);
  EXPECT_EQ(1, SendMessageW(window, TrayNotifyMessage, 0, WM_MOUSEMOVE));
  EXPECT_FALSE(IsWindowVisible(g_app.summaryWindow));
  SendMessageW(window, WM_COMMAND, IDM_SHOW_SUMMARY, 0);
  EXPECT_TRUE(IsWindowVisible(g_app.summaryWindow));
  EXPECT_EQ(0, Exit());
}

TEST_F(TrackerWindowTest, ShortcutKeysReachTheSummaryWhicheverWindowGetsThem) {
  // Profiles that are there: a missing one would be asked about, in a box whose own loop translates no keys.
  std::wstring a = folder.File(L"a.db"), b = folder.File(L"b.db");
  ASSERT_TRUE(BuildDatabase(a, MatchTableSchema) && BuildDatabase(b, MatchTableSchema));
  Settings("[Shortcut]\r\nKey0=120\r\nPath0=" + Ascii(a) + "\r\nKey1=122\r\nPath1=" + Ascii(b) + "\r\n");
  ASSERT_NE(nullptr, Start());
  ASSERT_NE(nullptr, ShortcutAccelerators());
  g_summaryCommands.clear();
  g_summaryProc = (WNDPROC)SetWindowLongPtrW(g_app.summaryWindow, GWLP_WNDPROC, (LONG_PTR)RecordCommandsProc);
  PostMessageW(window, WM_KEYDOWN, VK_F11, 0);
  PostMessageW(g_app.summaryWindow, WM_KEYDOWN, VK_F9, 0);
  PostMessageW(window, WM_KEYDOWN, 'A', 0);
  PostMessageW(window, WM_COMMAND, IDM_EXIT, 0);
  EXPECT_EQ(0, RunMessageLoop());
  EXPECT_EQ((std::vector<UINT>{50001, 50000}), g_summaryCommands);
  EXPECT_EQ(L"122", Raw(L"Shortcut", L"Key1"));
  EXPECT_EQ(L"<none>", Raw(L"Shortcut", L"Key2"));
}

TEST_F(TrackerWindowTest, RightButtonOpensTheMenuAndItsChoiceBecomesACommand) {
  ASSERT_NE(nullptr, Start());
  // Closed without a choice: no command.
  std::thread escape([] {
    if (HWND menu = OpenPopupMenu()) PostMessageW(menu, WM_KEYDOWN, VK_ESCAPE, 0);
  });
  EXPECT_EQ(1, SendMessageW(window, TrayNotifyMessage, 0, WM_RBUTTONDOWN));
  escape.join();
  EXPECT_TRUE(IsWindow(window));
  EXPECT_FALSE(IsWindowVisible(g_app.summaryWindow));

  // The first item, chosen from the keyboard.
  std::thread choose([] {
    if (HWND menu = OpenPopupMenu()) {
      PostMessageW(menu, WM_KEYDOWN, VK_DOWN, 0);
      PostMessageW(menu, WM_KEYDOWN, VK_RETURN, 0);
    }
  });
  SendMessageW(window, TrayNotifyMessage, 0, WM_RBUTTONDOWN);
  choose.join();
  EXPECT_TRUE(PumpUntil([] { return IsWindowVisible(g_app.summaryWindow) != FALSE; }, 5000));
  EXPECT_EQ(0, Exit());
}

// The menu as the user sees it: every item, text and id in order.
TEST(TrayMenuResource, ItemsInOrder) {
  HMENU menu = LoadMenuW(Instance(), MAKEINTRESOURCEW(IDM_TRAY));
  ASSERT_NE(nullptr, menu);
  HMENU popup = GetSubMenu(menu, 0);
  ASSERT_NE(nullptr, popup);
  std::wstring listing;
  std::function<void(HMENU, int)> walk = [&](HMENU m, int depth) {
    for (int i = 0; i < GetMenuItemCount(m); ++i) {
      wchar_t text[128] = L"";
      MENUITEMINFOW info{};
      info.cbSize = sizeof info;
      info.fMask = MIIM_FTYPE | MIIM_ID | MIIM_STRING | MIIM_SUBMENU;
      info.dwTypeData = text;
      info.cch = 128;
      GetMenuItemInfoW(m, i, TRUE, &info);
      listing += std::wstring(depth * 2, L' ');
      if (info.fType & MFT_SEPARATOR)
        listing += L"-\n";
      else if (info.hSubMenu) {
        listing += std::wstring(text) + L" >\n";
        walk(info.hSubMenu, depth + 1);
      } else
        listing += std::to_wstring(info.wID) + L" " + text + L"\n";
    }
  };
  walk(popup, 0);
  EXPECT_EQ(
      L"40003 対戦表を表示する\n40017 プロフ短縮キー設定\n-\n40019 自動カウントしない\n-\n対戦結果コピー >\n"
      L"  40024 しない\n  40027 相手プロファイル名\n  40026 全部\n-\n自動起動 >\n  41000 Mirrowの自動起動\n"
      L"  41001 Mirrowのパスの設定\n  -\n  41002 報告ツールの自動起動\n  41003 報告ツールのパスの設定\n-\n"
      L"表示オプション >\n  40036 勝率を下一桁まで表示\n  40037 勝敗を色分け表示\n  -\n  40038 サイズを自動調節する\n-\n"
      L"40004 終了する\n",
      listing);
  DestroyMenu(menu);
  for (int id : {IDI_APP, IDI_ATTACHED, IDI_DETACHED}) EXPECT_NE(nullptr, TrayImage(id)) << id;
  EXPECT_NE(TrayImage(IDI_ATTACHED), TrayImage(IDI_DETACHED));
}
}  // namespace
