#include "shell/MainWindow.h"

#include <commctrl.h>
#include <commdlg.h>
#include <shlwapi.h>

#include <vector>

#include "resources/resource.h"
#include "store/RecordDatabase.h"
#include "views/SummaryWindow.h"
#include "views/ViewWindows.h"
#include "shell/AppState.h"
#include "shell/BackupSchedule.h"
#include "shell/MatchCapture.h"
#include "shell/PendingMatches.h"
#include "shell/ProbeBinding.h"
#include "shell/ProfileChoice.h"
#include "shell/ProfileShortcuts.h"
#include "shell/Settings.h"
#include "shell/TrayMenu.h"

bool (*g_bindProbeStep)(HWND mainWindow) = BindProbe;

namespace {
// What the start-up got as far as, so that a shut-down after a failed start undoes only that: settings
// never read are not written back over the file, and a probe never started is not called.
struct StartupProgress {
  bool probeStarted = false;
  bool databaseOpened = false;
  bool displayRead = false;
  bool copyModeRead = false;
  bool shortcutsRead = false;
};
StartupProgress g_progress;

// Start-up's message box and file dialog run loops of their own, which hand the probe's notifications to this
// window before the tray icon and the database exist; until it has finished they are only noted.
bool g_startupFinished = false;
bool g_heldCapture = false;
// A log-off or exit handed to this window while a capture waits for the game's answer: the capture still
// needs the database and the probe, so the shut-down follows it.
int g_capturesRunning = 0;
bool g_shutDownWaiting = false;
// No profile saved yet: a fresh install, whose user is told where the tracker went.
bool g_firstStart = false;

// The saved profile, or the default one of a first start, which alone is created without asking.
bool OpenSavedProfile(HWND window, const std::wstring& path, bool firstStart, ProfileProblem* problem) {
  SetDatabasePath(path);
  if (!firstStart && !PathFileExistsW(path.c_str()) &&
      !AskCreateMissingProfile(window, path, L"次にファイルを選べます")) {
    *problem = ProfileOpened;  // declined: nothing to report
    return false;
  }
  return OpenRecordDatabase(problem);
}

bool OpenProfileDatabase(HWND window) {
  bool cut = false;
  std::wstring setting = ReadSettingText(L"General", L"Profile", L"", &cut);
  std::wstring path = setting.empty() ? JoinPath(g_app.programDirectory, L"Default.db") : setting;
  g_firstStart = setting.empty() && !cut;
  // A cut path names another file, which would be created and saved over the user's own: ask instead.
  ProfileProblem problem = ProfilePathTooLong;
  bool opened = !cut && OpenSavedProfile(window, path, setting.empty(), &problem);
  while (!opened) {
    // A damaged profile: its backup and what is still readable in it, or another file.
    bool offered = problem == ProfileNotDatabase && ProfileLooksDamaged(path);
    if (offered && OfferSalvage(window, path) && (opened = OpenRecordDatabase(&problem))) break;
    if (!offered && problem != ProfileOpened) ShowProfileFailure(window, path, problem);
    wchar_t file[1025];
    lstrcpynW(file, setting.c_str(), ARRAYSIZE(file));
    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = window;
    dialog.lpstrFilter = L"VizirIduvoz Database (*.db)\0*.db\0";
    dialog.lpstrFile = file;
    dialog.nMaxFile = ARRAYSIZE(file);
    dialog.lpstrTitle = L"記録に使うプロファイル (*.db) を選ぶか、新しい名前を入力してください";
    dialog.lpstrDefExt = L"db";
    dialog.Flags = OFN_CREATEPROMPT | OFN_NOCHANGEDIR;
    if (!GetOpenFileNameW(&dialog)) {
      MessageBoxW(window, L"プロファイルが選ばれなかったため、Corvenka を終了します。", nullptr, MB_ICONINFORMATION);
      return false;
    }
    path = WithProfileExtension(file);
    SetDatabasePath(path);
    opened = OpenRecordDatabase(&problem);
  }
  AnnounceProfileAccess(window, path);
  return true;
}

bool StartUp(HWND window) {
  g_progress = StartupProgress();
  g_startupFinished = false;
  g_heldCapture = false;
  g_app.mainWindow = window;
  g_app.autoCountOff = false;
  if (!g_bindProbeStep(window)) return false;
  g_progress.probeStarted = true;

  if (!OpenProfileDatabase(window)) return false;
  g_progress.databaseOpened = true;

  g_app.taskbarCreatedMessage = RegisterWindowMessageW(L"TaskbarCreated");
  if (!AddTrayIcon()) return false;

  HMENU menu = LoadMenuW(g_app.instance, MAKEINTRESOURCEW(IDM_TRAY));
  g_app.popupMenu = menu ? GetSubMenu(menu, 0) : nullptr;
  if (!g_app.popupMenu) return false;

  g_app.highPrecision = ReadSettingInt(L"WinningRate", L"HighPrecision", 0) != 0;
  g_app.colorization = ReadSettingInt(L"WinningRate", L"Colorization", 0) != 0;
  g_app.autoAjustViewRect = ReadSettingInt(L"RUZ.Behavior", L"AutoAjustViewRect", 1) != 0;
  g_progress.displayRead = true;

  g_app.summaryWindow =
      CreateDialogParamA(g_app.instance, MAKEINTRESOURCEA(IDD_SUMMARY), nullptr, SummaryDialogProc, 0);
  if (!g_app.summaryWindow) return false;
  ListenToRecordChanges();

  int mode = ReadSettingInt(L"General", L"infoTrans", CopyNone);
  g_app.copyMode = (mode < CopyNone || mode > CopyAll) ? CopyNone : mode;
  g_progress.copyModeRead = true;

  CheckCopyModeItems();
  CheckDisplayItems();

  ReadShortcutList();
  g_progress.shortcutsRead = true;

  CheckAutorunItems();
  // Holding Pause while the tracker starts keeps the game from being started with it.
  if (!(GetAsyncKeyState(VK_PAUSE) & 0x8000)) LaunchProgram(GameProgramWord);
  TakeUpRecoveredMatches();
  if (g_firstStart)
    ShowTrayBalloon(L"Corvenka は通知領域で動いています",
                    L"このアイコンをダブルクリックすると対戦表を開きます。右クリックでメニューを開きます。");
  StartDailyBackup();
  return true;
}

void WriteSettingsBack() {
  // A cancelled database choice leaves the saved profile as it was.
  if (g_progress.databaseOpened) WriteSettingText(L"General", L"Profile", CurrentDatabasePath().c_str());
  if (g_progress.copyModeRead) WriteSettingInt(L"General", L"InfoTrans", g_app.copyMode);
  if (g_progress.displayRead) {
    WriteSettingInt(L"WinningRate", L"HighPrecision", g_app.highPrecision ? 1 : 0);
    WriteSettingInt(L"WinningRate", L"Colorization", g_app.colorization ? 1 : 0);
    WriteSettingInt(L"RUZ.Behavior", L"AutoAjustViewRect", g_app.autoAjustViewRect ? 1 : 0);
  }
  if (g_progress.shortcutsRead) WriteShortcutList();
}

void ShutDown() {
  if (g_app.summaryWindow) {
    DestroyWindow(g_app.summaryWindow);
    g_app.summaryWindow = nullptr;
  }
  WriteSettingsBack();
  RemoveTrayIcon();
  if (g_progress.probeStarted && g_probe.cleanup) g_probe.cleanup();
  DestroyShortcutAccelerators();
  SetPendingMatchesAside();
  BackupBeforeExit();
  CloseRecordDatabase();
  g_progress = StartupProgress();
  g_startupFinished = false;
  g_app.popupMenu = nullptr;
  g_app.mainWindow = nullptr;
  PostQuitMessage(0);
}

void OnDestroy() {
  if (g_capturesRunning) {
    // The session may end as soon as the log-off message returns.
    WriteSettingsBack();
    g_shutDownWaiting = true;
    return;
  }
  ShutDown();
}

void RunCapture() {
  ++g_capturesRunning;
  CaptureFinishedMatch();
  if (--g_capturesRunning == 0 && g_shutDownWaiting) {
    g_shutDownWaiting = false;
    ShutDown();
  }
}

bool IsFinishedMatch(WPARAM wParam, LPARAM lParam) {
  int detail = NotificationDetail(wParam);
  return NotificationKind(wParam) == ParamChanged && (detail == Side1Wins || detail == Side2Wins) && lParam == 2;
}

LRESULT OnProbeNotify(WPARAM wParam, LPARAM lParam) {
  if (g_app.autoCountOff) return 0;
  if (!g_startupFinished) {
    g_heldCapture = g_heldCapture || IsFinishedMatch(wParam, lParam);
    return 0;
  }
  switch (NotificationKind(wParam)) {
    case ConnectionChanged:
      OnConnectionChanged(NotificationDetail(wParam), true);
      break;
    case ParamChanged:
      if (IsFinishedMatch(wParam, lParam)) RunCapture();
      break;
  }
  return 0;
}

// Once: one capture for any match finished meanwhile (a second one would store the same match twice), then
// the state the probe is in now. The capture comes first and at once: the probe answers it with the moment the
// match was decided only until its own queued message has passed, and asking the state waits for the game,
// which may have moved on or stopped answering since.
void ApplyHeldProbeState(HWND window) {
  MSG msg;
  while (PeekMessageW(&msg, window, ProbeNotifyMessage, ProbeNotifyMessage, PM_REMOVE))
    OnProbeNotify(msg.wParam, msg.lParam);
  g_startupFinished = true;
  bool held = g_heldCapture;
  g_heldCapture = false;
  if (held) RunCapture();
  // Not the game going away: the start-up has only just started it.
  OnConnectionChanged(g_probe.getState ? g_probe.getState() : Detached, false);
}
}  // namespace

