#include <gtest/gtest.h>

#include <cstring>

#include "ViewTestSupport.h"
#include "resources/resource.h"
#include "common/CharacterTable.h"
#include "common/TextUtil.h"
#include "store/RecordFilter.h"
#include "views/ViewWindows.h"

namespace {
// Acts on a modal filter dialog from the driver's thread, as a user would with the mouse and keyboard.
struct DialogHand {
  HWND dialog;
  void Click(int id) { SendMessageW(GetDlgItem(dialog, id), BM_CLICK, 0, 0); }
  void Type(int id, const wchar_t* text) {
    for (const wchar_t* c = text; *c; ++c) SendMessageW(GetDlgItem(dialog, id), WM_CHAR, *c, 0);
  }
  void SetText(int id, const wchar_t* text) { SetDlgItemTextW(dialog, id, text); }
  std::wstring Text(int id) { return WindowText(GetDlgItem(dialog, id)); }
  bool Enabled(int id) { return IsWindowEnabled(GetDlgItem(dialog, id)) != 0; }
  bool Ticked(int id) { return IsDlgButtonChecked(dialog, id) == BST_CHECKED; }
  void SetDate(int id, int year, int month, int day) {
    SYSTEMTIME t{};
    t.wYear = (WORD)year;
    t.wMonth = (WORD)month;
    t.wDay = (WORD)day;
    t.wHour = 15;  // the dialog must drop the picker's time of day
    t.wMinute = 30;
    SendDlgItemMessageW(dialog, id, DTM_SETSYSTEMTIME, GDT_VALID, (LPARAM)&t);
  }
  SYSTEMTIME Date(int id) {
    SYSTEMTIME t{};
    SendDlgItemMessageW(dialog, id, DTM_GETSYSTEMTIME, 0, (LPARAM)&t);
    return t;
  }
  // OK is posted: a warning box would block a sent click.
  void PressOk() { PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), (LPARAM)GetDlgItem(dialog, IDOK)); }
  void PressCancel() {
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), (LPARAM)GetDlgItem(dialog, IDCANCEL));
  }
  std::wstring Warning(UINT* icon = nullptr) { return AnswerWarning(dialog, icon); }
  // Presses OK and expects the dialog to end; a warning instead is answered and the dialog cancelled.
  bool OkCloses() {
    PressOk();
    HWND box = nullptr;
    WaitUntil([&] {
      box = FindDialogOfProcess(GetCurrentProcessId(), dialog);
      return !IsWindow(dialog) || (box && GetDlgItem(box, 0xFFFF));
    });
    if (!IsWindow(dialog)) return true;
    ADD_FAILURE() << "warning instead: " << WideToUtf8(Warning().c_str());
    PressCancel();
    return false;
  }
};

// Shows the dialog modally on this thread while `script` drives it from another.
INT_PTR RunCustom(RecordFilter* destination, const std::function<void(DialogHand&)>& script) {
  DialogDriver driver([](HWND h) { return WindowText(h) == L"カスタム戦績"; },
                      [script](HWND h) {
                        DialogHand hand{h};
                        script(hand);
                      });
  INT_PTR result = ShowCustomFilterDialog(nullptr, destination);
  EXPECT_TRUE(driver.Wait());
  return result;
}

INT_PTR RunHistory(HWND owner, const std::function<void(DialogHand&)>& script) {
  DialogDriver driver([](HWND h) { return WindowText(h) == L"対戦履歴フィルタの設定"; },
                      [script](HWND h) {
                        DialogHand hand{h};
                        script(hand);
                      });
  INT_PTR result = ShowHistoryFilterDialog(owner);
  EXPECT_TRUE(driver.Wait());
  return result;
}

RecordFilter Garbage() {
  RecordFilter f;
  memset(&f, 0x5A, sizeof f);
  return f;
}

class FilterDialogsTest : public ::testing::Test {
 protected:
  void SetUp() override { owner = MakeOwnerWindow(); }
  void TearDown() override {
    for (HWND w : OwnedWindows(owner)) DestroyWindow(w);
    DestroyWindow(owner);
  }
  // The history windows that a confirmed history filter dialog opened.
  HWND OnlyHistoryWindow() {
    std::vector<HWND> windows = OwnedWindows(owner, L"対戦履歴");
    return windows.size() == 1 ? windows[0] : nullptr;
  }
  ScratchProfile profile;
  HWND owner = nullptr;
};

