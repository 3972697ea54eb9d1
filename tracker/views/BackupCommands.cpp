#include "views/BackupCommands.h"

#include <commctrl.h>

#include <functional>
#include <vector>

#include "views/ViewCommon.h"
#include "views/ViewWindows.h"
#include "resources/resource.h"
#include "shell/AppState.h"
#include "shell/BackupSchedule.h"
#include "shell/ChangeJournal.h"
#include "common/Dpi.h"
#include "shell/PendingMatches.h"
#include "shell/ProfileChoice.h"
#include "common/TextUtil.h"
#include "store/MatchImport.h"
#include "store/ProfileBackup.h"
#include "store/ProfileSalvage.h"
#include "store/RecordDatabase.h"

namespace {
struct RestoreState {
  std::vector<BackupEntry> backups;
  std::wstring* chosen;
};

void AddColumn(HWND list, int index, const wchar_t* title, int width, int format) {
  InsertScaledColumn(list, index, format, width, title);
}

void SetCell(HWND list, int row, int column, const std::wstring& text) {
  LVITEMW item{};
  item.mask = LVIF_TEXT;
  item.iItem = row;
  item.iSubItem = column;
  item.pszText = const_cast<wchar_t*>(text.c_str());
  if (column == 0)
    SendMessageW(list, LVM_INSERTITEMW, 0, (LPARAM)&item);
  else
    SendMessageW(list, LVM_SETITEMTEXTW, row, (LPARAM)&item);
}

BOOL OnInitRestore(HWND dialog, RestoreState* state) {
  SetWindowLongPtrW(dialog, DWLP_USER, (LONG_PTR)state);
  HWND list = GetDlgItem(dialog, IDC_BACKUP_LIST);
  SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES);
  AddColumn(list, 0, L"日付", 110, LVCFMT_LEFT);
  AddColumn(list, 1, L"時刻", 90, LVCFMT_LEFT);
  AddColumn(list, 2, L"対戦数", 100, LVCFMT_RIGHT);
  state->backups = ListBackups(CurrentBackupFolder(), CurrentDatabasePath());
  for (size_t i = 0; i < state->backups.size(); ++i) {
    SYSTEMTIME at = TimestampToCalendar(state->backups[i].taken);
    int64_t count = CountMatchesInFile(state->backups[i].path);
    SetCell(list, (int)i, 0, FormatWide(L"%04d/%02d/%02d", at.wYear, at.wMonth, at.wDay));
    SetCell(list, (int)i, 1, FormatWide(L"%02d:%02d:%02d", at.wHour, at.wMinute, at.wSecond));
    SetCell(list, (int)i, 2, count < 0 ? std::wstring(L"読めません") : FormatWide(L"%d", (int)count));
  }
  if (!state->backups.empty()) {
    LVITEMW item{};
    item.stateMask = item.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(list, LVM_SETITEMSTATE, 0, (LPARAM)&item);
  }
  EnableWindow(GetDlgItem(dialog, IDOK), !state->backups.empty());
  return TRUE;
}

INT_PTR CALLBACK RestoreDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* state = reinterpret_cast<RestoreState*>(GetWindowLongPtrW(dialog, DWLP_USER));
  switch (message) {
    case WM_INITDIALOG:
      return OnInitRestore(dialog, reinterpret_cast<RestoreState*>(lParam));
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK) {
        int row = (int)SendDlgItemMessageW(dialog, IDC_BACKUP_LIST, LVM_GETNEXTITEM, (WPARAM)-1, LVNI_SELECTED);
        if (row < 0 || row >= (int)state->backups.size()) return TRUE;
        *state->chosen = state->backups[row].path;
        EndDialog(dialog, IDOK);
        return TRUE;
      }
      if (LOWORD(wParam) == IDCANCEL) {
        EndDialog(dialog, IDCANCEL);
        return TRUE;
      }
      return FALSE;
  }
  return FALSE;
}
}  // namespace

