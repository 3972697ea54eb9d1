#include "shell/ProfileShortcuts.h"

#include <map>
#include <vector>

#include "common/RecordArray.h"

namespace {
RecordArray<ProfileShortcut> g_shortcuts;
HACCEL g_accelerators = nullptr;
std::map<std::wstring, std::wstring> g_cutPaths;

bool AppendKeyName(UINT virtualKey, std::wstring& text) {
  UINT scanCode = MapVirtualKeyW(virtualKey, MAPVK_VK_TO_VSC);
  wchar_t name[32];
  int n = GetKeyNameTextW((LONG)(scanCode << 16), name, 32);
  if (n <= 0) return false;
  text.append(name, n);
  return true;
}
}  // namespace

ACCEL AcceleratorFor(uint16_t keyCode, int number) {
  ACCEL accel;
  accel.fVirt = (BYTE)((keyCode >> 8) | FVIRTKEY | FNOINVERT);
  accel.key = (WORD)(keyCode & 0xFF);
  accel.cmd = (WORD)(FirstShortcutCommand + number);
  return accel;
}

bool InstallShortcuts(const ProfileShortcut* entries, int count) {
  HACCEL table = nullptr;
  if (count > 0) {
    std::vector<ACCEL> accelerators;
    for (int i = 0; i < count; ++i) accelerators.push_back(AcceleratorFor(entries[i].keyCode, i));
    table = CreateAcceleratorTableW(accelerators.data(), count);
    if (!table) return false;
  }
  DestroyShortcutAccelerators();
  g_accelerators = table;
  g_shortcuts.Assign(entries, count > 0 ? (size_t)count : 0);
  return true;
}

bool GetShortcut(int number, ProfileShortcut& destination) {
  if (number < 0 || (size_t)number >= g_shortcuts.Count()) return false;
  destination = g_shortcuts.At((size_t)number);
  return true;
}

void NoteCutShortcutPath(const std::wstring& cut, const std::wstring& whole) { g_cutPaths[cut] = whole; }

bool IsCutShortcutPath(const wchar_t* path) { return g_cutPaths.count(path) != 0; }

std::wstring SavedShortcutPath(const wchar_t* path) {
  auto found = g_cutPaths.find(path);
  return found == g_cutPaths.end() ? std::wstring(path) : found->second;
}

int ShortcutCount() { return (int)g_shortcuts.Count(); }
HACCEL ShortcutAccelerators() { return g_accelerators; }

void DestroyShortcutAccelerators() {
  if (g_accelerators) DestroyAcceleratorTable(g_accelerators);
  g_accelerators = nullptr;
}

bool KeyCodeText(uint16_t keyCode, std::wstring& text) {
  text.clear();
  const struct {
    uint16_t bit;
    UINT key;
  } modifiers[] = {{KeyCtrl, VK_CONTROL}, {KeyAlt, VK_MENU}, {KeyShift, VK_SHIFT}};
  for (const auto& modifier : modifiers) {
    if (!(keyCode & modifier.bit)) continue;
    if (!AppendKeyName(modifier.key, text)) return false;
    text += L" + ";
  }
  return AppendKeyName(keyCode & 0xFF, text);
}

uint16_t KeyCodeFromHotKey(WORD hotKeyValue) {
  return (uint16_t)((((unsigned)hotKeyValue >> 8) << 10) | (hotKeyValue & 0xFF));
}

WORD HotKeyFromKeyCode(uint16_t keyCode) {
  return (WORD)(((((unsigned)keyCode >> 10) << 8) & 0x3FFF) | (keyCode & 0xFF));
}
