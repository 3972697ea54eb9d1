// The windows as the summary window opens them, and what goes when a profile is loaded.
#include <gtest/gtest.h>

#include <sqlite3.h>

#include <cstring>
#include <random>

#include "ViewTestSupport.h"
#include "resources/resource.h"
#include "shell/AppState.h"
#include "shell/ChangeJournal.h"
#include "common/CharacterTable.h"
#include "common/TextUtil.h"
#include "store/RecordDatabase.h"
#include "store/RecordFilter.h"
#include "store/RecordQueries.h"
#include "views/SortableList.h"
#include "views/GraphWindow.h"
#include "views/SummaryWindow.h"
#include "views/ViewWindows.h"

namespace {
BOOL CALLBACK MoveAside(HWND window, LPARAM keep) {
  if (window != (HWND)keep && IsWindowVisible(window))
    SetWindowPos(window, nullptr, 900, 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  return TRUE;
}

class SummaryLinksTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_app.highPrecision = false;
    g_app.colorization = false;
    SummaryPeriod = PeriodAll;
    memset(&CustomFilter, 0, sizeof CustomFilter);
    ClearJournal();
    summary = CreateDialogParamW(g_app.instance, MAKEINTRESOURCEW(IDD_SUMMARY), nullptr, SummaryDialogProc, 0);
    ASSERT_NE(nullptr, summary);
    g_app.summaryWindow = summary;
    list = GetDlgItem(summary, IDC_RECORD_LIST);
    ShowWindow(summary, SW_SHOW);
  }
  void TearDown() override {
    DestroyWindow(summary);
    g_app.summaryWindow = nullptr;
  }
  HWND OnlyOwned(HWND owner, const wchar_t* caption = nullptr) {
    std::vector<HWND> windows = OwnedWindows(owner, caption);
    return windows.size() == 1 ? windows[0] : nullptr;
  }
  // A real double click on a character row of the summary, which opens its detail window.
  HWND OpenDetailOf(int character) {
    int position = -1;
    for (int i = 0; i < RowCount(list); ++i)
      if (((ItemData(list, i) >> 16) & 0xFF) == character) position = i;
    // Owned windows stay above their owner: move every other window off the summary's rows.
    EnumThreadWindows(GetCurrentThreadId(), MoveAside, (LPARAM)summary);
    Foreground(summary);
    NotificationCounter clicks(NM_DBLCLK);
    MouseClicks(CellCentre(list, position, 1), 2);
    EXPECT_TRUE(clicks.WaitPast(0));
    MouseClicks(POINT{5, 5}, 0);
    std::vector<HWND> details;
    for (HWND w : OwnedWindows(summary))
      if (WindowText(w).rfind(L"詳細 - ", 0) == 0) details.push_back(w);
    return details.size() == 1 ? details[0] : nullptr;
  }
  std::wstring SummaryRow(int character) {
    for (int i = 0; i < RowCount(list); ++i)
      if (((ItemData(list, i) >> 16) & 0xFF) == character)
        return Cell(list, i, 1) + L"|" + Cell(list, i, 2) + L"|" + Cell(list, i, 3);
    return L"?";
  }
  ScratchProfile profile;
  HWND summary = nullptr, list = nullptr;
};