TEST_F(FilterDialogsTest, CustomStartsClearAndTheBoxesEnableTheirFields) {
  RecordFilter destination = Garbage();
  SYSTEMTIME today;
  GetLocalTime(&today);
  INT_PTR result = RunCustom(&destination, [&](DialogHand& d) {
    for (int box : {IDC_P1_CHECK, IDC_P2_CHECK, IDC_FROM_CHECK, IDC_TO_CHECK}) {
      EXPECT_TRUE(d.Enabled(box)) << box;
      EXPECT_FALSE(d.Ticked(box)) << box;
    }
    for (int field : {IDC_P1_NAME, IDC_P1_WILDCARD, IDC_P2_NAME, IDC_P2_WILDCARD, IDC_FROM_DATE, IDC_TO_DATE})
      EXPECT_FALSE(d.Enabled(field)) << field;
    for (int picker : {IDC_FROM_DATE, IDC_TO_DATE}) {
      SYSTEMTIME shown = d.Date(picker);
      EXPECT_EQ(today.wYear, shown.wYear);
      EXPECT_EQ(today.wMonth, shown.wMonth);
      EXPECT_EQ(today.wDay, shown.wDay);
    }
    EXPECT_EQ(L"自分側", d.Text(IDC_P1_CHECK));
    EXPECT_EQ(L"相手側", d.Text(IDC_P2_CHECK));
    EXPECT_EQ(L"キャンセル", d.Text(IDCANCEL));
    // The destination's address stays on the dialog while it is open.
    EXPECT_EQ((HANDLE)&destination, GetPropW(d.dialog, L"filterResult"));

    d.Click(IDC_P1_CHECK);
    EXPECT_TRUE(d.Enabled(IDC_P1_NAME));
    EXPECT_TRUE(d.Enabled(IDC_P1_WILDCARD));
    EXPECT_FALSE(d.Enabled(IDC_P2_NAME));
    d.Click(IDC_TO_CHECK);
    EXPECT_TRUE(d.Enabled(IDC_TO_DATE));
    EXPECT_FALSE(d.Enabled(IDC_FROM_DATE));
    // Unticked again: the typed name stays but counts for nothing.
    d.Type(IDC_P1_NAME, L"abc");
    d.Click(IDC_P1_CHECK);
    d.Click(IDC_TO_CHECK);
    EXPECT_FALSE(d.Enabled(IDC_P1_NAME));
    EXPECT_EQ(L"abc", d.Text(IDC_P1_NAME));
    d.PressOk();
  });
  EXPECT_EQ(IDOK, result);
  EXPECT_EQ(0u, destination.flags);
}

TEST_F(FilterDialogsTest, CustomNamesArePatternsOnlyWithTheWildcardBox) {
  RecordFilter destination = Garbage();
  INT_PTR result = RunCustom(&destination, [](DialogHand& d) {
    d.Click(IDC_P1_CHECK);
    d.Type(IDC_P1_NAME, L"ア%b_");
    d.Click(IDC_P1_WILDCARD);
    d.Click(IDC_P2_CHECK);
    d.Type(IDC_P2_NAME, L"ア%b_");
    d.PressOk();
  });
  ASSERT_EQ(IDOK, result);
  EXPECT_EQ((uint32_t)(FilterP1NameLike | FilterP2Name), destination.flags);
  std::string expected = WideToAnsi(L"ア%b_");
  ASSERT_EQ(5u, expected.size()) << "the name is stored in the ANSI code page";
  EXPECT_EQ(expected, destination.p1name);
  EXPECT_EQ(expected, destination.p2name);
}

