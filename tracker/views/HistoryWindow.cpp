// The match history window: one query's records, oldest on top. The rows live here and the list asks for
// what it shows, so that a history of any length opens at once; a change of ours reaches it as the rows
// it changes.
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "common/Dpi.h"
#include "common/TextUtil.h"
#include "common/WindowState.h"
#include "resources/resource.h"
#include "shell/RecordEvents.h"
#include "store/MatchSnapshot.h"
#include "store/RecordDatabase.h"
#include "store/RecordQueries.h"
#include "views/HistoryRows.h"
#include "views/ListFill.h"
#include "views/MatchExport.h"
#include "views/RecordTable.h"
#include "views/ViewCommon.h"
#include "views/ViewWindows.h"

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

constexpr double ShowEveryMilliseconds = 1000;

struct HistoryState : ListFillJob {
  explicit HistoryState(HWND window) : dialog(window), fill(window, *this) {}
  bool Begin(bool refresh) override;
  bool Step() override;
  void ReadWhole() override;
  void Finish() override;
  void BetweenTurns() override;

  HWND dialog;
  RecordFilter filter{};
  NameTable names;
  HistoryRows shown;     // what the list shows
  HistoryRows incoming;  // a refresh in progress
  ListFill fill;
  TimestampWalk walk;
  bool refreshing = false;  // the list keeps its rows until the new ones are complete
  bool failed = false;      // a read of this fill failed: what came in is not the whole history
  int told = 0;             // rows the list has been told of
  double toldAt = 0;
  long long remaining = -1;  // of a limit; -1 without one
  // The state of the table the shown rows are of; a fill's until it is over.
  ChangeMark mark{}, fillMark{};
  bool marked = false, fillMarked = false;
  bool catchUpAfterFill = false;
};

HistoryState* StateOfHistory(HWND dialog) { return StateOf<HistoryState>(dialog); }
HWND ListOf(HWND dialog) { return GetDlgItem(dialog, IDC_HISTORY_LIST); }
HistoryRows& Target(HistoryState& state) { return state.refreshing ? state.incoming : state.shown; }

// The row at a list position: the list knows of the first `told` rows only, while more may have come in.
const HistoryRow& ShownAt(const HistoryState& state, int position) {
  return state.shown[(size_t)(state.told - 1 - position)];
}

void OnGetDisplayInfo(HWND dialog, NMLVDISPINFOW* info) {
  HistoryState* state = StateOfHistory(dialog);
  LVITEMW& item = info->item;
  if (!state || !(item.mask & LVIF_TEXT) || item.iItem < 0 || item.iItem >= state->told) return;
  std::wstring text = HistoryCellText(state->names, ShownAt(*state, item.iItem), item.iSubItem);
  if (item.pszText && item.cchTextMax > 0) lstrcpynW(item.pszText, text.c_str(), item.cchTextMax);
}

std::string KeyOf(int64_t timestamp) { return std::string(reinterpret_cast<const char*>(&timestamp), sizeof timestamp); }

// The rows' selection and view kept by timestamp while `change` changes the shown rows; list positions from
// `firstChanged` on are drawn again.
template <typename Change>
void ChangeShownRows(HistoryState& state, Change change, int firstChanged = 0) {
  HWND list = ListOf(state.dialog);
  HeldRows held = HoldRows(list, [&](int position) { return KeyOf(ShownAt(state, position).timestamp); });
  // "All" stays all only by hand.
  held.selection.all = false;
  change();
  int count = (int)state.shown.size();
  state.told = count;
  PutRowsBack(list, held, count,
              [&](const std::string& key) {
                int64_t stamp;
                memcpy(&stamp, key.data(), sizeof stamp);
                size_t index = IndexOfTimestamp(state.shown, stamp);
                return index < state.shown.size() && state.shown[index].timestamp == stamp ? count - 1 - (int)index : -1;
              },
              true, firstChanged);
}