TEST_F(SummaryLinksTest, DetailFromEitherDirectionAndTheSummaryFollowsItsChanges) {
  const int x = 3, y = 10;
  HWND detail = OpenDetailOf(x);
  ASSERT_NE(nullptr, detail);
  EXPECT_EQ(std::wstring(L"詳細 - with ") + CharacterTable[x].shortName + L" ", WindowText(detail));
  HWND rows = GetDlgItem(detail, IDC_RECORD_LIST);
  for (int i = 0; i < 14; ++i) EXPECT_EQ(L"0", Cell(rows, i, 1));

  // "勝" of row y in the detail window, by a real double click.
  int position = -1;
  for (int i = 0; i < 14; ++i)
    if (((ItemData(rows, i) >> 16) & 0xFF) == y) position = i;
  Foreground(detail);
  NotificationCounter clicks(NM_DBLCLK);
  MouseClicks(CellCentre(rows, position, 2), 2);
  ASSERT_TRUE(clicks.WaitPast(0));
  MouseClicks(POINT{5, 5}, 0);
  EXPECT_EQ(L"1", Cell(rows, position, 2));
  EXPECT_TRUE(PumpUntil([&] { return SummaryRow(x) == L"1|1|0"; })) << "the posted refresh reaches the summary";

  // From the opponents' side the same row opens a window fixed on that opponent character.
  SendMessageW(summary, WM_SYSCOMMAND, 0xB101, 0);
  DestroyWindow(detail);
  detail = OpenDetailOf(y);
  ASSERT_NE(nullptr, detail);
  EXPECT_EQ(std::wstring(L"詳細 - vs ") + CharacterTable[y].shortName + L" ", WindowText(detail));
  rows = GetDlgItem(detail, IDC_RECORD_LIST);
  for (int i = 0; i < 14; ++i) {
    if (((ItemData(rows, i) >> 16) & 0xFF) == x) {
      EXPECT_EQ(L"1", Cell(rows, i, 2));
    }
  }
}

// Detail, opponent and history windows follow a capture, undo and redo as the summary does, each on its own
// filter, and every window menu greys undo and redo however it is opened.
TEST_F(SummaryLinksTest, OpenWindowsFollowCapturesUndoAndRedo) {
  const int x = 2, y = 6;
  Store(Match(At(2015, 7, 4, 10), "me", x, 2, "rival", y, 0));
  Store(Match(At(2015, 7, 4, 11), "me", x + 1, 2, "other", y, 0));  // outside the detail window's filter
  auto* filter = new RecordFilter{};
  filter->flags = FilterP1Id;
  filter->p1id = x;
  HWND detail = OpenDetailWindow(summary, filter, 1);
  HWND rows = GetDlgItem(detail, IDC_RECORD_LIST);
  RecordFilter own{};
  own.flags = FilterP1Id;
  own.p1id = x;
  HWND opponents = GetDlgItem(OpenOpponentProfileWindow(summary, &own), IDC_RECORD_LIST);
  HWND history = GetDlgItem(OpenMatchHistoryWindow(summary, &own), IDC_HISTORY_LIST);
  auto games = [&] {
    int position = -1;
    for (int i = 0; i < 14; ++i)
      if (((ItemData(rows, i) >> 16) & 0xFF) == y) position = i;
    return Cell(rows, position, 1) + L"|" + std::to_wstring(RowCount(opponents)) + L"|" +
           std::to_wstring(RowCount(history));
  };
  ASSERT_TRUE(PumpUntil([&] { return games() == L"1|1|1"; })) << games();

  MatchRecord captured = Match(At(2015, 7, 4, 12), "me", x, 2, "newcomer", y, 0);
  Store(captured);  // as the capture does: stored, journalled, then the summary is told
  RecordChange(ChangeInserted, captured);
  PostMessageW(summary, RefreshSummaryMessage, 0, 0);
  EXPECT_TRUE(PumpUntil([&] { return games() == L"2|2|2"; })) << games();
  EXPECT_EQ(L"newcomer", Cell(history, 1, 4)) << "the newest at the bottom";

  auto itemEnabled = [](HWND window, UINT command) {
    HMENU menu = GetSystemMenu(window, FALSE);
    SendMessageW(window, WM_INITMENUPOPUP, (WPARAM)menu, MAKELPARAM(0, TRUE));
    return !(GetMenuState(menu, command, MF_BYCOMMAND) & MF_GRAYED);
  };
  EXPECT_TRUE(itemEnabled(summary, 0xC000));
  EXPECT_FALSE(itemEnabled(summary, 0xC001));
  EXPECT_TRUE(itemEnabled(detail, 0xD000));
  EXPECT_FALSE(itemEnabled(detail, 0xD001));

  SendMessageW(summary, WM_SYSCOMMAND, 0xC000, 0);
  EXPECT_TRUE(PumpUntil([&] { return games() == L"1|1|1"; })) << "after undo: " << games();
  EXPECT_FALSE(itemEnabled(detail, 0xD000));
  EXPECT_TRUE(itemEnabled(detail, 0xD001));
  EXPECT_TRUE(itemEnabled(summary, 0xC001));
  SendMessageW(detail, WM_SYSCOMMAND, 0xD001, 0);
  EXPECT_TRUE(PumpUntil([&] { return games() == L"2|2|2"; })) << "after redo: " << games();
}

