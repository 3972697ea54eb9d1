// Keys bound to profiles: the list (at most 32), its accelerator table, and the key texts.
#pragma once
#include <windows.h>
#include <cstdint>
#include <string>

struct ProfileShortcut {
  wchar_t path[1025];
  uint16_t keyCode;  // bits 0..7 virtual key; 0x400 Shift, 0x800 Ctrl, 0x1000 Alt, 0x2000 extended
};

constexpr int MaxShortcuts = 32;
constexpr UINT FirstShortcutCommand = 50000;

constexpr uint16_t KeyShift = 0x400;
constexpr uint16_t KeyCtrl = 0x800;
constexpr uint16_t KeyAlt = 0x1000;
constexpr uint16_t KeyExtended = 0x2000;

// False (and nothing changed) when the table cannot be built.
bool InstallShortcuts(const ProfileShortcut* entries, int count);
bool GetShortcut(int number, ProfileShortcut& destination);
int ShortcutCount();
// The accelerator table, or null when there are no shortcuts.
HACCEL ShortcutAccelerators();
void DestroyShortcutAccelerators();

// A path the settings hold longer than a shortcut can is kept whole here, so that it is written back as it was
// and its cut form is never opened.
void NoteCutShortcutPath(const std::wstring& cut, const std::wstring& whole);
bool IsCutShortcutPath(const wchar_t* path);
// The path as the settings file is to hold it.
std::wstring SavedShortcutPath(const wchar_t* path);

// One accelerator entry per shortcut, in list order.
ACCEL AcceleratorFor(uint16_t keyCode, int number);

// "Ctrl + Alt + Shift + key", as far as the key names could be had.
bool KeyCodeText(uint16_t keyCode, std::wstring& text);

// The hot-key control's value (HOTKEYF flags in the second byte) and back.
uint16_t KeyCodeFromHotKey(WORD hotKeyValue);
WORD HotKeyFromKeyCode(uint16_t keyCode);
