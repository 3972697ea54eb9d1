#include <gtest/gtest.h>

#include "ViewTestSupport.h"
#include <sqlite3.h>

#include <cstring>

#include "resources/resource.h"
#include "shell/MatchCapture.h"
#include "store/RecordDatabase.h"
#include "store/RecordQueries.h"
#include "shell/AppState.h"
#include "common/CharacterTable.h"
#include "common/TextUtil.h"
#include "store/RecordFilter.h"
#include "views/ViewCommon.h"
#include "views/ViewWindows.h"

namespace {
HWND g_capturedWhileOpening = nullptr;
int g_rowsAtCapture = -1;
std::wstring g_newestShownAtCapture;

// Stands in for the tracker's window: a probe notification that arrives while the history fills.
LRESULT CALLBACK CaptureProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_APP) {
    g_rowsAtCapture = RowCount(g_capturedWhileOpening);
    // Rows keep coming in between the times the list is told of them: what it shows must not shift.
    g_newestShownAtCapture = Cell(g_capturedWhileOpening, g_rowsAtCapture - 1, 0);
    CaptureFinishedMatch();
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

void StoreMany(int count, int64_t first) {
  sqlite3* db = RecordDatabase();
  sqlite3_stmt* insert = nullptr;
  ASSERT_EQ(SQLITE_OK, sqlite3_prepare_v2(db, "INSERT INTO viziriduvozmirrow VALUES (?, 'me', 1, ?, 'you', 2, ?)", -1,
                                          &insert, nullptr));
  sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
  for (int i = 0; i < count; ++i) {
    sqlite3_bind_int64(insert, 1, first + i * 10000000LL);
    sqlite3_bind_int(insert, 2, i % 3 ? 2 : 0);
    sqlite3_bind_int(insert, 3, i % 3 ? 1 : 2);
    sqlite3_step(insert);
    sqlite3_reset(insert);
  }
  sqlite3_finalize(insert);
  ASSERT_EQ(SQLITE_OK, sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr));
}

const COLORREF Green = RGB(208, 220, 208), White = RGB(255, 255, 255);

class HistoryWindowTest : public ::testing::Test {
 protected:
  void SetUp() override { owner = MakeOwnerWindow(); }
  void TearDown() override {
    if (window) DestroyWindow(window);
    DestroyWindow(owner);
  }
  HWND Open(const RecordFilter* filter) {
    window = OpenMatchHistoryWindow(owner, filter);
    list = GetDlgItem(window, IDC_HISTORY_LIST);
    return window;
  }
  std::vector<std::wstring> Column(int column) {
    std::vector<std::wstring> out;
    for (int i = 0; i < RowCount(list); ++i) out.push_back(Cell(list, i, column));
    return out;
  }
  ScratchProfile profile;
  HWND owner = nullptr, window = nullptr, list = nullptr;
};

TEST_F(HistoryWindowTest, ShowsTheNewestOfALimitOldestOnTop) {
  for (int i = 0; i < 100; ++i) Store(Match(At(2015, 7, 4, 10, 0, 0) + i * 10000000LL, "me", 1, 2, "you", 2, 0));
  RecordFilter filter{};
  filter.flags = FilterLimit;
  filter.limit = 30;
  ASSERT_NE(nullptr, Open(&filter));
  filter.limit = 1;  // the window took its own copy
  EXPECT_TRUE(IsWindowVisible(window));
  EXPECT_EQ(L"対戦履歴", WindowText(window));
  EXPECT_EQ(GetWindow(window, GW_OWNER), owner);
  ASSERT_EQ(30, RowCount(list));
  EXPECT_EQ(L"2015/07/04 10:01:10", Cell(list, 0, 0));
  EXPECT_EQ(L"2015/07/04 10:01:39", Cell(list, 29, 0));
}

// Another program writing the file for longer than the busy wait: the refresh cannot read, the rows stay, the
// title says they may be old, and a later try brings the new row.
TEST_F(HistoryWindowTest, ARefreshThatCannotReadKeepsTheRowsAndTriesAgain) {
  for (int i = 0; i < 3; ++i) Store(Match(At(2015, 7, 4, 10, 0, i), "me", 1, 2, "you", 2, 0));
  ASSERT_NE(nullptr, Open(nullptr));
  ASSERT_EQ(3, RowCount(list));
  Store(Match(At(2015, 7, 4, 10, 0, 9), "me", 1, 2, "new", 2, 0));
  sqlite3* writer = nullptr;
  ASSERT_EQ(SQLITE_OK, sqlite3_open16(profile.Path().c_str(), &writer));
  ASSERT_EQ(SQLITE_OK, sqlite3_exec(writer, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr));
  PostMessageW(window, RefreshViewMessage, 0, 0);
  EXPECT_TRUE(PumpUntil([&] { return WindowText(window) != L"対戦履歴"; }));
  EXPECT_EQ(3, RowCount(list)) << "the rows shown stay";
  EXPECT_EQ(L"2015/07/04 10:00:02", Cell(list, 2, 0));
  sqlite3_exec(writer, "ROLLBACK", nullptr, nullptr, nullptr);
  sqlite3_close(writer);
  EXPECT_TRUE(PumpUntil([&] { return RowCount(list) == 4 && WindowText(window) == L"対戦履歴"; }, 15000));
}

