// The opponent profile window: the record against every opponent name of one filter. A change of ours
// reaches it as the opponents it changes.
#include <windows.h>
#include <commctrl.h>
#include <shlwapi.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "common/Dpi.h"
#include "common/TextUtil.h"
#include "common/WindowState.h"
#include "resources/resource.h"
#include "shell/AppState.h"
#include "shell/ColorListRow.h"
#include "shell/RecordEvents.h"
#include "store/MatchSnapshot.h"
#include "store/OpponentTally.h"
#include "store/RecordDatabase.h"
#include "store/RecordQueries.h"
#include "views/ListFill.h"
#include "views/OpponentRows.h"
#include "views/RecordTable.h"
#include "views/SortableList.h"
#include "views/ViewCommon.h"
#include "views/ViewWindows.h"

namespace {
constexpr UINT RefillCommand = 0xEE00;

const ListColumn OpponentColumns[] = {
    {LVCFMT_LEFT, 100, L"相手", SortByText},     {LVCFMT_RIGHT, 55, L"対戦数", SortByNumber},
    {LVCFMT_RIGHT, 55, L"勝", SortByNumber},     {LVCFMT_RIGHT, 55, L"負", SortByNumber},
    {LVCFMT_RIGHT, 55, L"勝率", SortByNumber},
};

struct OpponentWindowState : ListFillJob {
  explicit OpponentWindowState(HWND window) : dialog(window), fill(window, *this) {}
  bool Begin(bool refresh) override;
  bool Step() override;
  void ReadWhole() override;
  void Finish() override;

