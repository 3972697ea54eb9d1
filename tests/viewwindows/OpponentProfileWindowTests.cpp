#include <gtest/gtest.h>
#include <sqlite3.h>

#include "ViewTestSupport.h"
#include "resources/resource.h"
#include "shell/AppState.h"
#include "common/CharacterTable.h"
#include "store/RecordDatabase.h"
#include "store/RecordFilter.h"
#include "store/RecordDatabase.h"
#include "store/RecordQueries.h"
#include "common/TextUtil.h"
#include "views/SortableList.h"
#include "views/ViewWindows.h"

#include <random>

namespace {
const COLORREF Green = RGB(208, 220, 208), Red = RGB(236, 208, 208), White = RGB(255, 255, 255);

class OpponentProfileWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    owner = MakeOwnerWindow();
    g_app.highPrecision = true;
    g_app.colorization = true;
  }
  void TearDown() override {
    for (HWND w : OwnedWindows(owner)) DestroyWindow(w);
    DestroyWindow(owner);
  }
  HWND Open(const RecordFilter* filter) {
    window = OpenOpponentProfileWindow(owner, filter);
    list = GetDlgItem(window, IDC_RECORD_LIST);
    return window;
  }
  std::wstring Row(int row) {
    std::wstring text;
    for (int column = 0; column < 5; ++column) text += (column ? L"|" : L"") + Cell(list, row, column);
    return text;
  }
  std::vector<std::wstring> Rows() {
    std::vector<std::wstring> out;
    for (int i = 0; i < RowCount(list); ++i) out.push_back(Row(i));
    return out;
  }
  void ClickHeader(int column) { ::ClickHeader(list, column); }
  ScratchProfile profile;
  HWND owner = nullptr, window = nullptr, list = nullptr;
};

TEST_F(OpponentProfileWindowTest, RowsRatesAndColoursPerOpponent) {
  int64_t t = At(2015, 7, 4, 10);
  auto add = [&](const char* name, int p1win, int p2win) { Store(Match(t += 10000000, "me", 0, p1win, name, 1, p2win)); };
  add("ahead", 2, 0), add("ahead", 2, 1), add("ahead", 0, 2);
  add("behind", 1, 2), add("behind", 1, 2), add("behind", 2, 1);
  add("even", 2, 0), add("even", 0, 2);
  add("drawn", 1, 1);  // no decided match at all
  ASSERT_NE(nullptr, Open(nullptr));
  EXPECT_EQ(L"相手プロファイル", WindowText(window));
  EXPECT_TRUE(IsWindowVisible(window));
  EXPECT_EQ((std::vector<std::wstring>{L"相手", L"対戦数", L"勝", L"負", L"勝率"}), Headers(list));
  // Inserted one by one at the top, so the names come out in reverse of the query's order.
  EXPECT_EQ((std::vector<std::wstring>{L"even|2|1|1|50.0%", L"drawn|0|0|0|0.0%", L"behind|3|1|2|33.3%",
                                       L"ahead|3|2|1|66.7%"}),
            Rows());
  EXPECT_EQ(White, RowBackground(window, IDC_RECORD_LIST, 0));
  EXPECT_EQ(Red, RowBackground(window, IDC_RECORD_LIST, 1)) << "no decided match counts as 0%";
  EXPECT_EQ(Red, RowBackground(window, IDC_RECORD_LIST, 2));
  EXPECT_EQ(Green, RowBackground(window, IDC_RECORD_LIST, 3));

  // Filled once; the refresh command of its window menu fills it anew.
  HMENU menu = GetSystemMenu(window, FALSE);
  wchar_t text[64];
  GetMenuStringW(menu, 0, text, 64, MF_BYPOSITION);
  EXPECT_STREQ(L"最新の情報に更新", text);
  EXPECT_EQ(0xEE00u, GetMenuItemID(menu, 0));
  EXPECT_EQ((UINT)MF_SEPARATOR, GetMenuState(menu, 1, MF_BYPOSITION) & MF_SEPARATOR);
  add("newcomer", 2, 0);
  EXPECT_EQ(4, RowCount(list));
  SystemCommand(window, 0xEE00);
  ASSERT_EQ(5, RowCount(list));
  EXPECT_EQ(L"newcomer|1|1|0|100.0%", Row(0));
  g_app.highPrecision = false;
  SystemCommand(window, 0xEE00);
  EXPECT_EQ(L"behind|3|1|2|33%", Row(3));
}

