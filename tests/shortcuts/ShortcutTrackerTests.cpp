// Shortcuts in the tracker itself (its hidden window, summary window and loop in this process, with a scripted
// probe): the list's way through the settings file and the list dialog, and a real key press switching profiles.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <atomic>
#include <string>
#include <thread>

#include "TrackerTestSupport.h"
#include "resources/resource.h"
#include "shell/AppState.h"
#include "shell/ChangeJournal.h"
#include "shell/MainWindow.h"
#include "shell/ProbeBinding.h"
#include "shell/ProfileShortcuts.h"
#include "shell/ShortcutDialogs.h"
#include "store/RecordDatabase.h"

namespace {
const wchar_t ListTitle[] = L"プロファイル短縮キーの設定";
const wchar_t KeyTitle[] = L"プロファイル短縮キー";


// Without sending WM_GETTEXT, so a watcher thread never waits on the tracker's thread.
std::wstring TitleOf(HWND window) {
  wchar_t text[512] = L"";
  InternalGetWindowText(window, text, 512);
  return text;
}

struct DialogCount {
  int count = 0;
  HWND last = nullptr;
};
BOOL CALLBACK CountListDialogs(HWND window, LPARAM param) {
  auto* found = reinterpret_cast<DialogCount*>(param);
  if (IsWindowVisible(window) && TitleOf(window) == ListTitle) ++found->count, found->last = window;
  return TRUE;
}

class ShortcutTrackerTest : public TrackerFixture {
 protected:
  void SetUp() override {
    TrackerFixture::SetUp();
    for (const wchar_t* name : {L"a.db", L"b.db", L"c.db"}) WriteWholeFile(folder.File(name), "");
  }
  // The tray menu's "プロフ短縮キー設定"; the list dialog, once only.
  HWND OpenFromMenu() {
    SendMessageW(window, WM_COMMAND, IDM_SHORTCUT_SETTINGS, 0);
    DialogCount found;
    EnumWindows(CountListDialogs, (LPARAM)&found);
    return found.count == 1 ? found.last : nullptr;
  }
  int ListDialogs() {
    DialogCount found;
    EnumWindows(CountListDialogs, (LPARAM)&found);
    return found.count;
  }
  static void Click(HWND dialog, int id) {
    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), (LPARAM)GetDlgItem(dialog, id));
  }
  static int Rows(HWND dialog) { return (int)SendDlgItemMessageW(dialog, IDC_SHORTCUT_LIST, LVM_GETITEMCOUNT, 0, 0); }
  static void SelectFirst(HWND dialog) {
    LVITEMW item{};
    item.stateMask = item.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendDlgItemMessageW(dialog, IDC_SHORTCUT_LIST, LVM_SETITEMSTATE, 0, (LPARAM)&item);
  }

};

