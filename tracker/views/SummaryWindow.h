// The summary window: dialog 101, created hidden at start-up, closed only by hiding.
#pragma once
#include <windows.h>
#include <string>

INT_PTR CALLBACK SummaryDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Window-menu commands (WM_SYSCOMMAND values).
enum SummaryCommand : UINT {
  SummaryLoadProfile = 0xB000,
  SummaryOwnCharacters = 0xB100,
  SummaryOpponentCharacters = 0xB101,
  SummaryUndo = 0xC000,
  SummaryRedo = 0xC001,
  SummaryPeriodAll = 0xD000,
  SummaryPeriodToday = 0xD001,
  SummaryPeriodYesterday = 0xD002,
  SummaryPeriodCustom = 0xD003,
  SummaryOpponentProfiles = 0xE000,
  SummaryMatchHistory = 0xE001,
  SummaryCopyTable = 0xE010,
  // Appended after the system's own entries.
  SummaryExportCsv = 0xE100,
  SummaryExportJson = 0xE110,
};

// Switches the current profile to `path`; on success the journal is emptied, the windows the summary
// owns are closed and the table shows the new database. On failure the old one stays, with a message.
bool LoadSummaryProfile(HWND summary, const std::wstring& path);
