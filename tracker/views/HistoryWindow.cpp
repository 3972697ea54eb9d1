// The match history window: one query's records, oldest on top. The rows live here and the list asks for
// what it shows, so that a history of any length opens at once.
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "views/MatchExport.h"
#include "views/RecordTable.h"
#include "views/ViewCommon.h"
#include "common/Dpi.h"
#include "views/ViewWindows.h"
#include "resources/resource.h"
#include "common/CharacterTable.h"
#include "common/TextUtil.h"
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
  for (const HistoryColumn& c : HistoryColumns) InsertScaledColumn(list, index++, c.format, c.width, c.caption);
}

constexpr UINT ContinueFillMessage = WM_APP + 40;
constexpr UINT_PTR ContinueFillTimer = 1;
// How long one turn of the fill may keep the thread from its other messages.
constexpr double FillTurnMilliseconds = 30;
constexpr double ShowEveryMilliseconds = 1000;

// A row as stored, its names kept as bytes in one pool.
struct HistoryRow {
  int64_t timestamp;
  uint32_t p1name, p2name;
  int32_t p1id, p1win, p2id, p2win;
};

struct HistoryRows {
  std::vector<HistoryRow> rows;  // newest first; the list shows them the other way round
  std::vector<char> names;
};

struct HistoryState {
  RecordFilter filter;
  HistoryRows shown;     // what the list shows
  HistoryRows incoming;  // a refresh in progress
  TimestampWalk walk;
  bool filling = false;
  bool refreshing = false;  // the list keeps its rows until the new ones are complete
  bool refreshAgain = false;
  bool turnPending = false;
  bool failed = false;  // a read of this fill failed: what came in is not the whole history
  int told = 0;  // rows the list has been told of
  double toldAt = 0;
  long long remaining = -1;  // of a limit; -1 without one
};

HistoryState* StateOf(HWND dialog) { return reinterpret_cast<HistoryState*>(GetWindowLongPtrW(dialog, DWLP_USER)); }
HWND ListOf(HWND dialog) { return GetDlgItem(dialog, IDC_HISTORY_LIST); }
HistoryRows& Target(HistoryState& state) { return state.refreshing ? state.incoming : state.shown; }

const HistoryRow& RowAt(const HistoryRows& rows, int position) {
  return rows.rows[rows.rows.size() - 1 - (size_t)position];
}

// The row at a list position: the list knows of the first `told` rows only, while more may have come in.
const HistoryRow& ShownAt(const HistoryState& state, int position) {
  return state.shown.rows[(size_t)(state.told - 1 - position)];
}

uint32_t AddName(std::vector<char>& names, const char* name) {
  uint32_t at = (uint32_t)names.size();
  names.insert(names.end(), name, name + strlen(name) + 1);
  return at;
}

void AppendRecord(const MatchRecord& record, void* context) {
  auto* rows = static_cast<HistoryRows*>(context);
  HistoryRow row{record.timestamp, AddName(rows->names, record.p1name), AddName(rows->names, record.p2name),
                 record.p1id, record.p1win, record.p2id, record.p2win};
  rows->rows.push_back(row);
}

std::wstring NameText(const char* name) { return AnsiToWide(name).substr(0, 255); }

std::wstring ShortNameText(int id) {
  const CharacterEntry* entry = LookupCharacter(id);
  return entry ? entry->shortName : L"";
}

std::wstring CellText(const HistoryRows& rows, const HistoryRow& row, int column) {
  switch (column) {
    case 0: {
      SYSTEMTIME t = TimestampToCalendar(row.timestamp);
      return FormatWide(L"%d/%02d/%02d %02d:%02d:%02d", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond);
    }
    case 1: return NameText(&rows.names[row.p1name]);
    case 2: return ShortNameText(row.p1id);
    case 3: return FormatWide(L"%d", row.p1win);
    case 4: return NameText(&rows.names[row.p2name]);
    case 5: return ShortNameText(row.p2id);
    case 6: return FormatWide(L"%d", row.p2win);
  }
  return L"";
}

void OnGetDisplayInfo(HWND dialog, NMLVDISPINFOW* info) {
  HistoryState* state = StateOf(dialog);
  LVITEMW& item = info->item;
  if (!state || !(item.mask & LVIF_TEXT) || item.iItem < 0 || item.iItem >= state->told) return;
  std::wstring text = CellText(state->shown, ShownAt(*state, item.iItem), item.iSubItem);
  if (item.pszText && item.cchTextMax > 0) lstrcpynW(item.pszText, text.c_str(), item.cchTextMax);
}

