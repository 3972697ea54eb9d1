// Row colouring: by the sign of the colour key when Colorization is on, striped when it is off.
#include <gtest/gtest.h>

#include "shell/AppState.h"
#include "shell/ColorListRow.h"

namespace {
struct Drawn {
  LRESULT result;
  COLORREF text, back;
};

Drawn Draw(DWORD stage, DWORD_PTR row, LPARAM itemData) {
  NMLVCUSTOMDRAW draw{};
  draw.nmcd.dwDrawStage = stage;
  draw.nmcd.dwItemSpec = row;
  draw.nmcd.lItemlParam = itemData;
  draw.clrText = RGB(1, 2, 3);
  draw.clrTextBk = RGB(4, 5, 6);
  LRESULT result = ColorListRow(&draw);
  return {result, draw.clrText, draw.clrTextBk};
}

const COLORREF Green = RGB(208, 220, 208), Red = RGB(236, 208, 208), White = RGB(255, 255, 255);

TEST(ColorListRowTest, ColoursBySignOfLow16Bits) {
  g_app.colorization = true;
  // Row id and pinned flag above bit 15 must not change the sign.
  Drawn positive = Draw(CDDS_ITEMPREPAINT, 1, (1 << 30) | (3 << 16) | 167);
  EXPECT_EQ(0x20, positive.result);
  EXPECT_EQ(RGB(0, 0, 0), positive.text);
  EXPECT_EQ(Green, positive.back);
  EXPECT_EQ(Red, Draw(CDDS_ITEMPREPAINT, 0, (5 << 16) | 0xFE0C).back);  // -500
  EXPECT_EQ(White, Draw(CDDS_ITEMPREPAINT, 0, (1 << 30) | (7 << 16)).back);
}

TEST(ColorListRowTest, StripesByRowWhenOff) {
  g_app.colorization = false;
  EXPECT_EQ(Green, Draw(CDDS_ITEMPREPAINT, 0, 0xFE0C).back);
  EXPECT_EQ(White, Draw(CDDS_ITEMPREPAINT, 1, 167).back);
  EXPECT_EQ(Green, Draw(CDDS_ITEMPREPAINT, 18, 0).back);
  EXPECT_EQ(RGB(0, 0, 0), Draw(CDDS_ITEMPREPAINT, 3, 0).text);
}

TEST(ColorListRowTest, OtherStages) {
  EXPECT_EQ(CDRF_NOTIFYITEMDRAW, Draw(CDDS_PREPAINT, 0, 0).result);
  Drawn post = Draw(CDDS_ITEMPOSTPAINT, 0, 5);
  EXPECT_EQ(CDRF_DODEFAULT, post.result);
  EXPECT_EQ(RGB(4, 5, 6), post.back);
  EXPECT_EQ(CDRF_DODEFAULT, Draw(CDDS_ITEMPREPAINT | CDDS_SUBITEM, 0, 5).result);
}
}  // namespace
