// What the user is told and asked about a profile that cannot be used as it is, at start-up and on a switch.
#pragma once
#include <windows.h>
#include <string>

#include "store/RecordDatabase.h"

// "プロファイルのマッピングに失敗しました。", then the file and what is wrong with it and what to do.
std::wstring ProfileFailureText(const std::wstring& path, ProfileProblem problem);
void ShowProfileFailure(HWND owner, const std::wstring& path, ProfileProblem problem);
// A saved path that names no file may have been moved or read wrongly: a new empty profile is made there only
// when the user says so. `otherwise` says what "No" leads to.
bool AskCreateMissingProfile(HWND owner, const std::wstring& path, const wchar_t* otherwise);
// After opening: a profile opened only for reading is announced, in a box and on the tray.
void AnnounceProfileAccess(HWND owner, const std::wstring& path);
// A profile opened for reading whose file was made writable since: opened again for writing, the windows and
// the journal kept, and the tray no longer says it is read-only. True when it is writable now.
bool ReopenProfileForWriting();
// The file dialogs' list of profile files.
constexpr wchar_t ProfileFileFilter[] = L"VizirIduvoz Database (*.db)\0*.db\0";
// The open-file dialog for one file: `filter` as the dialog takes it, `initial` in its name box, no change of the
// current folder. False when cancelled.
bool AskFileToOpen(HWND owner, const wchar_t* filter, const wchar_t* title, const wchar_t* defaultExtension,
                   DWORD flags, const std::wstring& initial, std::wstring* path);
// The profile dialog of the start-up and the switch: a .db file, or a new name to make one.
bool AskProfileToOpen(HWND owner, const wchar_t* title, const std::wstring& initial, std::wstring* path);
// A new profile typed without an extension gets ".db", as the file dialogs offer.
std::wstring WithProfileExtension(const std::wstring& path);
