#include "views/RecordTable.h"

#include <algorithm>
#include <vector>

#include "shell/AppState.h"
#include "common/CharacterTable.h"
#include "common/Clipboard.h"
#include "common/TextUtil.h"
#include "store/RecordDatabase.h"
#include "store/RecordQueries.h"

const ListColumn RecordColumns[RecordColumnCount] = {
    {LVCFMT_LEFT, 80, L"名前", SortByItemData},   {LVCFMT_RIGHT, 55, L"対戦数", SortByNumber},
    {LVCFMT_RIGHT, 55, L"勝", SortByNumber},      {LVCFMT_RIGHT, 55, L"負", SortByNumber},
    {LVCFMT_RIGHT, 55, L"勝率", SortByNumber},    {LVCFMT_RIGHT, 60, L"過去50", SortByNumberAfterFirst},
};

int PerMilleRate(int wins, int losses) {
  int games = wins + losses;
  return MulDiv(wins, 1000, games ? games : 1);
}

int ColourKeyFor(int wins, int losses) {
  return wins + losses ? PerMilleRate(wins, losses) - 500 : 0;
}

std::wstring RateText(int perMille, bool highPrecision) {
  return highPrecision ? FormatWide(L"%d.%01d%%", perMille / 10, perMille % 10) : FormatWide(L"%d%%", perMille / 10);
}

std::wstring RecentRateText(int perMille, bool highPrecision) { return L"(" + RateText(perMille, highPrecision) + L")"; }

namespace {
void SetCell(HWND list, int position, int column, const std::wstring& text) {
  LVITEMW item{};
  item.iSubItem = column;
  item.pszText = const_cast<wchar_t*>(text.c_str());
  SendMessageW(list, LVM_SETITEMTEXTW, position, (LPARAM)&item);
}

// What the columns take side by side.
int ColumnsWidth(HWND list) {
  HWND header = (HWND)SendMessageW(list, LVM_GETHEADER, 0, 0);
  int columns = header ? (int)SendMessageW(header, HDM_GETITEMCOUNT, 0, 0) : 0;
  int width = 0;
  for (int i = 0; i < columns; ++i) width += (int)SendMessageW(list, LVM_GETCOLUMNWIDTH, i, 0);
  return width;
}
}  // namespace

void InsertRecordRows(HWND list) {
  static const wchar_t* const pinnedNames[] = {L"", L"総合", L"過去30戦", L"過去50戦", L"過去100戦"};
  for (int row = 0; row < RecordRowCount; ++row) {
    bool pinned = row >= CharacterRowCount;
    LVITEMW item{};
    item.mask = LVIF_TEXT | LVIF_PARAM;
    item.iItem = row;
    item.pszText = const_cast<wchar_t*>(pinned ? pinnedNames[row - CharacterRowCount] : CharacterTable[row].shortName);
    item.lParam = RowItemData(row, pinned);
    SendMessageW(list, LVM_INSERTITEMW, 0, (LPARAM)&item);
  }
}

int FindRowById(HWND list, int rowId) {
  int count = (int)SendMessageW(list, LVM_GETITEMCOUNT, 0, 0);
  for (int position = 0; position < count; ++position)
    if (RowIdOf(RowItemDataAt(list, position)) == rowId) return position;
  return -1;
}

void WriteRecordRow(HWND list, int position, int wins, int losses) {
  int rate = PerMilleRate(wins, losses);
  SetCell(list, position, 1, FormatWide(L"%d", wins + losses));
  SetCell(list, position, 2, FormatWide(L"%d", wins));
  SetCell(list, position, 3, FormatWide(L"%d", losses));
  SetCell(list, position, 4, RateText(rate, g_app.highPrecision));
  SetRowItemData(list, position, WithColourKey(RowItemDataAt(list, position), ColourKeyFor(wins, losses)));
}

void ClearRecordFigures(HWND list) {
  int rows = (int)SendMessageW(list, LVM_GETITEMCOUNT, 0, 0);
  for (int position = 0; position < rows; ++position) {
    for (int column = 1; column < RecordColumnCount; ++column) SetCell(list, position, column, L"");
    SetRowItemData(list, position, WithColourKey(RowItemDataAt(list, position), 0));
  }
}