bool ShowsNewest(HWND list, int count) {
  int top = (int)SendMessageW(list, LVM_GETTOPINDEX, 0, 0);
  int perPage = (int)SendMessageW(list, LVM_GETCOUNTPERPAGE, 0, 0);
  return count == 0 || top + perPage >= count;
}

void ScrollBy(HWND list, int rows) {
  RECT row{};
  row.left = LVIR_BOUNDS;
  if (rows && SendMessageW(list, LVM_GETITEMRECT, 0, (LPARAM)&row))
    SendMessageW(list, LVM_SCROLL, 0, (LPARAM)(rows * (row.bottom - row.top)));
}

// The rows so far into the list. Older rows come in above the others: a user who scrolled keeps seeing the
// same rows, anyone else keeps seeing the newest.
void TellList(HWND dialog) {
  HistoryState* state = StateOf(dialog);
  HWND list = ListOf(dialog);
  int before = state->told, count = (int)state->shown.rows.size(), added = count - before;
  state->toldAt = NowMilliseconds();
  if (added <= 0) return;
  bool atNewest = ShowsNewest(list, before);
  ListSelection selection = TakeSelection(list);
  state->told = count;
  PutSelection(list, selection, count, [added](int position) { return position + added; });
  if (atNewest) SendMessageW(list, LVM_ENSUREVISIBLE, (WPARAM)(count - 1), FALSE);
  else ScrollBy(list, added);
}

// The list position of the row with this timestamp in `rows`, or of the next older one.
int PositionOf(const HistoryRows& rows, int64_t timestamp) {
  auto at = std::lower_bound(rows.rows.begin(), rows.rows.end(), timestamp,
                             [](const HistoryRow& row, int64_t t) { return row.timestamp > t; });
  int index = (int)(at - rows.rows.begin());
  return (int)rows.rows.size() - 1 - index;
}

