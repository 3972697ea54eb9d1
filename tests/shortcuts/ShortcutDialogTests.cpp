#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <functional>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "TrackerTestSupport.h"
#include "resources/resource.h"
#include "shell/ProfileShortcuts.h"
#include "shell/ShortcutDialogs.h"

namespace {
const wchar_t ListTitle[] = L"プロファイル短縮キーの設定";
const wchar_t KeyTitle[] = L"プロファイル短縮キー";

const uint16_t CtrlA = 0x800 | 'A', CtrlB = 0x800 | 'B', CtrlC = 0x800 | 'C', ShiftF2 = 0x400 | VK_F2;

ProfileShortcut Entry(uint16_t keyCode, const std::wstring& path) {
  ProfileShortcut entry{};
  lstrcpynW(entry.path, path.c_str(), 1025);
  entry.keyCode = keyCode;
  return entry;
}

std::wstring TextOf(uint16_t keyCode) {
  std::wstring text;
  KeyCodeText(keyCode, text);
  return text;
}

// Without sending WM_GETTEXT: the dialog's thread may be waiting for the watcher.
std::wstring TitleOf(HWND window) {
  wchar_t text[256] = L"";
  InternalGetWindowText(window, text, 256);
  return text;
}

// ---- Acting on the key dialog from the watcher thread ----

void SetKey(HWND keyDialog, uint16_t keyCode) {
  SendDlgItemMessageW(keyDialog, IDC_SHORTCUT_KEY, HKM_SETHOTKEY, HotKeyFromKeyCode(keyCode), 0);
}
void SetPath(HWND keyDialog, const std::wstring& path) { SetDlgItemTextW(keyDialog, IDC_SHORTCUT_PATH, path.c_str()); }
std::wstring PathOf(HWND keyDialog) {
  wchar_t text[1100] = L"";
  GetDlgItemTextW(keyDialog, IDC_SHORTCUT_PATH, text, 1100);
  return text;
}
uint16_t KeyOf(HWND keyDialog) {
  return KeyCodeFromHotKey((WORD)SendDlgItemMessageW(keyDialog, IDC_SHORTCUT_KEY, HKM_GETHOTKEY, 0, 0));
}
void Post(HWND dialog, int id) {
  PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), (LPARAM)GetDlgItem(dialog, id));
}

// Presses OK and returns the warning it brought up (answered), or "" when the dialog closed instead.
std::wstring PressOk(HWND keyDialog) {
  const DWORD self = GetCurrentProcessId();
  Post(keyDialog, IDOK);
  WaitUntil([&] {
    HWND top = FindDialogOfProcess(self);
    return !IsWindow(keyDialog) || (top && GetWindow(top, GW_OWNER) == keyDialog);
  });
  if (!IsWindow(keyDialog)) return L"";
  MessageBoxAnswerer answerer(IDOK, self, 4000);
  if (!answerer.Wait()) return L"<neither a warning nor closed>";
  WaitUntil([&] { return FindDialogOfProcess(self) == keyDialog; });
  return answerer.Text();
}

// Leaves nothing open behind a driver that went wrong, so the test fails instead of hanging.
void Finish(HWND keyDialog) {
  WaitUntil(
      [&] {
        if (!IsWindow(keyDialog)) return true;
        HWND top = FindDialogOfProcess(GetCurrentProcessId());
        if (top && top != keyDialog) Post(top, IDCANCEL);
        Post(keyDialog, IDCANCEL);
        return false;
      },
      5000);
}

BOOL CALLBACK CountListDialogs(HWND window, LPARAM count) {
  if (IsWindowVisible(window) && WindowText(window) == ListTitle) ++*(int*)count;
  return TRUE;
}

class ShortcutDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_LISTVIEW_CLASSES | ICC_HOTKEY_CLASS};
    InitCommonControlsEx(&icc);
    owner = CreateWindowW(L"STATIC", L"main", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    for (const wchar_t* name : {L"a.db", L"b.db", L"c.db"}) WriteWholeFile(folder.File(name), "");
  }
  void TearDown() override {
    if (IsWindow(dialog)) DestroyWindow(dialog);
    DestroyWindow(owner);
    InstallShortcuts(nullptr, 0);
  }

  // What the tray command does.
  HWND Open() {
    if (g_shortcutDialogOpen) return nullptr;
    g_shortcutDialogOpen = true;
    dialog = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_SHORTCUT_LIST), owner,
                                ShortcutListDialogProc, (LPARAM)owner);
    return dialog;
  }
  void Install(const std::vector<ProfileShortcut>& entries) {
    ASSERT_TRUE(InstallShortcuts(entries.data(), (int)entries.size()));
  }
  HWND List() { return GetDlgItem(dialog, IDC_SHORTCUT_LIST); }
  int Rows() { return RowCount(List()); }
  std::wstring Cell(int row, int column) { return ::Cell(List(), row, column); }
  LPARAM Data(int row) {
    LVITEMW item{};
    item.mask = LVIF_PARAM;
    item.iItem = row;
    SendMessageW(List(), LVM_GETITEMW, 0, (LPARAM)&item);
    return item.lParam;
  }
  void Select(int row) {
    LVITEMW item{};
    item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    item.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(List(), LVM_SETITEMSTATE, row, (LPARAM)&item);
  }
  void Click(int id) { SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), (LPARAM)GetDlgItem(dialog, id)); }
  // Clicks `button` on the list dialog and runs `drive` on the key dialog it opens; false when none opened.
  bool WithKeyDialog(int button, const std::function<void(HWND)>& drive, DWORD timeoutMs = 10000) {
    DialogDriver driver([](HWND d) { return TitleOf(d) == KeyTitle; },
                        [&](HWND d) {
                          drive(d);
                          Finish(d);
                        },
                        GetCurrentProcessId(), timeoutMs);
    Click(button);
    return driver.Wait();
  }
  std::wstring ShortcutPath(int n) {
    ProfileShortcut entry{};
    return GetShortcut(n, entry) ? entry.path : L"<none>";
  }
  int ShortcutKey(int n) {
    ProfileShortcut entry{};
    return GetShortcut(n, entry) ? entry.keyCode : -1;
  }

  ScratchFolder folder;
  HWND owner = nullptr;
  HWND dialog = nullptr;
};

TEST_F(ShortcutDialogTest, ListShowsTheShortcutsAndOkInstallsTheRows) {
  Install({Entry(CtrlA, folder.File(L"a.db")), Entry(ShiftF2, folder.File(L"b.db"))});
  ASSERT_TRUE(Open());
  EXPECT_TRUE(IsWindowVisible(dialog));
  EXPECT_EQ(ListTitle, WindowText(dialog));
  EXPECT_EQ(owner, GetWindow(dialog, GW_OWNER));

  ASSERT_EQ(2, Rows());
  EXPECT_EQ(TextOf(CtrlA), Cell(0, 0));
  EXPECT_EQ(folder.File(L"a.db"), Cell(0, 1));
  EXPECT_EQ(CtrlA, Data(0));
  EXPECT_EQ(TextOf(ShiftF2), Cell(1, 0));
  EXPECT_NE(TextOf(CtrlA), TextOf(ShiftF2));
  EXPECT_EQ(ShiftF2, Data(1));

  wchar_t header[64] = L"";
  LVCOLUMNW column{};
  column.mask = LVCF_TEXT | LVCF_WIDTH;
  column.pszText = header;
  column.cchTextMax = 64;
  ASSERT_TRUE(SendMessageW(List(), LVM_GETCOLUMNW, 0, (LPARAM)&column));
  EXPECT_STREQ(L"短縮キー", header);
  EXPECT_EQ(100, column.cx);
  ASSERT_TRUE(SendMessageW(List(), LVM_GETCOLUMNW, 1, (LPARAM)&column));
  EXPECT_STREQ(L"プロファイル", header);
  EXPECT_EQ(200, column.cx);
  DWORD extended = (DWORD)SendMessageW(List(), LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0);
  EXPECT_TRUE(extended & LVS_EX_GRIDLINES);
  EXPECT_TRUE(extended & LVS_EX_FULLROWSELECT);

  // Deleting every row and confirming leaves no shortcut and no table.
  Select(0);
  Click(IDC_SHORTCUT_DELETE);
  Select(0);
  Click(IDC_SHORTCUT_DELETE);
  EXPECT_EQ(0, Rows());
  Click(IDOK);
  EXPECT_FALSE(IsWindow(dialog));
  EXPECT_FALSE(g_shortcutDialogOpen);
  EXPECT_EQ(0, ShortcutCount());
  EXPECT_EQ(nullptr, ShortcutAccelerators());
}

TEST_F(ShortcutDialogTest, AThirtyThirdShortcutCannotBeAdded) {
  std::vector<ProfileShortcut> entries;
  for (int i = 0; i < 31; ++i) entries.push_back(Entry((uint16_t)(0x800 | (i < 26 ? 'A' + i : '0' + i - 26)), L"x.db"));
  Install(entries);
  ASSERT_TRUE(Open());
  std::wstring warning = L"<not run>";
  ASSERT_TRUE(WithKeyDialog(IDC_SHORTCUT_ADD, [&](HWND keyDialog) {
    SetKey(keyDialog, 0x1000 | 'X');
    SetPath(keyDialog, folder.File(L"c.db"));
    warning = PressOk(keyDialog);
  }));
  EXPECT_EQ(L"", warning);
  ASSERT_EQ(32, Rows());
  EXPECT_EQ(0x1000 | 'X', Data(31));

  EXPECT_FALSE(WithKeyDialog(IDC_SHORTCUT_ADD, [](HWND) {}, 2000));
  EXPECT_EQ(32, Rows());
  Click(IDOK);
  EXPECT_EQ(32, ShortcutCount());
  EXPECT_EQ(0x1000 | 'X', ShortcutKey(31));
  EXPECT_EQ(folder.File(L"c.db"), ShortcutPath(31));
  EXPECT_EQ(32, CopyAcceleratorTableW(ShortcutAccelerators(), nullptr, 0));
}

