#include "views/SummaryWindow.h"

#include <shlwapi.h>
#include <climits>
#include <vector>

#include "views/BackupCommands.h"
#include "views/GraphWindow.h"
#include "views/MatchExport.h"
#include "views/RecordTable.h"
#include "views/StreamOverlay.h"
#include "views/ViewCommon.h"
#include "views/ViewWindows.h"
#include "common/Dpi.h"
#include "common/WindowState.h"
#include "resources/resource.h"
#include "shell/AppState.h"
#include "shell/ChangeJournal.h"
#include "shell/ColorListRow.h"
#include "shell/ProfileChoice.h"
#include "shell/PendingMatches.h"
#include "shell/ProfileShortcuts.h"
#include "shell/ProfileSwitch.h"
#include "shell/RecordEvents.h"
#include "shell/Settings.h"
#include "common/TextUtil.h"
#include "shell/TrayMenu.h"
#include "store/MatchSnapshot.h"
#include "store/RecordDatabase.h"
#include "store/RecordFilter.h"
#include "store/RecordQueries.h"

namespace {

struct SummaryState {
  HWND list = nullptr;
  int direction = 1;  // 1: rows are own characters, 0: opponents' characters
  bool turnAsked = false;  // the next turn of reading a new profile is on its way
  bool blank = false;      // the figures are cleared while it is read
};

// A new profile's first pass over its rows is read in turns, so that a capture never waits behind it.
constexpr UINT ReadTurnMessage = WM_APP + 42;
constexpr UINT_PTR ReadTurnTimer = 1;

const wchar_t* const DisplaySection = L"RUZDlg.Display";
const wchar_t* const DirectionSection = L"RUZDlg.Viziriduvoz";

struct MenuEntry {
  UINT id;  // 0: separator
  const wchar_t* text;
};
const MenuEntry WindowMenuEntries[18] = {
    {SummaryLoadProfile, L"プロファイルを読み込む"},
    {0, nullptr},
    {SummaryOwnCharacters, L"自分別戦績"},
    {SummaryOpponentCharacters, L"相手別戦績"},
    {0, nullptr},
    {SummaryPeriodAll, L"全ての対戦"},
    {SummaryPeriodToday, L"今日の対戦"},
    {SummaryPeriodYesterday, L"昨日の対戦"},
    {SummaryPeriodCustom, L"カスタム対戦"},
    {0, nullptr},
    {SummaryUndo, L"元に戻す"},
    {SummaryRedo, L"やり直し"},
    {0, nullptr},
    {SummaryOpponentProfiles, L"相手プロファイル表"},
    {SummaryMatchHistory, L"過去対戦履歴表"},
    {0, nullptr},
    {SummaryCopyTable, L"クリップボードに送る"},
    {0, nullptr},
};

void Check(HWND dialog, UINT id, bool checked) {
  CheckMenuItem(GetSystemMenu(dialog, FALSE), id, MF_BYCOMMAND | (checked ? MF_CHECKED : MF_UNCHECKED));
}

void Refresh(HWND dialog) {
  std::wstring name = PathFindFileNameW(CurrentDatabasePath().c_str());
  std::vector<wchar_t> base(name.begin(), name.end());
  base.push_back(L'\0');
  PathRemoveExtensionW(base.data());
  SetWindowTextW(dialog, FormatWide(L"Corvenka Rev.9 - %s", base.data()).c_str());

  if (SummaryState* state = StateOf<SummaryState>(dialog)) {
    RecordFilter none{};
    RecordFilter all = none;
    ApplySummaryPeriod(all);
    if (!BuildSnapshotTurn(RecordDatabase(), all, SnapshotRowsPerTurn)) {
      // No figures until the last turn: the rows shown may be the old profile's.
      if (!state->blank) ClearRecordFigures(state->list);
      state->blank = true;
      if (!state->turnAsked) ScheduleTurn(dialog, ReadTurnMessage, ReadTurnTimer);
      state->turnAsked = true;
      return;
    }
    RecordTableSource source{&none, true, state->direction != 0};
    RefreshRecordTable(state->list, source, dialog);
    state->blank = false;
  }
}

void OnRecordChanged(void* context) { Refresh(static_cast<HWND>(context)); }

void OnReadTurn(HWND dialog) {
  KillTimer(dialog, ReadTurnTimer);
  if (SummaryState* state = StateOf<SummaryState>(dialog)) state->turnAsked = false;
  Refresh(dialog);
}

BOOL OnInitDialog(HWND dialog) {
  SummaryState* state = AttachState(dialog, std::make_unique<SummaryState>());
  HMENU menu = GetSystemMenu(dialog, FALSE);
  if (!menu) {
    DestroyWindow(dialog);
    return FALSE;
  }
  SummaryPeriod = PeriodAll;
  for (UINT position = 0; position < 18; ++position) {
    const MenuEntry& entry = WindowMenuEntries[position];
    if (entry.id)
      InsertMenuW(menu, position, MF_BYPOSITION | MF_STRING, entry.id, entry.text);
    else
      InsertMenuW(menu, position, MF_BYPOSITION | MF_SEPARATOR, 0, nullptr);
  }
  CheckMenuItem(menu, SummaryPeriodAll, MF_BYCOMMAND | MF_CHECKED);
  // Additions come after everything the menu had, the system's own items included.
  AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
  AppendMenuW(menu, MF_STRING, IDM_SHOW_GRAPH, L"戦績グラフ");
  AppendMenuW(menu, MF_STRING, SummaryExportCsv, L"CSVに書き出す…");
  AppendMenuW(menu, MF_STRING, SummaryExportJson, L"JSONに書き出す…");
  AppendMenuW(menu, MF_STRING, SummaryRestoreBackup, L"バックアップから復元…");
  AppendMenuW(menu, MF_STRING, SummaryImportMatches, L"ほかのプロファイルから取り込む…");

  state->list = GetDlgItem(dialog, IDC_RECORD_LIST);
  SetupSortableList(state->list, RecordColumns, RecordColumnCount);
  InsertRecordRows(state->list);

  RECT rect;
  GetWindowRect(dialog, &rect);
  SIZE size{rect.right - rect.left, rect.bottom - rect.top};
  if (g_app.autoAjustViewRect) size = FittedWindowSize(dialog, state->list);
  int x = ReadSettingInt(DisplaySection, L"X", INT_MIN);
  int y = ReadSettingInt(DisplaySection, L"Y", INT_MIN);
  if (x == INT_MIN || y == INT_MIN) {
    x = rect.left;
    y = rect.top;
  }
  // A place saved on a monitor that has gone, or beyond a smaller screen, would leave the window out of reach.
  POINT at = ReachablePosition(RECT{x, y, x + size.cx, y + size.cy});
  SetWindowPos(dialog, nullptr, at.x, at.y, size.cx, size.cy, SWP_NOZORDER | SWP_NOACTIVATE);

  state->direction = ReadSettingInt(DirectionSection, L"DirLeft", 1) != 0 ? 1 : 0;
  Check(dialog, SummaryOwnCharacters, state->direction == 1);
  Check(dialog, SummaryOpponentCharacters, state->direction == 0);

  Refresh(dialog);
  AddRecordListener(OnRecordChanged, dialog);
  return TRUE;
}

void OnDestroy(HWND dialog) {
  RemoveRecordListener(OnRecordChanged, dialog);
  RECT rect;
  GetWindowRect(dialog, &rect);
  WriteSettingInt(DisplaySection, L"X", rect.left);
  WriteSettingInt(DisplaySection, L"Y", rect.top);
  if (std::unique_ptr<SummaryState> state = DetachState<SummaryState>(dialog))
    WriteSettingInt(DirectionSection, L"DirLeft", state->direction);
}

void SetDirection(HWND dialog, int direction) {
  SummaryState* state = StateOf<SummaryState>(dialog);
  if (state->direction == direction) return;
  state->direction = direction;
  Check(dialog, SummaryOwnCharacters, direction == 1);
  Check(dialog, SummaryOpponentCharacters, direction == 0);
  // The graph follows the summary's choices too.
  DeliverRecordChanges();
}

void MarkPeriod(HWND dialog, UINT chosen) {
  for (UINT id = SummaryPeriodAll; id <= SummaryPeriodCustom; ++id) Check(dialog, id, id == chosen);
}

void ChoosePeriod(HWND dialog, UINT command) {
  int period = (int)(command - SummaryPeriodAll);
  if (SummaryPeriod == period) return;
  MarkPeriod(dialog, command);
  SummaryPeriod = period;
  DeliverRecordChanges();
}

void ChooseCustomPeriod(HWND dialog) {
  if (ShowCustomFilterDialog(dialog, &CustomFilter) != IDOK) return;
  MarkPeriod(dialog, SummaryPeriodCustom);
  SummaryPeriod = PeriodCustom;
  DeliverRecordChanges();
}

void ChooseProfileFile(HWND dialog) {
  std::wstring path;
  if (AskProfileToOpen(dialog, nullptr, L"", &path)) LoadSummaryProfile(dialog, path);
}

void OpenOpponentProfiles(HWND dialog) {
  RecordFilter filter{};
  ApplySummaryPeriod(filter);
  OpenOpponentProfileWindow(dialog, &filter);
}

// Opens a detail window on the selected character row.
void OpenDetailOfSelection(HWND dialog) {
  SummaryState* state = StateOf<SummaryState>(dialog);
  int position = (int)SendMessageW(state->list, LVM_GETSELECTIONMARK, 0, 0);
  if (position < 0 || position >= CharacterRowCount) return;
  int character = RowIdOf(RowItemDataAt(state->list, position));
  RecordFilter* filter = new RecordFilter{};
  if (state->direction == 1) {
    filter->flags = FilterP1Id;
    filter->p1id = character;
  } else {
    filter->flags = FilterP2Id;
    filter->p2id = character;
  }
  ApplySummaryPeriod(*filter);
  HWND detail = OpenDetailWindow(dialog, filter, state->direction);
  if (detail) ShowWindow(detail, SW_SHOW);
}

// The whole profile, in the order the matches were played.
void ExportProfile(HWND dialog, ExportFormat format) {
  std::wstring path;
  if (!ChooseExportFile(dialog, format, &path)) return;
  ExportWriter writer(path, format);
  auto add = [](const MatchRecord& record, void* context) { static_cast<ExportWriter*>(context)->Add(record); };
  if (!QueryEveryMatchOldestFirst(add, &writer)) {
    ReportExportFailure(dialog, path, L"プロファイルから対戦を読み出せませんでした。");
    return;
  }
  std::wstring error;
  if (!writer.Commit(&error)) ReportExportFailure(dialog, path, error);
  else AnnounceExport(path, writer.Rows());
}

// Returns true when the message is answered here and default processing must not follow.
bool OnSysCommand(HWND dialog, WPARAM command) {
  if ((command & 0xFFF0) == SC_CLOSE) {
    ShowWindow(dialog, SW_HIDE);
    return true;
  }
  switch (command) {
    case SummaryLoadProfile: ChooseProfileFile(dialog); break;
    case SummaryOwnCharacters: SetDirection(dialog, 1); break;
    case SummaryOpponentCharacters: SetDirection(dialog, 0); break;
    case SummaryPeriodAll:
    case SummaryPeriodToday:
    case SummaryPeriodYesterday: ChoosePeriod(dialog, (UINT)command); break;
    case SummaryPeriodCustom: ChooseCustomPeriod(dialog); break;
    case SummaryUndo:
      if (CanUndo() && !UndoChange()) ShowChangeNotDone(dialog);
      DeliverRecordChanges();
      break;
    case SummaryRedo:
      if (CanRedo() && !RedoChange()) ShowChangeNotDone(dialog);
      DeliverRecordChanges();
      break;
    case SummaryOpponentProfiles: OpenOpponentProfiles(dialog); break;
    case SummaryMatchHistory: ShowHistoryFilterDialog(dialog); break;
    case SummaryCopyTable:
      CopyRecordTable(StateOf<SummaryState>(dialog)->list, RecordColumns, RecordColumnCount);
      break;
    case SummaryExportCsv: ExportProfile(dialog, ExportFormat::Csv); break;
    case SummaryExportJson: ExportProfile(dialog, ExportFormat::Json); break;
    case IDM_SHOW_GRAPH: OpenGraphWindow(dialog); break;
    case SummaryRestoreBackup: RestoreFromBackup(dialog); break;
    case SummaryImportMatches: ImportMatchesInto(dialog); break;
    default: break;
  }
  return false;
}

void OnShortcutCommand(HWND dialog, int number) {
  ProfileShortcut shortcut;
  if (!GetShortcut(number, shortcut)) return;
  // A cut path names another file; a missing one may have been moved: neither is made anew unasked.
  if (IsCutShortcutPath(shortcut.path)) {
    ShowProfileFailure(dialog, shortcut.path, ProfilePathTooLong);
    return;
  }
  if (!PathFileExistsW(shortcut.path) &&
      !AskCreateMissingProfile(dialog, shortcut.path, L"今のプロファイルのままにします"))
    return;
  LoadSummaryProfile(dialog, shortcut.path);
}

INT_PTR OnNotify(HWND dialog, NMHDR* header) {
  if (header->idFrom != IDC_RECORD_LIST) return FALSE;
  LRESULT result = 0;
  switch (header->code) {
    case LVN_COLUMNCLICK: result = SortListOnColumnClick(reinterpret_cast<NMLISTVIEW*>(header)); break;
    case NM_CUSTOMDRAW: result = ColorListRow(reinterpret_cast<NMLVCUSTOMDRAW*>(header)); break;
    case NM_DBLCLK: OpenDetailOfSelection(dialog); break;
    default: break;
  }
  SetWindowLongPtrW(dialog, DWLP_MSGRESULT, result);
  return TRUE;
}

void OnCaptionRightButton(HWND dialog) {
  HMENU menu = GetSystemMenu(dialog, FALSE);
  EnableMenuItem(menu, SummaryUndo, MF_BYCOMMAND | (CanUndo() ? MF_ENABLED : MF_GRAYED));
  EnableMenuItem(menu, SummaryRedo, MF_BYCOMMAND | (CanRedo() ? MF_ENABLED : MF_GRAYED));
}

}  // namespace