// A refresh's rows in place of the old ones: the same matches stay selected and in view, or the newest.
void SwapInRefreshed(HWND dialog) {
  HistoryState* state = StateOf(dialog);
  HWND list = ListOf(dialog);
  int oldCount = state->told;
  bool atNewest = ShowsNewest(list, oldCount);
  int top = (int)SendMessageW(list, LVM_GETTOPINDEX, 0, 0);
  bool hadTop = top >= 0 && top < oldCount;
  int64_t topStamp = hadTop ? ShownAt(*state, top).timestamp : 0;
  ListSelection selection = TakeSelection(list);
  HistoryRows old = std::move(state->shown);
  state->shown = std::move(state->incoming);
  state->incoming = HistoryRows{};
  state->refreshing = false;
  int count = (int)state->shown.rows.size();
  state->told = count;
  auto to = [&](int position) {
    if (position < 0 || position >= oldCount) return -1;
    int64_t stamp = RowAt(old, position).timestamp;
    int now = PositionOf(state->shown, stamp);
    return now >= 0 && now < count && RowAt(state->shown, now).timestamp == stamp ? now : -1;
  };
  if (selection.all) selection.all = false, selection.selected.clear();  // "all" stays all only by hand
  PutSelection(list, selection, count, to);
  if (atNewest || !hadTop) {
    if (count > 0) SendMessageW(list, LVM_ENSUREVISIBLE, (WPARAM)(count - 1), FALSE);
  } else {
    int wanted = PositionOf(state->shown, topStamp);
    ScrollBy(list, (wanted < 0 ? 0 : wanted) - (int)SendMessageW(list, LVM_GETTOPINDEX, 0, 0));
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
  HistoryRows& target = Target(state);
  size_t before = target.rows.size();
  double start = NowMilliseconds();
  bool ok = QueryMatchHistory(range, AppendRecord, &target);
  state.walk.Took(NowMilliseconds() - start);
  if (state.remaining > 0) state.remaining -= (long long)(target.rows.size() - before);
  if (!ok) state.failed = true;
  return ok;
}

void StartFill(HWND dialog, bool refresh);

void FinishFill(HWND dialog) {
  HistoryState* state = StateOf(dialog);
  state->filling = false;
  // A refresh that could not read everything keeps the rows shown; the first fill shows what came.
  if (state->failed && state->refreshing) {
    state->incoming = HistoryRows{};
    state->refreshing = false;
  } else if (state->refreshing) {
    SwapInRefreshed(dialog);
  } else {
    TellList(dialog);
  }
  MarkViewCurrent(dialog, !state->failed);
  if (state->refreshAgain) StartFill(dialog, true);
}

void ScheduleFill(HWND dialog) {
  StateOf(dialog)->turnPending = true;
  ScheduleTurn(dialog, ContinueFillMessage, ContinueFillTimer);
}

void ContinueFill(HWND dialog) {
  HistoryState* state = StateOf(dialog);
  if (!state || !state->filling) return;
  double start = NowMilliseconds();
  bool more = true;
  while (more && NowMilliseconds() - start < FillTurnMilliseconds) more = FillRange(*state);
  if (!more) {
    FinishFill(dialog);
    return;
  }
  // Telling a list of a million rows costs a good part of a turn: the first rows at once, then now and then.
  if (!state->refreshing && (state->told == 0 || NowMilliseconds() - state->toldAt > ShowEveryMilliseconds))
    TellList(dialog);
  ScheduleFill(dialog);
}

// refresh: after a change of the record, the list keeping its rows until the new ones are complete.
void StartFill(HWND dialog, bool refresh) {
  HistoryState* state = StateOf(dialog);
  if (state->filling && refresh) {
    state->refreshAgain = true;
    return;
  }
  state->refreshAgain = false;
  state->refreshing = refresh;
  state->failed = false;
  state->incoming = HistoryRows{};
  const RecordFilter& filter = state->filter;
  bool limited = (filter.flags & FilterLimit) && filter.limit >= 0;  // SQLite takes a negative limit as none
  state->remaining = limited ? filter.limit : -1;
  RecordFilter base = filter;
  base.flags &= ~FilterLimit;
  if (state->remaining != 0 && state->walk.Start(base)) {
    state->filling = true;
    // A turn already asked for carries the new walk on.
    if (!state->turnPending) ContinueFill(dialog);
    return;
  }
  // A table that cannot be walked by ranges is read in one statement.
  if (!QueryMatchHistory(filter, AppendRecord, &Target(*state))) state->failed = true;
  FinishFill(dialog);
}

enum HistoryCommand : UINT { HistoryExportCsv = 0xE100, HistoryExportJson = 0xE110 };

// Exactly what the list shows, top to bottom.
void ExportShownRows(HWND dialog, ExportFormat format) {
  HistoryState* state = StateOf(dialog);
  std::wstring path;
  if (!state || !ChooseExportFile(dialog, format, &path)) return;
  ExportWriter writer(path, format);
  MatchRecord record;
  for (int position = 0; position < state->told; ++position) {
    const HistoryRow& row = ShownAt(*state, position);
    memset(&record, 0, sizeof record);
    record.timestamp = row.timestamp;
    CopyToField(record.p1name, sizeof record.p1name, &state->shown.names[row.p1name]);
    CopyToField(record.p2name, sizeof record.p2name, &state->shown.names[row.p2name]);
    record.p1id = row.p1id;
    record.p1win = row.p1win;
    record.p2id = row.p2id;
    record.p2win = row.p2win;
    writer.Add(record);
  }
  std::wstring error;
  if (!writer.Commit(&error)) ReportExportFailure(dialog, path, error);
  else AnnounceExport(path, writer.Rows());
}

void OnInit(HWND dialog, const RecordFilter* given) {
  auto* state = new HistoryState;
  memset(&state->filter, 0, sizeof state->filter);
  if (given) state->filter = *given;
  SetWindowLongPtrW(dialog, DWLP_USER, (LONG_PTR)state);
  HWND list = MakeOwnerDataList(dialog, IDC_HISTORY_LIST);
  InsertColumns(list);
  StartFill(dialog, false);
  FollowRecordChanges(dialog);
  // Additions come after the system's own items.
  if (HMENU menu = GetSystemMenu(dialog, FALSE)) {
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(menu, MF_STRING, HistoryExportCsv, L"CSVに書き出す…");
    AppendMenuW(menu, MF_STRING, HistoryExportJson, L"JSONに書き出す…");
  }
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
      const HistoryRow* row = state && position < (size_t)state->told ? &ShownAt(*state, (int)position) : nullptr;
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
    case WM_DPICHANGED:
      FollowDpiChange(dialog, wParam, lParam);
      return FALSE;
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
      KillTimer(dialog, ContinueFillTimer);
      if (StateOf(dialog)) StateOf(dialog)->turnPending = false;
      ContinueFill(dialog);
      return TRUE;
    case RefreshViewMessage:
      StartFill(dialog, true);
      return TRUE;
    case WM_SYSCOMMAND:
      if (wParam != HistoryExportCsv && wParam != HistoryExportJson) return FALSE;
      ExportShownRows(dialog, wParam == HistoryExportCsv ? ExportFormat::Csv : ExportFormat::Json);
      return TRUE;
    case WM_DESTROY:
      StopFollowingRecordChanges(dialog);
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