// Old captures may hold negative round counts; a total below zero means no match, as in the character tables.
TEST_F(OpponentProfileWindowTest, NegativeTotalsCountAsNone) {
  int64_t t = At(2015, 7, 4, 10);
  Store(Match(t += 10000000, "me", 0, 2, "odd", 1, 0));
  Store(Match(t += 10000000, "me", 0, 0, "odd", 1, -2));
  Store(Match(t += 10000000, "me", 0, -2, "sunk", 1, 0));
  ASSERT_NE(nullptr, Open(nullptr));
  EXPECT_EQ((std::vector<std::wstring>{L"sunk|0|0|0|0.0%", L"odd|1|1|0|100.0%"}), Rows());
  EXPECT_EQ(Red, RowBackground(window, IDC_RECORD_LIST, 0));
}

TEST_F(OpponentProfileWindowTest, KeepsItsOwnFilterAndAnEmptyResultIsAnEmptyList) {
  Store(Match(At(2015, 7, 4, 10), "me", 0, 2, "someone", 1, 0));
  RecordFilter filter{};
  filter.flags = FilterP1Id;
  filter.p1id = 5;
  ASSERT_NE(nullptr, Open(&filter));
  filter.p1id = 0;  // the window's copy is not the caller's
  EXPECT_EQ(0, RowCount(list));
  SystemCommand(window, 0xEE00);
  EXPECT_EQ(0, RowCount(list));
}

TEST_F(OpponentProfileWindowTest, ARefreshThatCannotReadKeepsTheRowsAndTriesAgain) {
  Store(Match(At(2015, 7, 4, 10), "me", 0, 2, "one", 1, 0));
  Store(Match(At(2015, 7, 4, 11), "me", 0, 2, "two", 1, 0));
  ASSERT_NE(nullptr, Open(nullptr));
  ASSERT_TRUE(PumpUntil([&] { return RowCount(list) == 2; })) << RowCount(list);
  Store(Match(At(2015, 7, 4, 12), "me", 0, 2, "three", 1, 0));
  sqlite3* writer = nullptr;
  ASSERT_EQ(SQLITE_OK, sqlite3_open16(profile.Path().c_str(), &writer));
  ASSERT_EQ(SQLITE_OK, sqlite3_exec(writer, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr));
  PostMessageW(window, RefreshViewMessage, 0, 0);
  EXPECT_TRUE(PumpUntil([&] { return WindowText(window) != L"相手プロファイル"; }, 15000));
  EXPECT_EQ(2, RowCount(list)) << "the rows shown stay";
  sqlite3_exec(writer, "ROLLBACK", nullptr, nullptr, nullptr);
  sqlite3_close(writer);
  EXPECT_TRUE(PumpUntil([&] { return RowCount(list) == 3 && WindowText(window) == L"相手プロファイル"; }, 15000));
}

class OpponentSortTest : public OpponentProfileWindowTest {
 protected:
  void OpenFour() {
    int64_t t = At(2015, 7, 4, 10);
    auto add = [&](const char* name, int wins, int losses) {
      for (int i = 0; i < wins; ++i) Store(Match(t += 10000000, "me", 0, 2, name, 1, 0));
      for (int i = 0; i < losses; ++i) Store(Match(t += 10000000, "me", 0, 0, name, 1, 2));
    };
    add("b", 9, 1);   // 90%
    add("c", 1, 11);  // 8%: as a text it would sort after 50%
    add("a", 1, 1);   // 50%
    add("d", 12, 1);  // 92%
    g_app.highPrecision = false;
    ASSERT_NE(nullptr, Open(nullptr));
    Foreground(window);
  }
  std::wstring Names() {
    std::wstring order;
    for (int i = 0; i < RowCount(list); ++i) order += Cell(list, i, 0);
    return order;
  }
};