bool LoadSummaryProfile(HWND summary, const std::wstring& path) { return SwitchProfile(summary, path); }

INT_PTR CALLBACK SummaryDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      return OnInitDialog(dialog);
    case WM_SIZE:
      if (SummaryState* state = StateOf<SummaryState>(dialog); state && state->list)
        FillClientWithList(dialog, state->list);
      return TRUE;
    case WM_DPICHANGED:
      FollowDpiChange(dialog, wParam, lParam);
      return FALSE;
    case WM_GETMINMAXINFO: {
      auto* info = reinterpret_cast<MINMAXINFO*>(lParam);
      info->ptMinTrackSize.x = 0;
      info->ptMinTrackSize.y = 0;
      return TRUE;
    }
    case WM_NOTIFY:
      return OnNotify(dialog, reinterpret_cast<NMHDR*>(lParam));
    case WM_NCRBUTTONDOWN:
      if (wParam == HTCAPTION) OnCaptionRightButton(dialog);
      return FALSE;
    case WM_INITMENUPOPUP:
      // However the window menu opens: the caption, Alt+Space, the icon.
      if (HIWORD(lParam)) OnCaptionRightButton(dialog);
      return FALSE;
    case WM_COMMAND: {
      UINT id = LOWORD(wParam);
      // Escape hides it as its close button does.
      if (id == IDCANCEL) return OnSysCommand(dialog, SC_CLOSE);
      if (id < FirstShortcutCommand || id >= FirstShortcutCommand + MaxShortcuts) return FALSE;
      OnShortcutCommand(dialog, (int)(id - FirstShortcutCommand));
      return TRUE;
    }
    case WM_SYSCOMMAND:
      if (OnSysCommand(dialog, wParam)) {
        SetWindowLongPtrW(dialog, DWLP_MSGRESULT, 0);
        return TRUE;
      }
      return FALSE;
    case ReadTurnMessage:
      OnReadTurn(dialog);
      return TRUE;
    case WM_TIMER:
      if (wParam != ReadTurnTimer) return FALSE;
      OnReadTurn(dialog);
      return TRUE;
    case RefreshSummaryMessage:
      // The record changed (or how it is shown): the summary is one of those that follow.
      DeliverRecordChanges();
      return TRUE;
    case WM_DESTROY:
      OnDestroy(dialog);
      return FALSE;
    default:
      return FALSE;
  }
}