// The list's pixels as they are now, after what it had to draw.
std::vector<uint32_t> Drawn(HWND list) {
  UpdateWindow(list);
  RECT client;
  GetClientRect(list, &client);
  HDC screen = GetDC(list);
  HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO info{};
  info.bmiHeader = {sizeof info.bmiHeader, client.right, -client.bottom, 1, 32, BI_RGB};
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, client.right, client.bottom, screen, 0, 0, SRCCOPY);
  GdiFlush();
  std::vector<uint32_t> pixels((const uint32_t*)bits, (const uint32_t*)bits + client.right * client.bottom);
  SelectObject(memory, old);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(list, screen);
  return pixels;
}

// Captures, undo, redo, changes by hand, rollbacks and other programs' writes, at random, with histories and
// opponent lists open under several filters and sorts: after every step each window shows exactly what a
// window opened afresh with the same filter and sort shows, draws what it would draw from scratch (a list
// draws again only the rows a change moved), and a selected match stays selected.
TEST_F(SummaryLinksTest, OpenListsAlwaysShowWhatAFreshWindowShows) {
  std::mt19937 random(2611);
  const char* names[] = {"aki", "ren", "sora", "", "yui"};
  int64_t t = At(2015, 7, 4, 10);
  std::vector<int64_t> stamps;
  auto make = [&](int64_t at) {
    int won = (int)(random() % 3);
    return Match(at, random() % 4 ? "me" : "alt", (int)(random() % 4), won == 0 ? 2 : won == 1 ? 0 : 1,
                 names[random() % 5], (int)(random() % 3), won == 0 ? 0 : won == 1 ? 2 : 1);
  };
  for (int i = 0; i < 40; ++i) Store(make(t += 600000000LL * (1 + random() % 90)));
  sqlite3_exec(RecordDatabase(), "UPDATE viziriduvozmirrow SET p2name = NULL WHERE p2name = ''", nullptr, nullptr,
               nullptr);

  struct Shown {
    RecordFilter filter;
    bool history;
    std::vector<int> clicks;
    HWND window;
  };
  std::vector<Shown> shown;
  auto filterOf = [&](uint32_t flags) {
    RecordFilter f{};
    f.flags = flags;
    f.p1id = 1;
    f.limit = 12;
    f.timestampFrom = At(2015, 7, 5);
    strcpy(f.p2name, "ren");
    return f;
  };
  auto click = [](HWND window, int column) {
    NMLISTVIEW notice{};
    notice.hdr = {GetDlgItem(window, IDC_RECORD_LIST), IDC_RECORD_LIST, (UINT)LVN_COLUMNCLICK};
    notice.iItem = -1;
    notice.iSubItem = column;
    SendMessageW(window, WM_NOTIFY, IDC_RECORD_LIST, (LPARAM)&notice);
  };
  auto open = [&](const Shown& s) {
    HWND window = s.history ? OpenMatchHistoryWindow(summary, &s.filter) : OpenOpponentProfileWindow(summary, &s.filter);
    for (int column : s.clicks) click(window, column);
    return window;
  };
  for (uint32_t flags : {0u, (uint32_t)FilterP1Id, (uint32_t)FilterLimit, (uint32_t)(FilterP2Name | FilterLimit)})
    shown.push_back({filterOf(flags), true, {}, nullptr});
  shown.push_back({filterOf(0), false, {}, nullptr});
  shown.push_back({filterOf(FilterP1Id), false, {1}, nullptr});
  shown.push_back({filterOf(FilterFrom), false, {4, 4}, nullptr});
  shown.push_back({filterOf(FilterLimit), false, {0}, nullptr});
  for (Shown& s : shown) s.window = open(s);
  auto rows = [](HWND window) {
    HWND list = GetDlgItem(window, IDC_HISTORY_LIST);
    if (!list) list = GetDlgItem(window, IDC_RECORD_LIST);
    std::vector<std::wstring> out;
    for (int row = 0; row < RowCount(list); ++row) {
      std::wstring text;
      for (int column = 0; column < 7; ++column) text += Cell(list, row, column) + L"|";
      out.push_back(text);
    }
    return out;
  };
  HWND all = GetDlgItem(shown[0].window, IDC_HISTORY_LIST);
  auto selected = [&] {
    int at = (int)SendMessageW(all, LVM_GETNEXTITEM, (WPARAM)-1, LVNI_SELECTED);
    return at < 0 ? std::wstring() : Cell(all, at, 0);
  };
  LVITEMW pick{};
  pick.stateMask = pick.state = LVIS_SELECTED;
  SendMessageW(all, LVM_SETITEMSTATE, 20, (LPARAM)&pick);
  std::wstring picked = selected();
  bool pickedGone = false;

  auto newest = [&] {
    MatchRecord latest{};
    QueryLatestMatch(RecordFilter{}, latest);
    return latest.timestamp;
  };
  auto anyStored = [&](MatchRecord& record) {
    std::vector<MatchRecord> every;
    QueryMatchHistory(RecordFilter{}, [](const MatchRecord& r, void* c) { static_cast<std::vector<MatchRecord>*>(c)->push_back(r); },
                      &every);
    if (every.empty()) return false;
    record = every[random() % every.size()];
    return true;
  };
  for (int step = 0; step < 36; ++step) {
    int kind = (int)(random() % 7);
    MatchRecord record;
    std::string what;
    if (kind <= 1) {  // a capture, or a result added by hand (also among older ones)
      MatchRecord before;
      record = make(kind == 1 && anyStored(before) ? before.timestamp + 1 : newest() + 600000000LL * (1 + random() % 30));
      Store(record);
      RecordChange(ChangeInserted, record);
      PostMessageW(summary, RefreshSummaryMessage, 0, 0);
      what = "capture";
    } else if (kind == 2 && anyStored(record)) {  // a result taken away by hand, any of them
      BeginTransaction();
      bool removed = DeleteMatchRecord(record.timestamp);
      ASSERT_TRUE(EndTransaction(!removed) && removed);
      RecordChange(ChangeDeleted, record);
      PostMessageW(summary, RefreshSummaryMessage, 0, 0);
      what = "removal";
      if (random() % 2) {  // back in the middle of the lists
        SendMessageW(summary, WM_SYSCOMMAND, 0xC000, 0);
        what = "removal undone";
      }
    } else if (kind == 3) {
      SendMessageW(summary, WM_SYSCOMMAND, 0xC000, 0);
      what = "undo";
    } else if (kind == 4) {
      SendMessageW(summary, WM_SYSCOMMAND, 0xC001, 0);
      what = "redo";
    } else if (kind == 5) {  // another program
      sqlite3* other = nullptr;
      ASSERT_EQ(SQLITE_OK, sqlite3_open16(profile.Path().c_str(), &other));
      char* sql = random() % 2 && anyStored(record)
                      ? sqlite3_mprintf("DELETE FROM viziriduvozmirrow WHERE timestamp = %lld", (long long)record.timestamp)
                      : sqlite3_mprintf("INSERT INTO viziriduvozmirrow VALUES (%lld, 'me', 2, 2, 'ren', 1, 0)",
                                        (long long)(newest() + 600000000LL));
      EXPECT_EQ(SQLITE_OK, sqlite3_exec(other, sql, nullptr, nullptr, nullptr));
      sqlite3_free(sql);
      sqlite3_close(other);
      PostMessageW(summary, RefreshSummaryMessage, 0, 0);
      what = "other program";
    } else {  // a write of ours rolled back
      BeginTransaction();
      InsertMatchRecord(make(newest() + 600000000LL));
      EndTransaction(true);
      PostMessageW(summary, RefreshSummaryMessage, 0, 0);
      what = "rollback";
    }
    PumpUntil([] { return false; }, 30);
    // Before a fresh window comes and goes over them, which has every row drawn again.
    for (Shown& s : shown) {
      HWND list = GetDlgItem(s.window, s.history ? IDC_HISTORY_LIST : IDC_RECORD_LIST);
      std::vector<uint32_t> drawn = Drawn(list);
      InvalidateRect(list, nullptr, TRUE);
      EXPECT_TRUE(drawn == Drawn(list)) << "step " << step << " (" << what << "), window " << (&s - &shown[0]);
    }
    for (Shown& s : shown) {
      HWND fresh = open(s);
      // Shorter than the retry of a failed read, which would mend a wrong row.
      PumpUntil([&] { return rows(fresh) == rows(s.window); }, 1500);
      ASSERT_EQ(rows(fresh), rows(s.window)) << "step " << step << " (" << what << "), window " << (&s - &shown[0]);
      DestroyWindow(fresh);
    }
    bool pickedStored = false;
    for (const std::wstring& row : rows(shown[0].window)) pickedStored = pickedStored || row.rfind(picked + L"|", 0) == 0;
    // Once gone, an undo brings the match back but not its selection.
    pickedGone = pickedGone || !pickedStored;
    if (!pickedGone) {
      EXPECT_EQ(picked, selected()) << "step " << step;
    }
  }
}

