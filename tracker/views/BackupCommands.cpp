#include "BackupCommands.h"

#include <commctrl.h>

#include <vector>

#include "ViewCommon.h"
#include "ViewWindows.h"
#include "resources/resource.h"
#include "shell/AppState.h"
#include "shell/BackupSchedule.h"
#include "shell/ChangeJournal.h"
#include "shell/PendingMatches.h"
#include "shell/TextUtil.h"
#include "store/ProfileBackup.h"
#include "store/ProfileSalvage.h"
#include "store/RecordDatabase.h"

namespace {
struct RestoreState {
  std::vector<BackupEntry> backups;
  std::wstring* chosen;
};

void AddColumn(HWND list, int index, const wchar_t* title, int width, int format) {
  LVCOLUMNW column{};
  column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT;
  column.pszText = const_cast<wchar_t*>(title);
  column.cx = width;
  column.fmt = format;
  SendMessageW(list, LVM_INSERTCOLUMNW, index, (LPARAM)&column);
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

void RestoreFromBackup(HWND summary) {
  std::wstring chosen;
  if (ShowRestoreDialog(summary, &chosen) != IDOK) return;
  if (RecordDatabaseReadOnly()) {
    MessageBoxW(summary, L"このプロファイルは読み取り専用のため、復元できません。", nullptr, MB_ICONERROR);
    return;
  }
  // Matches waiting for the profile go in first, so that the copy below keeps them too.
  StorePendingMatches();
  if (!BackupNow()) {
    MessageBoxW(summary, L"今のプロファイルのバックアップを作成できなかったため、復元を取りやめました。", nullptr,
                MB_ICONERROR);
    return;
  }
  int64_t matches = 0;
  if (!ReplaceMatchesFromBackup(chosen, &matches)) {
    MessageBoxW(summary, L"バックアップから復元できませんでした。プロファイルは元のままです。", nullptr, MB_ICONERROR);
    return;
  }
  ClearJournal();
  SendMessageW(summary, RefreshSummaryMessage, 0, 0);
  MessageBoxW(summary, FormatWide(L"バックアップから復元しました（%d 件）。", (int)matches).c_str(), nullptr,
              MB_ICONINFORMATION);
}
