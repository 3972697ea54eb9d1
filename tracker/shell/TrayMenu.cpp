#include "shell/TrayMenu.h"

#include <commdlg.h>
#include <shlwapi.h>

#include <cstddef>
#include <vector>

#include "resources/resource.h"
#include "store/RecordDatabase.h"
#include "store/RecordFilter.h"
#include "shell/AppState.h"
#include "shell/MainWindow.h"
#include "common/ResultLine.h"
#include "shell/ProbeBinding.h"
#include "shell/Settings.h"
#include "common/Dpi.h"
#include "common/TextUtil.h"
#include "shell/ShortcutDialogs.h"

// The structure as it was before the balloon icon and the GUID were added.
constexpr DWORD TrayIconDataSize = 936;
static_assert(offsetof(NOTIFYICONDATAW, guidItem) == TrayIconDataSize, "tray icon data layout");

namespace {
NOTIFYICONDATAW g_tray;
bool g_trayReady = false;
bool g_readOnlyNote = false;
bool g_gameShown = false;
std::wstring g_lastBalloon, g_lastBalloonTitle;

// Wins and losses of the local day so far; false when the profile cannot be read now.
bool TodaysRecord(int& wins, int& losses) {
  SYSTEMTIME now;
  GetLocalTime(&now);
  return CountDayResults(TimestampOnDay(now, 0, 0, 0, 0), wins, losses);
}

void FillTrayTip() {
  std::wstring tip = L"Corvenka Rev.9\n";
  tip += g_app.autoCountOff ? L"カウント停止中" : g_gameShown ? L"ゲーム接続中" : L"ゲーム待ち";
  int wins = 0, losses = 0;
  if (TodaysRecord(wins, losses)) tip += FormatWide(L"\n今日 %d勝%d敗", wins, losses);
  if (g_readOnlyNote) tip += L"\n読み取り専用: 対戦は保存されません";
  lstrcpynW(g_tray.szTip, tip.c_str(), ARRAYSIZE(g_tray.szTip));
}

HICON LoadTrayImage(int resourceId) {
  // The notification area shows small icons at the screen's DPI.
  return LoadIconForDpi(g_app.instance, resourceId, true, WindowDpi(nullptr));
}

void ShowTrayImage(int resourceId) {
  g_tray.hIcon = LoadTrayImage(resourceId);
  g_gameShown = resourceId == IDI_ATTACHED;
  FillTrayTip();
  // A failed change keeps the old image; nothing to do about it.
  if (g_trayReady) Shell_NotifyIconW(NIM_MODIFY, &g_tray);
}

void CheckItem(UINT id, bool checked) {
  if (g_app.popupMenu) CheckMenuItem(g_app.popupMenu, id, MF_BYCOMMAND | (checked ? MF_CHECKED : MF_UNCHECKED));
}

bool ReadAutorunSwitch(const wchar_t* programWord) {
  return ReadSettingInt(L"Autorun", AutorunKeyName(programWord, L"Enabled").c_str(), 0) != 0;
}

void ToggleAutorun(const wchar_t* programWord, UINT item) {
  WriteSettingText(L"Autorun", AutorunKeyName(programWord, L"Enabled").c_str(),
                   ReadAutorunSwitch(programWord) ? L"0" : L"1");
  CheckItem(item, ReadAutorunSwitch(programWord));
}

void ShowSummary() {
  if (!g_app.summaryWindow) return;
  ShowWindow(g_app.summaryWindow, SW_SHOW);
  SetForegroundWindow(g_app.summaryWindow);
}

// A dialog chosen again from the menu while it is open comes forward, with the key dialog it may have open.
void BringForward(HWND dialog) {
  HWND front = GetLastActivePopup(dialog);
  SetForegroundWindow(front ? front : dialog);
}

HWND g_shortcutDialog = nullptr;
bool g_choosingPath = false;
HWND g_pathDialog = nullptr;
HHOOK g_pathDialogHook = nullptr;

// The hidden main window owns the file dialog, which would open in the corner of the screen where that
// window sits: it opens in the middle of the work area the cursor is on, as the other dialogs do.
LRESULT CALLBACK CatchPathDialog(int code, WPARAM wParam, LPARAM lParam) {
  HWND window = (HWND)wParam;
  if (code == HCBT_ACTIVATE && !g_pathDialog && GetWindow(window, GW_OWNER) == g_app.mainWindow) {
    g_pathDialog = window;
    POINT cursor{};
    GetCursorPos(&cursor);
    MONITORINFO monitor{sizeof monitor};
    RECT rect;
    HMONITOR nearest = MonitorFromPoint(cursor, MONITOR_DEFAULTTONEAREST);
    if (GetMonitorInfoW(nearest, &monitor) && GetWindowRect(window, &rect)) {
      const RECT& work = monitor.rcWork;
      int x = work.left + (work.right - work.left - (rect.right - rect.left)) / 2;
      int y = work.top + (work.bottom - work.top - (rect.bottom - rect.top)) / 2;
      SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
  }
  return CallNextHookEx(g_pathDialogHook, code, wParam, lParam);
}

void OpenShortcutSettings() {
  if (g_shortcutDialogOpen) {
    if (IsWindow(g_shortcutDialog)) BringForward(g_shortcutDialog);
    return;
  }
  g_shortcutDialogOpen = true;
  g_shortcutDialog = CreateDialogParamW(g_app.instance, MAKEINTRESOURCEW(IDD_SHORTCUT_LIST), g_app.mainWindow,
                                        ShortcutListDialogProc, (LPARAM)g_app.mainWindow);
  if (!g_shortcutDialog) g_shortcutDialogOpen = false;
}

void ToggleAutoCount() {
  g_app.autoCountOff = !g_app.autoCountOff;
  CheckItem(IDM_AUTOCOUNT_OFF, g_app.autoCountOff);
  if (g_app.autoCountOff)
    OnConnectionChanged(Detached, false);
  else
    OnConnectionChanged(g_probe.getState ? g_probe.getState() : Detached, false);
}

void SetCopyMode(int mode) {
  g_app.copyMode = mode;
  CheckCopyModeItems();
}

void ToggleDisplaySwitch(bool& value, UINT item) {
  value = !value;
  CheckItem(item, value);
}
}  // namespace

bool AddTrayIcon() {
  ZeroMemory(&g_tray, sizeof g_tray);
  g_tray.cbSize = TrayIconDataSize;
  g_tray.hWnd = g_app.mainWindow;
  g_tray.uID = 0;
  g_tray.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
  g_tray.uCallbackMessage = TrayNotifyMessage;
  g_tray.hIcon = LoadTrayImage(IDI_DETACHED);
  FillTrayTip();
  g_trayReady = Shell_NotifyIconW(NIM_ADD, &g_tray) != FALSE;
  g_lastBalloon.clear();
  g_lastBalloonTitle.clear();
  return g_trayReady;
}

bool ReAddTrayIcon() { return g_trayReady && Shell_NotifyIconW(NIM_ADD, &g_tray); }

void RemoveTrayIcon() {
  if (!g_trayReady) return;
  Shell_NotifyIconW(NIM_DELETE, &g_tray);
  g_trayReady = false;
}

const NOTIFYICONDATAW& TrayIconData() { return g_tray; }

void SetTrayReadOnlyNote(bool readOnly) {
  g_readOnlyNote = readOnly;
  UpdateTrayTip();
}

void UpdateTrayTip() {
  FillTrayTip();
  if (g_trayReady) Shell_NotifyIconW(NIM_MODIFY, &g_tray);
}

bool ShowTrayBalloon(const std::wstring& title, const std::wstring& text) {
  if (!g_trayReady) return false;
  NOTIFYICONDATAW balloon = g_tray;
  // Only the balloon changes; a balloon never takes the focus.
  balloon.uFlags = NIF_INFO;
  lstrcpynW(balloon.szInfoTitle, title.c_str(), ARRAYSIZE(balloon.szInfoTitle));
  lstrcpynW(balloon.szInfo, text.c_str(), ARRAYSIZE(balloon.szInfo));
  balloon.dwInfoFlags = NIIF_INFO | NIIF_NOSOUND;
  balloon.uTimeout = 5000;
  g_lastBalloon = text;
  g_lastBalloonTitle = title;
  return Shell_NotifyIconW(NIM_MODIFY, &balloon) != FALSE;
}

const std::wstring& LastTrayBalloon() { return g_lastBalloon; }
const std::wstring& LastTrayBalloonTitle() { return g_lastBalloonTitle; }

void AnnounceRecordedMatch(const MatchRecord& record) {
  UpdateTrayTip();
  if (ReadSettingInt(L"Tray", L"ResultBalloon", 1) == 0) return;
  // Who won comes first, for a glance between two matches.
  int won = record.p1win / 2, lost = record.p2win / 2;
  const wchar_t* title = won > lost ? L"勝ち - 対戦を記録しました" : won < lost ? L"負け - 対戦を記録しました" : L"対戦を記録しました";
  ShowTrayBalloon(title, FormatResultLine(record));
}

LRESULT OnTrayNotify(LPARAM mouseMessage) {
  switch ((UINT)mouseMessage) {
    case WM_RBUTTONDOWN: {
      POINT cursor;
      GetCursorPos(&cursor);
      SetForegroundWindow(g_app.mainWindow);
      TrackPopupMenu(g_app.popupMenu, 0, cursor.x, cursor.y, 0, g_app.mainWindow, nullptr);
      // Lets the menu close properly when the user clicks elsewhere.
      SendMessageW(g_app.mainWindow, WM_NULL, 0, 0);
      break;
    }
    case WM_LBUTTONDBLCLK:
      OnMenuCommand(IDM_SHOW_SUMMARY);
      break;
  }
  return 1;
}

void OnConnectionChanged(int state, bool launch) {
  if (state == Detached) {
    ShowTrayImage(IDI_DETACHED);
    if (launch) {
      LaunchProgram(ReportToolWord);
      // The tracker came with the game, so it goes with it.
      if (ReadAutorunSwitch(GameProgramWord)) DestroyWindow(g_app.mainWindow);
    }
  } else if (state == Attached || state == InMatch) {
    ShowTrayImage(IDI_ATTACHED);
  }
}

void OnMenuCommand(UINT id) {
  switch (id) {
    case IDM_SHOW_SUMMARY: ShowSummary(); break;
    case IDM_SHORTCUT_SETTINGS: OpenShortcutSettings(); break;
    case IDM_AUTOCOUNT_OFF: ToggleAutoCount(); break;
    case IDM_COPY_NONE: SetCopyMode(CopyNone); break;
    case IDM_COPY_OPPONENT: SetCopyMode(CopyOpponentName); break;
    case IDM_COPY_ALL: SetCopyMode(CopyAll); break;
    case IDM_HIGH_PRECISION: ToggleDisplaySwitch(g_app.highPrecision, id); break;
    case IDM_COLORIZATION: ToggleDisplaySwitch(g_app.colorization, id); break;
    case IDM_AUTO_ADJUST: ToggleDisplaySwitch(g_app.autoAjustViewRect, id); break;
    case IDM_GAME_AUTORUN: ToggleAutorun(GameProgramWord, id); break;
    case IDM_REPORT_AUTORUN: ToggleAutorun(ReportToolWord, id); break;
    case IDM_GAME_PATH: ChooseProgramFile(GameProgramWord); break;
    case IDM_REPORT_PATH: ChooseProgramFile(ReportToolWord); break;
    case IDM_EXIT: DestroyWindow(g_app.mainWindow); break;
    default: break;
  }
}

void LaunchProgram(const wchar_t* programWord) {
  if (!ReadAutorunSwitch(programWord)) return;
  std::wstring file = ReadSettingText(L"Autorun", AutorunKeyName(programWord, L"FileName").c_str(), L"");
  if (file.empty()) return;
  std::vector<wchar_t> directory(file.begin(), file.end());
  directory.push_back(L'\0');
  PathRemoveFileSpecW(directory.data());
  ShellExecuteW(g_app.mainWindow, L"open", file.c_str(), nullptr, directory.data(), SW_SHOWNORMAL);
}

void ChooseProgramFile(const wchar_t* programWord) {
  // One path dialog at a time: chosen again, for either program, the open one comes forward.
  if (g_choosingPath) {
    if (IsWindow(g_pathDialog)) BringForward(g_pathDialog);
    return;
  }
  bool game = lstrcmpW(programWord, GameProgramWord) == 0;
  // Each filter lists only the program's own file name.
  static const wchar_t gameFilter[] = L"ゲームプログラム (mirrow.exe)\0mirrow.exe\0";
  static const wchar_t reportFilter[] = L"報告ツール (mirrow_report.exe)\0mirrow_report.exe\0";
  std::wstring initialDirectory = game ? std::wstring() : ExecutableDirectory();
  wchar_t file[1025];
  file[0] = L'\0';
  OPENFILENAMEW dialog{};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = g_app.mainWindow;
  dialog.lpstrFilter = game ? gameFilter : reportFilter;
  dialog.lpstrFile = file;
  dialog.nMaxFile = ARRAYSIZE(file);
  dialog.lpstrInitialDir = game ? nullptr : initialDirectory.c_str();
  dialog.lpstrDefExt = L"exe";
  // Only a program that is there can be started later.
  dialog.Flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR;
  g_choosingPath = true;
  g_pathDialog = nullptr;
  g_pathDialogHook = SetWindowsHookExW(WH_CBT, CatchPathDialog, nullptr, GetCurrentThreadId());
  BOOL chosen = GetOpenFileNameW(&dialog);
  if (g_pathDialogHook) UnhookWindowsHookEx(g_pathDialogHook);
  g_pathDialogHook = nullptr;
  g_pathDialog = nullptr;
  g_choosingPath = false;
  if (!chosen) return;
  DWORD attributes = GetFileAttributesW(file);
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) return;
  WriteSettingText(L"Autorun", AutorunKeyName(programWord, L"FileName").c_str(), file);
}

void CheckCopyModeItems() {
  CheckItem(IDM_COPY_NONE, g_app.copyMode == CopyNone);
  CheckItem(IDM_COPY_OPPONENT, g_app.copyMode == CopyOpponentName);
  CheckItem(IDM_COPY_ALL, g_app.copyMode == CopyAll);
}

void CheckDisplayItems() {
  CheckItem(IDM_HIGH_PRECISION, g_app.highPrecision);
  CheckItem(IDM_COLORIZATION, g_app.colorization);
  CheckItem(IDM_AUTO_ADJUST, g_app.autoAjustViewRect);
}

void CheckAutorunItems() {
  CheckItem(IDM_REPORT_AUTORUN, ReadAutorunSwitch(ReportToolWord));
  CheckItem(IDM_GAME_AUTORUN, ReadAutorunSwitch(GameProgramWord));
}
