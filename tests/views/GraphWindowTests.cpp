#include <gtest/gtest.h>
#include <windows.h>

#include <commctrl.h>
#include <fstream>
#include <string>
#include <vector>

#include "TrackerTestSupport.h"
#include "resources/resource.h"
#include "shell/AppState.h"
#include "shell/ChangeJournal.h"
#include "common/CharacterTable.h"
#include "shell/MatchCapture.h"
#include "shell/Settings.h"
#include "common/TextUtil.h"
#include "store/RecordDatabase.h"
#include "store/RecordFilter.h"
#include "views/GraphWindow.h"
#include "views/SummaryWindow.h"
#include "views/ViewWindows.h"

namespace {
const int64_t Minute = 600000000LL;

BOOL CALLBACK FindGraphTooltip(HWND w, LPARAM context) {
  wchar_t name[32];
  if (GetClassNameW(w, name, 32) && lstrcmpW(name, TOOLTIPS_CLASSW) == 0 && GetWindow(w, GW_OWNER) == GraphWindow())
    *reinterpret_cast<HWND*>(context) = w;
  return TRUE;
}

BOOL CALLBACK FindSummaryOwned(HWND w, LPARAM context) {
  if (GetWindow(w, GW_OWNER) == g_app.summaryWindow && IsWindowVisible(w)) *reinterpret_cast<HWND*>(context) = w;
  return TRUE;
}

class GraphWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_app.instance = GetModuleHandleW(nullptr);
    g_app.settingsPath = folder.File(L"Corvenka.ini");
    g_app.highPrecision = true;
    SummaryPeriod = PeriodAll;
    ClearJournal();
    SetDatabasePath(folder.File(L"Default.db"));
    ASSERT_TRUE(OpenRecordDatabase());
    summary = CreateDialogParamA(g_app.instance, MAKEINTRESOURCEA(IDD_SUMMARY), nullptr, SummaryDialogProc, 0);
    ASSERT_NE(summary, nullptr) << GetLastError();
    g_app.summaryWindow = summary;
    ListenToRecordChanges();  // as the start-up wires it
  }
  void TearDown() override {
    if (GraphWindow()) DestroyWindow(GraphWindow());
    DestroyWindow(summary);
    g_app.summaryWindow = nullptr;
    CloseRecordDatabase();
  }
  // Through the summary's window menu, as the user opens it.
  HWND Open() {
    SendMessageW(summary, WM_SYSCOMMAND, IDM_SHOW_GRAPH, 0);
    HWND graph = GraphWindow();
    if (graph) UpdateWindow(graph);
    return graph;
  }
  void Store(int64_t timestamp, int own, int opponent, bool won) {
    ASSERT_TRUE(InsertMatchRecord(Match(timestamp, "me", own, won ? 2 : 0, "opp", opponent, won ? 1 : 2)));
  }
  HWND Tooltip() {
    HWND found = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), FindGraphTooltip, (LPARAM)&found);
    return found;
  }
  // What the tooltip of a grid cell says.
  std::wstring Tip(int own, int opponent) {
    wchar_t text[512] = L"";
    TTTOOLINFOW tool{};
    tool.cbSize = TTTOOLINFOW_V2_SIZE;
    tool.hwnd = GraphWindow();
    tool.uId = (UINT_PTR)(own * 14 + opponent);
    tool.lpszText = text;
    SendMessageW(Tooltip(), TTM_GETTEXTW, 512, (LPARAM)&tool);
    return text;
  }
  bool TipStarts(int own, int opponent, const std::wstring& expected) {
    std::wstring tip = Tip(own, opponent);
    EXPECT_EQ(tip.substr(0, expected.size()), expected);
    return tip.compare(0, expected.size(), expected) == 0;
  }
  POINT CellCentre(int own, int opponent) {
    TTTOOLINFOW tool{};
    tool.cbSize = TTTOOLINFOW_V2_SIZE;
    tool.hwnd = GraphWindow();
    tool.uId = (UINT_PTR)(own * 14 + opponent);
    SendMessageW(Tooltip(), TTM_GETTOOLINFOW, 0, (LPARAM)&tool);
    return {(tool.rect.left + tool.rect.right) / 2, (tool.rect.top + tool.rect.bottom) / 2};
  }

  ScratchFolder folder;
  HWND summary = nullptr;
};