TEST_F(OpponentSortTest, SortsByName) {
  OpenFour();
  EXPECT_EQ(L"dcba", Names());
  ClickHeader(1);  // 対戦数 ascending: 2, 10, 12, 13
  EXPECT_EQ(L"abcd", Names());
  ClickHeader(0);
  EXPECT_EQ(L"abcd", Names());
  ClickHeader(0);
  EXPECT_EQ(L"dcba", Names());
}

TEST_F(OpponentSortTest, SortsByRateAsANumber) {
  OpenFour();
  ClickHeader(0);  // descending at first: the name column starts as the current one
  ASSERT_EQ(L"dcba", Names());
  ClickHeader(4);
  EXPECT_EQ(L"cabd", Names());
  ClickHeader(4);
  EXPECT_EQ(L"dbac", Names());
}

// The list keeps its rows itself now; every header click must still give the order that the list control's
// own sort gives with the same comparisons, ties included (equal counts and rates are common).
TEST_F(OpponentSortTest, EveryColumnBothWaysSortsAsTheListControlDid) {
  std::mt19937 random(20151);
  int64_t t = At(2015, 7, 4, 10);
  for (int name = 0; name < 40; ++name) {
    std::string text = std::string(1, (char)('a' + random() % 5)) + std::to_string(name);
    for (int games = (int)(random() % 6); games >= 0; --games) {
      bool won = random() % 2;
      Store(Match(t += 10000000, "me", 0, won ? 2 : (int)(random() % 2), text.c_str(), 1, won ? 0 : 2));
    }
  }
  g_app.highPrecision = false;
  ASSERT_NE(nullptr, Open(nullptr));
  static const ListColumn columns[] = {
      {LVCFMT_LEFT, 100, L"相手", SortByText},   {LVCFMT_RIGHT, 55, L"対戦数", SortByNumber},
      {LVCFMT_RIGHT, 55, L"勝", SortByNumber},   {LVCFMT_RIGHT, 55, L"負", SortByNumber},
      {LVCFMT_RIGHT, 55, L"勝率", SortByNumber},
  };
  HWND reference = CreateWindowExW(0, WC_LISTVIEWW, L"", WS_POPUP | LVS_REPORT, 0, 0, 400, 300, nullptr, nullptr,
                                   nullptr, nullptr);
  SetupSortableList(reference, columns, 5);
  for (int row = 0; row < RowCount(list); ++row) {
    std::wstring name = Cell(list, row, 0);
    LVITEMW item{};
    item.mask = LVIF_TEXT;
    item.iItem = row;
    item.pszText = const_cast<wchar_t*>(name.c_str());
    SendMessageW(reference, LVM_INSERTITEMW, 0, (LPARAM)&item);
    for (int column = 1; column < 5; ++column) {
      std::wstring text = Cell(list, row, column);
      LVITEMW cell{};
      cell.iSubItem = column;
      cell.pszText = const_cast<wchar_t*>(text.c_str());
      SendMessageW(reference, LVM_SETITEMTEXTW, row, (LPARAM)&cell);
    }
  }
  auto rows = [](HWND l) {
    std::vector<std::wstring> out;
    for (int row = 0; row < RowCount(l); ++row) {
      std::wstring text;
      for (int column = 0; column < 5; ++column) text += Cell(l, row, column) + L"|";
      out.push_back(text);
    }
    return out;
  };
  ASSERT_EQ(rows(reference), rows(list));
  auto selected = [](HWND l) {
    int at = (int)SendMessageW(l, LVM_GETNEXTITEM, (WPARAM)-1, LVNI_SELECTED);
    return at < 0 ? std::wstring(L"none") : Cell(l, at, 0);
  };
  for (HWND l : {reference, list}) {
    LVITEMW state{};
    state.stateMask = state.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(l, LVM_SETITEMSTATE, 3, (LPARAM)&state);
  }
  for (int column : {0, 0, 1, 1, 2, 4, 4, 3, 2, 2, 3, 1, 4}) {
    NMLISTVIEW click{};
    click.hdr = {reference, IDC_RECORD_LIST, (UINT)LVN_COLUMNCLICK};
    click.iItem = -1;
    click.iSubItem = column;
    SortListOnColumnClick(&click);
    click.hdr.hwndFrom = list;
    SendMessageW(window, WM_NOTIFY, IDC_RECORD_LIST, (LPARAM)&click);
    ASSERT_EQ(rows(reference), rows(list)) << "after a click on column " << column;
    EXPECT_EQ(selected(reference), selected(list)) << "the selection follows its row";
  }
  DestroyWindow(reference);
}

