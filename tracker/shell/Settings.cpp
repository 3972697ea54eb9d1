#include "Settings.h"

#include <windows.h>

#include "AppState.h"
#include "ProfileShortcuts.h"
#include "RecordArray.h"
#include "TextUtil.h"

int ReadSettingInt(const wchar_t* section, const wchar_t* key, int defaultValue) {
  return (int)GetPrivateProfileIntW(section, key, defaultValue, g_app.settingsPath.c_str());
}

void WriteSettingInt(const wchar_t* section, const wchar_t* key, int value) {
  std::wstring text = FormatWide(L"%d", value);
  WritePrivateProfileStringW(section, key, text.c_str(), g_app.settingsPath.c_str());
}

std::wstring ReadSettingText(const wchar_t* section, const wchar_t* key, const wchar_t* defaultValue) {
  wchar_t buffer[1025];
  buffer[0] = L'\0';
  DWORD n = GetPrivateProfileStringW(section, key, defaultValue, buffer, 1025, g_app.settingsPath.c_str());
  return std::wstring(buffer, n);
}

void WriteSettingText(const wchar_t* section, const wchar_t* key, const wchar_t* text) {
  WritePrivateProfileStringW(section, key, text, g_app.settingsPath.c_str());
}

std::wstring AutorunKeyName(const wchar_t* programWord, const wchar_t* fieldWord) {
  std::wstring name = std::wstring(programWord) + L"." + fieldWord;
  if (name.size() > 255) name.resize(255);
  return name;
}

void ReadShortcutList() {
  RecordArray<ProfileShortcut> list;
  for (int i = 0; i < MaxShortcuts; ++i) {
    uint16_t key = (uint16_t)ReadSettingInt(L"Shortcut", FormatWide(L"Key%d", i).c_str(), 0);
    if (key == 0) break;
    std::wstring path = ReadSettingText(L"Shortcut", FormatWide(L"Path%d", i).c_str(), L"");
    if (path.empty()) break;
    ProfileShortcut entry{};
    lstrcpynW(entry.path, path.c_str(), ARRAYSIZE(entry.path));
    entry.keyCode = key;
    list.Push(entry);
  }
  InstallShortcuts(list.Empty() ? nullptr : &list.At(0), (int)list.Count());
}

void WriteShortcutList() {
  int count = ShortcutCount();
  ProfileShortcut entry;
  for (int i = 0; i < count; ++i) {
    if (!GetShortcut(i, entry)) break;
    WriteSettingInt(L"Shortcut", FormatWide(L"Key%d", i).c_str(), entry.keyCode);
    WriteSettingText(L"Shortcut", FormatWide(L"Path%d", i).c_str(), entry.path);
  }
  // Reading stops at the first missing key, so entries left further on by a longer list do no harm.
  WriteSettingText(L"Shortcut", FormatWide(L"Key%d", count).c_str(), nullptr);
  WriteSettingText(L"Shortcut", FormatWide(L"Path%d", count).c_str(), nullptr);
}
