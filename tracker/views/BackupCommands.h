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