// The rows so far into the list. Older rows come in above the others: a user who scrolled keeps seeing the
// same rows, anyone else keeps seeing the newest.
void TellList(HistoryState& state) {
  state.toldAt = NowMilliseconds();
  if ((int)state.shown.size() > state.told) ChangeShownRows(state, [] {});
}

bool HistoryState::Begin(bool refresh) {
  refreshing = refresh;
  failed = false;
  incoming = HistoryRows{};
  fillMarked = ReadChangeMark(RecordDatabase(), fillMark);
  bool limited = (filter.flags & FilterLimit) && filter.limit >= 0;  // SQLite takes a negative limit as none
  remaining = limited ? filter.limit : -1;
  RecordFilter base = filter;
  base.flags &= ~FilterLimit;
  return remaining != 0 && walk.Start(base);
}

// One range of the walk; false when the fill is over.
bool HistoryState::Step() {
  RecordFilter range;
  if (remaining == 0 || !walk.Next(range)) return false;
  if (remaining > 0) {
    range.flags |= FilterLimit;
    range.limit = (int32_t)remaining;
  }
  HistoryRows& target = Target(*this);
  size_t before = target.size();
  double start = NowMilliseconds();
  bool ok = ReadHistoryRows(range, names, target);
  walk.Took(NowMilliseconds() - start);
  if (remaining > 0) remaining -= (long long)(target.size() - before);
  if (!ok) failed = true;
  return ok;
}

// A table that cannot be walked by ranges is read in one statement.
void HistoryState::ReadWhole() {
  if (!ReadHistoryRows(filter, names, Target(*this))) failed = true;
}

void HistoryState::BetweenTurns() {
  // Telling a list of a million rows costs a good part of a turn: the first rows at once, then now and then.
  if (!refreshing && (told == 0 || NowMilliseconds() - toldAt > ShowEveryMilliseconds)) TellList(*this);
}

void CatchUp(HWND dialog);

void HistoryState::Finish() {
  bool wasRefresh = refreshing;
  refreshing = false;
  // A refresh that could not read everything keeps the rows shown; the first fill shows what came.
  if (failed && wasRefresh) {
    incoming = HistoryRows{};
  } else if (wasRefresh) {
    ChangeShownRows(*this, [this] { shown = std::move(incoming); });
    incoming = HistoryRows{};
  } else {
    TellList(*this);
  }
  if (!failed) {
    mark = fillMark;
    marked = fillMarked;
  } else if (!wasRefresh) {
    marked = false;  // rows are missing: only a whole new read brings them
  }
  MarkViewCurrent(dialog, !failed);
  if (catchUpAfterFill && !failed) {
    catchUpAfterFill = false;
    CatchUp(dialog);
  }
}

// Our own inserts and deletes since the shown rows were read, applied in their places; anything else (another
// program wrote, a rollback) reads the whole history again.
void CatchUp(HWND dialog) {
  HistoryState* state = StateOfHistory(dialog);
  if (!state) return;
  if (state->fill.Filling()) {
    state->catchUpAfterFill = true;
    return;
  }
  ChangeMark now{};
  sqlite3* db = RecordDatabase();
  std::vector<OwnWriteSince> writes;
  if (!state->marked || !ReadChangeMark(db, now) || !OwnWritesSince(db, state->mark, now, writes)) {
    state->fill.Start(true);
    return;
  }
  if (writes.empty()) return;
  std::vector<int64_t> touched;
  for (const OwnWriteSince& write : writes) touched.push_back(write.timestamp);
  std::sort(touched.begin(), touched.end());
  touched.erase(std::unique(touched.begin(), touched.end()), touched.end());
  // Read first, so that a failed read changes nothing.
  std::vector<HistoryRows> found(touched.size());
  for (size_t i = 0; i < touched.size(); ++i)
    if (!ReadHistoryRowAt(state->filter, touched[i], state->names, found[i])) {
      MarkViewCurrent(dialog, false);
      return;
    }
  bool complete = true;
  HistoryRows& rows = state->shown;
  // Rows older than every change keep their places; a limit moves them all.
  size_t olderFrom = IndexOfTimestamp(rows, touched.front());
  if (olderFrom < rows.size() && rows[olderFrom].timestamp == touched.front()) ++olderFrom;
  size_t older = rows.size() - olderFrom;
  bool limited = (state->filter.flags & FilterLimit) && state->filter.limit >= 0;
  ChangeShownRows(*state, [&] {
    for (size_t i = 0; i < touched.size(); ++i) {
      size_t at = IndexOfTimestamp(rows, touched[i]);
      bool held = at < rows.size() && rows[at].timestamp == touched[i];
      if (held && found[i].empty()) rows.erase(rows.begin() + (ptrdiff_t)at);
      else if (held) rows[at] = found[i][0];
      else if (!found[i].empty()) rows.insert(rows.begin() + (ptrdiff_t)at, found[i][0]);
    }
    complete = FillUpToLimit(state->filter, state->names, state->shown);
  }, limited ? 0 : (int)older);
  if (complete) state->mark = now;
  MarkViewCurrent(dialog, complete);
}

