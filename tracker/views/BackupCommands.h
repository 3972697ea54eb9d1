// The summary window's commands for backups and imports.
#pragma once
#include <windows.h>
#include <string>

// Window-menu commands (WM_SYSCOMMAND values), after the export items.
constexpr UINT SummaryRestoreBackup = 0xE120;
constexpr UINT SummaryImportMatches = 0xE130;

// Modal, dialog 130: the backups of the open profile; IDOK with the chosen one's path.
INT_PTR ShowRestoreDialog(HWND owner, std::wstring* chosen);
// "バックアップから復元…": the dialog, a backup of the profile as it is, then its matches replaced by the
// chosen backup's; the journal is emptied and every window shows the restored record.
void RestoreFromBackup(HWND summary);
// "ほかのプロファイルから取り込む…": a profile file or our CSV or JSON export, read on a thread of its own with
// its progress shown; rows that cannot be taken are listed and nothing is taken unless the user agrees; a backup
// first, then one transaction, then the summary of what was added, already there and conflicting.
void ImportMatchesInto(HWND summary);
void ImportMatchesFromFile(HWND summary, const std::wstring& source);
