// The opponent profile window: the record against every opponent name of one filter.
#include <windows.h>
#include <commctrl.h>
#include <shlwapi.h>

#include <cstring>
#include <map>
#include <set>
#include <string>

#include "RecordTable.h"
#include "SortableList.h"
#include "ViewCommon.h"
#include "ViewWindows.h"
#include "resources/resource.h"
#include "shell/AppState.h"
#include "shell/ColorListRow.h"
#include "shell/TextUtil.h"
#include "store/RecordQueries.h"

namespace {
constexpr UINT RefillCommand = 0xEE00;

const ListColumn OpponentColumns[] = {
    {LVCFMT_LEFT, 100, L"相手", SortByText},     {LVCFMT_RIGHT, 55, L"対戦数", SortByNumber},
    {LVCFMT_RIGHT, 55, L"勝", SortByNumber},     {LVCFMT_RIGHT, 55, L"負", SortByNumber},
    {LVCFMT_RIGHT, 55, L"勝率", SortByNumber},
};

struct OpponentWindowState {
  RecordFilter filter;
  // The stored bytes of each row's name by the list's item id (which survives sorting): the shown text is
  // cut and converted, so it need not lead back to the same opponent.
  std::map<UINT, std::string> names;
  std::set<UINT> nullNames;  // rows of the matches stored without a name
};

OpponentWindowState* StateOf(HWND dialog) {
  return reinterpret_cast<OpponentWindowState*>(GetWindowLongPtrW(dialog, DWLP_USER));
}
HWND ListOf(HWND dialog) { return GetDlgItem(dialog, IDC_RECORD_LIST); }

void SetCell(HWND list, int row, int column, const std::wstring& text) {
  LVITEMW item{};
  item.iSubItem = column;
  item.pszText = const_cast<wchar_t*>(text.c_str());
  SendMessageW(list, LVM_SETITEMTEXTW, row, (LPARAM)&item);
}

// One opponent: the name in p2name, wins in p1win, losses in p2win.
void InsertOpponent(const MatchRecord& totals, void* context) {
  HWND dialog = static_cast<HWND>(context);
  HWND list = ListOf(dialog);
  // Stray negative round counts must not turn into negative games or rates above 100%.
  int wins = totals.p1win < 0 ? 0 : totals.p1win, losses = totals.p2win < 0 ? 0 : totals.p2win;
  int rate = PerMilleRate(wins, losses);
  std::wstring name = AnsiToWide(totals.p2name).substr(0, 255);
  LVITEMW item{};
  item.mask = LVIF_TEXT | LVIF_PARAM;
  item.iItem = 0;
  item.pszText = const_cast<wchar_t*>(name.c_str());
  // Red also without a decided match: the user has not beaten this opponent.
  item.lParam = WithColourKey(0, rate - 500);
  int row = (int)SendMessageW(list, LVM_INSERTITEMW, 0, (LPARAM)&item);
  if (row < 0) return;
  UINT id = (UINT)SendMessageW(list, LVM_MAPINDEXTOID, row, 0);
  StateOf(dialog)->names[id] = totals.p2name;
  if (totals.p2id == OpponentNameNull) StateOf(dialog)->nullNames.insert(id);
  SetCell(list, row, 1, FormatWide(L"%d", wins + losses));
  SetCell(list, row, 2, FormatWide(L"%d", wins));
  SetCell(list, row, 3, FormatWide(L"%d", losses));
  SetCell(list, row, 4, RateText(rate, g_app.highPrecision));
}

void Fill(HWND dialog) {
  OpponentWindowState* state = StateOf(dialog);
  SendMessageW(ListOf(dialog), LVM_DELETEALLITEMS, 0, 0);
  state->names.clear();
  state->nullNames.clear();
  // A failing query keeps the rows it delivered; nothing is said.
  QueryOpponentTotals(state->filter, InsertOpponent, dialog);
}

void OnInit(HWND dialog, const RecordFilter* given) {
  auto* state = new OpponentWindowState;
  memset(&state->filter, 0, sizeof state->filter);
  if (given) state->filter = *given;
  SetWindowLongPtrW(dialog, DWLP_USER, (LONG_PTR)state);
  SetWindowTextW(dialog, L"相手プロファイル");
  HMENU menu = GetSystemMenu(dialog, FALSE);
  InsertMenuW(menu, 0, MF_BYPOSITION | MF_STRING, RefillCommand, L"最新の情報に更新");
  InsertMenuW(menu, 1, MF_BYPOSITION | MF_SEPARATOR, 0, nullptr);
  SetupSortableList(ListOf(dialog), OpponentColumns, (int)(sizeof OpponentColumns / sizeof OpponentColumns[0]));
  Fill(dialog);
  CascadeFromShownWindows(dialog);
  ShowWindow(dialog, SW_SHOW);
}

// That opponent's most recent matches, as many as the row counts games.
void OpenOpponentHistory(HWND dialog) {
  HWND list = ListOf(dialog);
  int row = (int)SendMessageW(list, LVM_GETSELECTIONMARK, 0, 0);
  if (row < 0 || row >= (int)SendMessageW(list, LVM_GETITEMCOUNT, 0, 0)) return;
  OpponentWindowState* state = StateOf(dialog);
  auto name = state->names.find((UINT)SendMessageW(list, LVM_MAPINDEXTOID, row, 0));
  if (name == state->names.end()) return;
  wchar_t games[32] = L"";
  LVITEMW item{};
  item.iSubItem = 1;
  item.pszText = games;
  item.cchTextMax = 32;
  SendMessageW(list, LVM_GETITEMTEXTW, row, (LPARAM)&item);

  RecordFilter filter = state->filter;
  filter.flags |= FilterLimit;
  if (state->nullNames.count(name->first)) {
    filter.flags = (filter.flags & ~FilterP2Name) | FilterP2NameNull;
  } else {
    filter.flags |= FilterP2Name;
    CopyToField(filter.p2name, sizeof filter.p2name, name->second.c_str());
  }
  filter.limit = StrToIntW(games);
  OpenMatchHistoryWindow(GetWindow(dialog, GW_OWNER), &filter);
}

INT_PTR OnNotify(HWND dialog, NMHDR* header) {
  if (header->idFrom != IDC_RECORD_LIST) return FALSE;
  switch (header->code) {
    case LVN_COLUMNCLICK:
      return DialogResult(dialog, SortListOnColumnClick(reinterpret_cast<NMLISTVIEW*>(header)));
    case NM_CUSTOMDRAW:
      return DialogResult(dialog, ColorListRow(reinterpret_cast<NMLVCUSTOMDRAW*>(header)));
    case NM_DBLCLK:
      OpenOpponentHistory(dialog);
      return DialogResult(dialog, 0);
  }
  return DialogResult(dialog, 0);
}

INT_PTR CALLBACK OpponentDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      OnInit(dialog, reinterpret_cast<const RecordFilter*>(lParam));
      return TRUE;
    case WM_SIZE:
      FillClientWithList(dialog, ListOf(dialog));
      return TRUE;
    case WM_GETMINMAXINFO:
      AllowAnySize(lParam);
      return TRUE;
    case WM_NOTIFY:
      return OnNotify(dialog, reinterpret_cast<NMHDR*>(lParam));
    case WM_SYSCOMMAND:
      if ((wParam & 0xFFF0) == SC_CLOSE) {
        DestroyWindow(dialog);
        return TRUE;
      }
      if (wParam == RefillCommand) Fill(dialog);
      return FALSE;
    case WM_DESTROY:
      delete StateOf(dialog);
      SetWindowLongPtrW(dialog, DWLP_USER, 0);
      return FALSE;
  }
  return FALSE;
}
}  // namespace

HWND OpenOpponentProfileWindow(HWND owner, const RecordFilter* filter) {
  return CreateDialogParamW(ViewResourceInstance(), MAKEINTRESOURCEW(IDD_SUMMARY), owner, OpponentDialogProc,
                            (LPARAM)filter);
}