// A long history is totalled range by range; the ranges add up to the one statement, names split across
// ranges and a NULL name included.
TEST_F(OpponentProfileWindowTest, RangeByRangeTotalsAreTheStatements) {
  int64_t t = At(2012, 1, 1);
  for (int i = 0; i < 400; ++i) {
    t += (int64_t)(i % 7 + 1) * 37 * 600000000LL;  // uneven gaps, minutes to hours
    Store(Match(t, "me", i % 14, i % 3 ? 2 : 1, ("n" + std::to_string(i % 9)).c_str(), 1, i % 3 ? 0 : 2));
  }
  sqlite3_exec(RecordDatabase(), "UPDATE viziriduvozmirrow SET p2name = NULL WHERE p2name = 'n4'", nullptr, nullptr,
               nullptr);
  std::vector<std::wstring> expected;
  QueryOpponentTotalsByStatement(
      RecordFilter{},
      [](const MatchRecord& r, void* out) {
        auto* rows = static_cast<std::vector<std::wstring>*>(out);
        rows->insert(rows->begin(), AnsiToWide(r.p2name) + FormatWide(L"|%d|%d|%d", r.p1win + r.p2win, r.p1win, r.p2win));
      },
      &expected);
  ASSERT_EQ(9u, expected.size());
  ASSERT_NE(nullptr, Open(nullptr));
  ASSERT_TRUE(PumpUntil([&] { return RowCount(list) == 9; }));
  std::vector<std::wstring> shown;
  for (int i = 0; i < RowCount(list); ++i)
    shown.push_back(Cell(list, i, 0) + L"|" + Cell(list, i, 1) + L"|" + Cell(list, i, 2) + L"|" + Cell(list, i, 3));
  EXPECT_EQ(expected, shown);
}