TEST_F(ShortcutDialogTest, EditingKeepsItsOwnKeyButNotAnotherRowsKey) {
  Install({Entry(CtrlA, folder.File(L"a.db")), Entry(CtrlB, folder.File(L"b.db"))});
  ASSERT_TRUE(Open());
  Select(0);
  uint16_t shownKey = 0;
  std::wstring shownPath, warning = L"<not run>";
  ASSERT_TRUE(WithKeyDialog(IDC_SHORTCUT_EDIT, [&](HWND keyDialog) {
    shownKey = KeyOf(keyDialog);
    shownPath = PathOf(keyDialog);
    SetPath(keyDialog, folder.File(L"c.db"));
    warning = PressOk(keyDialog);
  }));
  EXPECT_EQ(CtrlA, shownKey);
  EXPECT_EQ(folder.File(L"a.db"), shownPath);
  EXPECT_EQ(L"", warning);
  EXPECT_EQ(folder.File(L"c.db"), Cell(0, 1));
  EXPECT_EQ(CtrlA, Data(0));

  std::vector<std::wstring> warnings;
  Select(0);
  ASSERT_TRUE(WithKeyDialog(IDC_SHORTCUT_EDIT, [&](HWND keyDialog) {
    SetKey(keyDialog, CtrlB);
    warnings.push_back(PressOk(keyDialog));
    SetKey(keyDialog, CtrlC);
    warnings.push_back(PressOk(keyDialog));
  }));
  EXPECT_EQ((std::vector<std::wstring>{L"既に登録されているキーです", L""}), warnings);
  EXPECT_EQ(TextOf(CtrlC), Cell(0, 0));
  EXPECT_EQ(CtrlC, Data(0));
  EXPECT_EQ(2, Rows());

  // Editing with nothing selected opens nothing.
  LVITEMW none{};
  none.stateMask = LVIS_SELECTED;
  SendMessageW(List(), LVM_SETITEMSTATE, (WPARAM)-1, (LPARAM)&none);
  EXPECT_FALSE(WithKeyDialog(IDC_SHORTCUT_EDIT, [](HWND) {}, 2000));

  Click(IDOK);
  EXPECT_EQ(CtrlC, ShortcutKey(0));
  EXPECT_EQ(folder.File(L"c.db"), ShortcutPath(0));
  EXPECT_EQ(CtrlB, ShortcutKey(1));
}

TEST_F(ShortcutDialogTest, AddingWarnsInOrderAndBrowsesForTheFile) {
  Install({Entry(CtrlA, folder.File(L"a.db"))});
  ASSERT_TRUE(Open());
  std::vector<std::wstring> warnings;
  uint16_t startKey = 1;
  std::wstring startPath = L"<not run>", browsed;
  ASSERT_TRUE(WithKeyDialog(IDC_SHORTCUT_ADD, [&](HWND keyDialog) {
    startKey = KeyOf(keyDialog);
    startPath = PathOf(keyDialog);
    SetPath(keyDialog, folder.File(L"missing.db"));
    warnings.push_back(PressOk(keyDialog));  // no key, even with a path
    SetKey(keyDialog, 0x800);                // a modifier alone is no key either
    warnings.push_back(PressOk(keyDialog));
    SetKey(keyDialog, CtrlA);
    warnings.push_back(PressOk(keyDialog));
    SetKey(keyDialog, CtrlB);
    SetPath(keyDialog, L"");
    warnings.push_back(PressOk(keyDialog));
    SetPath(keyDialog, folder.File(L"missing.db"));
    warnings.push_back(PressOk(keyDialog));

    DialogDriver fileDialog([&](HWND d) { return d != keyDialog && TitleOf(d) != ListTitle; },
                            [&](HWND d) { AnswerFileDialog(d, folder.File(L"b.db")); });
    Post(keyDialog, IDC_SHORTCUT_BROWSE);
    fileDialog.Wait();
    WaitUntil([&] { return PathOf(keyDialog) != folder.File(L"missing.db"); });
    browsed = PathOf(keyDialog);
    warnings.push_back(PressOk(keyDialog));
  }));
  EXPECT_EQ(0, startKey);
  EXPECT_EQ(L"", startPath);
  EXPECT_EQ((std::vector<std::wstring>{L"短縮キーを設定してください", L"短縮キーを設定してください",
                                       L"既に登録されているキーです", L"プロファイルパスを指定してください",
                                       L"存在するパスを指定してください", L""}),
            warnings);
  EXPECT_EQ(folder.File(L"b.db"), browsed);
  ASSERT_EQ(2, Rows());
  EXPECT_EQ(CtrlB, Data(1));
  EXPECT_EQ(folder.File(L"b.db"), Cell(1, 1));
}