INT_PTR ShowRestoreDialog(HWND owner, std::wstring* chosen) {
  RestoreState state{{}, chosen};
  return DialogBoxParamW(ViewResourceInstance(), MAKEINTRESOURCEW(IDD_RESTORE_BACKUP), owner, RestoreDialogProc,
                         (LPARAM)&state);
}

namespace {
struct Job {
  std::function<void()> work;
};

DWORD WINAPI RunJob(void* context) {
  static_cast<Job*>(context)->work();
  return 0;
}

// Runs `work` on a thread of its own while this thread keeps serving its messages (captures go on), with a
// small window counting `progress` (if any); the owner takes no input meanwhile.
void RunWithProgress(HWND owner, const wchar_t* what, volatile LONG* progress, const std::function<void()>& work) {
  Job job{work};
  HANDLE thread = CreateThread(nullptr, 0, RunJob, &job, 0, nullptr);
  if (!thread) {
    work();
    return;
  }
  bool wasEnabled = !EnableWindow(owner, FALSE);
  // A capture meanwhile waits in the queue rather than holding this thread until the work has committed.
  int busyWait = SetBusyWait(100);
  RECT at{};
  GetWindowRect(owner, &at);
  HWND window = CreateWindowExW(WS_EX_TOOLWINDOW | WS_EX_TOPMOST, L"STATIC", what, WS_POPUP | WS_CAPTION | SS_CENTER,
                                at.left + 20, at.top + 40, 320, 70, owner, nullptr, ViewResourceInstance(), nullptr);
  if (window) ShowWindow(window, SW_SHOWNOACTIVATE);
  DWORD shown = GetTickCount();
  while (!ServeMessagesUntil(thread, 200)) {
    if (window && progress && GetTickCount() - shown >= 200) {
      shown = GetTickCount();
      SetWindowTextW(window, FormatWide(L"%s %d 件", what, (int)*progress).c_str());
    }
  }
  CloseHandle(thread);
  SetBusyWait(busyWait);
  StorePendingMatches();
  if (window) DestroyWindow(window);
  if (wasEnabled) EnableWindow(owner, TRUE);
}

bool ChooseImportFile(HWND owner, std::wstring* path) {
  return AskFileToOpen(owner, L"プロファイル・書き出したファイル (*.db;*.csv;*.json)\0*.db;*.csv;*.json\0",
                       L"ほかのプロファイルから取り込む", nullptr, OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST, L"", path);
}

std::wstring TimestampText(int64_t timestamp) {
  SYSTEMTIME at = TimestampToCalendar(timestamp);
  return FormatWide(L"%04d/%02d/%02d %02d:%02d:%02d", at.wYear, at.wMonth, at.wDay, at.wHour, at.wMinute, at.wSecond);
}
}  // namespace

// The opening of a command that rewrites the profile: refused for a profile opened for reading, the matches
// waiting for it stored first (so that the copy keeps them too), and a backup made; the two words complete the
// messages of a refusal and of a failed backup.
static bool PrepareRewrite(HWND summary, const wchar_t* refused, const wchar_t* abandoned) {
  if (RecordDatabaseReadOnly()) {
    MessageBoxW(summary, FormatWide(L"このプロファイルは読み取り専用のため、%s。", refused).c_str(), nullptr,
                MB_ICONERROR);
    return false;
  }
  StorePendingMatches();
  bool wasEnabled = !EnableWindow(summary, FALSE);
  bool backedUp = BackupNow();
  if (wasEnabled) EnableWindow(summary, TRUE);
  if (!backedUp)
    MessageBoxW(summary,
                FormatWide(L"今のプロファイルのバックアップを作成できなかったため、%sを取りやめました。", abandoned).c_str(),
                nullptr, MB_ICONERROR);
  return backedUp;
}