TEST_F(FilterDialogsTest, CustomNameFieldsTakeSixteenCharacters) {
  RecordFilter destination = Garbage();
  RunCustom(&destination, [](DialogHand& d) {
    d.Click(IDC_P1_CHECK);
    d.Click(IDC_P2_CHECK);
    d.Type(IDC_P1_NAME, L"あいうえおかきくけこさしすせそたち");
    d.Type(IDC_P2_NAME, L"abcdefghijklmnopq");
    EXPECT_EQ(L"あいうえおかきくけこさしすせそた", d.Text(IDC_P1_NAME));
    EXPECT_EQ(L"abcdefghijklmnop", d.Text(IDC_P2_NAME));
    d.PressOk();
  });
  EXPECT_EQ(WideToAnsi(L"あいうえおかきくけこさしすせそた"), destination.p1name);
  EXPECT_STREQ("abcdefghijklmnop", destination.p2name);
}

TEST_F(FilterDialogsTest, CustomSameDayIsThatWholeDay) {
  RecordFilter destination = Garbage();
  INT_PTR result = RunCustom(&destination, [](DialogHand& d) {
    d.Click(IDC_FROM_CHECK);
    d.Click(IDC_TO_CHECK);
    d.SetDate(IDC_FROM_DATE, 2015, 7, 4);
    d.SetDate(IDC_TO_DATE, 2015, 7, 4);
    d.PressOk();
  });
  ASSERT_EQ(IDOK, result);
  EXPECT_EQ((uint32_t)(FilterFrom | FilterTo), destination.flags);
  EXPECT_EQ(At(2015, 7, 4, 0, 0, 0, 0), destination.timestampFrom);
  EXPECT_EQ(At(2015, 7, 4, 23, 59, 59, 999), destination.timestampTo);
}

TEST_F(FilterDialogsTest, CustomStartAfterEndWarnsAndACorrectedOkDelivers) {
  RecordFilter destination = Garbage();
  RecordFilter untouched = destination;
  INT_PTR result = RunCustom(&destination, [&](DialogHand& d) {
    d.Click(IDC_FROM_CHECK);
    d.Click(IDC_TO_CHECK);
    d.SetDate(IDC_FROM_DATE, 2015, 7, 5);
    d.SetDate(IDC_TO_DATE, 2015, 7, 4);
    d.PressOk();
    UINT icon = 0;
    EXPECT_EQ(L"始点は終点より前にしてください", d.Warning(&icon));
    EXPECT_EQ((UINT)MB_ICONWARNING, icon);
    EXPECT_TRUE(IsWindowVisible(d.dialog)) << "the dialog stays open";
    EXPECT_EQ(0, memcmp(&untouched, &destination, sizeof destination)) << "nothing written before a valid OK";
    EXPECT_TRUE(d.Ticked(IDC_FROM_CHECK));
    EXPECT_EQ(5, d.Date(IDC_FROM_DATE).wDay) << "the user's entries stay as they were";
    d.SetDate(IDC_FROM_DATE, 2015, 7, 3);
    d.PressOk();
  });
  ASSERT_EQ(IDOK, result);
  EXPECT_EQ(At(2015, 7, 3, 0, 0, 0, 0), destination.timestampFrom);
  EXPECT_EQ(At(2015, 7, 4, 23, 59, 59, 999), destination.timestampTo);
}

