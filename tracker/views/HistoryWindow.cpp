// The match history window: one query's records, oldest on top. The rows live here and the list asks for
// what it shows, so that a history of any length opens at once.
#include <windows.h>
#include <commctrl.h>

#include <cstring>
#include <vector>

#include "RecordTable.h"
#include "ViewCommon.h"
#include "ViewWindows.h"
#include "resources/resource.h"
#include "shell/CharacterTable.h"
#include "shell/TextUtil.h"
#include "store/RecordQueries.h"

namespace {
struct HistoryColumn {
  int format;
  int width;
  const wchar_t* caption;
};
const HistoryColumn HistoryColumns[] = {
    {LVCFMT_LEFT, 130, L"タイムスタンプ"}, {LVCFMT_LEFT, 100, L"1Pプロフ"}, {LVCFMT_LEFT, 60, L"1Pキャラ"},
    {LVCFMT_RIGHT, 40, L"1P勝"},           {LVCFMT_LEFT, 100, L"2Pプロフ"}, {LVCFMT_LEFT, 60, L"2Pキャラ"},
    {LVCFMT_RIGHT, 40, L"2P勝"},
};

void InsertColumns(HWND list) {
  SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT);
  int index = 0;
  for (const HistoryColumn& c : HistoryColumns) {
    LVCOLUMNW column{};
    column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT;
    column.fmt = c.format;
    column.cx = c.width;
    column.pszText = const_cast<wchar_t*>(c.caption);
    SendMessageW(list, LVM_INSERTCOLUMNW, index++, (LPARAM)&column);
  }
}

constexpr UINT ContinueFillMessage = WM_APP + 40;
constexpr UINT_PTR ContinueFillTimer = 1;
// How long one turn of the fill may keep the thread from its other messages.
constexpr double FillTurnMilliseconds = 30;
constexpr double ShowEveryMilliseconds = 300;

// A row as stored, its names kept as bytes in one pool.
struct HistoryRow {
  int64_t timestamp;
  uint32_t p1name, p2name;
  int32_t p1id, p1win, p2id, p2win;
};

struct HistoryState {
  RecordFilter filter;
  std::vector<HistoryRow> rows;  // newest first; the list shows them the other way round
  std::vector<char> names;
  TimestampWalk walk;
  bool filling = false;
  int shown = 0;            // rows the list has been told of
  double shownAt = 0;
  long long remaining = -1;  // of a limit; -1 without one
  wchar_t cell[264];
};

HistoryState* StateOf(HWND dialog) { return reinterpret_cast<HistoryState*>(GetWindowLongPtrW(dialog, DWLP_USER)); }
HWND ListOf(HWND dialog) { return GetDlgItem(dialog, IDC_HISTORY_LIST); }

const HistoryRow& RowAt(const HistoryState& state, int position) {
  return state.rows[state.rows.size() - 1 - (size_t)position];
}

uint32_t AddName(std::vector<char>& names, const char* name) {
  uint32_t at = (uint32_t)names.size();
  names.insert(names.end(), name, name + strlen(name) + 1);
  return at;
}

void AppendRecord(const MatchRecord& record, void* context) {
  auto* state = static_cast<HistoryState*>(context);
  HistoryRow row{record.timestamp, AddName(state->names, record.p1name), AddName(state->names, record.p2name),
                 record.p1id, record.p1win, record.p2id, record.p2win};
  state->rows.push_back(row);
}

std::wstring NameText(const char* name) { return AnsiToWide(name).substr(0, 255); }

std::wstring ShortNameText(int id) {
  const CharacterEntry* entry = LookupCharacter(id);
  return entry ? entry->shortName : L"";
}

std::wstring CellText(const HistoryState& state, const HistoryRow& row, int column) {
  switch (column) {
    case 0: {
      SYSTEMTIME t = TimestampToCalendar(row.timestamp);
      return FormatWide(L"%d/%02d/%02d %02d:%02d:%02d", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond);
    }
    case 1: return NameText(&state.names[row.p1name]);
    case 2: return ShortNameText(row.p1id);
    case 3: return FormatWide(L"%d", row.p1win);
    case 4: return NameText(&state.names[row.p2name]);
    case 5: return ShortNameText(row.p2id);
    case 6: return FormatWide(L"%d", row.p2win);
  }
  return L"";
}

void OnGetDisplayInfo(HWND dialog, NMLVDISPINFOW* info) {
  HistoryState* state = StateOf(dialog);
  LVITEMW& item = info->item;
  if (!state || !(item.mask & LVIF_TEXT) || item.iItem < 0 || (size_t)item.iItem >= state->rows.size()) return;
  std::wstring text = CellText(*state, RowAt(*state, item.iItem), item.iSubItem);
  if (item.pszText && item.cchTextMax > 0) lstrcpynW(item.pszText, text.c_str(), item.cchTextMax);
}

// The rows so far into the list. Older rows come in above the others: a user who scrolled keeps seeing the
// same rows, anyone else keeps seeing the newest.
void ShowRows(HWND dialog, int before) {
  HistoryState* state = StateOf(dialog);
  HWND list = ListOf(dialog);
  int count = (int)state->rows.size(), added = count - before;
  if (added <= 0) return;
  int top = (int)SendMessageW(list, LVM_GETTOPINDEX, 0, 0);
  int perPage = (int)SendMessageW(list, LVM_GETCOUNTPERPAGE, 0, 0);
  bool atNewest = before == 0 || top + perPage >= before;
  ListSelection selection = TakeSelection(list);
  PutSelection(list, selection, count, [added](int position) { return position + added; });
  if (atNewest) {
    SendMessageW(list, LVM_ENSUREVISIBLE, (WPARAM)(count - 1), FALSE);
  } else {
    RECT row{};
    row.left = LVIR_BOUNDS;
    SendMessageW(list, LVM_GETITEMRECT, 0, (LPARAM)&row);
    SendMessageW(list, LVM_SCROLL, 0, (LPARAM)(added * (row.bottom - row.top)));
  }
}