namespace {

// Wins and losses of character c from the last pairing query.
void SumForCharacter(int c, bool rowsAreOwn, int& wins, int& losses) {
  wins = losses = 0;
  if (c < 0 || c >= CharacterRowCount) return;
  for (int k = 0; k < CharacterRowCount; ++k) {
    const PairingCell& cell = rowsAreOwn ? PairingTable[c][k] : PairingTable[k][c];
    wins += cell.wins;
    losses += cell.losses;
  }
}

void SumAll(int& wins, int& losses) {
  wins = losses = 0;
  for (auto& line : PairingTable)
    for (const PairingCell& cell : line) {
      wins += cell.wins;
      losses += cell.losses;
    }
}

bool RunRefresh(HWND list, const RecordTableSource& source, const int (&characters)[CharacterRowCount]) {
  if (!source.base) return false;
  auto period = [&](RecordFilter& filter) {
    if (source.applyPeriod) ApplySummaryPeriod(filter);
  };

  RecordFilter all = *source.base;
  period(all);
  if (!QueryPairingTotals(all)) return false;
  int totalWins = 0, totalLosses = 0;
  for (int position = 0; position < CharacterRowCount; ++position) {
    int wins, losses;
    SumForCharacter(characters[position], source.rowsAreOwnCharacters, wins, losses);
    WriteRecordRow(list, position, wins, losses);
    totalWins += wins;
    totalLosses += losses;
  }
  int totalRow = FindRowById(list, TotalRowId);
  if (totalRow >= 0) WriteRecordRow(list, totalRow, totalWins, totalLosses);

  for (int position = 0; position < CharacterRowCount; ++position) {
    RecordFilter recent = *source.base;
    int c = characters[position];
    if (source.rowsAreOwnCharacters) {
      recent.flags |= FilterP1Id;
      recent.p1id = c;
    } else {
      recent.flags |= FilterP2Id;
      recent.p2id = c;
    }
    recent.flags |= FilterLimit;
    recent.limit = 50;
    period(recent);
    if (!QueryPairingTotals(recent)) return false;
    int wins, losses;
    SumForCharacter(c, source.rowsAreOwnCharacters, wins, losses);
    SetCell(list, position, 5, RecentRateText(PerMilleRate(wins, losses), g_app.highPrecision));
  }

  static const int recentCounts[3] = {30, 50, 100};
  for (int j = 0; j < 3; ++j) {
    RecordFilter recent = *source.base;
    period(recent);
    if (!(recent.flags & FilterLimit) || recent.limit > recentCounts[j]) {
      recent.flags |= FilterLimit;
      recent.limit = recentCounts[j];
    }
    if (!QueryPairingTotals(recent)) return false;
    int wins, losses;
    SumAll(wins, losses);
    int row = FindRowById(list, FirstRecentRowId + j);
    if (row >= 0) WriteRecordRow(list, row, wins, losses);
  }
  return true;
}

}  // namespace

bool RefreshRecordTable(HWND list, const RecordTableSource& source, HWND owner) {
  int characters[CharacterRowCount];
  for (int position = 0; position < CharacterRowCount; ++position)
    characters[position] = RowIdOf(RowItemDataAt(list, position));
  BeginTransaction();
  if (RunRefresh(list, source, characters)) {
    EndTransaction(false);
    return true;
  }
  EndTransaction(true);
  MessageBoxW(owner, L"戦績表示の更新に失敗しました", nullptr, MB_ICONERROR | MB_OK);
  return false;
}

std::wstring RecordTableText(HWND list, const ListColumn* columns, int count) {
  std::vector<std::vector<std::wstring>> lines(1);
  for (int i = 0; i < count; ++i) lines[0].push_back(columns[i].caption);
  int rows = (int)SendMessageW(list, LVM_GETITEMCOUNT, 0, 0);
  for (int position = 0; position < rows; ++position) {
    lines.emplace_back();
    for (int i = 0; i < count; ++i) {
      wchar_t cell[ClipboardCellBuffer] = L"";
      LVITEMW item{};
      item.iSubItem = i;
      item.pszText = cell;
      item.cchTextMax = ClipboardCellBuffer;
      SendMessageW(list, LVM_GETITEMTEXTW, position, (LPARAM)&item);
      lines.back().push_back(cell);
    }
  }
  // A column is widened for all lines where a cell would touch its neighbour, such as "(100.0%)".
  std::vector<size_t> widths;
  for (int i = 0; i < count; ++i) {
    size_t width = columns[i].width > 0 ? (size_t)(columns[i].width / 7) : 0;
    for (const auto& line : lines) width = std::max(width, line[i].size() + 1);
    widths.push_back(width);
  }
  std::wstring text;
  for (const auto& line : lines) {
    for (int i = 0; i < count; ++i) {
      size_t padding = widths[i] - line[i].size();
      bool right = (columns[i].format & LVCFMT_JUSTIFYMASK) == LVCFMT_RIGHT;
      if (right) text.append(padding, L' ');
      text += line[i];
      if (!right) text.append(padding, L' ');
    }
    text += L"\r\n";
  }
  return text;
}

