#include "Settings.h"

#include <windows.h>

#include "AppState.h"
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

// Placeholders until the settings of the shell arrive.
void ReadShortcutList() {}
void WriteShortcutList() {}