TEST_F(ShortcutTrackerTest, ListGoesThroughSettingsAndTheListDialog) {
  Settings("[Shortcut]\r\nKey0=2113\r\nPath0=" + Ascii(folder.File(L"a.db")) + "\r\nKey1=2114\r\nPath1=" +
           Ascii(folder.File(L"b.db")) + "\r\nKey2=3140\r\nPath2=" + Ascii(folder.File(L"c.db")) +
           "\r\nKey3=0\r\nPath3=d.db\r\nKey4=2117\r\nPath4=e.db\r\n");
  ASSERT_TRUE(Start());
  ASSERT_EQ(3, ShortcutCount());
  EXPECT_EQ(3, CopyAcceleratorTableW(ShortcutAccelerators(), nullptr, 0));

  HWND dialog = OpenFromMenu();
  ASSERT_TRUE(dialog);
  EXPECT_EQ(window, GetWindow(dialog, GW_OWNER));
  EXPECT_EQ(3, Rows(dialog));
  SendMessageW(window, WM_COMMAND, IDM_SHORTCUT_SETTINGS, 0);
  EXPECT_EQ(1, ListDialogs()) << "a second open shows no second dialog";

  for (int i = 0; i < 3; ++i) {
    SelectFirst(dialog);
    Click(dialog, IDC_SHORTCUT_DELETE);
  }
  ASSERT_EQ(0, Rows(dialog));
  Click(dialog, IDOK);
  EXPECT_EQ(0, ListDialogs());
  EXPECT_EQ(0, ShortcutCount());
  EXPECT_EQ(nullptr, ShortcutAccelerators());
  EXPECT_EQ(0, Exit());
  EXPECT_EQ(L"<none>", Raw(L"Shortcut", L"Key0"));
  EXPECT_EQ(L"<none>", Raw(L"Shortcut", L"Path0"));

  // The next start has none; one added there is what the file holds after it.
  ASSERT_TRUE(Start());
  EXPECT_EQ(0, ShortcutCount());
  dialog = OpenFromMenu();
  ASSERT_TRUE(dialog);
  {
    DialogDriver driver([](HWND d) { return TitleOf(d) == KeyTitle; },
                        [&](HWND d) {
                          SendDlgItemMessageW(d, IDC_SHORTCUT_KEY, HKM_SETHOTKEY, MAKEWORD('X', HOTKEYF_ALT), 0);
                          SetDlgItemTextW(d, IDC_SHORTCUT_PATH, folder.File(L"c.db").c_str());
                          PostMessageW(d, WM_COMMAND, IDOK, 0);
                          if (!WaitUntil([&] { return !IsWindow(d); }, 5000)) PostMessageW(d, WM_COMMAND, IDCANCEL, 0);
                        });
    Click(dialog, IDC_SHORTCUT_ADD);
    ASSERT_TRUE(driver.Wait());
  }
  Click(dialog, IDOK);
  EXPECT_EQ(1, ShortcutCount());
  EXPECT_EQ(0, Exit());
  EXPECT_EQ(L"4184", Raw(L"Shortcut", L"Key0"));  // Alt (0x1000) + 'X'
  EXPECT_EQ(folder.File(L"c.db"), Raw(L"Shortcut", L"Path0"));
  EXPECT_EQ(L"<none>", Raw(L"Shortcut", L"Key1"));
}

TEST_F(ShortcutTrackerTest, KeyPressInAnotherTrackerWindowSwitchesTheProfile) {
  std::wstring first = folder.File(L"first.db"), other = folder.File(L"other.db");
  WriteWholeFile(first, "");
  WriteWholeFile(other, "");
  Settings("[General]\r\nProfile=" + Ascii(first) + "\r\n[Shortcut]\r\nKey0=2113\r\nPath0=" +
           Ascii(folder.File(L"a.db")) + "\r\nKey1=3189\r\nPath1=" + Ascii(other) + "\r\n");  // Ctrl+Shift+F6
  ASSERT_TRUE(Start());
  EXPECT_EQ(L"Corvenka Rev.9 - first", TitleOf(g_app.summaryWindow));

  probe.names = {{7, "host"}, {8, "guest"}};
  probe.values = {{4, 2}, {5, 1}, {2, 3}, {3, 7}, {1, 0}, {0, 0}};
  SendMessageW(window, ProbeNotifyMessage, ParamChangedWParam(Side1Wins), 2);
  ASSERT_EQ(1, CountRows(first));
  ASSERT_TRUE(CanUndo());

  // The shortcut list dialog has the focus, not the (hidden) summary window.
  HWND dialog = OpenFromMenu();
  ASSERT_TRUE(dialog);
  SetForegroundWindow(dialog);
  SetFocus(GetDlgItem(dialog, IDC_SHORTCUT_LIST));
  ASSERT_EQ(GetDlgItem(dialog, IDC_SHORTCUT_LIST), GetFocus());

  DWORD trackerThread = GetCurrentThreadId();
  std::atomic<bool> switched{false};
  std::thread keyboard([&] {
    Sleep(300);  // let the loop start; the outcome is waited for below
    SendKey(VK_CONTROL, false);
    SendKey(VK_SHIFT, false);
    SendKey(VK_F6, false);
    SendKey(VK_F6, true);
    SendKey(VK_SHIFT, true);
    SendKey(VK_CONTROL, true);
    switched = WaitUntil([] { return TitleOf(g_app.summaryWindow) == L"Corvenka Rev.9 - other"; }, 10000);
    PostThreadMessageW(trackerThread, WM_QUIT, 0, 0);
  });
  EXPECT_EQ(0, RunMessageLoop());
  keyboard.join();

  EXPECT_TRUE(switched) << "title: " << Ascii(TitleOf(g_app.summaryWindow));
  EXPECT_EQ(other, CurrentDatabasePath());
  EXPECT_FALSE(CanUndo());
  EXPECT_TRUE(IsWindow(dialog)) << "the list dialog is not the summary window's";
  EXPECT_EQ(0, Exit());
  EXPECT_EQ(other, Raw(L"General", L"Profile"));
}
}  // namespace

