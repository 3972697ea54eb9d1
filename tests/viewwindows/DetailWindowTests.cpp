#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstring>
#include <thread>

#include "ViewTestSupport.h"
#include "resources/resource.h"
#include "shell/AppState.h"
#include "shell/ChangeJournal.h"
#include "common/CharacterTable.h"
#include "store/RecordDatabase.h"
#include "store/RecordFilter.h"
#include "store/RecordQueries.h"
#include "views/ViewWindows.h"

namespace {
// Stands in for the summary window: counts the refreshes posted to it.
LRESULT CALLBACK CountingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == RefreshSummaryMessage)
    SetPropW(window, L"REFRESHES", (HANDLE)((INT_PTR)GetPropW(window, L"REFRESHES") + 1));
  return DefWindowProcW(window, message, wParam, lParam);
}

struct StoredMatches {
  std::vector<MatchRecord> rows;
};
void Collect(const MatchRecord& record, void* context) { static_cast<StoredMatches*>(context)->rows.push_back(record); }

// Every stored match, newest first, straight from the database.
std::vector<MatchRecord> AllMatches() {
  StoredMatches all;
  RecordFilter none{};
  QueryMatchHistory(none, Collect, &all);
  return all.rows;
}

class DetailWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    WNDCLASSW wc{};
    wc.lpfnWndProc = CountingProc;
    wc.lpszClassName = L"CountingSummary";
    RegisterClassW(&wc);
    summary = CreateWindowW(L"CountingSummary", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    g_app.highPrecision = false;
    g_app.autoAjustViewRect = true;
    ClearJournal();
  }
  void TearDown() override {
    for (HWND w : OwnedWindows(summary)) DestroyWindow(w);
    DestroyWindow(summary);
  }
  // As the summary opens it: the fixed character on the side of the summary's direction.
  HWND Open(int character, int direction, uint32_t extraFlags = 0, int64_t from = 0, int64_t to = 0) {
    auto* filter = new RecordFilter;
    memset(filter, 0, sizeof *filter);
    if (direction) {
      filter->flags = FilterP1Id;
      filter->p1id = character;
    } else {
      filter->flags = FilterP2Id;
      filter->p2id = character;
    }
    filter->flags |= extraFlags;
    filter->timestampFrom = from;
    filter->timestampTo = to;
    window = OpenDetailWindow(summary, filter, direction);
    list = GetDlgItem(window, IDC_RECORD_LIST);
    return window;
  }
  int Refreshes() {
    PumpUntil([] { return false; }, 50);
    return (int)(INT_PTR)GetPropW(summary, L"REFRESHES");
  }
  // The list position of a character's row, wherever sorting put it.
  int PositionOf(int character) {
    for (int i = 0; i < RowCount(list); ++i)
      if (((ItemData(list, i) >> 16) & 0xFF) == character) return i;
    return -1;
  }
  std::wstring TotalCounts() {
    return Cell(list, 15, 1) + L"|" + Cell(list, 15, 2) + L"|" + Cell(list, 15, 3) + L"|" + Cell(list, 15, 4);
  }
  std::wstring Counts(int position) {
    return Cell(list, position, 1) + L"|" + Cell(list, position, 2) + L"|" + Cell(list, position, 3) + L"|" +
           Cell(list, position, 4) + L"|" + Cell(list, position, 5);
  }
  // A real double click (left or right) on a cell, waiting until the list has reported it.
  void DoubleClick(int position, int column, bool right = false) {
    Foreground(window);
    NotificationCounter clicks(right ? NM_RDBLCLK : NM_DBLCLK);
    MouseClicks(CellCentre(list, position, column), 2, right);
    ASSERT_TRUE(clicks.WaitPast(0)) << "row " << position << " column " << column;
    // Keep the next double click from pairing with this one.
    MouseClicks(POINT{5, 5}, 0);
  }
  ScratchProfile profile;
  HWND summary = nullptr, window = nullptr, list = nullptr;
};