std::wstring JoinPath(const std::wstring& directory, const wchar_t* name) {
  std::wstring path = directory;
  if (!path.empty() && path.back() != L'\\' && path.back() != L'/') path += L'\\';
  return path + name;
}

std::wstring ExecutableDirectory() {
  std::vector<wchar_t> buffer(260);
  for (;;) {
    DWORD n = GetModuleFileNameW(nullptr, buffer.data(), (DWORD)buffer.size());
    if (n == 0) return std::wstring();
    if (n < buffer.size()) {
      std::wstring path(buffer.data(), n);
      size_t slash = path.find_last_of(L"\\/");
      if (slash == std::wstring::npos) return std::wstring();
      // A root keeps its backslash, as PathRemoveFileSpecW leaves it.
      return path.substr(0, (slash == 2 && path[1] == L':') ? slash + 1 : slash);
    }
    buffer.resize(buffer.size() + 260);
  }
}

void LocateProgramFiles() {
  g_app.programDirectory = ExecutableDirectory();
  g_app.settingsPath = JoinPath(g_app.programDirectory, L"Corvenka.ini");
}

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE:
      if (StartUp(window)) {
        ApplyHeldProbeState(window);
        return 0;
      }
      // Not every window system sends WM_DESTROY to a window whose creation failed; undo here, once.
      ShutDown();
      return -1;
    case WM_DESTROY:
      OnDestroy();
      return 0;
    case WM_ENDSESSION:
      // Log-off and system shut-down end the process once this returns, without a quit message: save
      // and stop here as the exit command would.
      if (wParam) DestroyWindow(window);
      return 0;
    case WM_COMMAND:
      OnMenuCommand(LOWORD(wParam));
      return 0;
    case TrayNotifyMessage:
      return OnTrayNotify(lParam);
    case ProbeNotifyMessage:
      return OnProbeNotify(wParam, lParam);
  }
  if (g_app.taskbarCreatedMessage && message == g_app.taskbarCreatedMessage) {
    ReAddTrayIcon();
    return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

bool RegisterMainWindowClass(HINSTANCE instance) {
  WNDCLASSW windowClass{};
  windowClass.lpfnWndProc = MainWindowProc;
  windowClass.hInstance = instance;
  windowClass.lpszClassName = MainWindowClass;
  if (RegisterClassW(&windowClass)) return true;
  // Tests start the tracker more than once in one process.
  return GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

HWND CreateMainWindow(HINSTANCE instance) {
  g_app.instance = instance;
  return CreateWindowExW(0, MainWindowClass, nullptr, WS_POPUP, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                         CW_USEDEFAULT, nullptr, nullptr, instance, nullptr);
}

int RunMessageLoop() {
  MSG msg;
  for (;;) {
    BOOL got = GetMessageW(&msg, nullptr, 0, 0);
    if (got == 0) return (int)msg.wParam;
    if (got == -1) return -1;
    HACCEL accelerators = ShortcutAccelerators();
    if (accelerators && TranslateAcceleratorW(g_app.summaryWindow, accelerators, &msg)) continue;
    if (IsDialogMessageW(GetAncestor(msg.hwnd, GA_ROOT), &msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

int RunTracker(HINSTANCE instance) {
  g_app.instance = instance;
  LocateProgramFiles();
  INITCOMMONCONTROLSEX controls{sizeof controls,
                                ICC_LISTVIEW_CLASSES | ICC_UPDOWN_CLASS | ICC_HOTKEY_CLASS | ICC_DATE_CLASSES};
  InitCommonControlsEx(&controls);
  if (!RegisterMainWindowClass(instance)) return -1;
  if (!CreateMainWindow(instance)) return -1;
  return RunMessageLoop();
}
