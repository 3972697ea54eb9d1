#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <climits>
#include <functional>
#include <string>
#include <vector>

#include "TrackerTestSupport.h"
#include "resources/resource.h"
#include "shell/AppState.h"
#include "shell/ChangeJournal.h"
#include "common/CharacterTable.h"
#include "shell/ColorListRow.h"
#include "common/Clipboard.h"
#include "shell/MatchCapture.h"
#include "shell/PendingMatches.h"
#include "shell/ProfileShortcuts.h"
#include "shell/Settings.h"
#include "common/TextUtil.h"
#include "shell/TrayMenu.h"
#include "store/RecordDatabase.h"
#include "store/RecordFilter.h"
#include "views/RecordTable.h"
#include "views/BackupCommands.h"
#include "views/SummaryWindow.h"
#include "views/ViewWindows.h"

namespace {

// 00:00:00.000 of the local day, as a stored timestamp.
int64_t StartOfToday() {
  SYSTEMTIME now;
  GetLocalTime(&now);
  now.wHour = now.wMinute = now.wSecond = now.wMilliseconds = 0;
  FILETIME file;
  SystemTimeToFileTime(&now, &file);
  return (int64_t)(((uint64_t)file.dwHighDateTime << 32) | file.dwLowDateTime);
}

const int64_t LongAgo = 130000000000000000LL;  // a day in 2012
const int64_t Millisecond = 10000;

class SummaryWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_app.instance = GetModuleHandleW(nullptr);
    g_app.settingsPath = folder.File(L"Corvenka.ini");
    g_app.highPrecision = true;
    g_app.colorization = false;
    g_app.autoAjustViewRect = true;
    SummaryPeriod = PeriodAll;
    ClearJournal();
    InstallShortcuts(nullptr, 0);
    dbPath = folder.File(L"Default.db");
    SetDatabasePath(dbPath);
    ASSERT_TRUE(OpenRecordDatabase());
  }
  void TearDown() override {
    if (summary) DestroyWindow(summary);
    g_app.summaryWindow = nullptr;
    CloseRecordDatabase();
  }

  void Create() {
    // As the shell creates it.
    summary = CreateDialogParamA(g_app.instance, MAKEINTRESOURCEA(IDD_SUMMARY), nullptr, SummaryDialogProc, 0);
    ASSERT_NE(summary, nullptr) << GetLastError();
    g_app.summaryWindow = summary;
    ListenToRecordChanges();  // as the start-up wires it
    list = GetDlgItem(summary, IDC_RECORD_LIST);
    ASSERT_NE(list, nullptr);
  }
  void Destroy() {
    DestroyWindow(summary);
    summary = nullptr;
  }
  // Stores one match; won says whether the user won it.
  void Add(int64_t timestamp, int own, int opponent, bool won, const char* opponentName = "opp") {
    ASSERT_TRUE(InsertMatchRecord(Match(timestamp, "me", own, won ? 2 : 1, opponentName, opponent, won ? 0 : 2)));
  }
  // `wins` wins then `losses` losses of one pairing, from `start` on, one millisecond apart.
  int64_t AddRun(int64_t start, int own, int opponent, int wins, int losses) {
    for (int i = 0; i < wins; ++i) Add(start += Millisecond, own, opponent, true);
    for (int i = 0; i < losses; ++i) Add(start += Millisecond, own, opponent, false);
    return start;
  }
  void Command(UINT id) { SendMessageW(summary, WM_SYSCOMMAND, id, 0); }

  std::wstring Cell(int position, int column) { return ::Cell(list, position, column); }
  LPARAM Data(int position) { return RowItemDataAt(list, position); }
  int PositionOf(int rowId) { return FindRowById(list, rowId); }
  // "games wins losses rate last50" of the row with this id, wherever it is.
  std::wstring Figures(int rowId) {
    int p = PositionOf(rowId);
    return Cell(p, 1) + L" " + Cell(p, 2) + L" " + Cell(p, 3) + L" " + Cell(p, 4) + L" " + Cell(p, 5);
  }
  int Key(int rowId) { return ColourKeyOf(Data(PositionOf(rowId))); }
  std::wstring Title() { return WindowText(summary); }
  bool Checked(UINT id) { return (GetMenuState(GetSystemMenu(summary, FALSE), id, MF_BYCOMMAND) & MF_CHECKED) != 0; }
  // Row ids in list order.
  std::vector<int> RowOrder() {
    std::vector<int> ids;
    for (int p = 0; p < RecordRowCount; ++p) ids.push_back(RowIdOf(Data(p)));
    return ids;
  }
  void ExpectPinnedRowsLast() {
    for (int p = CharacterRowCount; p < RecordRowCount; ++p) EXPECT_EQ(RowIdOf(Data(p)), p) << "position " << p;
  }
  void ClickHeader(int column) {
    NMLISTVIEW click{};
    click.hdr.hwndFrom = list;
    click.hdr.idFrom = IDC_RECORD_LIST;
    click.hdr.code = LVN_COLUMNCLICK;
    click.iItem = -1;
    click.iSubItem = column;
    SendMessageW(summary, WM_NOTIFY, IDC_RECORD_LIST, (LPARAM)&click);
  }

  ScratchFolder folder;
  std::wstring dbPath;
  HWND summary = nullptr;
  HWND list = nullptr;
};

TEST(RecordTableFigures, RatesRoundHalfAwayFromZeroAndDropTheTenth) {
  EXPECT_EQ(PerMilleRate(1, 2), 333);
  EXPECT_EQ(PerMilleRate(2, 1), 667);
  EXPECT_EQ(PerMilleRate(1, 15), 63);  // 62.5
  EXPECT_EQ(PerMilleRate(0, 0), 0);
  EXPECT_EQ(PerMilleRate(3, 0), 1000);
  EXPECT_EQ(RateText(667, true), L"66.7%");
  EXPECT_EQ(RateText(667, false), L"66%");
  EXPECT_EQ(RateText(63, true), L"6.3%");
  EXPECT_EQ(RateText(1000, false), L"100%");
  EXPECT_EQ(RecentRateText(0, true), L"(0.0%)");
  EXPECT_EQ(RecentRateText(125, false), L"(12%)");
  EXPECT_EQ(ColourKeyFor(0, 0), 0);
  EXPECT_EQ(ColourKeyFor(0, 3), -500);
  EXPECT_EQ(ColourKeyFor(2, 2), 0);
  EXPECT_EQ(ColourKeyFor(1, 2), -167);
  // A negative key leaves the row id and the pinned flag alone.
  LPARAM data = WithColourKey(RowItemData(TotalRowId, true), -167);
  EXPECT_EQ(RowIdOf(data), TotalRowId);
  EXPECT_TRUE(data & PinnedRowFlag);
  EXPECT_EQ(ColourKeyOf(data), -167);
  EXPECT_EQ(ColourKeyOf(WithColourKey(data, 500)), 500);
}