TEST_F(DetailWindowTest, OpensWithZeroRowsTitleMenuAndItsOwnState) {
  const int x = 4;
  ASSERT_NE(nullptr, Open(x, 1));
  EXPECT_TRUE(IsWindowVisible(window));
  EXPECT_EQ(summary, GetWindow(window, GW_OWNER));
  EXPECT_EQ(std::wstring(L"詳細 - with ") + CharacterTable[x].shortName + L" ", WindowText(window));
  ASSERT_EQ(19, RowCount(list));
  for (int i = 0; i < 14; ++i) {
    EXPECT_EQ(CharacterTable[i].shortName, Cell(list, i, 0));
    EXPECT_EQ(L"0|0|0|0%|(0%)", Counts(i)) << i;
    EXPECT_EQ((LPARAM)i << 16, ItemData(list, i));
  }
  EXPECT_EQ(L"総合", Cell(list, 15, 0));
  EXPECT_EQ(L"過去100戦", Cell(list, 18, 0));
  EXPECT_EQ((LPARAM)(0x40000000 + (18 << 16)), ItemData(list, 18));
  EXPECT_EQ(x, (int)(INT_PTR)GetPropW(window, L"RAVIREZOV.PID"));
  EXPECT_NE(nullptr, GetPropW(window, L"RAVIREZOV.TRDIRLEFT"));
  auto* filter = static_cast<RecordFilter*>(GetPropW(window, L"RAVIREZOV.FILTER"));
  ASSERT_NE(nullptr, filter);
  EXPECT_EQ((uint32_t)FilterP1Id, filter->flags);

  HMENU menu = GetSystemMenu(window, FALSE);
  const struct {
    UINT id;
    const wchar_t* text;
  } entries[] = {{0xC000, L"最新の情報に更新"}, {0, nullptr}, {0xD000, L"元に戻す"}, {0xD001, L"やり直し"},
                 {0, nullptr}, {0xE000, L"相手プロファイル表"}, {0xE001, L"過去対戦履歴表"}, {0, nullptr},
                 {0xE010, L"クリップボードに送る"}, {0, nullptr}};
  for (int position = 0; position < 10; ++position) {
    if (!entries[position].text) {
      EXPECT_TRUE(GetMenuState(menu, position, MF_BYPOSITION) & MF_SEPARATOR) << position;
      continue;
    }
    wchar_t text[64] = L"";
    GetMenuStringW(menu, position, text, 64, MF_BYPOSITION);
    EXPECT_STREQ(entries[position].text, text);
    EXPECT_EQ(entries[position].id, GetMenuItemID(menu, position));
  }
}

TEST_F(DetailWindowTest, TitleNamesEveryConditionInItsOrder) {
  ASSERT_NE(nullptr, Open(2, 0, FilterFrom | FilterTo, At(2015, 7, 4, 0), At(2015, 7, 4, 23, 59, 59, 999)));
  EXPECT_EQ(std::wstring(L"詳細 - 2015/07/04から2015/07/04までvs ") + CharacterTable[2].shortName + L" ",
            WindowText(window));
  DestroyWindow(window);
  auto* filter = new RecordFilter{};
  filter->flags = FilterP2Id | FilterP1Id | FilterP2Name | FilterP1Name | FilterTo | FilterP1NameLike | FilterLimit;
  filter->p1id = 0;
  filter->p2id = 13;
  strcpy(filter->p1name, "me");
  strcpy(filter->p2name, "you");
  filter->timestampTo = At(2016, 1, 2, 23, 59, 59, 999);
  window = OpenDetailWindow(summary, filter, 1);
  EXPECT_EQ(std::wstring(L"詳細 - 2016/01/02まで1P[me] with ") + CharacterTable[0].shortName + L" 2P[you] vs " +
                CharacterTable[13].shortName + L" ",
            WindowText(window));
}