TEST_F(SummaryLinksTest, CustomPeriodDialogReplacesTheFilterOnlyOnOk) {
  Store(Match(At(2015, 7, 4, 10), "me", 0, 2, "friend", 1, 0));
  Store(Match(At(2015, 7, 4, 11), "me", 0, 2, "stranger", 1, 0));
  SendMessageW(summary, RefreshSummaryMessage, 0, 0);
  HMENU menu = GetSystemMenu(summary, FALSE);
  auto run = [&](bool ok) {
    DialogDriver driver([](HWND h) { return WindowText(h) == L"カスタム戦績"; },
                        [ok](HWND h) {
                          SendMessageW(GetDlgItem(h, IDC_P2_CHECK), BM_CLICK, 0, 0);
                          SetDlgItemTextW(h, IDC_P2_NAME, L"friend");
                          PostMessageW(h, WM_COMMAND, ok ? IDOK : IDCANCEL, 0);
                        });
    SendMessageW(summary, WM_SYSCOMMAND, 0xD003, 0);
    EXPECT_TRUE(driver.Wait());
  };
  run(false);
  EXPECT_EQ(PeriodAll, SummaryPeriod);
  EXPECT_EQ(0u, CustomFilter.flags);
  EXPECT_TRUE(GetMenuState(menu, 0xD000, MF_BYCOMMAND) & MF_CHECKED);
  EXPECT_FALSE(GetMenuState(menu, 0xD003, MF_BYCOMMAND) & MF_CHECKED);
  EXPECT_EQ(L"2|2|0", SummaryRow(0));
  run(true);
  EXPECT_EQ(PeriodCustom, SummaryPeriod);
  EXPECT_EQ((uint32_t)FilterP2Name, CustomFilter.flags);
  EXPECT_STREQ("friend", CustomFilter.p2name);
  EXPECT_FALSE(GetMenuState(menu, 0xD000, MF_BYCOMMAND) & MF_CHECKED);
  EXPECT_TRUE(GetMenuState(menu, 0xD003, MF_BYCOMMAND) & MF_CHECKED);
  EXPECT_EQ(L"1|1|0", SummaryRow(0));
  SummaryPeriod = PeriodAll;
}

