#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "shell/ProfileShortcuts.h"

namespace {
ProfileShortcut Entry(uint16_t keyCode, const wchar_t* path) {
  ProfileShortcut entry{};
  lstrcpynW(entry.path, path, 1025);
  entry.keyCode = keyCode;
  return entry;
}

std::vector<ACCEL> TableEntries(HACCEL table) {
  int count = CopyAcceleratorTableW(table, nullptr, 0);
  std::vector<ACCEL> entries(count);
  if (count) CopyAcceleratorTableW(table, entries.data(), count);
  return entries;
}

// Commands that reached the stand-in summary window, and keys that reached the focused window.
std::vector<WPARAM> g_commands;
std::vector<WPARAM> g_keysDown;
std::wstring g_typed;
WNDPROC g_editProc = nullptr;

LRESULT CALLBACK TargetProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_COMMAND) g_commands.push_back(wParam);
  return DefWindowProcW(window, message, wParam, lParam);
}

LRESULT CALLBACK EditSpy(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_KEYDOWN) g_keysDown.push_back(wParam);
  if (message == WM_CHAR) g_typed += (wchar_t)wParam;
  return CallWindowProcW(g_editProc, window, message, wParam, lParam);
}

// The tracker's loop: accelerators for the summary window first, whichever window has the focus.
void PumpLikeTracker(HWND target, DWORD ms) {
  DWORD start = GetTickCount();
  while (GetTickCount() - start < ms) {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (TranslateAcceleratorW(target, ShortcutAccelerators(), &msg)) continue;
      if (IsDialogMessageW(msg.hwnd, &msg)) continue;
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
  }
}

// Presses `vk` with the modifiers held, then releases everything.
void Press(std::vector<WORD> modifiers, WORD vk) {
  for (WORD m : modifiers) SendKey(m, false);
  SendKey(vk, false);
  SendKey(vk, true);
  for (auto it = modifiers.rbegin(); it != modifiers.rend(); ++it) SendKey(*it, true);
}

class ShortcutTest : public ::testing::Test {
 protected:
  void TearDown() override { InstallShortcuts(nullptr, 0); }
};

TEST_F(ShortcutTest, HotKeyValuesConvertBothWaysForEveryModifier) {
  INITCOMMONCONTROLSEX icc{sizeof icc, ICC_HOTKEY_CLASS};
  InitCommonControlsEx(&icc);
  HWND control = CreateWindowW(HOTKEY_CLASSW, L"", WS_POPUP, 0, 0, 100, 20, nullptr, nullptr, nullptr, nullptr);
  ASSERT_TRUE(control);
  const struct {
    BYTE hotKeyFlag;
    uint16_t keyBit;
  } modifiers[] = {{HOTKEYF_SHIFT, 0x400}, {HOTKEYF_CONTROL, 0x800}, {HOTKEYF_ALT, 0x1000}, {HOTKEYF_EXT, 0x2000}};
  for (int set = 0; set < 16; ++set) {
    BYTE flags = 0;
    uint16_t bits = 0;
    for (int m = 0; m < 4; ++m)
      if (set & (1 << m)) flags |= modifiers[m].hotKeyFlag, bits |= modifiers[m].keyBit;
    for (BYTE vk : {(BYTE)'K', (BYTE)VK_F7, (BYTE)VK_NEXT}) {
      SCOPED_TRACE(set * 1000 + vk);
      WORD hotKey = MAKEWORD(vk, flags);
      uint16_t keyCode = KeyCodeFromHotKey(hotKey);
      EXPECT_EQ(bits | vk, keyCode);
      EXPECT_EQ(hotKey, HotKeyFromKeyCode(keyCode));
      // What the control holds after it was given a stored key is that key again.
      SendMessageW(control, HKM_SETHOTKEY, HotKeyFromKeyCode(keyCode), 0);
      EXPECT_EQ(keyCode, KeyCodeFromHotKey((WORD)SendMessageW(control, HKM_GETHOTKEY, 0, 0)));
    }
  }
  DestroyWindow(control);
}

TEST_F(ShortcutTest, AcceleratorTableFollowsTheList) {
  ProfileShortcut entries[] = {Entry(0x800 | VK_F1, L"C:\\one.db"), Entry(0x400 | 0x1000 | 'B', L"C:\\two.db"),
                               Entry(0x2000 | VK_NEXT, L"C:\\three.db")};
  ASSERT_TRUE(InstallShortcuts(entries, 3));
  HACCEL first = ShortcutAccelerators();
  ASSERT_TRUE(first);
  std::vector<ACCEL> table = TableEntries(first);
  ASSERT_EQ(3u, table.size());
  EXPECT_EQ(FCONTROL | FVIRTKEY | FNOINVERT, table[0].fVirt);
  EXPECT_EQ(VK_F1, table[0].key);
  EXPECT_EQ(50000, table[0].cmd);
  EXPECT_EQ(FSHIFT | FALT | FVIRTKEY | FNOINVERT, table[1].fVirt);
  EXPECT_EQ('B', table[1].key);
  EXPECT_EQ(50001, table[1].cmd);
  EXPECT_EQ(0x20 | FVIRTKEY | FNOINVERT, table[2].fVirt & 0x7F);
  EXPECT_EQ(VK_NEXT, table[2].key);
  EXPECT_EQ(50002, table[2].cmd);

  ASSERT_EQ(3, ShortcutCount());
  ProfileShortcut got = Entry(0, L"untouched");
  ASSERT_TRUE(GetShortcut(1, got));
  EXPECT_STREQ(L"C:\\two.db", got.path);
  EXPECT_EQ(0x1400 | 'B', got.keyCode);
  got = Entry(7, L"untouched");
  EXPECT_FALSE(GetShortcut(3, got));
  EXPECT_FALSE(GetShortcut(-1, got));
  EXPECT_STREQ(L"untouched", got.path);
  EXPECT_EQ(7, got.keyCode);

  // The list is copied: the caller's array may go away.
  entries[0].keyCode = 0;
  ASSERT_TRUE(GetShortcut(0, got));
  EXPECT_EQ(0x800 | VK_F1, got.keyCode);

  ASSERT_TRUE(InstallShortcuts(entries + 2, 1));
  EXPECT_EQ(1, ShortcutCount());
  EXPECT_EQ(1u, TableEntries(ShortcutAccelerators()).size());
  EXPECT_EQ(0, CopyAcceleratorTableW(first, nullptr, 0)) << "the replaced table is destroyed";

  ASSERT_TRUE(InstallShortcuts(nullptr, 0));
  EXPECT_EQ(nullptr, ShortcutAccelerators());
  EXPECT_EQ(0, ShortcutCount());
}