TEST_F(DetailWindowTest, DoubleClicksAddResultsToTheRowsCharacter) {
  const int x = 1, y = 6, z = 9;
  Store(Match(At(2015, 7, 4, 10), "me", x, 2, "foe", y, 1));
  ASSERT_NE(nullptr, Open(x, 1));
  EXPECT_EQ(L"1|1|0|100%|(100%)", Counts(PositionOf(y)));
  // Sorted by name, descending: the rows move, and an action must follow the row's character.
  Foreground(window);
  ClickHeader(list, 0);
  ASSERT_EQ(13 - y, PositionOf(y));

  int before = Refreshes();
  DoubleClick(PositionOf(y), 2);
  std::vector<MatchRecord> all = AllMatches();
  ASSERT_EQ(2u, all.size());
  const MatchRecord added = all[0];
  EXPECT_EQ(x, added.p1id);
  EXPECT_EQ(y, added.p2id);
  EXPECT_EQ(2, added.p1win);
  EXPECT_EQ(0, added.p2win);
  EXPECT_STREQ("", added.p1name);
  EXPECT_STREQ("", added.p2name);
  EXPECT_EQ(L"2|2|0|100%|(100%)", Counts(PositionOf(y)));
  EXPECT_EQ(L"2|2|0|100%", TotalCounts());
  EXPECT_EQ(before + 1, Refreshes()) << "the summary is told to follow";

  DoubleClick(PositionOf(z), 3);
  all = AllMatches();
  ASSERT_EQ(3u, all.size());
  EXPECT_EQ(x, all[0].p1id);
  EXPECT_EQ(z, all[0].p2id);
  EXPECT_EQ(0, all[0].p1win);
  EXPECT_EQ(2, all[0].p2win);
  EXPECT_EQ(L"1|0|1|0%|(0%)", Counts(PositionOf(z)));
  EXPECT_EQ(before + 2, Refreshes());

  // The hand-made win is the newest: a right double click takes it away, undo and redo move it back and forth.
  DoubleClick(PositionOf(y), 2, true);
  std::string sameStamp = "WHERE timestamp = " + std::to_string(added.timestamp);
  EXPECT_EQ(0, CountRows(profile.Path(), sameStamp.c_str()));
  EXPECT_EQ(L"1|1|0|100%|(100%)", Counts(PositionOf(y)));
  EXPECT_EQ(before + 3, Refreshes());
  SystemCommand(window, 0xD000);
  EXPECT_EQ(1, CountRows(profile.Path(), (sameStamp + " AND p1win = 2 AND p2id = " + std::to_string(y)).c_str()));
  EXPECT_EQ(L"2|2|0|100%|(100%)", Counts(PositionOf(y)));
  EXPECT_EQ(before + 4, Refreshes());
  SystemCommand(window, 0xD001);
  EXPECT_EQ(0, CountRows(profile.Path(), sameStamp.c_str()));
  EXPECT_EQ(before + 5, Refreshes());
}

TEST_F(DetailWindowTest, RightDoubleClickRemovesTheNewestWinWithinTheFilter) {
  const int x = 1, y = 6;
  Store(Match(At(2015, 7, 4, 10), "me", x, 2, "old", y, 1));
  Store(Match(At(2015, 7, 4, 11), "me", x, 2, "latest", y, 0));
  Store(Match(At(2015, 7, 4, 12), "me", x, 0, "loss", y, 2));
  Store(Match(At(2015, 7, 6, 11), "me", x, 2, "outside", y, 0));  // newer, but after the window's period
  Store(Match(At(2015, 7, 4, 13), "me", 2, 2, "another", y, 0));  // newer, but another own character
  ASSERT_NE(nullptr, Open(x, 1, FilterFrom | FilterTo, At(2015, 7, 4, 0), At(2015, 7, 5, 23, 59, 59, 999)));
  EXPECT_EQ(L"3|2|1|66%|(66%)", Counts(PositionOf(y)));
  DoubleClick(PositionOf(y), 2, true);
  EXPECT_EQ(0, CountRows(profile.Path(), "WHERE p2name = 'latest'"));
  EXPECT_EQ(4, CountRows(profile.Path()));
  EXPECT_EQ(1, CountRows(profile.Path(), "WHERE p2name = 'old'"));
  DoubleClick(PositionOf(y), 2, true);
  EXPECT_EQ(0, CountRows(profile.Path(), "WHERE p2name = 'old'"));
  EXPECT_EQ(L"1|0|1|0%|(0%)", Counts(PositionOf(y)));
  int before = Refreshes();
  DoubleClick(PositionOf(y), 2, true);  // no win left in the period
  EXPECT_EQ(3, CountRows(profile.Path()));
  EXPECT_EQ(before, Refreshes());
  SystemCommand(window, 0xD000);
  EXPECT_EQ(1, CountRows(profile.Path(), ("WHERE p2name = 'old' AND timestamp = " +
                                          std::to_string(At(2015, 7, 4, 10))).c_str()));
  EXPECT_EQ(L"2|1|1|50%|(50%)", Counts(PositionOf(y)));
}