TEST_F(FilterDialogsTest, CustomCancelAndCloseLeaveTheDestinationAlone) {
  RecordFilter destination = Garbage();
  RecordFilter untouched = destination;
  EXPECT_EQ(IDCANCEL, RunCustom(&destination, [](DialogHand& d) {
              d.Click(IDC_P1_CHECK);
              d.Type(IDC_P1_NAME, L"x");
              d.PressCancel();
            }));
  EXPECT_EQ(IDCANCEL, RunCustom(&destination, [](DialogHand& d) {
              d.Click(IDC_FROM_CHECK);
              PostMessageW(d.dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
            }));
  EXPECT_EQ(0, memcmp(&untouched, &destination, sizeof destination));
}

TEST_F(FilterDialogsTest, HistoryListsTheCharactersAndHasNoNameLimit) {
  RunHistory(owner, [](DialogHand& d) {
    for (int list : {IDC_P1_CHAR, IDC_P2_CHAR}) {
      ASSERT_EQ(14, (int)SendDlgItemMessageW(d.dialog, list, CB_GETCOUNT, 0, 0));
      EXPECT_EQ(0, (int)SendDlgItemMessageW(d.dialog, list, CB_GETCURSEL, 0, 0));
      for (int i = 0; i < 14; ++i) {
        wchar_t text[64];
        SendDlgItemMessageW(d.dialog, list, CB_GETLBTEXT, i, (LPARAM)text);
        EXPECT_STREQ(CharacterTable[i].fullName, text);
      }
    }
    for (int field : {IDC_P1_NAME, IDC_P1_WILDCARD, IDC_P1_CHAR, IDC_P2_NAME, IDC_P2_WILDCARD, IDC_P2_CHAR,
                      IDC_FROM_DATE, IDC_TO_DATE, IDC_LIMIT_COUNT})
      EXPECT_FALSE(d.Enabled(field)) << field;
    EXPECT_TRUE(d.Enabled(IDC_COUNT_SPIN));
    d.Click(IDC_P2_CHAR_CHECK);
    EXPECT_TRUE(d.Enabled(IDC_P2_CHAR));
    EXPECT_FALSE(d.Enabled(IDC_P1_CHAR));
    d.Click(IDC_LIMIT_CHECK);
    EXPECT_TRUE(d.Enabled(IDC_LIMIT_COUNT));
    d.Click(IDC_P1_CHECK);
    d.Type(IDC_P1_NAME, L"abcdefghijklmnopqrstuvwxyz");
    EXPECT_EQ(L"abcdefghijklmnopqrstuvwxyz", d.Text(IDC_P1_NAME));
    d.PressCancel();
  });
  EXPECT_TRUE(OwnedWindows(owner).empty()) << "a cancelled history filter opens nothing";
}

TEST_F(FilterDialogsTest, HistoryOkWithNothingTickedListsEveryMatchWhateverThePeriod) {
  for (int i = 0; i < 5; ++i) Store(Match(At(2015, 7, 4, 10, i), "me", 1, 2, "you", 2, 0));
  SummaryPeriod = PeriodToday;  // the history filter is used as built
  EXPECT_EQ(IDOK, RunHistory(owner, [](DialogHand& d) { d.PressOk(); }));
  SummaryPeriod = PeriodAll;
  HWND history = OnlyHistoryWindow();
  ASSERT_NE(nullptr, history);
  EXPECT_TRUE(IsWindowVisible(history));
  HWND rows = GetDlgItem(history, IDC_HISTORY_LIST);
  EXPECT_TRUE(PumpUntil([&] { return RowCount(rows) == 5; })) << RowCount(rows);
}

TEST_F(FilterDialogsTest, HistoryCountMustBeANumberOfAtLeastOne) {
  for (int i = 0; i < 5; ++i) Store(Match(At(2015, 7, 4, 10, i), "me", 1, 2, "you", 2, 0));
  INT_PTR result = RunHistory(owner, [](DialogHand& d) {
    d.Click(IDC_LIMIT_CHECK);
    d.SetText(IDC_LIMIT_COUNT, L"0");
    d.PressOk();
    UINT icon = 0;
    EXPECT_EQ(L"件数は１件以上にしてください", d.Warning(&icon));
    EXPECT_EQ((UINT)MB_ICONWARNING, icon);
    d.SetText(IDC_LIMIT_COUNT, L"abc");
    d.PressOk();
    EXPECT_EQ(L"件数は１件以上にしてください", d.Warning());
    d.SetText(IDC_LIMIT_COUNT, L"");
    d.PressOk();
    EXPECT_EQ(L"件数は１件以上にしてください", d.Warning());
    d.SetText(IDC_LIMIT_COUNT, L"-3");
    d.PressOk();
    EXPECT_EQ(L"件数は１件以上にしてください", d.Warning());
    d.SetText(IDC_LIMIT_COUNT, L"3");
    d.PressOk();
  });
  ASSERT_EQ(IDOK, result);
  HWND history = OnlyHistoryWindow();
  ASSERT_NE(nullptr, history);
  HWND list = GetDlgItem(history, IDC_HISTORY_LIST);
  ASSERT_EQ(3, RowCount(list));
  EXPECT_EQ(L"2015/07/04 10:04:00", Cell(list, 2, 0));
}

TEST_F(FilterDialogsTest, HistoryCountSpinsUpAndDownAndMayBeTyped) {
  for (int i = 0; i < 151; ++i) Store(Match(At(2015, 7, 4, 10) + i * 10000000LL, "me", 1, 2, "you", 2, 0));
  ASSERT_EQ(IDOK, RunHistory(owner, [](DialogHand& d) {
              d.Click(IDC_LIMIT_CHECK);
              d.SetText(IDC_LIMIT_COUNT, L"5");
              // The arrow keys in the count box work the up-down as its arrows do.
              SetForegroundWindow(d.dialog);
              SendMessageW(d.dialog, WM_NEXTDLGCTL, (WPARAM)GetDlgItem(d.dialog, IDC_LIMIT_COUNT), TRUE);
              PressKey(VK_UP);
              EXPECT_TRUE(WaitUntil([&] { return d.Text(IDC_LIMIT_COUNT) == L"6"; }, 5000)) << "up raises";
              PressKey(VK_DOWN);
              PressKey(VK_DOWN);
              EXPECT_TRUE(WaitUntil([&] { return d.Text(IDC_LIMIT_COUNT) == L"4"; }, 5000)) << "down lowers";
              d.SetText(IDC_LIMIT_COUNT, L"1");
              PressKey(VK_DOWN);
              PumpUntil([] { return false; }, 200);
              EXPECT_EQ(L"1", d.Text(IDC_LIMIT_COUNT)) << "never below one";
              // Beyond the up-down's range, a typed count still counts.
              d.SetText(IDC_LIMIT_COUNT, L"150");
              d.OkCloses();
            }));
  HWND history = OnlyHistoryWindow();
  ASSERT_NE(nullptr, history);
  HWND rows = GetDlgItem(history, IDC_HISTORY_LIST);
  EXPECT_TRUE(PumpUntil([&] { return RowCount(rows) == 150; })) << RowCount(rows);
}

TEST_F(FilterDialogsTest, HistoryCharactersNamesAndWildcards) {
  Store(Match(At(2015, 7, 4, 10, 0), "a%c", 3, 2, "x", 5, 0));
  Store(Match(At(2015, 7, 4, 10, 1), "abc", 3, 2, "x", 5, 0));
  Store(Match(At(2015, 7, 4, 10, 2), "abc", 4, 2, "x", 5, 0));
  Store(Match(At(2015, 7, 4, 10, 3), "abc", 3, 2, "y", 6, 0));
  auto opened = [&](const std::function<void(DialogHand&)>& script) {
    EXPECT_EQ(IDOK, RunHistory(owner, script));
    HWND history = OnlyHistoryWindow();
    std::vector<std::wstring> names;
    if (!history) return names;
    HWND list = GetDlgItem(history, IDC_HISTORY_LIST);
    for (int i = 0; i < RowCount(list); ++i) names.push_back(Cell(list, i, 1) + L"," + Cell(list, i, 2) + L"," + Cell(list, i, 5));
    DestroyWindow(history);
    return names;
  };
  std::wstring sayo = CharacterTable[3].shortName, yuki = CharacterTable[5].shortName;
  // Own character 3 against opponent character 5.
  EXPECT_EQ((std::vector<std::wstring>{L"a%c," + sayo + L"," + yuki, L"abc," + sayo + L"," + yuki}), opened([](DialogHand& d) {
              d.Click(IDC_P1_CHAR_CHECK);
              SendDlgItemMessageW(d.dialog, IDC_P1_CHAR, CB_SETCURSEL, 3, 0);
              d.Click(IDC_P2_CHAR_CHECK);
              SendDlgItemMessageW(d.dialog, IDC_P2_CHAR, CB_SETCURSEL, 5, 0);
              d.PressOk();
            }));
  // "%" taken literally without the wildcard box.
  EXPECT_EQ((std::vector<std::wstring>{L"a%c," + sayo + L"," + yuki}), opened([](DialogHand& d) {
              d.Click(IDC_P1_CHECK);
              d.Type(IDC_P1_NAME, L"a%c");
              d.PressOk();
            }));
  // As a pattern it matches every name from "a" to "c".
  EXPECT_EQ(4u, opened([](DialogHand& d) {
              d.Click(IDC_P1_CHECK);
              d.Type(IDC_P1_NAME, L"a%c");
              d.Click(IDC_P1_WILDCARD);
              d.PressOk();
            }).size());
  EXPECT_EQ(4u, opened([](DialogHand& d) {
              d.Click(IDC_P2_CHECK);
              d.Type(IDC_P2_NAME, L"_");
              d.Click(IDC_P2_WILDCARD);
              d.PressOk();
            }).size());
  EXPECT_EQ(0u, opened([](DialogHand& d) {
              d.Click(IDC_P2_CHECK);
              d.Type(IDC_P2_NAME, L"_");
              d.PressOk();
            }).size());
}

TEST_F(FilterDialogsTest, HistoryWarningsComeInTheirOrder) {
  INT_PTR result = RunHistory(owner, [](DialogHand& d) {
    d.Click(IDC_P2_CHAR_CHECK);
    SendDlgItemMessageW(d.dialog, IDC_P2_CHAR, CB_SETCURSEL, (WPARAM)-1, 0);
    d.Click(IDC_FROM_CHECK);
    d.Click(IDC_TO_CHECK);
    d.SetDate(IDC_FROM_DATE, 2016, 1, 2);
    d.SetDate(IDC_TO_DATE, 2016, 1, 1);
    d.Click(IDC_LIMIT_CHECK);
    d.SetText(IDC_LIMIT_COUNT, L"0");
    d.PressOk();
    EXPECT_EQ(L"キャラクター指定が正しくありません", d.Warning());
    SendDlgItemMessageW(d.dialog, IDC_P2_CHAR, CB_SETCURSEL, 13, 0);
    d.PressOk();
    EXPECT_EQ(L"始点は終点より前にしてください", d.Warning());
    d.Click(IDC_TO_CHECK);
    d.PressOk();
    EXPECT_EQ(L"件数は１件以上にしてください", d.Warning());
    d.PressCancel();
  });
  EXPECT_EQ(IDCANCEL, result);
  EXPECT_TRUE(OwnedWindows(owner).empty());
}
}  // namespace

