// The detail window: one character's record broken down by the other side's character, where results
// are added and removed by hand.
#include <windows.h>
#include <commctrl.h>
#include <windowsx.h>

#include <cstring>

#include "views/RecordTable.h"
#include "views/SortableList.h"
#include "views/ViewCommon.h"
#include "views/ViewWindows.h"
#include "common/Dpi.h"
#include "resources/resource.h"
#include "shell/AppState.h"
#include "shell/ChangeJournal.h"
#include "common/CharacterTable.h"
#include "shell/ColorListRow.h"
#include "shell/RecordEvents.h"
#include "common/TextUtil.h"
#include "store/RecordDatabase.h"
#include "store/RecordQueries.h"

namespace {
const wchar_t FilterProperty[] = L"RAVIREZOV.FILTER";
const wchar_t DirectionProperty[] = L"RAVIREZOV.TRDIRLEFT";
const wchar_t FixedCharacterProperty[] = L"RAVIREZOV.PID";

constexpr UINT RefreshCommand = 0xC000;
constexpr UINT UndoCommand = 0xD000;
constexpr UINT RedoCommand = 0xD001;
constexpr UINT OpponentsCommand = 0xE000;
constexpr UINT HistoryCommand = 0xE001;
constexpr UINT CopyCommand = 0xE010;

struct DetailParameters {
  RecordFilter* filter;
  int direction;
  bool taken;  // the window owns the filter from its first message on
};

RecordFilter* FilterOf(HWND dialog) { return static_cast<RecordFilter*>(GetPropW(dialog, FilterProperty)); }
// Non-zero: the fixed character is the user's own and the rows are opponents' characters.
bool FixedIsOwn(HWND dialog) { return GetPropW(dialog, DirectionProperty) != nullptr; }
int FixedCharacter(HWND dialog) { return (int)(INT_PTR)GetPropW(dialog, FixedCharacterProperty); }
HWND ListOf(HWND dialog) { return GetDlgItem(dialog, IDC_RECORD_LIST); }
HWND OwnerOf(HWND dialog) { return GetWindow(dialog, GW_OWNER); }

const wchar_t* ShortNameOf(int id) {
  const CharacterEntry* entry = LookupCharacter(id);
  return entry ? entry->shortName : L"";
}

std::wstring DetailTitle(const RecordFilter& filter) {
  std::wstring title = L"詳細 - ";
  if (filter.flags & FilterFrom) {
    SYSTEMTIME t = TimestampToCalendar(filter.timestampFrom);
    title += FormatWide(L"%d/%02d/%02dから", t.wYear, t.wMonth, t.wDay);
  }
  if (filter.flags & FilterTo) {
    SYSTEMTIME t = TimestampToCalendar(filter.timestampTo);
    title += FormatWide(L"%d/%02d/%02dまで", t.wYear, t.wMonth, t.wDay);
  }
  if (filter.flags & FilterP1Name) title += FormatWide(L"1P[%s] ", AnsiToWide(filter.p1name).c_str());
  if (filter.flags & FilterP1Id) title += FormatWide(L"with %s ", ShortNameOf(filter.p1id));
  if (filter.flags & FilterP2Name) title += FormatWide(L"2P[%s] ", AnsiToWide(filter.p2name).c_str());
  if (filter.flags & FilterP2Id) title += FormatWide(L"vs %s ", ShortNameOf(filter.p2id));
  return title;
}

void Refresh(HWND dialog) {
  // Rows are the other side's characters: own ones (W[c][k]) when the fixed one is the opponent's.
  RecordTableSource source{FilterOf(dialog), false, !FixedIsOwn(dialog)};
  RefreshRecordTable(ListOf(dialog), source, dialog);
}

void OnRecordChanged(void* context) { Refresh(static_cast<HWND>(context)); }

void AfterChange(HWND dialog) {
  Refresh(dialog);
  PostMessageW(OwnerOf(dialog), RefreshSummaryMessage, 0, 0);
}

void InsertMenuEntries(HMENU menu) {
  struct Entry {
    UINT command;
    const wchar_t* text;
  };
  static const Entry entries[] = {
      {RefreshCommand, L"最新の情報に更新"}, {0, nullptr},        {UndoCommand, L"元に戻す"},
      {RedoCommand, L"やり直し"},            {0, nullptr},        {OpponentsCommand, L"相手プロファイル表"},
      {HistoryCommand, L"過去対戦履歴表"},   {0, nullptr},        {CopyCommand, L"クリップボードに送る"},
      {0, nullptr},
  };
  UINT position = 0;
  for (const Entry& e : entries) {
    if (e.text)
      InsertMenuW(menu, position++, MF_BYPOSITION | MF_STRING, e.command, e.text);
    else
      InsertMenuW(menu, position++, MF_BYPOSITION | MF_SEPARATOR, 0, nullptr);
  }
}

BOOL OnInit(HWND dialog, DetailParameters* parameters) {
  RecordFilter* filter = parameters->filter;
  parameters->taken = true;
  RecordFilter none{};
  const RecordFilter& conditions = filter ? *filter : none;
  SetPropW(dialog, FilterProperty, filter);
  SetPropW(dialog, DirectionProperty, (HANDLE)(INT_PTR)(parameters->direction != 0));
  int fixed = (conditions.flags & FilterP1Id)   ? conditions.p1id
              : (conditions.flags & FilterP2Id) ? conditions.p2id
                                                : 0;
  SetPropW(dialog, FixedCharacterProperty, (HANDLE)(INT_PTR)fixed);

  HMENU menu = GetSystemMenu(dialog, FALSE);
  if (!menu) {
    DestroyWindow(dialog);  // frees the filter
    return FALSE;
  }
  SetWindowTextW(dialog, DetailTitle(conditions).c_str());
  InsertMenuEntries(menu);
  HWND list = ListOf(dialog);
  SetupSortableList(list, RecordColumns, RecordColumnCount);
  InsertRecordRows(list);
  if (g_app.autoAjustViewRect) FitWindowToList(dialog, list);
  CascadeFromShownWindows(dialog);
  Refresh(dialog);
  FollowRecordChanges(dialog);
  AddRecordListener(OnRecordChanged, dialog);
  return TRUE;
}

// The cell under the cursor, when it is a "勝" or "負" cell; the item may be any row.
bool ResultCellAtCursor(HWND list, int& position, int& column) {
  LVHITTESTINFO hit{};
  // Where the cursor was at the click: it may have moved on by the time the click is handled.
  DWORD at = GetMessagePos();
  hit.pt = POINT{GET_X_LPARAM(at), GET_Y_LPARAM(at)};
  ScreenToClient(list, &hit.pt);
  if (SendMessageW(list, LVM_SUBITEMHITTEST, 0, (LPARAM)&hit) < 0 || hit.iItem < 0) return false;
  if (hit.iSubItem != 2 && hit.iSubItem != 3) return false;
  position = hit.iItem;
  column = hit.iSubItem;
  return true;
}

void AddResult(HWND dialog) {
  HWND list = ListOf(dialog);
  int position, column;
  if (!ResultCellAtCursor(list, position, column) || position >= CharacterRowCount) return;
  MatchRecord record;
  memset(&record, 0, sizeof record);
  record.timestamp = CurrentTimestamp();
  int c = RowIdOf(RowItemDataAt(list, position));
  int p = FixedCharacter(dialog);
  record.p1id = FixedIsOwn(dialog) ? p : c;
  record.p2id = FixedIsOwn(dialog) ? c : p;
  record.p1win = column == 2 ? 2 : 0;
  record.p2win = column == 3 ? 2 : 0;
  BeginTransaction();
  bool stored = InsertMatchRecord(record);
  // A refused commit is rolled back: the journal must not hold a change the file does not have.
  stored = EndTransaction(!stored) && stored;
  if (!stored) {
    ShowChangeNotDone(dialog);
    return;
  }
  RecordChange(ChangeInserted, record);
  AfterChange(dialog);
}

void RemoveLatestResult(HWND dialog) {
  HWND list = ListOf(dialog);
  int position, column;
  if (!ResultCellAtCursor(list, position, column)) return;
  LPARAM row = RowItemDataAt(list, position);
  int c = RowIdOf(row);
  // A pinned row's id is no character, yet old captures may have stored it as one: never delete those.
  if ((row & PinnedRowFlag) || c < 0 || c >= CharacterRowCount) return;
  const RecordFilter* filter = FilterOf(dialog);
  if (!filter) {
    MessageBoxW(nullptr, L"戦績の変更に失敗しました", nullptr, MB_OK);
    return;
  }
  RecordFilter latest = *filter;
  if (FixedIsOwn(dialog)) {
    latest.flags |= FilterP2Id;
    latest.p2id = c;
  } else {
    latest.flags |= FilterP1Id;
    latest.p1id = c;
  }
  if (column == 2) {
    latest.flags |= FilterP1Win;
    latest.p1win = 2;
  } else {
    latest.flags |= FilterP2Win;
    latest.p2win = 2;
  }
  MatchRecord record;
  if (!QueryLatestMatch(latest, record)) return;
  BeginTransaction();
  bool removed = DeleteMatchRecord(record.timestamp);
  removed = EndTransaction(!removed) && removed;
  if (!removed) {
    ShowChangeNotDone(dialog);
    return;
  }
  RecordChange(ChangeDeleted, record);
  AfterChange(dialog);
}

void UpdateUndoItems(HWND dialog) {
  HMENU menu = GetSystemMenu(dialog, FALSE);
  EnableMenuItem(menu, UndoCommand, MF_BYCOMMAND | (CanUndo() ? MF_ENABLED : MF_GRAYED));
  EnableMenuItem(menu, RedoCommand, MF_BYCOMMAND | (CanRedo() ? MF_ENABLED : MF_GRAYED));
}

// True when the command is handled completely (the window is gone).
bool OnSysCommand(HWND dialog, WPARAM command) {
  if ((command & 0xFFF0) == SC_CLOSE) {
    DestroyWindow(dialog);
    return true;
  }
  switch (command) {
    case RefreshCommand:
      Refresh(dialog);
      break;
    case UndoCommand:
      if (CanUndo() && !UndoChange()) ShowChangeNotDone(dialog);
      AfterChange(dialog);
      break;
    case RedoCommand:
      if (CanRedo() && !RedoChange()) ShowChangeNotDone(dialog);
      AfterChange(dialog);
      break;
    case OpponentsCommand:
      OpenOpponentProfileWindow(dialog, FilterOf(dialog));
      break;
    case HistoryCommand:
      OpenMatchHistoryWindow(OwnerOf(dialog), FilterOf(dialog));
      break;
    case CopyCommand:
      CopyRecordTable(ListOf(dialog), RecordColumns, RecordColumnCount);
      break;
  }
  return false;
}

INT_PTR OnNotify(HWND dialog, NMHDR* header) {
  if (header->idFrom != IDC_RECORD_LIST) return FALSE;
  switch (header->code) {
    case LVN_COLUMNCLICK:
      return DialogResult(dialog, SortListOnColumnClick(reinterpret_cast<NMLISTVIEW*>(header)));
    case NM_CUSTOMDRAW:
      return DialogResult(dialog, ColorListRow(reinterpret_cast<NMLVCUSTOMDRAW*>(header)));
    case NM_DBLCLK:
      AddResult(dialog);
      break;
    case NM_RDBLCLK:
      RemoveLatestResult(dialog);
      break;
  }
  return DialogResult(dialog, 0);
}

void OnDestroy(HWND dialog) {
  delete FilterOf(dialog);
  RemovePropW(dialog, FilterProperty);
  RemovePropW(dialog, DirectionProperty);
  RemovePropW(dialog, FixedCharacterProperty);
  StopFollowingRecordChanges(dialog);
  RemoveRecordListener(OnRecordChanged, dialog);
}

INT_PTR CALLBACK DetailDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  INT_PTR laidOut;
  if (OnListWindowLayout(dialog, ListOf(dialog), message, wParam, lParam, laidOut)) return laidOut;
  switch (message) {
    case WM_INITDIALOG:
      return OnInit(dialog, reinterpret_cast<DetailParameters*>(lParam));
    case WM_NOTIFY:
      return OnNotify(dialog, reinterpret_cast<NMHDR*>(lParam));
    case WM_NCRBUTTONDOWN:
      if (wParam == HTCAPTION) UpdateUndoItems(dialog);
      return FALSE;
    case WM_INITMENUPOPUP:
      // However the window menu opens: the caption, Alt+Space, the icon.
      if (HIWORD(lParam)) UpdateUndoItems(dialog);
      return FALSE;
    case RefreshViewMessage:
      Refresh(dialog);
      return TRUE;
    case WM_SYSCOMMAND:
      return OnSysCommand(dialog, wParam);
    case WM_COMMAND:
      // Escape closes it as its close button does.
      if (LOWORD(wParam) == IDCANCEL) OnSysCommand(dialog, SC_CLOSE);
      return TRUE;
    case WM_DESTROY:
      OnDestroy(dialog);
      return FALSE;
  }
  return FALSE;
}
}  // namespace

HWND OpenDetailWindow(HWND summary, RecordFilter* filter, int direction) {
  DetailParameters parameters{filter, direction, false};
  HWND window = CreateDialogParamW(ViewResourceInstance(), MAKEINTRESOURCEW(IDD_SUMMARY), summary,
                                   DetailDialogProc, (LPARAM)&parameters);
  if (!parameters.taken) delete filter;
  if (window) ShowWindow(window, SW_SHOW);
  return window;
}