TEST_F(SummaryWindowTest, AnEmptyDatabaseShowsZerosInEveryRowAndEveryRowIsWhite) {
  Create();
  EXPECT_FALSE(IsWindowVisible(summary));
  EXPECT_EQ(Title(), L"Corvenka Rev.9 - Default");
  ASSERT_EQ(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0), RecordRowCount);
  const wchar_t* pinnedNames[] = {L"", L"総合", L"過去30戦", L"過去50戦", L"過去100戦"};
  for (int p = 0; p < RecordRowCount; ++p) {
    bool pinned = p >= CharacterRowCount;
    EXPECT_EQ(Cell(p, 0), pinned ? pinnedNames[p - CharacterRowCount] : CharacterTable[p].shortName);
    EXPECT_EQ(Data(p), (pinned ? 0x40000000 : 0) + (p << 16)) << p;
    if (p == SeparatorRowId) {
      for (int c = 1; c < 6; ++c) EXPECT_EQ(Cell(p, c), L"") << c;
      continue;
    }
    EXPECT_EQ(Cell(p, 1) + L" " + Cell(p, 2) + L" " + Cell(p, 3) + L" " + Cell(p, 4), L"0 0 0 0.0%") << p;
    EXPECT_EQ(Cell(p, 5), pinned ? L"" : L"(0.0%)") << p;
  }
  g_app.colorization = true;
  for (int p = 0; p < RecordRowCount; ++p) {
    NMLVCUSTOMDRAW draw{};
    draw.nmcd.hdr.hwndFrom = list;
    draw.nmcd.hdr.idFrom = IDC_RECORD_LIST;
    draw.nmcd.hdr.code = NM_CUSTOMDRAW;
    draw.nmcd.dwDrawStage = CDDS_ITEMPREPAINT;
    draw.nmcd.dwItemSpec = p;
    draw.nmcd.lItemlParam = Data(p);
    SendMessageW(summary, WM_NOTIFY, IDC_RECORD_LIST, (LPARAM)&draw);
    EXPECT_EQ(GetWindowLongPtrW(summary, DWLP_MSGRESULT), CDRF_NOTIFYITEMDRAW);
    EXPECT_EQ(draw.clrTextBk, RGB(255, 255, 255)) << p;
  }

  g_app.highPrecision = false;
  SendMessageW(summary, RefreshSummaryMessage, 0, 0);
  EXPECT_EQ(Figures(3), L"0 0 0 0% (0%)");
  EXPECT_EQ(Figures(TotalRowId), L"0 0 0 0% ");
}

TEST_F(SummaryWindowTest, TheDialogAndItsListHaveTheirStyles) {
  // The template itself: DLGTEMPLATEEX, then menu, class and caption, all empty.
  HRSRC found = FindResourceW(g_app.instance, MAKEINTRESOURCEW(IDD_SUMMARY), (LPCWSTR)RT_DIALOG);
  ASSERT_NE(found, nullptr);
  const WORD* words = static_cast<const WORD*>(LockResource(LoadResource(g_app.instance, found)));
  ASSERT_EQ(words[1], 0xFFFF) << "an extended template";
  DWORD exStyle = *reinterpret_cast<const DWORD*>(words + 4);
  DWORD style = *reinterpret_cast<const DWORD*>(words + 6);
  EXPECT_EQ(style & ~(DWORD)DS_SETFONT, (DWORD)(DS_CENTER | WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME));
  EXPECT_EQ(exStyle, (DWORD)(WS_EX_APPWINDOW | WS_EX_DLGMODALFRAME));
  EXPECT_EQ(words[8], 1) << "one control";
  EXPECT_EQ(words[11], 263);
  EXPECT_EQ(words[12], 284);
  EXPECT_EQ(words[13], 0) << "no menu";
  EXPECT_EQ(words[14], 0) << "no class";
  EXPECT_EQ(words[15], 0) << "no caption text";
  EXPECT_EQ(words[16], 8) << "8 pt";
  const wchar_t* face = reinterpret_cast<const wchar_t*>(words + 19);
  EXPECT_STREQ(face, L"MS Shell Dlg");
  // The one control, DWORD-aligned after the face name.
  const BYTE* item = reinterpret_cast<const BYTE*>(face + lstrlenW(face) + 1);
  item = reinterpret_cast<const BYTE*>(((UINT_PTR)item + 3) & ~(UINT_PTR)3);
  const DWORD* itemWords = reinterpret_cast<const DWORD*>(item);
  const short* itemBox = reinterpret_cast<const short*>(item + 12);
  EXPECT_EQ(itemWords[2], (DWORD)(WS_CHILD | WS_VISIBLE | WS_BORDER | WS_TABSTOP | LVS_REPORT | LVS_ALIGNLEFT));
  EXPECT_EQ(itemBox[0], 0);
  EXPECT_EQ(itemBox[1], 0);
  EXPECT_EQ(itemBox[2], 263);
  EXPECT_EQ(itemBox[3], 283);
  EXPECT_EQ(*reinterpret_cast<const DWORD*>(item + 20), (DWORD)IDC_RECORD_LIST);

  Create();
  EXPECT_FALSE(GetWindowLongW(summary, GWL_STYLE) & WS_VISIBLE);
  // The dialog manager trades a control's WS_BORDER for a client edge.
  DWORD listStyle = (DWORD)GetWindowLongW(list, GWL_STYLE);
  DWORD wanted = WS_CHILD | WS_VISIBLE | WS_TABSTOP | LVS_REPORT | LVS_ALIGNLEFT;
  EXPECT_EQ(listStyle & wanted, wanted);
  EXPECT_EQ(listStyle & (LVS_TYPEMASK | LVS_ALIGNMASK), (DWORD)(LVS_REPORT | LVS_ALIGNLEFT));
  RECT origin;
  GetWindowRect(list, &origin);
  MapWindowPoints(nullptr, summary, (POINT*)&origin, 2);
  EXPECT_EQ(origin.left, 0);
  EXPECT_EQ(origin.top, 0);
}