// One range of the walk; false when the fill is over.
bool FillRange(HistoryState& state) {
  RecordFilter range;
  if (state.remaining == 0 || !state.walk.Next(range)) return false;
  if (state.remaining > 0) {
    range.flags |= FilterLimit;
    range.limit = (int32_t)state.remaining;
  }
  size_t before = state.rows.size();
  double start = NowMilliseconds();
  // A failing query keeps what it delivered so far; the window says nothing.
  bool ok = QueryMatchHistory(range, AppendRecord, &state);
  state.walk.Took(NowMilliseconds() - start);
  if (state.remaining > 0) state.remaining -= (long long)(state.rows.size() - before);
  return ok;
}

void ScheduleFill(HWND dialog) { ScheduleTurn(dialog, ContinueFillMessage, ContinueFillTimer); }

void ContinueFill(HWND dialog) {
  HistoryState* state = StateOf(dialog);
  KillTimer(dialog, ContinueFillTimer);
  if (!state || !state->filling) return;
  double start = NowMilliseconds();
  bool more = true;
  while (more && NowMilliseconds() - start < FillTurnMilliseconds) more = FillRange(*state);
  state->filling = more;
  // Telling a list of a million rows costs a good part of a turn: the first rows at once, then now and then.
  if (!more || state->shown == 0 || NowMilliseconds() - state->shownAt > ShowEveryMilliseconds) {
    ShowRows(dialog, state->shown);
    state->shown = (int)state->rows.size();
    state->shownAt = NowMilliseconds();
  }
  if (more) ScheduleFill(dialog);
}

void StartFill(HWND dialog) {
  HistoryState* state = StateOf(dialog);
  const RecordFilter& filter = state->filter;
  bool limited = (filter.flags & FilterLimit) && filter.limit >= 0;  // SQLite takes a negative limit as none
  state->remaining = limited ? filter.limit : -1;
  RecordFilter base = filter;
  base.flags &= ~FilterLimit;
  if (state->remaining != 0 && state->walk.Start(base)) {
    state->filling = true;
    ContinueFill(dialog);
    return;
  }
  // A table that cannot be walked by ranges is read in one statement.
  QueryMatchHistory(filter, AppendRecord, state);
  ShowRows(dialog, 0);
  state->shown = (int)state->rows.size();
}

void OnInit(HWND dialog, const RecordFilter* given) {
  auto* state = new HistoryState;
  memset(&state->filter, 0, sizeof state->filter);
  if (given) state->filter = *given;
  SetWindowLongPtrW(dialog, DWLP_USER, (LONG_PTR)state);
  HWND list = MakeOwnerDataList(dialog, IDC_HISTORY_LIST);
  InsertColumns(list);
  StartFill(dialog);
  ShowWindow(dialog, SW_SHOW);
}

// Green for a won match whatever the colour switch says: this list shows results, not rates.
LRESULT OnCustomDraw(HWND dialog, NMLVCUSTOMDRAW* draw) {
  HistoryState* state = StateOf(dialog);
  switch (draw->nmcd.dwDrawStage) {
    case CDDS_PREPAINT:
      return CDRF_NOTIFYITEMDRAW;
    case CDDS_ITEMPREPAINT: {
      size_t position = (size_t)draw->nmcd.dwItemSpec;
      const HistoryRow* row = state && position < state->rows.size() ? &RowAt(*state, (int)position) : nullptr;
      draw->clrTextBk = row && row->p1win > row->p2win ? RGB(208, 220, 208) : RGB(255, 255, 255);
      return CDRF_NEWFONT;
    }
  }
  return CDRF_DODEFAULT;
}

INT_PTR CALLBACK HistoryDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      OnInit(dialog, reinterpret_cast<const RecordFilter*>(lParam));
      return TRUE;
    case WM_SIZE:
      FillClientWithList(dialog, GetDlgItem(dialog, IDC_HISTORY_LIST));
      return TRUE;
    case WM_GETMINMAXINFO:
      AllowAnySize(lParam);
      return TRUE;
    case WM_NOTIFY: {
      auto* header = reinterpret_cast<NMHDR*>(lParam);
      if (header->idFrom != IDC_HISTORY_LIST) return FALSE;
      if (header->code == NM_CUSTOMDRAW)
        return DialogResult(dialog, OnCustomDraw(dialog, reinterpret_cast<NMLVCUSTOMDRAW*>(lParam)));
      if (header->code == LVN_GETDISPINFOW) OnGetDisplayInfo(dialog, reinterpret_cast<NMLVDISPINFOW*>(lParam));
      return FALSE;
    }
    case ContinueFillMessage:
    case WM_TIMER:
      ContinueFill(dialog);
      return TRUE;
    case WM_DESTROY:
      delete StateOf(dialog);
      SetWindowLongPtrW(dialog, DWLP_USER, 0);
      return FALSE;
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
        DestroyWindow(dialog);
        return TRUE;
      }
      return FALSE;
  }
  return FALSE;
}
}  // namespace

HWND OpenMatchHistoryWindow(HWND owner, const RecordFilter* filter) {
  return CreateDialogParamW(ViewResourceInstance(), MAKEINTRESOURCEW(IDD_HISTORY), owner, HistoryDialogProc,
                            (LPARAM)filter);
}
