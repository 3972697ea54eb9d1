#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "views/SortableList.h"

namespace {

const ListColumn TestColumns[4] = {
    {LVCFMT_LEFT, 90, L"名", SortByItemData},
    {LVCFMT_RIGHT, 50, L"文", SortByText},
    {LVCFMT_RIGHT, 40, L"数", SortByNumber},
    {LVCFMT_RIGHT, 60, L"括", SortByNumberAfterFirst},
};
const ListColumn OddColumns[1] = {{LVCFMT_LEFT, 50, L"x", 7}};

struct Row {
  const wchar_t* name;
  const wchar_t* text;
  const wchar_t* number;
  const wchar_t* bracket;
  LPARAM data;
};

class SortableListTest : public ::testing::Test {
 protected:
  void SetUp() override {
    list = CreateWindowExW(0, WC_LISTVIEWW, L"", WS_POPUP | LVS_REPORT, 0, 0, 400, 300, nullptr, nullptr, nullptr,
                           nullptr);
    ASSERT_NE(list, nullptr);
  }
  void TearDown() override { DestroyWindow(list); }

  void Fill(const std::vector<Row>& rows) {
    for (size_t i = 0; i < rows.size(); ++i) {
      LVITEMW item{};
      item.mask = LVIF_TEXT | LVIF_PARAM;
      item.iItem = (int)i;
      item.pszText = const_cast<wchar_t*>(rows[i].name);
      item.lParam = rows[i].data;
      int at = (int)SendMessageW(list, LVM_INSERTITEMW, 0, (LPARAM)&item);
      const wchar_t* cells[3] = {rows[i].text, rows[i].number, rows[i].bracket};
      for (int c = 0; c < 3; ++c) {
        LVITEMW cell{};
        cell.iSubItem = c + 1;
        cell.pszText = const_cast<wchar_t*>(cells[c]);
        SendMessageW(list, LVM_SETITEMTEXTW, at, (LPARAM)&cell);
      }
    }
  }
  void Click(int column) {
    NMLISTVIEW click{};
    click.hdr.hwndFrom = list;
    click.hdr.code = LVN_COLUMNCLICK;
    click.iItem = -1;
    click.iSubItem = column;
    EXPECT_EQ(SortListOnColumnClick(&click), 1);
  }
  // Column 0 of every row, in list order, joined by blanks.
  std::wstring Order() {
    std::wstring out;
    int count = (int)SendMessageW(list, LVM_GETITEMCOUNT, 0, 0);
    for (int i = 0; i < count; ++i) {
      wchar_t text[64] = L"";
      LVITEMW item{};
      item.pszText = text;
      item.cchTextMax = 64;
      SendMessageW(list, LVM_GETITEMTEXTW, i, (LPARAM)&item);
      out += (i ? L" " : L"") + std::wstring(text);
    }
    return out;
  }
  int Direction() { return (int)(INT_PTR)GetPropW(list, L"SLV.SORT.DIRECTION"); }
  int Current() { return (int)(INT_PTR)GetPropW(list, L"SLV.SORT.CURRENTCOL"); }
  HWND list = nullptr;
};

// Two pinned rows (P, Q) given first and in reverse, ordinary rows a..d.
const std::vector<Row> MixedRows = {
    {L"Q", L"zz", L"0", L"(0%)", PinnedRowFlag + (16 << 16)},
    {L"c", L"beta", L"12", L"(12%)", 2 << 16},
    {L"P", L"aa", L"99", L"(99%)", PinnedRowFlag + (15 << 16) + 0xFFF0},
    {L"a", L"delta", L"9", L"(9%)", 0 << 16},
    {L"d", L"alpha", L"x", L"(100%)", (3 << 16) + 0x7FFF},
    {L"b", L"gamma", L"100", L"(-5%)", 1 << 16},
};

TEST_F(SortableListTest, SetupCreatesTheColumnsAndTheInitialState) {
  SetupSortableList(list, TestColumns, 4);
  DWORD extended = (DWORD)SendMessageW(list, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0);
  EXPECT_EQ(extended & 0x21u, 0x21u);
  HWND header = (HWND)SendMessageW(list, LVM_GETHEADER, 0, 0);
  ASSERT_EQ(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0), 4);
  for (int i = 0; i < 4; ++i) {
    wchar_t caption[16] = L"";
    LVCOLUMNW column{};
    column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT;
    column.pszText = caption;
    column.cchTextMax = 16;
    ASSERT_TRUE(SendMessageW(list, LVM_GETCOLUMNW, i, (LPARAM)&column));
    EXPECT_STREQ(caption, TestColumns[i].caption);
    EXPECT_EQ(column.cx, TestColumns[i].width);
    EXPECT_EQ(column.fmt & LVCFMT_JUSTIFYMASK, (int)TestColumns[i].format);
  }
  EXPECT_EQ(Current(), 0);
  EXPECT_EQ(Direction(), 1);
  EXPECT_EQ(GetPropW(list, L"SLV.COLUMNS"), (HANDLE)TestColumns);
}

TEST_F(SortableListTest, EveryKindSortsBothWaysWithPinnedRowsLastInTheirOrder) {
  SetupSortableList(list, TestColumns, 4);
  Fill(MixedRows);
  // Column 0 is current and ascending after set-up, so its first click sorts descending.
  Click(0);
  EXPECT_EQ(Current(), 0);
  EXPECT_EQ(Direction(), -1);
  EXPECT_EQ(Order(), L"d c b a P Q");
  Click(0);
  EXPECT_EQ(Direction(), 1);
  EXPECT_EQ(Order(), L"a b c d P Q");

  Click(1);  // a new column starts ascending
  EXPECT_EQ(Current(), 1);
  EXPECT_EQ(Direction(), 1);
  EXPECT_EQ(Order(), L"d c a b P Q");
  Click(1);
  EXPECT_EQ(Order(), L"b a c d P Q");

  Click(2);  // numbers, not texts: 9 before 12 before 100; no leading number counts as 0
  EXPECT_EQ(Direction(), 1);
  EXPECT_EQ(Order(), L"d a c b P Q");
  Click(2);
  EXPECT_EQ(Order(), L"b c a d P Q");

  Click(3);  // the number after the bracket
  EXPECT_EQ(Order(), L"b a c d P Q");
  Click(3);
  EXPECT_EQ(Order(), L"d c a b P Q");

  Click(0);  // back to column 0 after another: ascending again
  EXPECT_EQ(Direction(), 1);
  EXPECT_EQ(Order(), L"a b c d P Q");
}

TEST_F(SortableListTest, AnUnknownKindOnlyTogglesTheDirection) {
  SetupSortableList(list, OddColumns, 1);
  Fill(MixedRows);
  std::wstring before = Order();
  Click(0);
  EXPECT_EQ(Direction(), -1);
  Click(0);
  EXPECT_EQ(Direction(), 1);
  EXPECT_EQ(Order(), before);
  // A notification for a column the table does not have changes the state but reads nothing past it.
  Click(5);
  EXPECT_EQ(Current(), 5);
  EXPECT_EQ(Order(), before);
}

}  // namespace