TEST_F(GraphWindowTest, OpensOnceAtNoneOneAndManyMatches) {
  HWND graph = Open();
  ASSERT_NE(graph, nullptr);
  EXPECT_TRUE(IsWindowVisible(graph));
  EXPECT_EQ(WindowText(graph), L"戦績グラフ");
  EXPECT_EQ(Tip(4, 1), L"リク 対 ミオ\r\n対戦なし");
  EXPECT_EQ(Open(), graph) << "one window at a time";

  int64_t t = CurrentTimestamp() - 40000 * Minute;
  Store(t, 4, 1, true);
  SendMessageW(summary, RefreshSummaryMessage, 0, 0);
  UpdateWindow(graph);
  EXPECT_EQ(Tip(4, 1), L"リク 対 ミオ\r\n1戦 1勝0敗 勝率 100.0%\r\n95%信頼区間 20.7% - 100.0%\r\n10戦未満のため参考値です");

  BeginTransaction();
  for (int i = 0; i < 3000; ++i) Store(t += Minute * (i % 40 ? 3 : 200), i % 7, 1 + i % 3, i % 5 < 3);
  EndTransaction(false);
  SendMessageW(summary, RefreshSummaryMessage, 0, 0);
  for (int choice = 0; choice < 3; ++choice) {
    SendMessageW(GetDlgItem(graph, IDC_GRAPH_SPAN), CB_SETCURSEL, choice, 0);
    SendMessageW(graph, WM_COMMAND, MAKEWPARAM(IDC_GRAPH_SPAN, CBN_SELCHANGE), (LPARAM)GetDlgItem(graph, IDC_GRAPH_SPAN));
    SendMessageW(GetDlgItem(graph, IDC_GRAPH_CHARACTER), CB_SETCURSEL, choice * 5, 0);
    SendMessageW(graph, WM_COMMAND, MAKEWPARAM(IDC_GRAPH_CHARACTER, CBN_SELCHANGE),
                 (LPARAM)GetDlgItem(graph, IDC_GRAPH_CHARACTER));
    UpdateWindow(graph);
  }
  // i % 7 == 4 and 1 + i % 3 == 2: i = 4 (mod 21), 143 of them, each a win when i % 5 < 3.
  int wins = 0, games = 0;
  for (int i = 0; i < 3000; ++i)
    if (i % 7 == 4 && 1 + i % 3 == 2) ++games, wins += i % 5 < 3;
  TipStarts(4, 2, FormatWide(L"リク 対 ゴウ\r\n%d戦 %d勝%d敗 ", games, wins, games - wins));
}

// Years of matches: every cell's text fits its cell at four-digit counts (the counts, else the rate), and
// the headers carry the full names, each fitting its room, measured with the window's own fonts.
TEST_F(GraphWindowTest, GridTextsFitTheirCellsAtFourDigitCountsAndHeadersNameInFull) {
  int64_t t = CurrentTimestamp() - 30000 * Minute;
  BeginTransaction();
  for (int i = 0; i < 5288; ++i) Store(t += Minute / 4, 12, 1, i < 2700);
  for (int i = 0; i < 150; ++i) Store(t += Minute / 4, 3, 9, i % 3 == 0);
  Store(t += Minute / 4, 0, 0, true);
  EndTransaction(false);
  ASSERT_NE(nullptr, Open());
  HDC dc = GetDC(nullptr);
  auto fits = [dc](const GraphText& text) {
    HGDIOBJ old = SelectObject(dc, text.font);
    SIZE size{};
    GetTextExtentPoint32W(dc, text.text.c_str(), (int)text.text.size(), &size);
    SelectObject(dc, old);
    return text.font && size.cx <= text.room && size.cy <= text.across;
  };
  for (int own = 0; own < 14; ++own)
    for (int opponent = 0; opponent < 14; ++opponent) {
      GraphText cell = GraphGridText(own, opponent);
      EXPECT_TRUE(fits(cell)) << own << " " << opponent << " " << WideToUtf8(cell.text.c_str());
    }
  EXPECT_NE(L"", GraphGridText(12, 1).text) << "a busy cell says something";
  EXPECT_EQ(L"1-0", GraphGridText(0, 0).text);
  EXPECT_EQ(L"50-100", GraphGridText(3, 9).text);
  for (int k = 0; k < 14; ++k)
    for (bool column : {false, true}) {
      GraphText header = GraphGridHeader(k, column);
      EXPECT_EQ(CharacterTable[k].fullName, header.text);
      EXPECT_TRUE(fits(header)) << k << (column ? " column" : " row");
    }
  ReleaseDC(nullptr, dc);
}