  HWND dialog;
  RecordFilter filter{};
  std::vector<OpponentRow> rows;   // in the query's order
  std::vector<uint32_t> order;     // list position to row
  std::vector<OpponentRow> fresh;  // the fill in progress
  ListFill fill;
  bool keepView = false;  // a refresh after a change keeps the sort, the scroll and the selection
  bool sorted = false;
  // The totals of the ranges walked so far.
  TimestampWalk walk;
  bool walked = false, walkFailed = false;
  WalkedOpponentTotals walkedTotals;
  // The state of the table the rows are of; a fill's until it is over. `counted`: the rows know their
  // matches, so that our own changes can be applied to them.
  ChangeMark mark{}, fillMark{};
  bool marked = false, fillMarked = false, counted = false;
  bool catchUpAfterFill = false;
};

OpponentWindowState* StateOfOpponents(HWND dialog) { return StateOf<OpponentWindowState>(dialog); }
HWND ListOf(HWND dialog) { return GetDlgItem(dialog, IDC_RECORD_LIST); }

const OpponentRow* RowAt(const OpponentWindowState* state, int position) {
  if (!state || position < 0 || (size_t)position >= state->order.size()) return nullptr;
  return &state->rows[state->order[(size_t)position]];
}

void OnGetDisplayInfo(HWND dialog, NMLVDISPINFOW* info) {
  LVITEMW& item = info->item;
  const OpponentRow* row = RowAt(StateOfOpponents(dialog), item.iItem);
  if (!row || !(item.mask & LVIF_TEXT) || !item.pszText || item.cchTextMax <= 0) return;
  lstrcpynW(item.pszText, OpponentCellText(*row, item.iSubItem).c_str(), item.cchTextMax);
}

// One opponent: the name in p2name, wins in p1win, losses in p2win.
void AppendOpponent(const MatchRecord& totals, void* context) {
  static_cast<OpponentWindowState*>(context)->fresh.push_back(
      {totals.p2id == OpponentNameNull, totals.p2name, totals.p1win, totals.p2win, 0});
}

// Shown in reverse of the query's order until the user sorts.
void ReverseOrder(OpponentWindowState& state) {
  size_t count = state.rows.size();
  state.order.resize(count);
  for (size_t i = 0; i < count; ++i) state.order[i] = (uint32_t)(count - 1 - i);
}

// The list's current sort applied again, as a header click would leave it.
void SortAgain(HWND list, OpponentWindowState& state) {
  int column = (int)(INT_PTR)GetPropW(list, SortColumnProperty);
  int direction = (int)(INT_PTR)GetPropW(list, SortDirectionProperty);
  if (column < 0 || column >= (int)(sizeof OpponentColumns / sizeof OpponentColumns[0])) return;
  uint32_t kind = OpponentColumns[column].sortKind;
  std::vector<ListRowKey> keys(state.rows.size());
  for (size_t i = 0; i < keys.size(); ++i) keys[i] = ListRowKey{OpponentItemData(state.rows[i]), OpponentCellText(state.rows[i], column)};
  SortRowOrder(state.order, keys, kind, direction);
}

// `change` changes the rows; they are shown in the same sort with the same opponents selected and in view,
// and the list draws again from the first position that shows another row or other figures.
template <typename Change>
void ChangeRows(OpponentWindowState& state, bool keepView, Change change) {
  HWND list = ListOf(state.dialog);
  HeldRows held = HoldRows(list, [&](int position) { return OpponentRowKey(*RowAt(&state, position)); });
  std::vector<OpponentRow> shown;
  if (keepView)
    for (uint32_t at : state.order) shown.push_back(state.rows[at]);
  change();
  ReverseOrder(state);
  // Also after a first fill: a header clicked while it ran shows its sort.
  if (state.sorted) SortAgain(list, state);
  std::vector<int> positionOfRow(state.rows.size());
  for (size_t p = 0; p < state.order.size(); ++p) positionOfRow[state.order[p]] = (int)p;
  auto find = [&](const std::string& key) {
    bool isNull = key[0] == 'N';
    std::string name = key.substr(1);
    auto at = std::lower_bound(state.rows.begin(), state.rows.end(), 0,
                               [&](const OpponentRow& row, int) { return OpponentRowBefore(row, isNull, name); });
    if (at == state.rows.end() || at->isNull != isNull || at->name != name) return -1;
    return positionOfRow[(size_t)(at - state.rows.begin())];
  };
  if (!keepView) {
    PutSelection(list, held.selection, (int)state.order.size(), [](int) { return -1; });
    return;
  }
  size_t first = 0;
  for (; first < shown.size() && first < state.order.size(); ++first) {
    const OpponentRow& now = state.rows[state.order[first]];
    const OpponentRow& was = shown[first];
    if (now.isNull != was.isNull || now.name != was.name || now.wins != was.wins || now.losses != was.losses) break;
  }
  PutRowsBack(list, held, (int)state.order.size(), find, false, (int)first);
}

bool OpponentWindowState::Begin(bool refresh) {
  keepView = refresh;
  fresh.clear();
  walkedTotals.Clear();
  walkFailed = false;
  fillMarked = ReadChangeMark(RecordDatabase(), fillMark);
  if (!refresh) ChangeRows(*this, false, [this] { rows.clear(); });
  // A limit counts back from the newest match over the whole filter: no range can answer for it.
  walked = !(filter.flags & FilterLimit) && walk.Start(filter);
  return walked;
}

bool OpponentWindowState::Step() {
  RecordFilter range;
  if (!walk.Next(range)) return false;
  std::vector<OpponentTotal> totals;
  double start = NowMilliseconds();
  bool ok = TallyOpponents(RecordDatabase(), range, totals);
  walk.Took(NowMilliseconds() - start);
  if (!ok) {
    walkFailed = true;
    return false;
  }
  walkedTotals.Add(totals);
  return true;
}

void OpponentWindowState::ReadWhole() { walked = false; }

void CatchUp(HWND dialog);

void OpponentWindowState::Finish() {
  bool complete = true;
  counted = walked && !walkFailed && walkedTotals.TakeInto(fresh);
  if (!counted) {
    fresh.clear();
    complete = QueryOpponentTotals(filter, AppendOpponent, this);
  }
  MarkViewCurrent(dialog, complete);
  if (!complete && keepView) {
    fresh.clear();
  } else {
    ChangeRows(*this, keepView, [this] { rows = std::move(fresh); });
    fresh.clear();
    mark = fillMark;
    marked = fillMarked && complete;
  }
  if (!complete && !keepView) marked = false;
  if (catchUpAfterFill && complete) {
    catchUpAfterFill = false;
    CatchUp(dialog);
  }
}

// Our own inserts and deletes since the rows were read, applied to the opponents they touch; anything else
// (another program wrote, a rollback, a limit) reads the totals again.
void CatchUp(HWND dialog) {
  OpponentWindowState* state = StateOfOpponents(dialog);
  if (!state) return;
  if (state->fill.Filling()) {
    state->catchUpAfterFill = true;
    return;
  }
  ChangeMark now{};
  sqlite3* db = RecordDatabase();
  if (state->marked && ReadChangeMark(db, now) && now == state->mark) return;
  std::vector<OwnWriteSince> writes;
  std::vector<OpponentTotal> changes;
  if (!state->marked || !state->counted || !OwnWritesSince(db, state->mark, now, writes) ||
      !ChangedOpponentTotals(state->filter, writes, changes)) {
    state->fill.Start(true);
    return;
  }
  ChangeRows(*state, true, [&] { ApplyOpponentTotals(state->rows, changes); });
  state->mark = now;
  MarkViewCurrent(dialog, true);
}

void OnRecordChanged(void* context) { CatchUp(static_cast<HWND>(context)); }

void SortRows(HWND dialog, const NMLISTVIEW* click) {
  OpponentWindowState* state = StateOfOpponents(dialog);
  ListSortContext context{};
  int kind = UpdateSortOnColumnClick(click, context);
  if (kind < 0) return;
  state->sorted = true;
  if (state->order.empty()) return;
  std::vector<ListRowKey> keys(state->rows.size());
  for (size_t i = 0; i < keys.size(); ++i)
    keys[i] = ListRowKey{OpponentItemData(state->rows[i]), kind == SortByItemData ? L"" : OpponentCellText(state->rows[i], context.column)};
  std::vector<uint32_t> before = state->order;
  SortRowOrder(state->order, keys, (uint32_t)kind, context.direction);
  std::vector<int> positionOfRow(state->rows.size());
  for (size_t p = 0; p < state->order.size(); ++p) positionOfRow[state->order[p]] = (int)p;
  HWND list = ListOf(dialog);
  PutSelection(list, TakeSelection(list), (int)state->order.size(),
               [&](int position) { return positionOfRow[before[(size_t)position]]; });
}

void OnInit(HWND dialog, const RecordFilter* given) {
  OpponentWindowState* state = AttachState(dialog, std::make_unique<OpponentWindowState>(dialog));
  if (given) state->filter = *given;
  SetWindowTextW(dialog, L"相手プロファイル");
  HMENU menu = GetSystemMenu(dialog, FALSE);
  InsertMenuW(menu, 0, MF_BYPOSITION | MF_STRING, RefillCommand, L"最新の情報に更新");
  InsertMenuW(menu, 1, MF_BYPOSITION | MF_SEPARATOR, 0, nullptr);
  SetupSortableList(MakeOwnerDataList(dialog, IDC_RECORD_LIST), OpponentColumns, (int)(sizeof OpponentColumns / sizeof OpponentColumns[0]));
  state->fill.Start(false);
  AddRecordListener(OnRecordChanged, dialog);
  FollowRecordChanges(dialog);
  CascadeFromShownWindows(dialog);
  ShowWindow(dialog, SW_SHOW);
}

// That opponent's most recent matches, as many as the row counts games.
void OpenOpponentHistory(HWND dialog) {
  HWND list = ListOf(dialog);
  int row = (int)SendMessageW(list, LVM_GETSELECTIONMARK, 0, 0);
  if (row < 0 || row >= (int)SendMessageW(list, LVM_GETITEMCOUNT, 0, 0)) return;
  OpponentWindowState* state = StateOfOpponents(dialog);
  const OpponentRow* opponent = RowAt(state, row);
  if (!opponent) return;
  std::wstring games = OpponentCellText(*opponent, 1);

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
      const OpponentRow* row = RowAt(StateOfOpponents(dialog), (int)draw->nmcd.dwItemSpec);
      draw->nmcd.lItemlParam = row ? OpponentItemData(*row) : 0;
      return DialogResult(dialog, ColorListRow(draw));
    }
    case NM_DBLCLK:
      OpenOpponentHistory(dialog);
      return DialogResult(dialog, 0);
  }
  return DialogResult(dialog, 0);
}