TEST_F(DetailWindowTest, ACorrectionThatCannotBeCommittedIsNotJournalledAndSaysSo) {
  const int x = 1, y = 6;
  Store(Match(At(2015, 7, 4, 10), "me", x, 2, "foe", y, 1));
  ASSERT_NE(nullptr, Open(x, 1));
  int before = Refreshes();
  const std::wstring refused = L"ほかのプログラムがプロファイルを使用中のため、戦績を変更できませんでした。";
  {
    // Another program is reading the file: the write runs, but its commit is refused.
    HeldReadLock reader(profile.Path());
    ASSERT_TRUE(reader.Held());
    for (bool right : {false, true}) {
      MessageBoxAnswerer answer;
      DoubleClick(PositionOf(y), right ? 2 : 3, right);
      EXPECT_EQ(refused, answer.Text()) << (right ? "remove" : "add");
    }
    EXPECT_TRUE(sqlite3_get_autocommit(RecordDatabase())) << "no transaction may stay open";
  }
  EXPECT_EQ(1, CountRows(profile.Path()));
  EXPECT_EQ(1, CountRows(profile.Path(), "WHERE p2name = 'foe'"));
  EXPECT_FALSE(CanUndo()) << "the journal holds nothing the file does not have";
  EXPECT_EQ(before, Refreshes());
  EXPECT_EQ(L"1|1|0|100%|(100%)", Counts(PositionOf(y)));

  // Undo and redo under the lock say so too, and keep their entry.
  DoubleClick(PositionOf(y), 3);
  ASSERT_EQ(2, CountRows(profile.Path()));
  for (UINT command : {0xD000u, 0xD001u}) {
    {
      HeldReadLock reader(profile.Path());
      MessageBoxAnswerer answer;
      SystemCommand(window, command);
      EXPECT_EQ(refused, answer.Text()) << command;
    }
    EXPECT_EQ(command == 0xD000u ? 2 : 1, CountRows(profile.Path()));
    SystemCommand(window, command);
    EXPECT_EQ(command == 0xD000u ? 1 : 2, CountRows(profile.Path()));
  }
}

TEST_F(DetailWindowTest, OtherCellsAndPinnedRowsChangeNothing) {
  const int x = 3;
  Store(Match(At(2015, 7, 4, 10), "me", x, 2, "you", 0, 0));
  Store(Match(At(2015, 7, 4, 11), "me", x, 0, "you", 0, 2));
  ASSERT_NE(nullptr, Open(x, 1));
  int before = Refreshes();
  for (int column : {0, 1, 4, 5}) {
    DoubleClick(0, column);
    DoubleClick(0, column, true);
  }
  for (int row : {14, 15, 16}) {
    DoubleClick(row, 2);
    DoubleClick(row, 3, true);
  }
  EXPECT_EQ(2, CountRows(profile.Path()));
  EXPECT_FALSE(CanUndo());
  EXPECT_EQ(before, Refreshes());
}

