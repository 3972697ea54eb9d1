// The notification-area icon, its popup menu's commands and the two outside programs it starts.
#pragma once
#include <windows.h>
#include <shellapi.h>
#include <string>

#include <string>

#include "store/MatchRecord.h"

constexpr wchar_t GameProgramWord[] = L"GameProgram";
constexpr wchar_t ReportToolWord[] = L"ReportTool";

// Adds the icon (showing "no game") and keeps its data for later changes; false when the shell refuses.
bool AddTrayIcon();
// Adds the kept icon again, after the taskbar was re-created.
bool ReAddTrayIcon();
void RemoveTrayIcon();
// The kept icon data (hIcon tells which image is shown).
const NOTIFYICONDATAW& TrayIconData();
// The tooltip says when the open profile cannot store matches.
void SetTrayReadOnlyNote(bool readOnly);
// The tooltip says the state in words and today's record; refreshed after each change of either.
void UpdateTrayTip();
bool ShowTrayBalloon(const std::wstring& title, const std::wstring& text);
// The text and title of the last balloon shown since the icon was added, empty when none was.
const std::wstring& LastTrayBalloon();
const std::wstring& LastTrayBalloonTitle();
// After a match was stored: the tooltip's record, and a balloon with the result line unless switched off
// ("Tray", "ResultBalloon" = 0).
void AnnounceRecordedMatch(const MatchRecord& record);

LRESULT OnTrayNotify(LPARAM mouseMessage);
void OnConnectionChanged(int state, bool launch);
void OnMenuCommand(UINT id);
void LaunchProgram(const wchar_t* programWord);
void ChooseProgramFile(const wchar_t* programWord);

// Check marks of the popup menu that mirror process state or settings.
void CheckCopyModeItems();
void CheckDisplayItems();
void CheckAutorunItems();
