// The common open and save dialogs as the program asks them: a file name or nothing.
#pragma once
#include <windows.h>

#include <string>

// `filter` is the dialog's double-null-terminated list; `path` gives the name to start with and takes the
// chosen one; `title` null: the system's. False when the user cancels.
bool ChooseFileName(HWND owner, bool save, const wchar_t* filter, const wchar_t* extension, DWORD flags,
                    std::wstring& path, const wchar_t* title = nullptr);