std::wstring KeyName(UINT vk) {
  wchar_t name[64] = L"";
  GetKeyNameTextW((LONG)(MapVirtualKeyW(vk, MAPVK_VK_TO_VSC) << 16), name, 64);
  return name;
}

TEST_F(ShortcutTest, KeyTextNamesModifiersInOrder) {
  const std::wstring ctrl = KeyName(VK_CONTROL), alt = KeyName(VK_MENU), shift = KeyName(VK_SHIFT);
  ASSERT_FALSE(ctrl.empty() || alt.empty() || shift.empty());
  std::wstring text;
  EXPECT_TRUE(KeyCodeText(0x800 | 'A', text));
  EXPECT_EQ(ctrl + L" + A", text);
  EXPECT_TRUE(KeyCodeText(0x400 | 0x800 | 0x1000 | VK_F5, text));
  EXPECT_EQ(ctrl + L" + " + alt + L" + " + shift + L" + F5", text);
  EXPECT_TRUE(KeyCodeText(0x400 | '7', text));
  EXPECT_EQ(shift + L" + 7", text);
  // A key without a name: the text stops before it.
  EXPECT_FALSE(KeyCodeText(0x1000 | 0x07, text));
  EXPECT_EQ(alt + L" + ", text);
}

class ShortcutLoopTest : public ShortcutTest {
 protected:
  void SetUp() override {
    WNDCLASSW wc{};
    wc.lpfnWndProc = TargetProc;
    wc.lpszClassName = L"SummaryStandIn";
    RegisterClassW(&wc);
    target = CreateWindowW(L"SummaryStandIn", L"summary", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    other = CreateWindowW(L"EDIT", L"", WS_POPUP | WS_VISIBLE | WS_BORDER, 20, 20, 200, 30, nullptr, nullptr, nullptr,
                          nullptr);
    g_editProc = (WNDPROC)SetWindowLongPtrW(other, GWLP_WNDPROC, (LONG_PTR)EditSpy);
    SetForegroundWindow(other);
    SetFocus(other);
    PumpLikeTracker(target, 200);
    ASSERT_EQ(other, GetFocus());
    g_commands.clear();
    g_keysDown.clear();
    g_typed.clear();
  }
  void TearDown() override {
    DestroyWindow(other);
    DestroyWindow(target);
    ShortcutTest::TearDown();
  }
  HWND target = nullptr, other = nullptr;
};

TEST_F(ShortcutLoopTest, BoundKeysBecomeCommandsForTheSummaryWindow) {
  ProfileShortcut entries[] = {Entry(0x800 | 'Q', L"a.db"), Entry(0x400 | 0x800 | VK_F5, L"b.db")};
  ASSERT_TRUE(InstallShortcuts(entries, 2));
  Press({VK_CONTROL, VK_SHIFT}, VK_F5);
  PumpLikeTracker(target, 500);
  ASSERT_EQ(1u, g_commands.size());
  EXPECT_EQ(MAKEWPARAM(50001, 1), g_commands[0]);
  for (WPARAM key : g_keysDown) EXPECT_NE((WPARAM)VK_F5, key) << "a matched key goes no further";

  // Other keys, and a bound key without its modifier, reach the focused window unchanged.
  g_commands.clear();
  Press({}, 'Q');
  Press({VK_SHIFT}, 'W');
  PumpLikeTracker(target, 500);
  EXPECT_TRUE(g_commands.empty());
  EXPECT_EQ(L"qW", g_typed);
}

TEST_F(ShortcutLoopTest, WithoutShortcutsKeysPassThrough) {
  ProfileShortcut entry = Entry(0x800 | 'Q', L"a.db");
  ASSERT_TRUE(InstallShortcuts(&entry, 1));
  ASSERT_TRUE(InstallShortcuts(nullptr, 0));
  ASSERT_EQ(nullptr, ShortcutAccelerators());
  Press({VK_CONTROL}, 'Q');
  Press({}, 'Z');
  PumpLikeTracker(target, 500);
  EXPECT_TRUE(g_commands.empty());
  EXPECT_NE(g_keysDown.end(), std::find(g_keysDown.begin(), g_keysDown.end(), (WPARAM)'Q'));
  EXPECT_EQ(L"\x11z", g_typed);  // Ctrl+Q types its control character
}
}  // namespace