void CopyRecordTable(HWND list, const ListColumn* columns, int count) {
  std::wstring text = RecordTableText(list, columns, count);
  CopyTextToClipboard(text.c_str(), (int)text.size());
}

SIZE FittedWindowSize(HWND window, HWND list) {
  int items = (int)SendMessageW(list, LVM_GETITEMCOUNT, 0, 0);
  DWORD size = (DWORD)SendMessageW(list, LVM_APPROXIMATEVIEWRECT, items, MAKELPARAM(-1, -1));
  RECT rect{0, 0, (LONG)LOWORD(size), (LONG)HIWORD(size)};
  // Wine leaves the header out of its approximation; what the rows take as laid out is never less.
  if (items > 0) {
    RECT last{};
    last.left = LVIR_BOUNDS;
    if (SendMessageW(list, LVM_GETITEMRECT, items - 1, (LPARAM)&last)) {
      rect.right = std::max<LONG>(rect.right, ColumnsWidth(list));
      if (last.bottom > rect.bottom) rect.bottom = last.bottom;
    }
  }
  AdjustWindowRectEx(&rect, (DWORD)GetWindowLongW(list, GWL_STYLE), FALSE, (DWORD)GetWindowLongW(list, GWL_EXSTYLE));
  AdjustWindowRectEx(&rect, (DWORD)GetWindowLongW(window, GWL_STYLE), FALSE,
                     (DWORD)GetWindowLongW(window, GWL_EXSTYLE));
  return SIZE{rect.right - rect.left, rect.bottom - rect.top};
}

void FitWindowToList(HWND window, HWND list) {
  SIZE size = FittedWindowSize(window, list);
  SetWindowPos(window, nullptr, 0, 0, size.cx, size.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

namespace {
// Whether every row and column would fit the list's room if it showed no scroll bars.
bool FitsWithoutScrollBars(HWND list, LONG style) {
  RECT client;
  GetClientRect(list, &client);
  int width = client.right + ((style & WS_VSCROLL) ? GetSystemMetrics(SM_CXVSCROLL) : 0);
  int height = client.bottom + ((style & WS_HSCROLL) ? GetSystemMetrics(SM_CYHSCROLL) : 0);
  HWND header = (HWND)SendMessageW(list, LVM_GETHEADER, 0, 0);
  RECT headerRect{};
  if (header) GetWindowRect(header, &headerRect);
  int rows = (int)SendMessageW(list, LVM_GETITEMCOUNT, 0, 0);
  RECT row{};
  row.left = LVIR_BOUNDS;
  if (rows > 0 && !SendMessageW(list, LVM_GETITEMRECT, 0, (LPARAM)&row)) return false;
  int contentHeight = (headerRect.bottom - headerRect.top) + rows * (row.bottom - row.top);
  return ColumnsWidth(list) <= width && contentHeight <= height;
}
}  // namespace

void FillClientWithList(HWND window, HWND list) {
  RECT client;
  GetClientRect(window, &client);
  SetWindowPos(list, nullptr, 0, 0, client.right, client.bottom, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  // A list measures its room without the scroll bars it shows, so both bars that came with a small window
  // would stay when it grows back and cover rows: drop them and let the list measure again.
  LONG style = GetWindowLongW(list, GWL_STYLE);
  if (!(style & (WS_HSCROLL | WS_VSCROLL)) || !FitsWithoutScrollBars(list, style)) return;
  ShowScrollBar(list, SB_BOTH, FALSE);
  RECT room;
  GetClientRect(list, &room);
  SendMessageW(list, WM_SIZE, SIZE_RESTORED, MAKELPARAM(room.right, room.bottom));
}