TEST_F(SummaryWindowTest, TheWindowMenuHasItsEighteenEntries) {
  Create();
  HMENU menu = GetSystemMenu(summary, FALSE);
  const struct {
    UINT id;
    const wchar_t* text;
  } expected[18] = {{0xB000, L"プロファイルを読み込む"}, {0, nullptr}, {0xB100, L"自分別戦績"}, {0xB101, L"相手別戦績"},
                    {0, nullptr}, {0xD000, L"全ての対戦"}, {0xD001, L"今日の対戦"}, {0xD002, L"昨日の対戦"},
                    {0xD003, L"カスタム対戦"}, {0, nullptr}, {0xC000, L"元に戻す"}, {0xC001, L"やり直し"},
                    {0, nullptr}, {0xE000, L"相手プロファイル表"}, {0xE001, L"過去対戦履歴表"}, {0, nullptr},
                    {0xE010, L"クリップボードに送る"}, {0, nullptr}};
  for (int i = 0; i < 18; ++i) {
    wchar_t text[64] = L"";
    MENUITEMINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = MIIM_ID | MIIM_FTYPE | MIIM_STRING;
    info.dwTypeData = text;
    info.cch = 64;
    ASSERT_TRUE(GetMenuItemInfoW(menu, i, TRUE, &info)) << i;
    if (!expected[i].id) {
      EXPECT_TRUE(info.fType & MFT_SEPARATOR) << i;
      continue;
    }
    EXPECT_EQ(info.wID, expected[i].id) << i;
    EXPECT_STREQ(text, expected[i].text) << i;
  }
  EXPECT_TRUE(GetMenuItemID(menu, 18) >= 0xF000) << "the standard items follow";
  int count = GetMenuItemCount(menu);
  EXPECT_EQ((UINT)IDM_SHOW_GRAPH, GetMenuItemID(menu, count - 5)) << "additions come last";
  EXPECT_EQ((UINT)SummaryExportJson, GetMenuItemID(menu, count - 3));
  EXPECT_EQ(SummaryRestoreBackup, GetMenuItemID(menu, count - 2));
  EXPECT_EQ(SummaryImportMatches, GetMenuItemID(menu, count - 1));
  EXPECT_TRUE(Checked(0xB100));
  EXPECT_FALSE(Checked(0xB101));
  EXPECT_TRUE(Checked(0xD000));
  EXPECT_FALSE(Checked(0xD001));
}

TEST_F(SummaryWindowTest, KnownRecordsInBothDirections) {
  int64_t t = LongAgo;
  t = AddRun(t, 0, 1, 1, 2);  // own 0 against 1: 1 win, 2 losses
  t = AddRun(t, 2, 3, 2, 1);  // own 2 against 3: 2 wins, 1 loss
  t = AddRun(t, 4, 4, 1, 1);  // exactly half
  Create();
  EXPECT_EQ(Figures(0), L"3 1 2 33.3% (33.3%)");
  EXPECT_EQ(Figures(2), L"3 2 1 66.7% (66.7%)");
  EXPECT_EQ(Figures(4), L"2 1 1 50.0% (50.0%)");
  EXPECT_EQ(Figures(1), L"0 0 0 0.0% (0.0%)");
  EXPECT_EQ(Figures(TotalRowId), L"8 4 4 50.0% ");
  for (int j = 0; j < 3; ++j) EXPECT_EQ(Figures(FirstRecentRowId + j), L"8 4 4 50.0% ");
  EXPECT_EQ(Key(0), -167);
  EXPECT_EQ(Key(2), 167);
  EXPECT_EQ(Key(4), 0);
  EXPECT_EQ(Key(1), 0);

  Command(0xB101);
  EXPECT_TRUE(Checked(0xB101));
  EXPECT_FALSE(Checked(0xB100));
  EXPECT_EQ(Figures(1), L"3 1 2 33.3% (33.3%)");
  EXPECT_EQ(Figures(3), L"3 2 1 66.7% (66.7%)");
  EXPECT_EQ(Figures(4), L"2 1 1 50.0% (50.0%)");
  EXPECT_EQ(Figures(0), L"0 0 0 0.0% (0.0%)");
  EXPECT_EQ(Figures(TotalRowId), L"8 4 4 50.0% ");

  g_app.highPrecision = false;
  Command(0xB100);
  EXPECT_EQ(Figures(0), L"3 1 2 33% (33%)");
  EXPECT_EQ(Figures(2), L"3 2 1 66% (66%)");
}

TEST_F(SummaryWindowTest, RecentRowsAndLast50CountTheNewestMatches) {
  int64_t t = LongAgo;
  // Character 8 against 9, older than everything else: 10 wins, then its 50 newest are 10 wins, 40 losses.
  t = AddRun(t, 8, 9, 10, 0);
  t = AddRun(t, 8, 9, 10, 40);
  // Character 5 against 6, the 120 newest matches, oldest first: 20 wins, 25 x (win, loss), 20 losses, 30 wins.
  t = AddRun(t, 5, 6, 20, 0);
  for (int i = 0; i < 25; ++i) t = AddRun(t, 5, 6, 1, 1);
  t = AddRun(t, 5, 6, 0, 20);
  t = AddRun(t, 5, 6, 30, 0);
  Create();
  EXPECT_EQ(Figures(FirstRecentRowId), L"30 30 0 100.0% ");
  EXPECT_EQ(Figures(FirstRecentRowId + 1), L"50 30 20 60.0% ");
  EXPECT_EQ(Figures(FirstRecentRowId + 2), L"100 55 45 55.0% ");
  EXPECT_EQ(Figures(TotalRowId), L"180 95 85 52.8% ");
  EXPECT_EQ(Figures(5), L"120 75 45 62.5% (60.0%)");
  EXPECT_EQ(Figures(8), L"60 20 40 33.3% (20.0%)") << "its own 50 newest, not those among the 50 newest of all";
  Command(0xB101);
  EXPECT_EQ(Figures(6), L"120 75 45 62.5% (60.0%)");
  EXPECT_EQ(Figures(9), L"60 20 40 33.3% (20.0%)");
  EXPECT_EQ(Figures(FirstRecentRowId + 2), L"100 55 45 55.0% ");
}

