// The win/loss table shared by the summary and the detail windows: its columns, its 19 rows and their
// item data, the per-mille rate and its texts, the refresh, the clipboard copy and the window fitting.
#pragma once
#include <windows.h>
#include <string>
#include "views/SortableList.h"
#include "store/RecordFilter.h"

// Item data of a record row: row id in bits 16..23, pinned flag in bit 30, colour key in bits 0..15.
constexpr int RecordColumnCount = 6;
constexpr int RecordRowCount = 19;
constexpr int CharacterRowCount = 14;
constexpr int SeparatorRowId = 14;
constexpr int TotalRowId = 15;
constexpr int FirstRecentRowId = 16;  // 16, 17, 18: the newest 30, 50 and 100 matches
constexpr int ClipboardCellBuffer = 64;

// "名前" "対戦数" "勝" "負" "勝率" "過去50".
extern const ListColumn RecordColumns[RecordColumnCount];

inline int RowIdOf(LPARAM itemData) { return (int)(signed char)((itemData >> 16) & 0xFF); }
inline LPARAM RowItemData(int rowId, bool pinned) {
  return (pinned ? PinnedRowFlag : 0) + ((LPARAM)rowId << 16);
}
inline LPARAM WithColourKey(LPARAM itemData, int colourKey) {
  return (LPARAM)(((DWORD)itemData & 0xFFFF0000u) | ((DWORD)colourKey & 0xFFFFu));
}

// wins * 1000 / games, halves away from zero; 0 without games.
int PerMilleRate(int wins, int losses);
// r − 500, or 0 when there is no decided match.
int ColourKeyFor(int wins, int losses);
// "%d.%01d%%" with the high-precision switch, else "%d%%" (the tenth dropped, not rounded).
std::wstring RateText(int perMille, bool highPrecision);
// The same in brackets, for "過去50".
std::wstring RecentRateText(int perMille, bool highPrecision);

// The 19 rows with their names and item data; the list must be empty and set up with RecordColumns.
void InsertRecordRows(HWND list);
// The list position of a row id, or -1.
int FindRowById(HWND list, int rowId);
// Columns 1..4 and the colour key of the row at a position, with the current high-precision switch.
void WriteRecordRow(HWND list, int position, int wins, int losses);

// Empties columns 1..5 of every row (figures not known yet).
void ClearRecordFigures(HWND list);

// What one table shows.
struct RecordTableSource {
  // Conditions every query starts from; null counts as a failed query.
  const RecordFilter* base;
  // The summary applies the current period to every query; the detail window's filter already holds it.
  bool applyPeriod;
  // true: a row is an own character c, summing W[c][k], and "過去50" filters on p1id;
  // false: a row is an opponent character c, summing W[k][c], and "過去50" filters on p2id.
  bool rowsAreOwnCharacters;
};

// The 18 pairing queries in one transaction; rows, "総合", "過去50" and the recent rows rewritten in
// place. On failure: rollback and "戦績表示の更新に失敗しました" owned by `owner`; false.
bool RefreshRecordTable(HWND list, const RecordTableSource& source, HWND owner);

// The header line, then every row in list order, CR LF after each line; cells padded to width / 7, or to one
// more than the column's longest cell where that is wider, so that columns never touch.
std::wstring RecordTableText(HWND list, const ListColumn* columns, int count);
// Does nothing when the clipboard cannot be opened.
void CopyRecordTable(HWND list, const ListColumn* columns, int count);

// The window size that shows every row: the list's approximate view rectangle grown by the list's and
// then the window's frames.
SIZE FittedWindowSize(HWND window, HWND list);
// Resizes to FittedWindowSize keeping the position.
void FitWindowToList(HWND window, HWND list);
// WM_SIZE: the list fills the client area.
void FillClientWithList(HWND window, HWND list);
