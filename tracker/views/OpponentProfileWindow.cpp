// The opponent profile window: the record against every opponent name of one filter.
#include <windows.h>
#include <commctrl.h>
#include <shlwapi.h>

#include <cstring>
#include <algorithm>
#include <unordered_map>
#include <vector>
#include <string>

#include "views/RecordTable.h"
#include "views/SortableList.h"
#include "views/ViewCommon.h"
#include "views/ViewWindows.h"
#include "common/Dpi.h"
#include "resources/resource.h"
#include "shell/AppState.h"
#include "shell/ColorListRow.h"
#include "common/TextUtil.h"
#include "store/OpponentTally.h"
#include "store/RecordDatabase.h"
#include "store/RecordQueries.h"

namespace {
constexpr UINT RefillCommand = 0xEE00;

const ListColumn OpponentColumns[] = {
    {LVCFMT_LEFT, 100, L"相手", SortByText},     {LVCFMT_RIGHT, 55, L"対戦数", SortByNumber},
    {LVCFMT_RIGHT, 55, L"勝", SortByNumber},     {LVCFMT_RIGHT, 55, L"負", SortByNumber},
    {LVCFMT_RIGHT, 55, L"勝率", SortByNumber},
};

constexpr UINT ContinueFillMessage = WM_APP + 40;
constexpr UINT_PTR ContinueFillTimer = 1;
constexpr double FillTurnMilliseconds = 30;

struct OpponentRow {
  bool isNull;
  std::string name;  // the stored bytes: the shown text is cut and converted, so it need not lead back
  int wins, losses;
};

struct Sums {
  int64_t wins = 0, losses = 0;
};

struct OpponentWindowState {
  RecordFilter filter;
  std::vector<OpponentRow> rows;  // in the query's order
  std::vector<uint32_t> order;    // list position to row
  std::vector<OpponentRow> fresh;  // the fill in progress
  bool keepView = false;           // a refresh after a change keeps the sort, the scroll and the selection
  bool refreshAgain = false;
  bool sorted = false;
  bool turnPending = false;
  // The totals of the ranges walked so far.
  TimestampWalk walk;
  bool filling = false;
  bool hasNull = false;
  Sums nullSums;
  std::unordered_map<std::string, Sums> byName;
};

OpponentWindowState* StateOf(HWND dialog) {
  return reinterpret_cast<OpponentWindowState*>(GetWindowLongPtrW(dialog, DWLP_USER));
}
HWND ListOf(HWND dialog) { return GetDlgItem(dialog, IDC_RECORD_LIST); }

// Stray negative round counts must not turn into negative games or rates above 100%.
int Wins(const OpponentRow& row) { return row.wins < 0 ? 0 : row.wins; }
int Losses(const OpponentRow& row) { return row.losses < 0 ? 0 : row.losses; }

// Red also without a decided match: the user has not beaten this opponent.
LPARAM ItemDataOf(const OpponentRow& row) { return WithColourKey(0, PerMilleRate(Wins(row), Losses(row)) - 500); }

std::wstring CellText(const OpponentRow& row, int column) {
  int wins = Wins(row), losses = Losses(row);
  switch (column) {
    case 0: return AnsiToWide(row.name.c_str()).substr(0, 255);
    case 1: return FormatWide(L"%d", wins + losses);
    case 2: return FormatWide(L"%d", wins);
    case 3: return FormatWide(L"%d", losses);
    case 4: return RateText(PerMilleRate(wins, losses), g_app.highPrecision);
  }
  return L"";
}

const OpponentRow* RowAt(const OpponentWindowState* state, int position) {
  if (!state || position < 0 || (size_t)position >= state->order.size()) return nullptr;
  return &state->rows[state->order[(size_t)position]];
}

void OnGetDisplayInfo(HWND dialog, NMLVDISPINFOW* info) {
  LVITEMW& item = info->item;
  const OpponentRow* row = RowAt(StateOf(dialog), item.iItem);
  if (!row || !(item.mask & LVIF_TEXT) || !item.pszText || item.cchTextMax <= 0) return;
  lstrcpynW(item.pszText, CellText(*row, item.iSubItem).c_str(), item.cchTextMax);
}

// One opponent: the name in p2name, wins in p1win, losses in p2win.
void AppendOpponent(const MatchRecord& totals, void* context) {
  static_cast<OpponentWindowState*>(context)->fresh.push_back({totals.p2id == OpponentNameNull, totals.p2name, totals.p1win, totals.p2win});
}

void ReverseOrder(OpponentWindowState& state) {
  size_t count = state.rows.size();
  state.order.resize(count);
  for (size_t i = 0; i < count; ++i) state.order[i] = (uint32_t)(count - 1 - i);
}

// Shown in reverse of the query's order until the user sorts.
void ShowRows(HWND dialog) {
  OpponentWindowState* state = StateOf(dialog);
  ReverseOrder(*state);
  HWND list = ListOf(dialog);
  PutSelection(list, TakeSelection(list), (int)state->order.size(), [](int) { return -1; });
}

// The list's current sort applied again, as a header click would leave it.
void SortAgain(HWND list, OpponentWindowState& state) {
  int column = (int)(INT_PTR)GetPropW(list, SortColumnProperty);
  int direction = (int)(INT_PTR)GetPropW(list, SortDirectionProperty);
  if (column < 0 || column >= (int)(sizeof OpponentColumns / sizeof OpponentColumns[0])) return;
  uint32_t kind = OpponentColumns[column].sortKind;
  std::vector<ListRowKey> keys(state.rows.size());
  for (size_t i = 0; i < keys.size(); ++i) keys[i] = ListRowKey{ItemDataOf(state.rows[i]), CellText(state.rows[i], column)};
  SortRowOrder(state.order, keys, kind, direction);
}

// New totals in place of the old: same sort, same first row in view, the same opponents selected.
void ShowRefreshed(HWND dialog) {
  OpponentWindowState* state = StateOf(dialog);
  HWND list = ListOf(dialog);
  int top = (int)SendMessageW(list, LVM_GETTOPINDEX, 0, 0);
  std::vector<OpponentRow> old = std::move(state->rows);
  std::vector<uint32_t> oldOrder = std::move(state->order);
  state->rows = std::move(state->fresh);
  state->fresh.clear();
  ReverseOrder(*state);
  if (state->sorted) SortAgain(list, *state);
  auto key = [](const OpponentRow& row) { return std::string(row.isNull ? "N" : "S") + row.name; };
  std::unordered_map<std::string, int> positionOf;
  for (size_t p = 0; p < state->order.size(); ++p) positionOf[key(state->rows[state->order[p]])] = (int)p;
  auto to = [&](int position) {
    if (position < 0 || (size_t)position >= oldOrder.size()) return -1;
    auto found = positionOf.find(key(old[oldOrder[(size_t)position]]));
    return found == positionOf.end() ? -1 : found->second;
  };
  PutSelection(list, TakeSelection(list), (int)state->order.size(), to);
  int newTop = (int)SendMessageW(list, LVM_GETTOPINDEX, 0, 0);
  RECT row{};
  row.left = LVIR_BOUNDS;
  if (SendMessageW(list, LVM_GETITEMRECT, 0, (LPARAM)&row))
    SendMessageW(list, LVM_SCROLL, 0, (LPARAM)((top - newTop) * (row.bottom - row.top)));
}

// The ranges' totals in the order GROUP BY p2name gives (NULL first, then by bytes); false when a sum
// leaves 32 bits, where only the statement knows what to show.
bool TakeWalkedTotals(OpponentWindowState& state) {
  auto fits = [](const Sums& sums) {
    return sums.wins >= INT32_MIN && sums.wins <= INT32_MAX && sums.losses >= INT32_MIN && sums.losses <= INT32_MAX;
  };
  if (state.hasNull) {
    if (!fits(state.nullSums)) return false;
    state.fresh.push_back({true, std::string(), (int)state.nullSums.wins, (int)state.nullSums.losses});
  }
  size_t named = state.fresh.size();
  for (auto& entry : state.byName) {
    if (!fits(entry.second)) return false;
    state.fresh.push_back({false, entry.first, (int)entry.second.wins, (int)entry.second.losses});
  }
  std::sort(state.fresh.begin() + (ptrdiff_t)named, state.fresh.end(),
            [](const OpponentRow& a, const OpponentRow& b) { return a.name < b.name; });
  state.byName.clear();
  return true;
}

// One range of the walk; false when the walk cannot go on.
bool TallyRange(OpponentWindowState& state, bool& more) {
  RecordFilter range;
  more = state.walk.Next(range);
  if (!more) return true;
  std::vector<OpponentTotal> totals;
  double start = NowMilliseconds();
  bool ok = TallyOpponents(RecordDatabase(), range, totals);
  state.walk.Took(NowMilliseconds() - start);
  if (!ok) return false;
  for (const OpponentTotal& total : totals) {
    Sums& sums = total.isNull ? state.nullSums : state.byName[total.name];
    state.hasNull = state.hasNull || total.isNull;
    sums.wins += total.wins;
    sums.losses += total.losses;
  }
  return true;
}

void ScheduleFill(HWND dialog) {
  StateOf(dialog)->turnPending = true;
  ScheduleTurn(dialog, ContinueFillMessage, ContinueFillTimer);
}

void Fill(HWND dialog, bool keepView);

// `complete`: every read succeeded. A refresh that could not read everything keeps the rows shown.
void Finish(HWND dialog, bool complete = true) {
  OpponentWindowState* state = StateOf(dialog);
  state->filling = false;
  MarkViewCurrent(dialog, complete);
  if (!complete && state->keepView) {
    state->fresh.clear();
  } else if (state->keepView) {
    ShowRefreshed(dialog);
  } else {
    state->rows = std::move(state->fresh);
    state->fresh.clear();
    ShowRows(dialog);
  }
  if (state->refreshAgain) {
    state->refreshAgain = false;
    Fill(dialog, true);
  }
}

void FillByStatement(HWND dialog) {
  OpponentWindowState* state = StateOf(dialog);
  state->fresh.clear();
  bool complete = QueryOpponentTotals(state->filter, AppendOpponent, state);
  Finish(dialog, complete);
}

void ContinueFill(HWND dialog) {
  OpponentWindowState* state = StateOf(dialog);
  if (!state || !state->filling) return;
  double start = NowMilliseconds();
  bool more = true, ok = true;
  while (ok && more && NowMilliseconds() - start < FillTurnMilliseconds) ok = TallyRange(*state, more);
  if (ok && more) {
    ScheduleFill(dialog);
    return;
  }
  if (ok && TakeWalkedTotals(*state)) Finish(dialog);
  else FillByStatement(dialog);
}

// keepView: a refresh after a change of the record; otherwise the list is emptied and filled anew.
void Fill(HWND dialog, bool keepView) {
  OpponentWindowState* state = StateOf(dialog);
  if (state->filling && keepView) {
    state->refreshAgain = true;
    return;
  }
  state->keepView = keepView;
  state->refreshAgain = false;
  state->fresh.clear();
  state->byName.clear();
  state->hasNull = false;
  state->nullSums = Sums{};
  if (!keepView) {
    state->rows.clear();
    ShowRows(dialog);
  }
  // A limit counts back from the newest match over the whole filter: no range can answer for it.
  if (!(state->filter.flags & FilterLimit) && state->walk.Start(state->filter)) {
    state->filling = true;
    // A turn already asked for carries the new walk on.
    if (!state->turnPending) ContinueFill(dialog);
    return;
  }
  state->filling = false;
  FillByStatement(dialog);
}

void SortRows(HWND dialog, const NMLISTVIEW* click) {
  OpponentWindowState* state = StateOf(dialog);
  ListSortContext context{};
  int kind = UpdateSortOnColumnClick(click, context);
  if (kind < 0) return;
  state->sorted = true;
  if (state->order.empty()) return;
  std::vector<ListRowKey> keys(state->rows.size());
  for (size_t i = 0; i < keys.size(); ++i)
    keys[i] = ListRowKey{ItemDataOf(state->rows[i]), kind == SortByItemData ? L"" : CellText(state->rows[i], context.column)};
  std::vector<uint32_t> before = state->order;
  SortRowOrder(state->order, keys, (uint32_t)kind, context.direction);
  std::vector<int> positionOfRow(state->rows.size());
  for (size_t p = 0; p < state->order.size(); ++p) positionOfRow[state->order[p]] = (int)p;
  HWND list = ListOf(dialog);
  PutSelection(list, TakeSelection(list), (int)state->order.size(),
               [&](int position) { return positionOfRow[before[(size_t)position]]; });
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
  SetupSortableList(MakeOwnerDataList(dialog, IDC_RECORD_LIST), OpponentColumns, (int)(sizeof OpponentColumns / sizeof OpponentColumns[0]));
  Fill(dialog, false);
  FollowRecordChanges(dialog);
  CascadeFromShownWindows(dialog);
  ShowWindow(dialog, SW_SHOW);
}

// That opponent's most recent matches, as many as the row counts games.
void OpenOpponentHistory(HWND dialog) {
  HWND list = ListOf(dialog);
  int row = (int)SendMessageW(list, LVM_GETSELECTIONMARK, 0, 0);
  if (row < 0 || row >= (int)SendMessageW(list, LVM_GETITEMCOUNT, 0, 0)) return;
  const OpponentRow* opponent = RowAt(StateOf(dialog), row);
  if (!opponent) return;
  OpponentWindowState* state = StateOf(dialog);
  std::wstring games = CellText(*opponent, 1);

  RecordFilter filter = state->filter;
  filter.flags |= FilterLimit;
  if (opponent->isNull) {
    filter.flags = (filter.flags & ~FilterP2Name) | FilterP2NameNull;
  } else {
    filter.flags |= FilterP2Name;
    CopyToField(filter.p2name, sizeof filter.p2name, opponent->name.c_str());
  }
  filter.limit = StrToIntW(games.c_str());
  OpenMatchHistoryWindow(GetWindow(dialog, GW_OWNER), &filter);
}

INT_PTR OnNotify(HWND dialog, NMHDR* header) {
  if (header->idFrom != IDC_RECORD_LIST) return FALSE;
  switch (header->code) {
    case LVN_COLUMNCLICK:
      SortRows(dialog, reinterpret_cast<NMLISTVIEW*>(header));
      return DialogResult(dialog, 1);
    case LVN_GETDISPINFOW:
      OnGetDisplayInfo(dialog, reinterpret_cast<NMLVDISPINFOW*>(header));
      return DialogResult(dialog, 0);
    case NM_CUSTOMDRAW: {
      auto* draw = reinterpret_cast<NMLVCUSTOMDRAW*>(header);
      // An owner-data list keeps no item data; the colour key is the row's.
      const OpponentRow* row = RowAt(StateOf(dialog), (int)draw->nmcd.dwItemSpec);
      draw->nmcd.lItemlParam = row ? ItemDataOf(*row) : 0;
      return DialogResult(dialog, ColorListRow(draw));
    }
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
    case WM_DPICHANGED:
      FollowDpiChange(dialog, wParam, lParam);
      return FALSE;
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
      if (wParam == RefillCommand) Fill(dialog, false);
      return FALSE;
    case WM_COMMAND:
      // Escape closes it as its close button does.
      if (LOWORD(wParam) != IDCANCEL) return FALSE;
      DestroyWindow(dialog);
      return TRUE;
    case RefreshViewMessage:
      Fill(dialog, true);
      return TRUE;
    case ContinueFillMessage:
    case WM_TIMER:
      KillTimer(dialog, ContinueFillTimer);
      if (StateOf(dialog)) StateOf(dialog)->turnPending = false;
      ContinueFill(dialog);
      return TRUE;
    case WM_DESTROY:
      StopFollowingRecordChanges(dialog);
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