TEST_F(ShortcutDialogTest, CancelKeepsThePreviousShortcuts) {
  Install({Entry(CtrlA, folder.File(L"a.db")), Entry(CtrlB, folder.File(L"b.db"))});
  HACCEL table = ShortcutAccelerators();
  ASSERT_TRUE(Open());
  Select(0);
  Click(IDC_SHORTCUT_DELETE);
  ASSERT_TRUE(WithKeyDialog(IDC_SHORTCUT_ADD, [&](HWND keyDialog) {
    SetKey(keyDialog, CtrlC);
    SetPath(keyDialog, folder.File(L"c.db"));
    PressOk(keyDialog);
  }));
  ASSERT_EQ(2, Rows());
  // A key dialog that is cancelled changes no row either.
  Select(0);
  ASSERT_TRUE(WithKeyDialog(IDC_SHORTCUT_EDIT, [&](HWND keyDialog) {
    SetKey(keyDialog, 0x800 | 'D');
    Post(keyDialog, IDCANCEL);
    WaitUntil([&] { return !IsWindow(keyDialog); });
  }));
  EXPECT_EQ(CtrlB, Data(0));

  Click(IDCANCEL);
  EXPECT_FALSE(IsWindow(dialog));
  EXPECT_FALSE(g_shortcutDialogOpen);
  EXPECT_EQ(table, ShortcutAccelerators());
  ASSERT_EQ(2, ShortcutCount());
  EXPECT_EQ(CtrlA, ShortcutKey(0));
  EXPECT_EQ(CtrlB, ShortcutKey(1));
  EXPECT_EQ(folder.File(L"b.db"), ShortcutPath(1));
}

TEST_F(ShortcutDialogTest, OnlyOneListDialogAtATime) {
  ASSERT_TRUE(Open());
  HWND first = dialog;
  EXPECT_EQ(nullptr, Open());
  int shown = 0;
  EnumWindows(CountListDialogs, (LPARAM)&shown);
  EXPECT_EQ(1, shown);
  // Closing the window by its frame clears the mark too.
  SendMessageW(first, WM_CLOSE, 0, 0);
  EXPECT_FALSE(IsWindow(first));
  EXPECT_FALSE(g_shortcutDialogOpen);
  EXPECT_TRUE(Open());
}
}  // namespace

namespace {
TEST_F(ShortcutDialogTest, KeyDialogTakesRealKeysTabAndEscape) {
  ASSERT_TRUE(Open());
  bool closed = false;
  uint16_t typed = 0;
  HWND next = nullptr, focused = nullptr;
  ASSERT_TRUE(WithKeyDialog(IDC_SHORTCUT_ADD, [&](HWND d) {
    SetForegroundWindow(d);
    HWND key = GetDlgItem(d, IDC_SHORTCUT_KEY);
    SendMessageW(d, WM_NEXTDLGCTL, (WPARAM)key, TRUE);
    DWORD thread = GetWindowThreadProcessId(d, nullptr);
    PressKey('B', VK_CONTROL);
    WaitUntil([&] { return (typed = KeyOf(d)) == CtrlB; }, 5000);
    next = GetNextDlgTabItem(d, key, FALSE);
    PressKey(VK_TAB);
    WaitUntil([&] { return (focused = FocusOf(thread)) == next; }, 5000);
    PressKey(VK_ESCAPE);
    closed = WaitUntil([&] { return !IsWindow(d); }, 5000);
  }));
  EXPECT_EQ(CtrlB, typed) << "Ctrl+B in the key box";
  EXPECT_EQ(next, focused) << "Tab leaves the key box";
  EXPECT_TRUE(closed) << "Escape cancels";
  EXPECT_EQ(0, Rows());
}

// Room for the system's Japanese UI font, which draws wide characters about a fifth wider than these fonts.
TEST(ShortcutDialogLayout, EveryTextFitsWithRoomForTheJapaneseUiFont) {
  EXPECT_EQ(std::vector<std::string>{}, ClippedTexts(GetModuleHandleW(nullptr), IDD_SHORTCUT_LIST, 1.2));
  EXPECT_EQ(std::vector<std::string>{}, ClippedTexts(GetModuleHandleW(nullptr), IDD_SHORTCUT_KEY, 1.2));
}
}  // namespace
