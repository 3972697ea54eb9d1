#include "views/SortableList.h"

#include <shlwapi.h>

#include "common/Dpi.h"

#include <algorithm>
#include <numeric>
#include <vector>

const wchar_t* const SortColumnProperty = L"SLV.SORT.CURRENTCOL";
const wchar_t* const SortDirectionProperty = L"SLV.SORT.DIRECTION";
const wchar_t* const SortColumnsProperty = L"SLV.COLUMNS";

void SetupSortableList(HWND list, const ListColumn* columns, int count) {
  SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT);
  for (int i = 0; i < count; ++i)
    InsertScaledColumn(list, i, (int)columns[i].format, columns[i].width, columns[i].caption);
  SetPropW(list, SortColumnProperty, (HANDLE)(INT_PTR)0);
  SetPropW(list, SortDirectionProperty, (HANDLE)(INT_PTR)1);
  SetPropW(list, SortColumnsProperty, (HANDLE)columns);
}

namespace {

// The effect of LVM_SORTITEMSEX with `compare`. Wine hands such comparisons indexes that are not the rows it
// reads back, so the order is worked out here on the unchanged list with the same comparisons and applied
// through LVM_SORTITEMS by rank; the item data are put back afterwards.
int CALLBACK CompareRanks(LPARAM first, LPARAM second, LPARAM) { return first < second ? -1 : first > second; }

void SortRowsByIndex(HWND list, PFNLVCOMPARE compare, ListSortContext& context) {
  int count = (int)SendMessageW(list, LVM_GETITEMCOUNT, 0, 0);
  std::vector<int> order((size_t)count);
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(),
                   [&](int a, int b) { return compare(a, b, (LPARAM)&context) < 0; });
  std::vector<LPARAM> data((size_t)count);
  for (int i = 0; i < count; ++i) data[(size_t)i] = RowItemDataAt(list, i);
  for (int rank = 0; rank < count; ++rank) SetRowItemData(list, order[(size_t)rank], rank);
  SendMessageW(list, LVM_SORTITEMS, 0, (LPARAM)CompareRanks);
  for (int position = 0; position < count; ++position)
    SetRowItemData(list, position, data[(size_t)order[(size_t)position]]);
}

}  // namespace

LPARAM RowItemDataAt(HWND list, int position) {
  LVITEMW item{};
  item.mask = LVIF_PARAM;
  item.iItem = position;
  if (!SendMessageW(list, LVM_GETITEMW, 0, (LPARAM)&item)) return 0;
  return item.lParam;
}

void SetRowItemData(HWND list, int position, LPARAM data) {
  LVITEMW item{};
  item.mask = LVIF_PARAM;
  item.iItem = position;
  item.lParam = data;
  SendMessageW(list, LVM_SETITEMW, 0, (LPARAM)&item);
}

int UpdateSortOnColumnClick(const NMLISTVIEW* notification, ListSortContext& context) {
  HWND list = notification->hdr.hwndFrom;
  int current = (int)(INT_PTR)GetPropW(list, SortColumnProperty);
  int direction = (int)(INT_PTR)GetPropW(list, SortDirectionProperty);
  int clicked = notification->iSubItem;
  if (clicked != current) {
    current = clicked;
    direction = 1;
  } else {
    direction = direction == 1 ? -1 : 1;
  }
  SetPropW(list, SortColumnProperty, (HANDLE)(INT_PTR)current);
  SetPropW(list, SortDirectionProperty, (HANDLE)(INT_PTR)direction);
  context = ListSortContext{list, current, direction};

  // The table holds as many columns as the header shows; never read past it.
  const ListColumn* columns = static_cast<const ListColumn*>(GetPropW(list, SortColumnsProperty));
  HWND header = (HWND)SendMessageW(list, LVM_GETHEADER, 0, 0);
  int columnCount = header ? (int)SendMessageW(header, HDM_GETITEMCOUNT, 0, 0) : 0;
  if (!columns || clicked < 0 || clicked >= columnCount) return -1;
  return columns[clicked].sortKind <= SortByNumberAfterFirst ? (int)columns[clicked].sortKind : -1;
}