INT_PTR CALLBACK OpponentDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  OpponentWindowState* state = StateOfOpponents(dialog);
  if (state && state->fill.OnMessage(message, wParam)) return TRUE;
  INT_PTR laidOut;
  if (OnListWindowLayout(dialog, ListOf(dialog), message, wParam, lParam, laidOut)) return laidOut;
  switch (message) {
    case WM_INITDIALOG:
      OnInit(dialog, reinterpret_cast<const RecordFilter*>(lParam));
      return TRUE;
    case WM_NOTIFY:
      return OnNotify(dialog, reinterpret_cast<NMHDR*>(lParam));
    case WM_SYSCOMMAND:
      if ((wParam & 0xFFF0) == SC_CLOSE) {
        DestroyWindow(dialog);
        return TRUE;
      }
      if (wParam == RefillCommand && state) {
        // Emptied and filled again: in the query's reverse order, as at the start.
        state->sorted = false;
        state->fill.Start(false);
      }
      return FALSE;
    case WM_COMMAND:
      // Escape closes it as its close button does.
      if (LOWORD(wParam) != IDCANCEL) return FALSE;
      DestroyWindow(dialog);
      return TRUE;
    case RefreshViewMessage:
      CatchUp(dialog);
      return TRUE;
    case WM_DESTROY:
      RemoveRecordListener(OnRecordChanged, dialog);
      StopFollowingRecordChanges(dialog);
      DetachState<OpponentWindowState>(dialog);
      return FALSE;
  }
  return FALSE;
}
}  // namespace

HWND OpenOpponentProfileWindow(HWND owner, const RecordFilter* filter) {
  return CreateDialogParamW(ViewResourceInstance(), MAKEINTRESOURCEW(IDD_SUMMARY), owner, OpponentDialogProc,
                            (LPARAM)filter);
}