TEST_F(DetailWindowTest, ADoubleClickCountsForTheCellItHit) {
  const int x = 1, y = 6, z = 9;
  ASSERT_NE(nullptr, Open(x, 1));
  Foreground(window);
  for (bool right : {false, true}) {
    NotificationCounter clicks(right ? NM_RDBLCLK : NM_DBLCLK);
    MouseClicks(CellCentre(list, PositionOf(y), 2), 2, right);
    // The user moves on before the window has got to the click.
    POINT elsewhere = CellCentre(list, PositionOf(z), 3);
    SetCursorPos(elsewhere.x, elsewhere.y);
    ASSERT_TRUE(clicks.WaitPast(0));
    MouseClicks(POINT{5, 5}, 0);
    std::vector<MatchRecord> all = AllMatches();
    if (!right) {
      ASSERT_EQ(1u, all.size());
      EXPECT_EQ(y, all[0].p2id);
      EXPECT_EQ(2, all[0].p1win);
      EXPECT_EQ(0, all[0].p2win);
    } else {
      EXPECT_TRUE(all.empty()) << "the win against " << y << " is taken back";
    }
  }
}

// Old captures may hold a character id that equals a pinned row's id; those rows stand for no character.
TEST_F(DetailWindowTest, PinnedRowsNeverRemoveAStrayRecord) {
  const int x = 3;
  ASSERT_NE(nullptr, Open(x, 1));
  const int64_t stamp = At(2015, 7, 4, 10);
  for (int row : {14, 15, 18}) {
    Store(Match(stamp, "me", x, 2, "stray", row, 2));
    DoubleClick(row, 2, true);
    DoubleClick(row, 3, true);
    EXPECT_EQ(1, CountRows(profile.Path())) << "row " << row;
    EXPECT_FALSE(CanUndo());
    DeleteMatchRecord(stamp);
  }
}

TEST_F(DetailWindowTest, OpponentCharacterWindowCountsOwnCharactersAgainstIt) {
  const int x = 2, y = 11;
  int64_t t = At(2015, 7, 4, 10);
  // 60 meetings of x and y: the 10 oldest won, then 25 won and 25 lost.
  for (int i = 0; i < 10; ++i) Store(Match(t += 10000000, "me", x, 2, "you", y, 0));
  for (int i = 0; i < 50; ++i) Store(Match(t += 10000000, "me", x, i % 2 ? 2 : 1, "you", y, i % 2 ? 1 : 2));
  // Newer matches of x against others and of others against y, which must not crowd out x against y.
  for (int i = 0; i < 30; ++i) Store(Match(t += 10000000, "me", x, 2, "you", 0, 0));
  for (int i = 0; i < 30; ++i) Store(Match(t += 10000000, "me", 5, 0, "you", y, 2));
  g_app.highPrecision = true;
  ASSERT_NE(nullptr, Open(y, 0));
  EXPECT_EQ(std::wstring(L"詳細 - vs ") + CharacterTable[y].shortName + L" ", WindowText(window));
  EXPECT_EQ(L"60|35|25|58.3%|(50.0%)", Counts(PositionOf(x)));
  EXPECT_EQ(L"30|0|30|0.0%|(0.0%)", Counts(PositionOf(5)));
  EXPECT_EQ(L"0|0|0|0.0%|(0.0%)", Counts(PositionOf(0)));
  EXPECT_EQ(L"90|35|55|38.9%", TotalCounts());

  // Here "勝" of row x stores x against y.
  DoubleClick(PositionOf(x), 2);
  std::vector<MatchRecord> all = AllMatches();
  EXPECT_EQ(x, all[0].p1id);
  EXPECT_EQ(y, all[0].p2id);
  EXPECT_EQ(2, all[0].p1win);
  DoubleClick(PositionOf(5), 2, true);  // row 5 has no win against y
  EXPECT_EQ(121, CountRows(profile.Path()));
  DoubleClick(PositionOf(5), 3, true);
  EXPECT_EQ(120, CountRows(profile.Path()));
}

TEST_F(DetailWindowTest, TheSummarysOwnRefreshMessageDoesNotRefreshIt) {
  const int x = 7;
  ASSERT_NE(nullptr, Open(x, 1));
  Store(Match(At(2015, 7, 4, 10), "me", x, 2, "you", 8, 0));  // as a capture would
  SendMessageW(window, RefreshSummaryMessage, 0, 0);
  EXPECT_EQ(L"0|0|0|0%|(0%)", Counts(PositionOf(8)));
  SystemCommand(window, 0xC000);
  EXPECT_EQ(L"1|1|0|100%|(100%)", Counts(PositionOf(8)));
}

