// Column set-up and header-click sorting shared by the record lists. The sort state lives on the list
// control itself, so one handler serves every window.
#pragma once
#include <windows.h>
#include <commctrl.h>
#include <cstdint>
#include <string>
#include <vector>

enum ListSortKind : uint32_t {
  SortByItemData = 0,          // the rows' item data, as signed 32-bit numbers
  SortByText = 1,              // lstrcmpW on the column's text
  SortByNumber = 2,            // StrToIntW of the column's text
  SortByNumberAfterFirst = 3,  // StrToIntW of the text after its first character, for "(12%)"
};

struct ListColumn {
  uint32_t format;  // LVCFMT_LEFT or LVCFMT_RIGHT
  int32_t width;    // pixels at 96 DPI; the list shows it at its own DPI
  const wchar_t* caption;
  uint32_t sortKind;
};

// Bit 30 of a row's item data: kept after the other rows, in item-data order, whatever the sort.
constexpr LPARAM PinnedRowFlag = 0x40000000;

// Property names on the list control.
extern const wchar_t* const SortColumnProperty;     // "SLV.SORT.CURRENTCOL"
extern const wchar_t* const SortDirectionProperty;  // "SLV.SORT.DIRECTION": 1 ascending, -1 descending
extern const wchar_t* const SortColumnsProperty;    // "SLV.COLUMNS": the column table's address

// A row's item data; 0 when there is no such row.
LPARAM RowItemDataAt(HWND list, int position);
void SetRowItemData(HWND list, int position, LPARAM data);

// The table must outlive the list: only its address is kept. Rows are not sorted here.
void SetupSortableList(HWND list, const ListColumn* columns, int count);

// For LVN_COLUMNCLICK: updates the stored column and direction and sorts. Returns 1.
LRESULT SortListOnColumnClick(const NMLISTVIEW* notification);

// What the comparisons get as their context.
struct ListSortContext {
  HWND list;
  int column;
  int direction;
};

// LVM_SORTITEMSEX comparisons (row indexes, context), one per sort kind.
int CALLBACK CompareRowsByItemData(LPARAM first, LPARAM second, LPARAM context);
int CALLBACK CompareRowsByText(LPARAM first, LPARAM second, LPARAM context);
int CALLBACK CompareRowsByNumber(LPARAM first, LPARAM second, LPARAM context);
int CALLBACK CompareRowsByNumberAfterFirst(LPARAM first, LPARAM second, LPARAM context);

// For lists whose rows live in the window's memory (LVS_OWNERDATA), which the list cannot sort itself.
// The header click's state update alone; the clicked column's sort kind, or -1 when nothing is sorted.
int UpdateSortOnColumnClick(const NMLISTVIEW* notification, ListSortContext& context);

// What the comparisons read of a row: its item data and the current column's text.
struct ListRowKey {
  LPARAM data;
  std::wstring text;
};
// `order` holds row numbers in list order; it is reordered as the comparisons of `kind` order the rows
// (`keys` by row number), equal rows keeping their order.
void SortRowOrder(std::vector<uint32_t>& order, const std::vector<ListRowKey>& keys, uint32_t kind, int direction);