// The list fills in turns: a match finished meanwhile is captured before the history is complete, and the
// history opens on its newest match.
TEST_F(HistoryWindowTest, ABigHistoryLetsACaptureThroughAndOpensAtItsNewest) {
  // More than the quickest reading here gets through in one turn (about 300 000 rows), by a margin.
  const int count = 600000;
  StoreMany(count, At(2015, 7, 4, 10));
  FakeProbe probe;
  probe.Install();
  probe.names = {{7, "host"}, {8, "guest"}};
  probe.values = {{4, 2}, {5, 1}, {2, 3}, {3, 9}, {1, 0}};
  WNDCLASSW wc{};
  wc.lpfnWndProc = CaptureProc;
  wc.lpszClassName = L"CaptureStandIn";
  RegisterClassW(&wc);
  HWND tracker = CreateWindowW(L"CaptureStandIn", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
  g_app.summaryWindow = owner;
  g_rowsAtCapture = -1;

  ASSERT_NE(nullptr, Open(nullptr));
  g_capturedWhileOpening = list;
  PostMessageW(tracker, WM_APP, 0, 0);
  ASSERT_TRUE(PumpUntil([&] { return RowCount(list) == count && g_rowsAtCapture >= 0; }, 120000));
  DestroyWindow(tracker);
  EXPECT_LT(g_rowsAtCapture, count) << "the capture waited for the whole history";
  EXPECT_EQ(count + 1, CountRows(profile.Path())) << "the capture was stored";

  PumpUntil([] { return false; }, 100);
  EXPECT_EQ(count, RowCount(list)) << "the history is the one asked for";
  int top = (int)SendMessageW(list, LVM_GETTOPINDEX, 0, 0);
  int perPage = (int)SendMessageW(list, LVM_GETCOUNTPERPAGE, 0, 0);
  EXPECT_GE(top + perPage, count) << "the newest match is in view";
  EXPECT_GT(top, 0);
  EXPECT_EQ(Cell(list, 0, 0), L"2015/07/04 10:00:00");
  SYSTEMTIME t = TimestampToCalendar(At(2015, 7, 4, 10) + (count - 1) * 10000000LL);
  EXPECT_EQ(FormatWide(L"%d/%02d/%02d %02d:%02d:%02d", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond),
            Cell(list, count - 1, 0));
  EXPECT_EQ(Cell(list, count - 1, 0), g_newestShownAtCapture);
  EXPECT_EQ(Green, RowBackground(window, IDC_HISTORY_LIST, count - 1));
  EXPECT_EQ(White, RowBackground(window, IDC_HISTORY_LIST, (count - 1) / 3 * 3)) << "every third is lost";
}

// Read range by range, a limit and a lower bound still give exactly the rows of the one statement.
TEST_F(HistoryWindowTest, RangeByRangeIsTheStatementsHistory) {
  int64_t t = At(2012, 1, 1);
  std::vector<int64_t> stamps;
  for (int i = 0; i < 600; ++i) {
    t += (int64_t)(i % 5 + 1) * 53 * 600000000LL;
    Store(Match(t, "me", i % 14, 2, i % 4 ? "often" : "seldom", i % 3, 1));
    stamps.push_back(t);
  }
  RecordFilter filter{};
  filter.flags = FilterLimit | FilterFrom | FilterP2Name;
  filter.limit = 120;
  filter.timestampFrom = stamps[40];
  strcpy(filter.p2name, "often");
  std::vector<std::wstring> expected;
  QueryMatchHistory(
      filter,
      [](const MatchRecord& r, void* out) {
        SYSTEMTIME s = TimestampToCalendar(r.timestamp);
        static_cast<std::vector<std::wstring>*>(out)->insert(
            static_cast<std::vector<std::wstring>*>(out)->begin(),
            FormatWide(L"%d/%02d/%02d %02d:%02d:%02d", s.wYear, s.wMonth, s.wDay, s.wHour, s.wMinute, s.wSecond));
      },
      &expected);
  ASSERT_EQ(120u, expected.size());
  ASSERT_NE(nullptr, Open(&filter));
  ASSERT_TRUE(PumpUntil([&] { return RowCount(list) == 120; }));
  PumpUntil([] { return false; }, 100);
  EXPECT_EQ(expected, Column(0));
  filter.limit = 1000;  // more than there are after the bound
  HWND all = OpenMatchHistoryWindow(owner, &filter);
  HWND rows = GetDlgItem(all, IDC_HISTORY_LIST);
  ASSERT_TRUE(PumpUntil([&] { return RowCount(rows) == 420; })) << RowCount(rows);
  EXPECT_EQ(expected.back(), Cell(rows, 419, 0));
  DestroyWindow(all);
}

TEST_F(HistoryWindowTest, CellsAndColoursOfEachRecord) {
  std::string ansiName = WideToAnsi(L"ミラー太郎");
  Store(Match(At(2015, 7, 4, 9, 5, 3), ansiName.c_str(), 0, 2, "rival", 13, 1));
  Store(Match(At(2015, 7, 4, 9, 6, 0), "", 12, 1, "", 3, 2));
  Store(Match(At(2015, 7, 4, 9, 7, 0), "a", 20, 1, "b", -1, 1));
  g_app.colorization = true;  // does not matter to this list
  ASSERT_NE(nullptr, Open(nullptr));
  EXPECT_EQ((std::vector<std::wstring>{L"タイムスタンプ", L"1Pプロフ", L"1Pキャラ", L"1P勝", L"2Pプロフ", L"2Pキャラ",
                                       L"2P勝"}),
            Headers(list));
  ASSERT_EQ(3, RowCount(list));
  EXPECT_EQ((std::vector<std::wstring>{L"2015/07/04 09:05:03", L"ミラー太郎", CharacterTable[0].shortName, L"2",
                                       L"rival", CharacterTable[13].shortName, L"1"}),
            (std::vector<std::wstring>{Cell(list, 0, 0), Cell(list, 0, 1), Cell(list, 0, 2), Cell(list, 0, 3),
                                       Cell(list, 0, 4), Cell(list, 0, 5), Cell(list, 0, 6)}));
  EXPECT_EQ(L"", Cell(list, 1, 1));
  EXPECT_EQ(L"", Cell(list, 2, 2)) << "an id outside the table has no name";
  EXPECT_EQ(L"", Cell(list, 2, 5));

  EXPECT_EQ(Green, RowBackground(window, IDC_HISTORY_LIST, 0)) << "won 2 to 1";
  EXPECT_EQ(White, RowBackground(window, IDC_HISTORY_LIST, 1)) << "lost 1 to 2";
  EXPECT_EQ(White, RowBackground(window, IDC_HISTORY_LIST, 2)) << "1 to 1";
  g_app.colorization = false;
  EXPECT_EQ(White, RowBackground(window, IDC_HISTORY_LIST, 1)) << "no stripes either";
  EXPECT_EQ(Green, RowBackground(window, IDC_HISTORY_LIST, 0));
}

TEST_F(HistoryWindowTest, HeaderClicksDoNotSort) {
  Store(Match(At(2015, 7, 4, 9, 0), "b", 0, 2, "z", 1, 0));
  Store(Match(At(2015, 7, 4, 9, 1), "c", 0, 2, "x", 1, 0));
  Store(Match(At(2015, 7, 4, 9, 2), "a", 0, 2, "y", 1, 0));
  ASSERT_NE(nullptr, Open(nullptr));
  Foreground(window);
  HWND header = (HWND)SendMessageW(list, LVM_GETHEADER, 0, 0);
  NotificationCounter columnClicks(LVN_COLUMNCLICK);
  for (int column : {1, 4, 1}) {
    int before = columnClicks.Count();
    RECT item{};
    SendMessageW(header, HDM_GETITEMRECT, column, (LPARAM)&item);
    POINT centre{(item.left + item.right) / 2, (item.top + item.bottom) / 2};
    ClientToScreen(header, &centre);
    MouseClicks(centre, 1);
    ASSERT_TRUE(columnClicks.WaitPast(before)) << "the click reached the header";
    EXPECT_EQ((std::vector<std::wstring>{L"b", L"c", L"a"}), Column(1));
  }
}

TEST_F(HistoryWindowTest, UnannouncedWritesChangeNothingAndEnterEscapeAndCloseCloseIt) {
  Store(Match(At(2015, 7, 4, 9, 0), "b", 0, 2, "z", 1, 0));
  ASSERT_NE(nullptr, Open(nullptr));
  Store(Match(At(2015, 7, 4, 9, 1), "c", 0, 2, "x", 1, 0));
  PumpUntil([] { return false; }, 100);
  EXPECT_EQ(1, RowCount(list));
  for (int way = 0; way < 3; ++way) {
    HWND closing = OpenMatchHistoryWindow(owner, nullptr);
    HWND rows = GetDlgItem(closing, IDC_HISTORY_LIST);
    ASSERT_TRUE(PumpUntil([&] { return RowCount(rows) == 2; })) << RowCount(rows);
    if (way < 2) {
      // Real keys on the list, through the tracker's own loop and the dialog manager.
      Foreground(closing);
      SetFocus(GetDlgItem(closing, IDC_HISTORY_LIST));
      EXPECT_TRUE(LoopWithInput([way] { PressKey(way == 0 ? VK_RETURN : VK_ESCAPE); },
                                [closing] { return !IsWindow(closing); }))
          << (way == 0 ? "Enter" : "Escape");
    } else {
      // The dialog manager posts the close command on as IDCANCEL.
      SendMessageW(closing, WM_SYSCOMMAND, SC_CLOSE, 0);
      EXPECT_TRUE(PumpUntil([closing] { return !IsWindow(closing); }));
    }
  }
}
}  // namespace