TEST_F(SummaryWindowTest, PeriodsCountTheirDaysOnly) {
  int64_t today = StartOfToday();
  AddRun(today - 3 * TimestampUnitsPerDay, 1, 2, 4, 0);  // three days ago
  AddRun(today - TimestampUnitsPerDay, 1, 2, 0, 2);      // yesterday
  AddRun(today, 1, 2, 1, 0);                              // today
  // Local midnight (the tests run far from UTC): yesterday's last millisecond and today's first.
  Add(today - Millisecond, 1, 2, false);
  Add(today, 1, 2, true);
  Create();
  EXPECT_EQ(Figures(1), L"9 6 3 66.7% (66.7%)");
  Command(0xD001);
  EXPECT_TRUE(Checked(0xD001));
  EXPECT_FALSE(Checked(0xD000));
  EXPECT_EQ(Figures(1), L"2 2 0 100.0% (100.0%)");
  EXPECT_EQ(Figures(FirstRecentRowId), L"2 2 0 100.0% ");
  Command(0xD002);
  EXPECT_TRUE(Checked(0xD002));
  EXPECT_FALSE(Checked(0xD001));
  EXPECT_EQ(Figures(1), L"3 0 3 0.0% (0.0%)");
  EXPECT_EQ(Figures(TotalRowId), L"3 0 3 0.0% ");

  // Choosing the current period again does nothing: a match stored behind the window's back stays unseen.
  Add(today - TimestampUnitsPerDay + 500 * Millisecond, 1, 2, true);
  Command(0xD002);
  EXPECT_EQ(Figures(1), L"3 0 3 0.0% (0.0%)");
  // "カスタム対戦" cancelled keeps the period and its check mark (the dialog, once there, is cancelled).
  {
    DialogDriver cancel([](HWND) { return true; },
                        [](HWND dialog) { PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0); },
                        GetCurrentProcessId(), 3000);
    Command(0xD003);
  }
  EXPECT_TRUE(Checked(0xD002));
  EXPECT_FALSE(Checked(0xD003));
  EXPECT_EQ(SummaryPeriod, PeriodYesterday);

  Command(0xD000);
  EXPECT_TRUE(Checked(0xD000));
  EXPECT_FALSE(Checked(0xD002));
  EXPECT_EQ(Figures(1), L"10 7 3 70.0% (70.0%)");
}

TEST_F(SummaryWindowTest, SortingKeepsPinnedRowsLastAndRefreshFollowsTheCharacters) {
  int64_t t = LongAgo;
  t = AddRun(t, 10, 0, 1, 10);   // 11 games, 9%
  t = AddRun(t, 11, 0, 3, 22);   // 25 games, 12%
  t = AddRun(t, 12, 1, 9, 0);    // 9 wins
  t = AddRun(t, 13, 1, 12, 0);   // 12 wins
  t = AddRun(t, 3, 2, 2, 2);     // 2 wins, 50%
  g_app.highPrecision = false;
  Create();

  ClickHeader(2);  // "勝" ascending: numbers, so 9 before 12
  std::vector<int> order = RowOrder();
  EXPECT_EQ(std::vector<int>(order.begin() + 9, order.begin() + 14), (std::vector<int>{10, 3, 11, 12, 13}));
  ExpectPinnedRowsLast();
  ClickHeader(2);
  order = RowOrder();
  EXPECT_EQ(std::vector<int>(order.begin(), order.begin() + 4), (std::vector<int>{13, 12, 11, 3}));
  ExpectPinnedRowsLast();

  ClickHeader(5);  // "過去50" starts ascending: (9%) before (12%) before (50%)
  order = RowOrder();
  EXPECT_EQ(std::vector<int>(order.begin() + 9, order.begin() + 12), (std::vector<int>{10, 11, 3}));
  ExpectPinnedRowsLast();

  // "勝率" descending moves the rows of the characters with matches to the top; the other direction must
  // then recompute each row for the character it shows, not for the one that used to be there.
  ClickHeader(4);
  ClickHeader(4);
  order = RowOrder();
  EXPECT_GE(std::find(order.begin(), order.end(), 0) - order.begin(), 5);
  Command(0xB101);
  EXPECT_EQ(RowOrder(), order) << "a refresh does not re-sort";
  for (int p = 0; p < CharacterRowCount; ++p) {
    int c = RowIdOf(Data(p));
    EXPECT_EQ(Cell(p, 0), CharacterTable[c].shortName);
  }
  EXPECT_EQ(Figures(0), L"36 4 32 11% (11%)");
  EXPECT_EQ(Figures(1), L"21 21 0 100% (100%)");
  EXPECT_EQ(Figures(2), L"4 2 2 50% (50%)");
  EXPECT_EQ(Figures(10), L"0 0 0 0% (0%)");
  EXPECT_EQ(Figures(13), L"0 0 0 0% (0%)");
  EXPECT_EQ(Key(1), 500);
  Command(0xD001);  // nothing today
  for (int c = 0; c < CharacterRowCount; ++c) EXPECT_EQ(Figures(c), L"0 0 0 0% (0%)") << c;
  Command(0xD000);
  Command(0xB100);
  EXPECT_EQ(Figures(13), L"12 12 0 100% (100%)");
  EXPECT_EQ(Figures(10), L"11 1 10 9% (9%)");
  EXPECT_EQ(Figures(0), L"0 0 0 0% (0%)");
  ExpectPinnedRowsLast();
}