TEST_F(GraphWindowTest, FollowsACaptureAnUndoThePeriodAndAProfileSwitch) {
  FakeProbe probe;
  probe.Install();
  g_app.copyMode = CopyNone;
  Store(CurrentTimestamp() - 3 * 1440 * Minute, 6, 7, false);  // three days ago
  HWND graph = Open();
  ASSERT_NE(graph, nullptr);
  TipStarts(6, 7, L"ジン 対 ハナ\r\n1戦 0勝1敗 ");

  probe.names = {{7, "me"}, {8, "rival"}};
  probe.values = {{4, 2}, {5, 1}, {2, 6}, {3, 7}, {1, 0}};
  CaptureFinishedMatch();
  EXPECT_TRUE(PumpUntil([&] { return Tip(6, 7).compare(0, 16, L"ジン 対 ハナ\r\n2戦 1勝1敗") == 0; })) << Tip(6, 7);

  SendMessageW(summary, WM_SYSCOMMAND, SummaryPeriodToday, 0);
  TipStarts(6, 7, L"ジン 対 ハナ\r\n1戦 1勝0敗 ");
  SendMessageW(summary, WM_SYSCOMMAND, SummaryUndo, 0);
  EXPECT_EQ(Tip(6, 7), L"ジン 対 ハナ\r\n対戦なし");

  // The grid's double click opens the detail window of that own character, owned by the summary.
  SendMessageW(summary, WM_SYSCOMMAND, SummaryPeriodAll, 0);
  POINT centre = CellCentre(6, 7);
  SendMessageW(graph, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(centre.x, centre.y));
  HWND detail = nullptr;
  EnumThreadWindows(GetCurrentThreadId(), FindSummaryOwned, (LPARAM)&detail);
  ASSERT_NE(detail, nullptr);
  EXPECT_NE(WindowText(detail).find(L"ジン"), std::wstring::npos) << WindowText(detail);

  ASSERT_TRUE(LoadSummaryProfile(summary, folder.File(L"Other.db")));
  EXPECT_FALSE(IsWindow(detail));
  ASSERT_EQ(GraphWindow(), graph) << "the graph stays open across a profile switch";
  EXPECT_EQ(Tip(6, 7), L"ジン 対 ハナ\r\n対戦なし");
}

TEST_F(GraphWindowTest, KeepsItsPlaceAndSizeAndGivesItsPicture) {
  HWND graph = Open();
  ASSERT_NE(graph, nullptr);
  SetWindowPos(graph, nullptr, 123, 77, 720, 540, SWP_NOZORDER);
  RECT before;
  GetWindowRect(graph, &before);
  SendMessageW(graph, WM_SYSCOMMAND, SC_CLOSE, 0);
  EXPECT_EQ(GraphWindow(), nullptr);
  EXPECT_EQ(ReadSettingInt(L"GraphDlg.Display", L"Width", 0), 720);
  graph = Open();
  ASSERT_NE(graph, nullptr);
  RECT after;
  GetWindowRect(graph, &after);
  EXPECT_EQ(before.left, after.left);
  EXPECT_EQ(before.top, after.top);
  EXPECT_EQ(before.right, after.right);
  EXPECT_EQ(before.bottom, after.bottom);
  // Saved on a monitor that has gone: brought back where it can be reached.
  SendMessageW(graph, WM_SYSCOMMAND, SC_CLOSE, 0);
  WriteSettingInt(L"GraphDlg.Display", L"X", -30000);
  WriteSettingInt(L"GraphDlg.Display", L"Y", 40000);
  graph = Open();
  ASSERT_NE(graph, nullptr);
  GetWindowRect(graph, &after);
  RECT screen{0, 0, GetSystemMetrics(SM_CXVIRTUALSCREEN), GetSystemMetrics(SM_CYVIRTUALSCREEN)}, seen;
  EXPECT_TRUE(IntersectRect(&seen, &after, &screen)) << after.left << "," << after.top;

  RECT client;
  GetClientRect(graph, &client);
  SendMessageW(graph, WM_SYSCOMMAND, IDM_GRAPH_COPY, 0);
  ASSERT_TRUE(OpenClipboard(nullptr));
  EXPECT_TRUE(IsClipboardFormatAvailable(CF_BITMAP));
  auto* header = static_cast<BITMAPINFOHEADER*>(GlobalLock(GetClipboardData(CF_DIB)));
  ASSERT_NE(header, nullptr);
  EXPECT_EQ(header->biWidth, client.right);
  EXPECT_EQ(header->biHeight, client.bottom);
  GlobalUnlock(GetClipboardData(CF_DIB));
  CloseClipboard();

  std::wstring png = folder.File(L"graph.png");
  ASSERT_TRUE(SaveGraphPicture(graph, png));
  std::ifstream file(png.c_str(), std::ios::binary);
  char signature[8] = {};
  file.read(signature, 8);
  EXPECT_EQ(std::string(signature, 8), std::string("\x89PNG\r\n\x1a\n", 8));
  EXPECT_FALSE(SaveGraphPicture(graph, folder.File(L"no such folder\\graph.png")));
}

