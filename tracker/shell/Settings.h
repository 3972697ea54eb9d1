// "Corvenka.ini" next to the executable, through the Windows profile functions; nothing cached here.
#pragma once
#include <string>

int ReadSettingInt(const wchar_t* section, const wchar_t* key, int defaultValue);
void WriteSettingInt(const wchar_t* section, const wchar_t* key, int value);
// Values up to 1024 characters; longer ones are cut, and `cut` tells so.
std::wstring ReadSettingText(const wchar_t* section, const wchar_t* key, const wchar_t* defaultValue,
                             bool* cut = nullptr);
// A null text deletes the key.
void WriteSettingText(const wchar_t* section, const wchar_t* key, const wchar_t* text);
std::wstring AutorunKeyName(const wchar_t* programWord, const wchar_t* fieldWord);

// The shortcut list in section "Shortcut": read at start-up (at most 32, up to the first gap) into the
// shortcut module, written back at exit (deleting the key pair behind the last entry).
void ReadShortcutList();
void WriteShortcutList();