TEST_F(SummaryWindowTest, AMouseClickOnTheHeaderSorts) {
  int64_t t = LongAgo;
  for (int c = 0; c < CharacterRowCount; ++c) t = AddRun(t, c, 0, c % 5, 1);  // games 1..5, repeating
  g_app.autoAjustViewRect = false;
  Create();
  SetWindowPos(summary, HWND_TOP, 40, 40, 0, 0, SWP_NOSIZE | SWP_SHOWWINDOW);
  SetForegroundWindow(summary);
  PumpUntil([] { return false; }, 200);

  HWND header = (HWND)SendMessageW(list, LVM_GETHEADER, 0, 0);
  RECT item;
  ASSERT_TRUE(SendMessageW(header, HDM_GETITEMRECT, 1, (LPARAM)&item));  // "対戦数"
  POINT centre{(item.left + item.right) / 2, (item.top + item.bottom) / 2};
  ClientToScreen(header, &centre);
  int width = GetSystemMetrics(SM_CXSCREEN), height = GetSystemMetrics(SM_CYSCREEN);
  INPUT input[3] = {};
  for (INPUT& i : input) {
    i.type = INPUT_MOUSE;
    i.mi.dx = MulDiv(centre.x, 65535, width - 1);
    i.mi.dy = MulDiv(centre.y, 65535, height - 1);
    i.mi.dwFlags = MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_MOVE;
  }
  input[1].mi.dwFlags |= MOUSEEVENTF_LEFTDOWN;
  input[2].mi.dwFlags |= MOUSEEVENTF_LEFTUP;
  ASSERT_EQ(SendInput(3, input, sizeof(INPUT)), 3u);
  auto sortedByGames = [&] {
    for (int p = 1; p < CharacterRowCount; ++p)
      if (_wtoi(Cell(p - 1, 1).c_str()) > _wtoi(Cell(p, 1).c_str())) return false;
    return true;
  };
  EXPECT_TRUE(PumpUntil(sortedByGames, 5000)) << "the click reached the header";
  EXPECT_EQ((int)(INT_PTR)GetPropW(list, L"SLV.SORT.CURRENTCOL"), 1);
  EXPECT_EQ((int)(INT_PTR)GetPropW(list, L"SLV.SORT.DIRECTION"), 1);
  ExpectPinnedRowsLast();
}

TEST_F(SummaryWindowTest, TheCopiedTableOfAnEmptyDatabase) {
  g_app.highPrecision = false;
  Create();
  CopyTextToClipboard(L"sentinel", -1);
  Command(0xE010);
  std::wstring text = ClipboardText();
  std::vector<std::wstring> lines;
  size_t start = 0;
  for (size_t end; (end = text.find(L"\r\n", start)) != std::wstring::npos; start = end + 2)
    lines.push_back(text.substr(start, end - start));
  EXPECT_EQ(start, text.size()) << "the last line ends in CR LF too";
  ASSERT_EQ(lines.size(), 20u);
  EXPECT_EQ(lines[0], L"名前             対戦数      勝      負     勝率    過去50");
  EXPECT_EQ(lines[1], std::wstring(CharacterTable[0].shortName) +
                          std::wstring(11 - lstrlenW(CharacterTable[0].shortName), L' ') +
                          L"      0      0      0     0%    (0%)");
  EXPECT_EQ(lines[15], std::wstring(11 + 4 * 7 + 8, L' '));
  EXPECT_EQ(lines[16], L"総合               0      0      0     0%        ");
  EXPECT_EQ(lines[19], L"過去100戦           0      0      0     0%        ");

  // A full rate with one decimal fills "過去50" to its edge; a blank still parts it from "勝率".
  g_app.highPrecision = true;
  AddRun(LongAgo, 0, 5, 1, 0);
  SendMessageW(summary, RefreshSummaryMessage, 0, 0);
  Command(0xE010);
  text = ClipboardText();
  EXPECT_NE(std::wstring::npos, text.find(L" 100.0% (100.0%)\r\n")) << WideToUtf8(text.c_str());
  size_t width = text.find(L"\r\n");
  for (size_t at = 0, end; (end = text.find(L"\r\n", at)) != std::wstring::npos; at = end + 2)
    EXPECT_EQ(width, end - at) << "every line as wide as the header";
}

TEST_F(SummaryWindowTest, LoadingAProfileThatDoesNotExistCreatesIt) {
  AddRun(LongAgo, 2, 2, 3, 0);
  Create();
  RecordChange(ChangeInserted, MatchRecord{});
  HWND owned = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 10, 10, summary, nullptr, nullptr, nullptr);
  HWND other = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
  ProfileShortcut shortcuts[2] = {};
  std::wstring fresh = folder.File(L"Evening.db");
  lstrcpyW(shortcuts[1].path, fresh.c_str());
  shortcuts[0].keyCode = 'A';
  shortcuts[1].keyCode = 'B';
  lstrcpyW(shortcuts[0].path, dbPath.c_str());
  ASSERT_TRUE(InstallShortcuts(shortcuts, 2));

  SendMessageW(summary, WM_COMMAND, 50005, 0);  // no such shortcut
  EXPECT_EQ(CurrentDatabasePath(), dbPath);
  // A shortcut's file that is not there may have been moved: it is made anew only when the user says so.
  {
    MessageBoxAnswerer no(IDNO);
    SendMessageW(summary, WM_COMMAND, 50001, 0);
    EXPECT_NE(std::wstring::npos, no.Text().find(fresh));
  }
  EXPECT_EQ(CurrentDatabasePath(), dbPath);
  EXPECT_FALSE(FileExists(fresh));
  EXPECT_TRUE(CanUndo());
  MessageBoxAnswerer yes(IDYES);
  SendMessageW(summary, WM_COMMAND, 50001, 0);
  EXPECT_TRUE(yes.Wait());
  EXPECT_EQ(CurrentDatabasePath(), fresh);
  EXPECT_TRUE(FileExists(fresh));
  EXPECT_EQ(Title(), L"Corvenka Rev.9 - Evening");
  EXPECT_EQ(Figures(2), L"0 0 0 0.0% (0.0%)");
  EXPECT_FALSE(CanUndo());
  EXPECT_FALSE(IsWindow(owned)) << "windows owned by the summary close";
  EXPECT_TRUE(IsWindow(other));
  DestroyWindow(other);

  // Back through the window menu's file dialog, to a name typed in that does not exist yet.
  std::wstring typed = folder.File(L"Typed.db");
  DialogDriver fileDialog(
      [](HWND dialog) { return GetDlgItem(dialog, 0x47C) || GetDlgItem(dialog, 0x480); },
      [typed](HWND dialog) {
        AnswerFileDialog(dialog, typed);
        // The create prompt is a message box over the file dialog.
        for (int i = 0; i < 500; ++i) {
          HWND box = FindWindowExW(nullptr, nullptr, L"#32770", nullptr);
          for (; box; box = FindWindowExW(nullptr, box, L"#32770", nullptr))
            if (box != dialog && IsWindowVisible(box) && GetDlgItem(box, IDYES)) break;
          if (box) {
            PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDYES, BN_CLICKED), (LPARAM)GetDlgItem(box, IDYES));
            return;
          }
          if (!IsWindow(dialog)) return;
          Sleep(20);
        }
      });
  Command(0xB000);
  EXPECT_TRUE(fileDialog.Wait());
  EXPECT_EQ(CurrentDatabasePath(), typed);
  EXPECT_TRUE(FileExists(typed));
  EXPECT_EQ(Title(), L"Corvenka Rev.9 - Typed");

  SendMessageW(summary, WM_COMMAND, 50000, 0);
  EXPECT_EQ(Title(), L"Corvenka Rev.9 - Default");
  EXPECT_EQ(Figures(2), L"3 3 0 100.0% (100.0%)");
}

