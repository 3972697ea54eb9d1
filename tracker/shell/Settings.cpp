#include "shell/Settings.h"

#include <windows.h>

#include <vector>

#include "common/AtomicFile.h"
#include "shell/AppState.h"
#include "shell/ProfileShortcuts.h"
#include "common/RecordArray.h"
#include "common/TextUtil.h"

int ReadSettingInt(const wchar_t* section, const wchar_t* key, int defaultValue) {
  return (int)GetPrivateProfileIntW(section, key, defaultValue, g_app.settingsPath.c_str());
}

void WriteSettingInt(const wchar_t* section, const wchar_t* key, int value) {
  std::wstring text = FormatWide(L"%d", value);
  WritePrivateProfileStringW(section, key, text.c_str(), g_app.settingsPath.c_str());
}

std::wstring ReadSettingText(const wchar_t* section, const wchar_t* key, const wchar_t* defaultValue, bool* cut) {
  // One unit more than a value may have, to tell a value of exactly 1024 characters from a longer one.
  wchar_t buffer[1026];
  buffer[0] = L'\0';
  DWORD n = GetPrivateProfileStringW(section, key, defaultValue, buffer, 1026, g_app.settingsPath.c_str());
  if (cut) *cut = n > 1024;
  return std::wstring(buffer, n > 1024 ? 1024 : n);
}

namespace {
bool FitsCodePage(const wchar_t* text) { return AnsiToWide(WideToAnsi(text).c_str()) == text; }

bool ReadFileBytes(const std::wstring& path, std::string& bytes) {
  FileHandle file(
      CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
  LARGE_INTEGER size;
  if (!file || !GetFileSizeEx(file.Get(), &size) || size.QuadPart >= 0x1000000) return false;
  bytes.resize((size_t)size.QuadPart);
  DWORD read = 0;
  return bytes.empty() || (ReadFile(file.Get(), &bytes[0], (DWORD)bytes.size(), &read, nullptr) && read == bytes.size());
}

// The profile functions write a file without the UTF-16 mark in the ANSI code page, where other letters of a
// path become look-alikes or "?", naming another file. Such a file is turned into UTF-16 once, with every value
// it holds, through a copy so that a failure leaves it as it was.
void MakeSettingsFileUnicode() {
  const std::wstring& path = g_app.settingsPath;
  std::string bytes;
  bool exists = GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
  if (exists && !ReadFileBytes(path, bytes)) return;
  if (bytes.size() >= 2 && (unsigned char)bytes[0] == 0xFF && (unsigned char)bytes[1] == 0xFE) return;
  // A file marked as UTF-8 is left to the profile functions.
  if (bytes.size() >= 3 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) return;
  std::wstring text = AnsiToWide(bytes.data(), (int)bytes.size());
  if (!bytes.empty() && text.empty()) return;
  std::wstring unicode = L"\xFEFF" + text;
  WriteFileAtomically(path, unicode.data(), unicode.size() * sizeof(wchar_t), L".new");
}
}  // namespace

void WriteSettingText(const wchar_t* section, const wchar_t* key, const wchar_t* text) {
  if (text && !FitsCodePage(text)) MakeSettingsFileUnicode();
  WritePrivateProfileStringW(section, key, text, g_app.settingsPath.c_str());
}

std::wstring AutorunKeyName(const wchar_t* programWord, const wchar_t* fieldWord) {
  std::wstring name = std::wstring(programWord) + L"." + fieldWord;
  if (name.size() > 255) name.resize(255);
  return name;
}

namespace {
std::wstring ReadWholeSetting(const wchar_t* section, const wchar_t* key) {
  std::vector<wchar_t> buffer(32768);
  DWORD n = GetPrivateProfileStringW(section, key, L"", buffer.data(), (DWORD)buffer.size(), g_app.settingsPath.c_str());
  return std::wstring(buffer.data(), n);
}
}  // namespace

void ReadShortcutList() {
  RecordArray<ProfileShortcut> list;
  for (int i = 0; i < MaxShortcuts; ++i) {
    uint16_t key = (uint16_t)ReadSettingInt(L"Shortcut", FormatWide(L"Key%d", i).c_str(), 0);
    if (key == 0) break;
    bool cut = false;
    std::wstring pathKey = FormatWide(L"Path%d", i);
    std::wstring path = ReadSettingText(L"Shortcut", pathKey.c_str(), L"", &cut);
    if (path.empty()) break;
    if (cut) NoteCutShortcutPath(path, ReadWholeSetting(L"Shortcut", pathKey.c_str()));
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
    WriteSettingText(L"Shortcut", FormatWide(L"Path%d", i).c_str(), SavedShortcutPath(entry.path).c_str());
  }
  // Reading stops at the first missing key, so entries left further on by a longer list do no harm.
  WriteSettingText(L"Shortcut", FormatWide(L"Key%d", count).c_str(), nullptr);
  WriteSettingText(L"Shortcut", FormatWide(L"Path%d", count).c_str(), nullptr);
}