namespace {
TEST_F(ShortcutTrackerTest, ListDialogTakesTabAndEscapeAndComesForwardWhenChosenAgain) {
  ASSERT_TRUE(Start());
  HWND dialog = OpenFromMenu();
  ASSERT_TRUE(dialog);
  HWND list = GetDlgItem(dialog, IDC_SHORTCUT_LIST);
  SetForegroundWindow(dialog);
  SetFocus(list);
  DWORD self = GetCurrentThreadId();
  EXPECT_TRUE(LoopWithInput([] { PressKey(VK_TAB); },
                            [&] { HWND f = FocusOf(self); return f && f != list && GetParent(f) == dialog; }))
      << "Tab leaves the list for a button";
  HWND button = FocusOf(self);
  EXPECT_TRUE(LoopWithInput([] { PressKey(VK_TAB, VK_SHIFT); }, [&] { return FocusOf(self) == list; }))
      << "Shift+Tab goes back";

  // Chosen again while another window is in front, the one dialog comes forward.
  HWND other = CreateWindowExW(0, L"STATIC", L"other", WS_POPUP | WS_VISIBLE, 0, 0, 50, 50, nullptr, nullptr,
                               nullptr, nullptr);
  SetForegroundWindow(other);
  ASSERT_EQ(other, GetForegroundWindow());
  SendMessageW(window, WM_COMMAND, IDM_SHORTCUT_SETTINGS, 0);
  EXPECT_EQ(1, ListDialogs());
  EXPECT_EQ(dialog, GetForegroundWindow());
  DestroyWindow(other);

  SetForegroundWindow(dialog);
  SetFocus(button);
  EXPECT_TRUE(LoopWithInput([] { PressKey(VK_ESCAPE); }, [&] { return !IsWindow(dialog); })) << "Escape closes it";
  EXPECT_EQ(0, ListDialogs());
  EXPECT_EQ(0, Exit());
}
}  // namespace

namespace {
BOOL CALLBACK CountOwnedDialogs(HWND window, LPARAM param) {
  auto* found = reinterpret_cast<std::pair<HWND, int>*>(param);
  if (IsWindowVisible(window) && GetWindow(window, GW_OWNER) == found->first) ++found->second;
  return TRUE;
}

TEST_F(ShortcutTrackerTest, PathDialogOpensMidScreenAndComesForwardWhenChosenAgain) {
  ASSERT_TRUE(Start());
  HWND other = CreateWindowExW(0, L"STATIC", L"other", WS_POPUP | WS_VISIBLE, 0, 0, 50, 50, nullptr, nullptr,
                               nullptr, nullptr);
  RECT where{};
  bool forward = false;
  int dialogs = 0;
  DialogDriver driver([&](HWND d) { return GetWindow(d, GW_OWNER) == window; },
                      [&](HWND d) {
                        GetWindowRect(d, &where);
                        SetForegroundWindow(other);
                        // The other program's path, chosen from the menu while this dialog is open.
                        DWORD_PTR ignored;
                        SendMessageTimeoutW(window, WM_COMMAND, IDM_REPORT_PATH, 0, SMTO_NORMAL, 5000, &ignored);
                        forward = GetForegroundWindow() == d;
                        std::pair<HWND, int> found{window, 0};
                        EnumWindows(CountOwnedDialogs, (LPARAM)&found);
                        dialogs = found.second;
                        for (int i = 0; i < 2; ++i) {
                          if (HWND open = FindDialogOfProcess(GetCurrentProcessId(), other))
                            PostMessageW(open, WM_COMMAND, IDCANCEL, 0);
                          WaitUntil([&] { return !IsWindow(d); }, 3000);
                        }
                      });
  SendMessageW(window, WM_COMMAND, IDM_GAME_PATH, 0);
  ASSERT_TRUE(driver.Wait());
  DestroyWindow(other);
  EXPECT_EQ(1, dialogs);
  EXPECT_TRUE(forward);
  RECT work;
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  EXPECT_NEAR((work.left + work.right) / 2, (where.left + where.right) / 2, 2);
  EXPECT_NEAR((work.top + work.bottom) / 2, (where.top + where.bottom) / 2, 2);
  EXPECT_EQ(L"<none>", Raw(L"Autorun", L"GameProgram.FileName"));
  EXPECT_EQ(0, Exit());
}
}  // namespace