TEST_F(SummaryWindowTest, AProfileThatCannotBeOpenedOrHoldMatchesChangesNothing) {
  FakeProbe probe;
  probe.Install();
  g_app.copyMode = CopyNone;
  AddRun(LongAgo, 2, 2, 3, 0);
  Create();
  RecordChange(ChangeInserted, MatchRecord{});
  HWND owned = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 10, 10, summary, nullptr, nullptr, nullptr);
  ProfileShortcut shortcuts[2] = {};
  std::wstring unreachable = folder.File(L"no such folder\\Lost.db");
  lstrcpyW(shortcuts[0].path, unreachable.c_str());
  shortcuts[0].keyCode = 'C';
  // Read cut from the settings: the cut path names another file.
  std::wstring whole = folder.File(std::wstring(1100, L'x').c_str());
  lstrcpynW(shortcuts[1].path, whole.c_str(), 1025);
  NoteCutShortcutPath(shortcuts[1].path, whole);
  shortcuts[1].keyCode = 'D';
  ASSERT_TRUE(InstallShortcuts(shortcuts, 2));
  auto expectUnchanged = [&](const std::wstring& boxText, const std::wstring& path, const wchar_t* reason) {
    EXPECT_EQ(0u, boxText.find(L"プロファイルのマッピングに失敗しました。\n\n" + path + L"\n\n")) << Ascii(path);
    EXPECT_NE(std::wstring::npos, boxText.find(reason)) << Ascii(path);
    EXPECT_EQ(CurrentDatabasePath(), dbPath);
    EXPECT_EQ(Title(), L"Corvenka Rev.9 - Default");
    EXPECT_EQ(Figures(2), L"3 3 0 100.0% (100.0%)");
    EXPECT_TRUE(CanUndo());
    EXPECT_TRUE(IsWindow(owned));
  };

  DialogSequence answers({DialogSequence::Box(IDYES), DialogSequence::Box(IDOK)});
  SendMessageW(summary, WM_COMMAND, 50000, 0);
  ASSERT_TRUE(answers.Wait());
  expectUnchanged(answers.Seen()[1], unreachable, L"ファイルを作成できませんでした");
  {
    MessageBoxAnswerer answer(IDOK);
    SendMessageW(summary, WM_COMMAND, 50001, 0);
    expectUnchanged(answer.Text(), shortcuts[1].path, L"パスが長すぎて");
  }
  for (const UnusableProfile& bad : UnusableProfiles) {
    std::wstring path = folder.File(bad.name);
    MakeUnusableProfile(path, bad);
    std::string before = ReadWholeFile(path);
    MessageBoxAnswerer answer(IDOK);
    EXPECT_FALSE(LoadSummaryProfile(summary, path));
    expectUnchanged(answer.Text(), path, bad.reason);
    EXPECT_EQ(before, ReadWholeFile(path));
  }

  // Still the old database, for the figures and for the next capture.
  probe.names = {{7, "me"}, {8, "rival"}};
  probe.values = {{4, 2}, {5, 1}, {2, 2}, {3, 2}, {1, 0}};
  CaptureFinishedMatch();
  EXPECT_TRUE(PumpUntil([&] { return Figures(2) == L"4 4 0 100.0% (100.0%)"; }));
  EXPECT_EQ(4, CountRows(dbPath));

  // One that cannot be written is loaded for reading, with a warning in a box and on the tray.
  std::wstring readable = folder.File(L"readable.db");
  ASSERT_TRUE(BuildDatabase(readable, MatchTableSchema));
  ASSERT_TRUE(CreateDirectoryW((readable + L"-journal").c_str(), nullptr));
  MessageBoxAnswerer warning(IDOK);
  EXPECT_TRUE(LoadSummaryProfile(summary, readable));
  EXPECT_NE(std::wstring::npos, warning.Text().find(L"対戦は保存されません"));
  EXPECT_EQ(Title(), L"Corvenka Rev.9 - readable");
  EXPECT_NE(std::wstring::npos, std::wstring(TrayIconData().szTip).find(L"読み取り専用"));
  EXPECT_TRUE(LoadSummaryProfile(summary, dbPath));
  EXPECT_EQ(std::wstring::npos, std::wstring(TrayIconData().szTip).find(L"読み取り専用"));
}