void RestoreFromBackup(HWND summary) {
  // Matches captured from here on are not the backup's to replace.
  int64_t began = CurrentTimestamp();
  std::wstring chosen;
  if (ShowRestoreDialog(summary, &chosen) != IDOK || !PrepareRewrite(summary, L"復元できません", L"復元")) return;
  int64_t matches = 0;
  bool restored = false;
  std::wstring profile = CurrentDatabasePath();
  RunWithProgress(summary, L"復元中…", nullptr,
                  [&] { restored = ReplaceMatchesFromBackup(profile, chosen, began, &matches); });
  if (!restored) {
    MessageBoxW(summary, L"バックアップから復元できませんでした。プロファイルは元のままです。", nullptr, MB_ICONERROR);
    return;
  }
  NoteProfileChangedElsewhere();
  ClearJournal();
  SendMessageW(summary, RefreshSummaryMessage, 0, 0);
  MessageBoxW(summary, FormatWide(L"バックアップから復元しました（%d 件）。", (int)matches).c_str(), nullptr,
              MB_ICONINFORMATION);
}

// Asks whether to take a file without its refused rows.
static bool TakeWithoutRefusedRows(HWND summary, const ImportCounts& refused) {
  std::wstring text = FormatWide(L"%d 件の行は読み取れないか、このプロファイルの文字コードに変換できません。\n\n",
                                 (int)refused.refused);
  for (size_t i = 0; i < refused.refusedRows.size() && i < 10; ++i)
    text += FormatWide(L"%d 行目: %s\n", (int)refused.refusedRows[i].first, refused.refusedRows[i].second.c_str());
  if (refused.refused > 10) text += FormatWide(L"ほか %d 件\n", (int)(refused.refused - 10));
  text += L"\nこれらの行を除いて取り込みますか？\n「いいえ」を選ぶと何も取り込みません。";
  return MessageBoxW(summary, text.c_str(), nullptr, MB_ICONWARNING | MB_YESNO | MB_DEFBUTTON2) == IDYES;
}

void ImportMatchesFromFile(HWND summary, const std::wstring& source) {
  if (!PrepareRewrite(summary, L"取り込めません", L"取り込み")) return;
  ImportCounts counts;
  std::wstring error;
  bool imported = false;
  std::wstring profile = CurrentDatabasePath();
  // One pass in the usual case; a file with refused rows is read once more only if the user takes it anyway.
  for (bool skipRefused : {false, true}) {
    volatile LONG progress = 0;
    RunWithProgress(summary, L"取り込み中…", &progress,
                    [&] { imported = ImportMatches(source, profile, skipRefused, &counts, &error, &progress); });
    if (imported || !counts.refused || skipRefused || !TakeWithoutRefusedRows(summary, counts)) break;
  }
  if (imported && counts.added) NoteProfileChangedElsewhere();
  SendMessageW(summary, RefreshSummaryMessage, 0, 0);
  if (!imported) {
    if (!counts.refused)
      MessageBoxW(summary, FormatWide(L"取り込めませんでした。プロファイルは元のままです。\n%s\n%s", source.c_str(),
                                      error.c_str()).c_str(),
                  nullptr, MB_ICONERROR);
    return;
  }
  std::wstring text = ImportSummaryText(counts);
  if (counts.conflicts) {
    text += L"\n\n食い違った対戦（プロファイルの記録をそのまま残しました）:\n";
    for (int64_t timestamp : counts.conflictTimestamps) text += TimestampText(timestamp) + L"\n";
    if (counts.conflicts > (int64_t)counts.conflictTimestamps.size())
      text += FormatWide(L"ほか %d 件\n", (int)(counts.conflicts - (int64_t)counts.conflictTimestamps.size()));
  }
  MessageBoxW(summary, text.c_str(), nullptr, MB_ICONINFORMATION);
}

void ImportMatchesInto(HWND summary) {
  std::wstring source;
  if (ChooseImportFile(summary, &source)) ImportMatchesFromFile(summary, source);
}