LRESULT SortListOnColumnClick(const NMLISTVIEW* notification) {
  // In sort-kind order.
  static const PFNLVCOMPARE compares[] = {CompareRowsByItemData, CompareRowsByText, CompareRowsByNumber,
                                          CompareRowsByNumberAfterFirst};
  ListSortContext context{};
  int kind = UpdateSortOnColumnClick(notification, context);
  if (kind >= 0) SortRowsByIndex(notification->hdr.hwndFrom, compares[kind], context);
  return 1;
}

namespace {

struct RowKey {
  LPARAM data = 0;
  wchar_t text[256] = L"";
};

void ReadRow(const ListSortContext& context, int index, bool withText, RowKey& key) {
  LVITEMW item{};
  item.mask = LVIF_PARAM | (withText ? LVIF_TEXT : 0);
  item.iItem = index;
  item.iSubItem = context.column;
  item.pszText = key.text;
  item.cchTextMax = 256;
  SendMessageW(context.list, LVM_GETITEMW, 0, (LPARAM)&item);
  key.data = item.lParam;
}

int Sign(long long difference) { return difference > 0 ? 1 : difference < 0 ? -1 : 0; }

bool IsPinned(LPARAM data) { return (data & PinnedRowFlag) != 0; }

// kind: 0 item data, 1 text, 2 number, 3 number after the first character.
int CompareKeys(LPARAM first, const wchar_t* firstText, LPARAM second, const wchar_t* secondText, uint32_t kind,
                int direction) {
  int32_t dataA = (int32_t)first, dataB = (int32_t)second;
  if (IsPinned(first) || IsPinned(second)) return Sign((long long)dataA - dataB);
  int result = 0;
  switch (kind) {
    case 0: result = Sign((long long)dataA - dataB); break;
    case 1: result = lstrcmpW(firstText, secondText); break;
    case 2: result = Sign((long long)StrToIntW(firstText) - StrToIntW(secondText)); break;
    default: {
      const wchar_t* textA = firstText[0] ? firstText + 1 : firstText;
      const wchar_t* textB = secondText[0] ? secondText + 1 : secondText;
      result = Sign((long long)StrToIntW(textA) - StrToIntW(textB));
      break;
    }
  }
  return result * direction;
}

int CompareRows(LPARAM first, LPARAM second, LPARAM contextValue, int kind) {
  const ListSortContext& context = *reinterpret_cast<const ListSortContext*>(contextValue);
  RowKey a, b;
  ReadRow(context, (int)first, kind != 0, a);
  ReadRow(context, (int)second, kind != 0, b);
  return CompareKeys(a.data, a.text, b.data, b.text, (uint32_t)kind, context.direction);
}

}  // namespace

int CALLBACK CompareRowsByItemData(LPARAM first, LPARAM second, LPARAM context) {
  return CompareRows(first, second, context, 0);
}
int CALLBACK CompareRowsByText(LPARAM first, LPARAM second, LPARAM context) {
  return CompareRows(first, second, context, 1);
}
int CALLBACK CompareRowsByNumber(LPARAM first, LPARAM second, LPARAM context) {
  return CompareRows(first, second, context, 2);
}
int CALLBACK CompareRowsByNumberAfterFirst(LPARAM first, LPARAM second, LPARAM context) {
  return CompareRows(first, second, context, 3);
}

void SortRowOrder(std::vector<uint32_t>& order, const std::vector<ListRowKey>& keys, uint32_t kind, int direction) {
  // The list reads a cell into 256 characters, so longer texts compare by their first 255.
  std::vector<std::wstring> texts(keys.size());
  for (size_t i = 0; i < keys.size(); ++i) texts[i] = keys[i].text.substr(0, 255);
  std::stable_sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) {
    return CompareKeys(keys[a].data, texts[a].c_str(), keys[b].data, texts[b].c_str(), kind, direction) < 0;
  });
}