TEST_F(SummaryWindowTest, MatchesWaitingAtASwitchAreStoredInTheirOwnProfile) {
  FakeProbe probe;
  probe.Install();
  Create();
  ProfileShortcut shortcuts[2] = {};
  std::wstring other = folder.File(L"Other.db");
  ASSERT_TRUE(BuildDatabase(other, (std::string(MatchTableSchema) + ";" + MatchIndexSchema).c_str()));
  lstrcpyW(shortcuts[0].path, dbPath.c_str());
  lstrcpyW(shortcuts[1].path, other.c_str());
  shortcuts[0].keyCode = 'A';
  shortcuts[1].keyCode = 'B';
  ASSERT_TRUE(InstallShortcuts(shortcuts, 2));
  probe.names = {{7, "me"}, {8, "rival"}};
  probe.values = {{4, 2}, {5, 1}, {2, 6}, {3, 7}, {1, 0}};
  {
    HeldReadLock reader(dbPath);
    ASSERT_TRUE(reader.Held());
    CaptureFinishedMatch();
    SendMessageW(summary, WM_COMMAND, 50001, 0);
  }
  EXPECT_EQ(CurrentDatabasePath(), other);
  EXPECT_EQ(0, CountRows(other)) << "never into another profile";
  EXPECT_EQ(0, CountRows(dbPath));
  EXPECT_TRUE(FileExists(RecoveryFilePath(dbPath)));
  SendMessageW(summary, WM_COMMAND, 50000, 0);
  EXPECT_EQ(1, CountRows(dbPath));
  EXPECT_FALSE(FileExists(RecoveryFilePath(dbPath)));
  EXPECT_EQ(0, CountRows(other));
}

// A capture arriving while the switch shows its first box: the box's own loop dispatches it.
constexpr UINT CaptureNowMessage = WM_APP + 50;
LRESULT CALLBACK CaptureOnMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == CaptureNowMessage) CaptureFinishedMatch();
  return DefWindowProcW(window, message, wParam, lParam);
}