// The list shows a name cut to 255 characters and converted; the history must still get the stored bytes.
TEST_F(OpponentProfileWindowTest, DoubleClickFindsTheOpponentByItsStoredName) {
  const std::string longName(259, 'n'), shownPart(255, 'n');
  const std::string oddName = "ab\x81";  // a lead byte with nothing after it
  int64_t t = At(2015, 7, 4, 10);
  for (int i = 0; i < 3; ++i) Store(Match(t += 10000000, "me", 2, 2, longName.c_str(), 1, 0));
  for (int i = 0; i < 5; ++i) Store(Match(t += 10000000, "me", 5, 2, shownPart.c_str(), 1, 0));
  for (int i = 0; i < 2; ++i) Store(Match(t += 10000000, "me", 7, 2, oddName.c_str(), 1, 0));
  // An empty name and no name at all both show as empty, yet are two opponents.
  for (int i = 0; i < 4; ++i) Store(Match(t += 10000000, "me", 9, 2, "", 1, 0));
  for (int i = 0; i < 6; ++i) Store(Match(t += 10000000, "me", 11, 2, "", 1, 0));
  ASSERT_EQ(SQLITE_OK, sqlite3_exec(RecordDatabase(), "UPDATE viziriduvozmirrow SET p2name = NULL WHERE p1id = 11",
                                    nullptr, nullptr, nullptr));
  ASSERT_NE(nullptr, Open(nullptr));
  Foreground(window);
  ClickHeader(1);  // sorted, so that rows no longer sit where they were inserted
  ASSERT_EQ(5, RowCount(list));
  for (int row = 0; row < 5; ++row) {
    int games = _wtoi(Cell(list, row, 1).c_str());
    int own = games == 3 ? 2 : games == 5 ? 5 : games == 2 ? 7 : games == 4 ? 9 : 11;
    SendMessageW(list, LVM_SETSELECTIONMARK, 0, row);
    NMHDR click{list, IDC_RECORD_LIST, (UINT)NM_DBLCLK};
    SendMessageW(window, WM_NOTIFY, IDC_RECORD_LIST, (LPARAM)&click);
    std::vector<HWND> histories = OwnedWindows(owner, L"対戦履歴");
    ASSERT_EQ(1u, histories.size());
    HWND rows = GetDlgItem(histories[0], IDC_HISTORY_LIST);
    EXPECT_EQ(games, RowCount(rows)) << "row " << row;
    for (int i = 0; i < RowCount(rows); ++i)
      EXPECT_EQ(CharacterTable[own].shortName, Cell(rows, i, 2)) << "row " << row << ", another opponent's match";
    DestroyWindow(histories[0]);
  }
}

TEST_F(OpponentProfileWindowTest, DoubleClickOpensThatOpponentsRecentMatchesUnderTheFilter) {
  int64_t t = At(2015, 7, 4, 10);
  for (int i = 0; i < 12; ++i) Store(Match(t += 10000000, "me", 0, i % 2 ? 2 : 0, "rival", 1, i % 2 ? 0 : 2));
  // Newer matches that the window's filter leaves out, and another opponent.
  for (int i = 0; i < 5; ++i) Store(Match(t += 10000000, "me", 4, 2, "rival", 1, 0));
  for (int i = 0; i < 3; ++i) Store(Match(t += 10000000, "me", 0, 2, "other", 1, 0));
  RecordFilter filter{};
  filter.flags = FilterP1Id;
  filter.p1id = 0;
  HWND middle = MakeOwnerWindow();
  window = OpenOpponentProfileWindow(middle, &filter);
  list = GetDlgItem(window, IDC_RECORD_LIST);
  ASSERT_EQ(2, RowCount(list));
  ASSERT_EQ(L"rival", Cell(list, 0, 0));
  ASSERT_EQ(L"12", Cell(list, 0, 1));
  Foreground(window);
  MouseClicks(CellCentre(list, 0, 2), 2);
  ASSERT_TRUE(PumpUntil([&] { return OwnedWindows(middle, L"対戦履歴").size() == 1; }));
  EXPECT_TRUE(OwnedWindows(window, L"対戦履歴").empty()) << "the history belongs to this window's owner";
  HWND history = OwnedWindows(middle, L"対戦履歴")[0];
  HWND rows = GetDlgItem(history, IDC_HISTORY_LIST);
  ASSERT_EQ(12, RowCount(rows));
  for (int i = 0; i < 12; ++i) {
    EXPECT_EQ(L"rival", Cell(rows, i, 4)) << i;
    EXPECT_EQ(CharacterTable[0].shortName, Cell(rows, i, 2)) << "own character 0 only";
  }
  DestroyWindow(middle);
  EXPECT_FALSE(IsWindow(window));
  EXPECT_FALSE(IsWindow(history));
}
}  // namespace