TEST_F(SummaryLinksTest, LoadingAProfileClosesEveryWindowTheSummaryOwns) {
  Store(Match(At(2015, 7, 4, 10), "me", 0, 2, "foe", 1, 0));
  HWND detail = OpenDetailOf(0);
  ASSERT_NE(nullptr, detail);
  SendMessageW(summary, WM_SYSCOMMAND, 0xE000, 0);  // 相手プロファイル表
  HWND opponents = OnlyOwned(summary, L"相手プロファイル");
  ASSERT_NE(nullptr, opponents);
  SendMessageW(detail, WM_SYSCOMMAND, 0xE000, 0);
  HWND detailOpponents = OnlyOwned(detail, L"相手プロファイル");
  ASSERT_NE(nullptr, detailOpponents);
  SendMessageW(detail, WM_SYSCOMMAND, 0xE001, 0);
  DialogDriver confirm([](HWND h) { return WindowText(h) == L"対戦履歴フィルタの設定"; },
                       [](HWND h) { PostMessageW(h, WM_COMMAND, IDOK, 0); });
  SendMessageW(summary, WM_SYSCOMMAND, 0xE001, 0);  // 過去対戦履歴表, confirmed as it is
  ASSERT_TRUE(confirm.Wait());
  std::vector<HWND> histories = OwnedWindows(summary, L"対戦履歴");
  ASSERT_EQ(2u, histories.size()) << "the detail's and the filter dialog's histories belong to the summary";
  HWND stranger = MakeOwnerWindow();
  HWND strangers = OpenOpponentProfileWindow(stranger, nullptr);
  // A change in the journal, which the load must forget.
  RecordChange(ChangeInserted, Match(At(2015, 7, 4, 11), "", 0, 2, "", 1, 0));

  // Closing the detail window takes its own opponent window only.
  SendMessageW(detail, WM_SYSCOMMAND, SC_CLOSE, 0);
  EXPECT_FALSE(IsWindow(detail));
  EXPECT_FALSE(IsWindow(detailOpponents));
  EXPECT_TRUE(IsWindow(opponents));
  for (HWND h : histories) EXPECT_TRUE(IsWindow(h));

  detail = OpenDetailOf(0);
  ASSERT_NE(nullptr, detail);
  SendMessageW(detail, WM_SYSCOMMAND, 0xE000, 0);
  detailOpponents = OnlyOwned(detail, L"相手プロファイル");
  ASSERT_TRUE(LoadSummaryProfile(summary, profile.folder.File(L"other.db")));
  for (HWND h : {detail, opponents, detailOpponents, histories[0], histories[1]}) EXPECT_FALSE(IsWindow(h));
  EXPECT_TRUE(IsWindow(summary));
  EXPECT_TRUE(IsWindow(strangers)) << "a window the summary does not own stays";
  EXPECT_FALSE(CanUndo());
  DestroyWindow(stranger);
}
TEST_F(SummaryLinksTest, KeysWorkTheListsAndEscapeClosesEachWindowAsItsCloseButtonDoes) {
  Store(Match(At(2015, 7, 4, 10), "me", 0, 2, "foe", 1, 0));
  RecordFilter* own = new RecordFilter{};
  own->flags = FilterP1Id;
  HWND detail = OpenDetailWindow(summary, own, 1);
  SystemCommand(summary, 0xE000);  // 相手プロファイル表
  HWND opponents = OnlyOwned(summary, L"相手プロファイル");
  ASSERT_NE(nullptr, opponents);
  DWORD self = GetCurrentThreadId();
  for (HWND window : {summary, detail, opponents}) {
    HWND rows = GetDlgItem(window, IDC_RECORD_LIST);
    Foreground(window);
    SetFocus(rows);
    // The list is the only stop for Tab; Enter closes none of these; the arrows move the selection.
    EXPECT_TRUE(LoopWithInput(
        [] {
          for (WORD key : {VK_TAB, VK_RETURN, VK_DOWN}) PressKey(key);
        },
        [rows] { return SendMessageW(rows, LVM_GETSELECTEDCOUNT, 0, 0) > 0; }))
        << WideToUtf8(WindowText(window).c_str());
    EXPECT_TRUE(IsWindow(window) && IsWindowVisible(window));
    EXPECT_EQ(rows, FocusOf(self));
  }
  // Escape: the detail and opponent windows close, the summary hides, the graph closes.
  HWND graph = OpenGraphWindow(summary);
  ASSERT_NE(nullptr, graph);
  for (HWND window : {detail, opponents, graph, summary}) {
    Foreground(window);
    if (window != graph) SetFocus(GetDlgItem(window, IDC_RECORD_LIST));
    EXPECT_TRUE(LoopWithInput([] { PressKey(VK_ESCAPE); }, [window] { return !IsWindowVisible(window); }))
        << WideToUtf8(WindowText(window).c_str());
    EXPECT_EQ(window == summary, IsWindow(window) != FALSE);
  }
}
}  // namespace