TEST_F(SummaryWindowTest, RecoveredMatchesAndACaptureDuringTheReadOnlyBoxAreAllStoredOnce) {
  FakeProbe probe;
  probe.Install();
  Create();
  ProfileShortcut shortcuts[2] = {};
  std::wstring other = folder.File(L"Other.db");
  ASSERT_TRUE(BuildDatabase(other, MatchTableSchema));
  lstrcpyW(shortcuts[0].path, dbPath.c_str());
  lstrcpyW(shortcuts[1].path, other.c_str());
  shortcuts[0].keyCode = 'A';
  shortcuts[1].keyCode = 'B';
  ASSERT_TRUE(InstallShortcuts(shortcuts, 2));
  // Left by a run that found Other.db read-only: three matches, the names in hex.
  WriteWholeFile(RecoveryFilePath(other),
                 "CorvenkaPendingMatches 1\r\n"
                 "130804743031200000 1 2 2 0 6d65 6f6e65\r\n"
                 "130804743031210000 1 2 2 1 6d65 74776f\r\n"
                 "130804743031220000 1 0 2 2 6d65 7468726565\r\n");
  ASSERT_TRUE(CreateDirectoryW((other + L"-journal").c_str(), nullptr));  // still read-only

  WNDCLASSW wc{};
  wc.lpfnWndProc = CaptureOnMessage;
  wc.lpszClassName = L"CaptureDuringBox";
  RegisterClassW(&wc);
  HWND capturer = CreateWindowW(L"CaptureDuringBox", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
  probe.names = {{7, "me"}, {8, "four"}};
  probe.values = {{4, 2}, {5, 1}, {2, 6}, {3, 7}, {1, 0}};
  PostMessageW(capturer, CaptureNowMessage, 0, 0);
  {
    MessageBoxAnswerer warning(IDOK);
    SendMessageW(summary, WM_COMMAND, 50001, 0);
    EXPECT_NE(std::wstring::npos, warning.Text().find(L"読み取り専用"));
  }
  DestroyWindow(capturer);
  ASSERT_EQ(CurrentDatabasePath(), other);
  EXPECT_EQ(4u, PendingMatchCount());

  // Writable again: back and forth, and all four are there once.
  ASSERT_TRUE(RemoveDirectoryW((other + L"-journal").c_str()));
  SendMessageW(summary, WM_COMMAND, 50000, 0);
  SendMessageW(summary, WM_COMMAND, 50001, 0);
  EXPECT_EQ(4, CountRows(other));
  EXPECT_EQ(4, CountRows(other, "WHERE p2name IN ('one', 'two', 'three', 'four')"));
  EXPECT_FALSE(FileExists(RecoveryFilePath(other)));
  EXPECT_EQ(0u, PendingMatchCount());
}

// The caption's right button: Wine's default handling waits for the button to come up, so the release is
// queued first, away from the window.
void RightButtonOnCaption(HWND window) {
  SetCursorPos(0, 0);
  PostMessageW(window, WM_RBUTTONUP, 0, 0);
  SendMessageW(window, WM_NCRBUTTONDOWN, HTCAPTION, MAKELPARAM(0, 0));
}

TEST_F(SummaryWindowTest, UndoAndRedoAfterACapture) {
  FakeProbe probe;
  probe.Install();
  g_app.copyMode = CopyNone;
  g_app.autoAjustViewRect = false;
  Create();
  SetWindowPos(summary, nullptr, 300, 300, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  probe.names = {{7, "me"}, {8, "rival"}};
  probe.values = {{4, 2}, {5, 1}, {2, 6}, {3, 7}, {1, 0}};
  CaptureFinishedMatch();
  EXPECT_TRUE(PumpUntil([&] { return Figures(6) == L"1 1 0 100.0% (100.0%)"; })) << "the posted refresh arrived";

  HMENU menu = GetSystemMenu(summary, FALSE);
  auto grayed = [&](UINT id) { return (GetMenuState(menu, id, MF_BYCOMMAND) & MF_GRAYED) != 0; };
  RightButtonOnCaption(summary);
  EXPECT_FALSE(grayed(0xC000));
  EXPECT_TRUE(grayed(0xC001));

  auto tip = [] { return std::wstring(TrayIconData().szTip); };
  EXPECT_NE(std::wstring::npos, tip().find(L"今日 1勝0敗"));
  Command(0xC000);
  EXPECT_EQ(Figures(6), L"0 0 0 0.0% (0.0%)");
  EXPECT_EQ(CountRows(dbPath), 0);
  EXPECT_NE(std::wstring::npos, tip().find(L"今日 0勝0敗")) << "the tray's record follows the undo";
  RightButtonOnCaption(summary);
  EXPECT_TRUE(grayed(0xC000));
  EXPECT_FALSE(grayed(0xC001));

  Command(0xC001);
  EXPECT_EQ(Figures(6), L"1 1 0 100.0% (100.0%)");
  EXPECT_EQ(Figures(TotalRowId), L"1 1 0 100.0% ");
  Command(0xC001);  // nothing left to redo: refreshes all the same
  EXPECT_EQ(CountRows(dbPath), 1);
  RightButtonOnCaption(summary);
  EXPECT_FALSE(grayed(0xC000));
  EXPECT_TRUE(grayed(0xC001));
}

TEST_F(SummaryWindowTest, AFailingQueryIsReportedAndRolledBack) {
  AddRun(LongAgo, 1, 1, 2, 0);
  Create();
  EXPECT_EQ(Figures(1), L"2 2 0 100.0% (100.0%)");
  MatchRecord bad{};
  bad.timestamp = LongAgo + 1000 * Millisecond;
  bad.p1id = 20;  // no such character: the pairing query refuses the table
  bad.p1win = 2;
  ASSERT_TRUE(InsertMatchRecord(bad));

  MessageBoxAnswerer answer(IDOK);
  SendMessageW(summary, RefreshSummaryMessage, 0, 0);
  ASSERT_TRUE(answer.Wait());
  EXPECT_EQ(answer.Text(), L"戦績表示の更新に失敗しました");
  EXPECT_TRUE(sqlite3_get_autocommit(RecordDatabase())) << "no transaction left open";
  EXPECT_EQ(Figures(1), L"2 2 0 100.0% (100.0%)") << "the rows keep what they showed";
}

TEST_F(SummaryWindowTest, PositionAndDirectionAreSavedAndRestored) {
  g_app.autoAjustViewRect = false;
  Create();
  SetWindowPos(summary, nullptr, 123, 77, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  Command(0xB101);
  Destroy();
  EXPECT_EQ(ReadSettingInt(L"RUZDlg.Display", L"X", INT_MIN), 123);
  EXPECT_EQ(ReadSettingInt(L"RUZDlg.Display", L"Y", INT_MIN), 77);
  EXPECT_EQ(ReadSettingInt(L"RUZDlg.Viziriduvoz", L"DirLeft", 7), 0);

  AddRun(LongAgo, 0, 5, 1, 0);
  Create();
  RECT rect;
  GetWindowRect(summary, &rect);
  EXPECT_EQ(rect.left, 123);
  EXPECT_EQ(rect.top, 77);
  EXPECT_TRUE(Checked(0xB101));
  EXPECT_FALSE(Checked(0xB100));
  EXPECT_EQ(Figures(5), L"1 1 0 100.0% (100.0%)") << "opened on the opponents' characters";
  Destroy();

  // A place beyond every work area comes back into the nearest; one partly off the screen is kept.
  RECT work;
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  WriteSettingInt(L"RUZDlg.Display", L"X", work.right + 3000);
  WriteSettingInt(L"RUZDlg.Display", L"Y", work.top + 40);
  Create();
  GetWindowRect(summary, &rect);
  EXPECT_EQ(rect.right, work.right);
  EXPECT_EQ(rect.top, work.top + 40);
  Destroy();
  WriteSettingInt(L"RUZDlg.Display", L"X", -5000);
  WriteSettingInt(L"RUZDlg.Display", L"Y", -5000);
  Create();
  GetWindowRect(summary, &rect);
  EXPECT_EQ(rect.left, work.left);
  EXPECT_EQ(rect.top, work.top);
  Destroy();
  WriteSettingInt(L"RUZDlg.Display", L"X", work.left - 60);
  WriteSettingInt(L"RUZDlg.Display", L"Y", work.bottom - 30);
  Create();
  GetWindowRect(summary, &rect);
  EXPECT_EQ(rect.left, work.left - 60);
  EXPECT_EQ(rect.top, work.bottom - 30);
  Destroy();

  // Without "Y" the dialog stays where it was centred.
  WriteSettingText(L"RUZDlg.Display", L"Y", nullptr);
  Create();
  GetWindowRect(summary, &rect);
  int width = rect.right - rect.left, height = rect.bottom - rect.top;
  EXPECT_NEAR(rect.left, work.left + (work.right - work.left - width) / 2, 2);
  EXPECT_NEAR(rect.top, work.top + (work.bottom - work.top - height) / 2, 2);
}

TEST_F(SummaryWindowTest, AutoAdjustShowsEveryRowAndColumn) {
  Create();
  RECT client, last, column;
  GetClientRect(list, &client);
  last.left = LVIR_BOUNDS;
  ASSERT_TRUE(SendMessageW(list, LVM_GETITEMRECT, RecordRowCount - 1, (LPARAM)&last));
  EXPECT_LE(last.bottom, client.bottom);
  column.left = LVIR_BOUNDS;
  column.top = 5;
  ASSERT_TRUE(SendMessageW(list, LVM_GETSUBITEMRECT, 0, (LPARAM)&column));
  EXPECT_LE(column.right, client.right);
  RECT dialogClient;
  GetClientRect(summary, &dialogClient);
  RECT listRect;
  GetWindowRect(list, &listRect);
  EXPECT_EQ(listRect.right - listRect.left, dialogClient.right) << "the list fills the client area";
  EXPECT_EQ(listRect.bottom - listRect.top, dialogClient.bottom);

  // Shrunk and grown back, no scroll bar is left over the rows.
  RECT fitted;
  GetWindowRect(summary, &fitted);
  SetWindowPos(summary, nullptr, 0, 0, 120, 90, SWP_NOMOVE | SWP_NOZORDER);
  EXPECT_TRUE(GetWindowLongW(list, GWL_STYLE) & (WS_VSCROLL | WS_HSCROLL)) << "small, it scrolls";
  SetWindowPos(summary, nullptr, 0, 0, fitted.right - fitted.left, fitted.bottom - fitted.top,
               SWP_NOMOVE | SWP_NOZORDER);
  EXPECT_EQ(0, GetWindowLongW(list, GWL_STYLE) & (WS_VSCROLL | WS_HSCROLL));
  EXPECT_EQ(0, SendMessageW(list, LVM_GETTOPINDEX, 0, 0));
}

}  // namespace