void OnRecordChanged(void* context) { CatchUp(static_cast<HWND>(context)); }

enum HistoryCommand : UINT { HistoryExportCsv = 0xE100, HistoryExportJson = 0xE110 };

// Exactly what the list shows, top to bottom.
void ExportShownRows(HWND dialog, ExportFormat format) {
  HistoryState* state = StateOfHistory(dialog);
  std::wstring path;
  if (!state || !ChooseExportFile(dialog, format, &path)) return;
  ExportWriter writer(path, format);
  MatchRecord record;
  for (int position = 0; position < state->told; ++position) {
    const HistoryRow& row = ShownAt(*state, position);
    memset(&record, 0, sizeof record);
    record.timestamp = row.timestamp;
    CopyToField(record.p1name, sizeof record.p1name, state->names[row.p1name]);
    CopyToField(record.p2name, sizeof record.p2name, state->names[row.p2name]);
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
  HistoryState* state = AttachState(dialog, std::make_unique<HistoryState>(dialog));
  if (given) state->filter = *given;
  HWND list = MakeOwnerDataList(dialog, IDC_HISTORY_LIST);
  InsertColumns(list);
  state->fill.Start(false);
  AddRecordListener(OnRecordChanged, dialog);
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
  HistoryState* state = StateOfHistory(dialog);
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

INT_PTR OnNotify(HWND dialog, NMHDR* header) {
  if (header->idFrom != IDC_HISTORY_LIST) return FALSE;
  if (header->code == NM_CUSTOMDRAW)
    return DialogResult(dialog, OnCustomDraw(dialog, reinterpret_cast<NMLVCUSTOMDRAW*>(header)));
  if (header->code == LVN_GETDISPINFOW) OnGetDisplayInfo(dialog, reinterpret_cast<NMLVDISPINFOW*>(header));
  return FALSE;
}

INT_PTR CALLBACK HistoryDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  HistoryState* state = StateOfHistory(dialog);
  if (state && state->fill.OnMessage(message, wParam)) return TRUE;
  INT_PTR laidOut;
  if (OnListWindowLayout(dialog, ListOf(dialog), message, wParam, lParam, laidOut)) return laidOut;
  switch (message) {
    case WM_INITDIALOG:
      OnInit(dialog, reinterpret_cast<const RecordFilter*>(lParam));
      return TRUE;
    case WM_NOTIFY:
      return OnNotify(dialog, reinterpret_cast<NMHDR*>(lParam));
    case RefreshViewMessage:
      CatchUp(dialog);
      return TRUE;
    case WM_SYSCOMMAND:
      if (wParam != HistoryExportCsv && wParam != HistoryExportJson) return FALSE;
      ExportShownRows(dialog, wParam == HistoryExportCsv ? ExportFormat::Csv : ExportFormat::Json);
      return TRUE;
    case WM_DESTROY:
      RemoveRecordListener(OnRecordChanged, dialog);
      StopFollowingRecordChanges(dialog);
      DetachState<HistoryState>(dialog);
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