// Captures are added to the figures the open window holds; an undo, or an insert older than the newest match,
// counts them again. Either way the window shows what a window opened afresh shows.
TEST_F(GraphWindowTest, AfterCapturesAndAnUndoShowsWhatAFreshWindowShows) {
  int64_t t = CurrentTimestamp() - 900 * Minute;
  BeginTransaction();
  for (int i = 0; i < 240; ++i) Store(t += Minute * (i % 30 ? 2 : 45), i % 5, i % 7, i % 3 != 0);
  EndTransaction(false);
  ASSERT_NE(nullptr, Open());
  auto picture = [&](const wchar_t* name) {
    std::wstring path = folder.File(name);
    EXPECT_TRUE(SaveGraphPicture(GraphWindow(), path));
    return ReadWholeFile(path);
  };
  // The open window's picture, then that of a window opened afresh in its place.
  auto sameAsFresh = [&] {
    std::string held = picture(L"held.png");
    SendMessageW(GraphWindow(), WM_SYSCOMMAND, SC_CLOSE, 0);
    Open();
    return held == picture(L"fresh.png");
  };
  auto capture = [&](int64_t when, int own, bool won) {
    MatchRecord record = Match(when, "me", own, won ? 2 : 1, "opp", 3, won ? 0 : 2);
    ASSERT_TRUE(InsertMatchRecord(record));
    RecordChange(ChangeInserted, record);
    SendMessageW(summary, RefreshSummaryMessage, 0, 0);
  };
  for (int i = 0; i < 6; ++i) capture(t += 3 * Minute, 2, i != 4);
  capture(t += 50 * Minute, 2, true);  // a new session
  EXPECT_TRUE(sameAsFresh());
  capture(t - 100 * Minute + Minute / 7, 4, false);  // added by hand among the older matches
  EXPECT_TRUE(sameAsFresh());
  SendMessageW(summary, WM_SYSCOMMAND, SummaryUndo, 0);
  capture(t += Minute, 1, false);
  EXPECT_TRUE(sameAsFresh());
  SendMessageW(summary, WM_SYSCOMMAND, SummaryUndo, 0);
  SendMessageW(summary, WM_SYSCOMMAND, SummaryUndo, 0);
  EXPECT_TRUE(sameAsFresh());
}

// The layout alone: each cell is found where it is drawn and nowhere else, and the parts stay apart from the
// smallest window up, at 96 and 144 DPI; the axis puts its ends on the plot's edges.
TEST(GraphLayoutTest, CellsAreFoundWhereTheyAreDrawnAndThePartsStayApart) {
  for (UINT dpi : {96u, 144u})
    for (RECT client : {RECT{0, 0, 560, 420}, RECT{0, 0, 1400, 1000}}) {
      GraphLayout l = LayOut(client, 80, 70, dpi);
      for (int cell = 0; cell < 196; ++cell) {
        RECT box = CellRect(l, cell / 14, cell % 14);
        EXPECT_EQ(cell, CellAt(l, {box.left, box.top}));
        ASSERT_EQ(cell, CellAt(l, {box.right - 1, box.bottom - 1}));
      }
      RECT last = CellRect(l, 13, 13);
      EXPECT_EQ(-1, CellAt(l, {last.right, last.top}));
      EXPECT_EQ(-1, CellAt(l, {last.left, last.bottom}));
      EXPECT_EQ(-1, CellAt(l, {l.cellsAt.x - 1, l.cellsAt.y}));
      EXPECT_TRUE(l.top.bottom <= l.trend.top && l.trend.bottom <= l.bars.top && l.bars.bottom <= l.grid.top);
      EXPECT_TRUE(l.grid.right <= l.side.left && l.side.right <= client.right && l.grid.bottom <= client.bottom);
    }
  Axis many{{10, 20, 110, 121}, 5}, one{{10, 20, 110, 121}, 1};
  EXPECT_EQ(10, many.X(0));
  EXPECT_EQ(109, many.X(4));
  EXPECT_EQ(59, one.X(0));
  EXPECT_EQ(120, many.Y(0));
  EXPECT_EQ(20, many.Y(1000));
}

}  // namespace