TEST_F(DetailWindowTest, OpensOpponentsAndHistoryAndCopiesItsTable) {
  const int x = 0;
  Store(Match(At(2015, 7, 4, 10), "me", x, 2, "foe", 3, 0));
  Store(Match(At(2015, 7, 4, 11), "me", 1, 2, "stranger", 3, 0));
  ASSERT_NE(nullptr, Open(x, 1));
  SystemCommand(window, 0xE000);
  std::vector<HWND> opponents = OwnedWindows(window, L"相手プロファイル");
  ASSERT_EQ(1u, opponents.size()) << "owned by the detail window";
  HWND opponentRows = GetDlgItem(opponents[0], IDC_RECORD_LIST);
  EXPECT_TRUE(PumpUntil([&] { return RowCount(opponentRows) == 1; })) << RowCount(opponentRows);
  SystemCommand(window, 0xE001);
  std::vector<HWND> histories = OwnedWindows(summary, L"対戦履歴");
  ASSERT_EQ(1u, histories.size()) << "owned by the summary window";
  HWND historyRows = GetDlgItem(histories[0], IDC_HISTORY_LIST);
  EXPECT_TRUE(PumpUntil([&] { return RowCount(historyRows) == 1; })) << RowCount(historyRows);

  SystemCommand(window, 0xE010);
  std::wstring text;
  ASSERT_TRUE(OpenClipboard(nullptr));
  if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
    text = static_cast<const wchar_t*>(GlobalLock(data));
    GlobalUnlock(data);
  }
  CloseClipboard();
  size_t lines = 0;
  for (size_t at = 0; (at = text.find(L"\r\n", at)) != std::wstring::npos; at += 2) ++lines;
  EXPECT_EQ(20u, lines);
  std::wstring rowOfOpponent = std::wstring(CharacterTable[3].shortName);
  rowOfOpponent.resize(11, L' ');
  EXPECT_NE(std::wstring::npos, text.find(L"\r\n" + rowOfOpponent + L"      1      1      0   100%  (100%)\r\n"));

  // Closing the detail window takes its opponent window along, not the history.
  SystemCommand(window, SC_CLOSE);
  EXPECT_FALSE(IsWindow(window));
  EXPECT_FALSE(IsWindow(opponents[0]));
  EXPECT_TRUE(IsWindow(histories[0]));
}

TEST_F(DetailWindowTest, FailedRefreshIsReportedByTheWindow) {
  ASSERT_NE(nullptr, Open(0, 1));
  CloseRecordDatabase();
  HWND owner = nullptr;
  UINT icon = 0;
  std::wstring text;
  std::thread answer([&] { text = AnswerWarning(nullptr, &icon, &owner); });
  SystemCommand(window, 0xC000);
  answer.join();
  EXPECT_EQ(L"戦績表示の更新に失敗しました", text);
  EXPECT_EQ((UINT)MB_ICONERROR, icon);
  EXPECT_EQ(window, owner);
}
}  // namespace

namespace {
TEST_F(DetailWindowTest, WindowsOpenedOneAfterAnotherAreCascadedWithinTheWorkArea) {
  RECT work;
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  std::vector<RECT> placed;
  auto place = [&](HWND opened) {
    ASSERT_NE(nullptr, opened);
    RECT rect;
    GetWindowRect(opened, &rect);
    for (const RECT& other : placed)
      EXPECT_FALSE(other.left == rect.left && other.top == rect.top) << placed.size() << " sits on another";
    RECT inside;
    IntersectRect(&inside, &rect, &work);
    EXPECT_TRUE(EqualRect(&inside, &rect))
        << placed.size() << " at " << rect.left << "," << rect.top;
    placed.push_back(rect);
  };
  // More than fit down the screen, so the cascade starts again at the top.
  for (int i = 0; i < 30; ++i) place(Open(i % 14, 1));
  place(OpenOpponentProfileWindow(window, nullptr));
}
}  // namespace