namespace {
TEST_F(FilterDialogsTest, RealTabMovesTheFocusAndEscapeCancels) {
  auto keys = [](DialogHand& d) {
    SetForegroundWindow(d.dialog);
    HWND first = GetDlgItem(d.dialog, IDC_P1_CHECK);
    SendMessageW(d.dialog, WM_NEXTDLGCTL, (WPARAM)first, TRUE);
    DWORD thread = GetWindowThreadProcessId(d.dialog, nullptr);
    HWND next = GetNextDlgTabItem(d.dialog, first, FALSE);
    EXPECT_NE(first, next);
    PressKey(VK_TAB);
    EXPECT_TRUE(WaitUntil([&] { return FocusOf(thread) == next; }, 5000)) << GetDlgCtrlID(FocusOf(thread));
    PressKey(VK_ESCAPE);
    if (!WaitUntil([&] { return !IsWindow(d.dialog); }, 5000)) d.PressCancel();
  };
  RecordFilter untouched = Garbage();
  EXPECT_EQ(IDCANCEL, RunCustom(&untouched, keys));
  EXPECT_EQ(IDCANCEL, RunHistory(owner, keys));
  EXPECT_EQ(nullptr, OnlyHistoryWindow());
}

// The system's Japanese UI font draws a wide character about a fifth wider, in dialog units, than the
// fonts of this machine do: every text must fit with that much to spare.
TEST(FilterDialogLayout, EveryTextFitsWithRoomForTheJapaneseUiFont) {
  ScratchProfile profile;
  EXPECT_EQ(std::vector<std::string>{}, ClippedTexts(GetModuleHandleW(nullptr), IDD_CUSTOM_FILTER, 1.2));
  EXPECT_EQ(std::vector<std::string>{}, ClippedTexts(GetModuleHandleW(nullptr), IDD_HISTORY_FILTER, 1.2));
}
}  // namespace
