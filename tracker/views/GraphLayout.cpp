#include "views/GraphLayout.h"

#include <algorithm>

#include "common/Dpi.h"
#include "common/TextUtil.h"
#include "common/Timestamp.h"
#include "views/RecordTable.h"

namespace {
const COLORREF Empty = RGB(244, 244, 244);

COLORREF Mix(COLORREF a, COLORREF b, double t) {
  return RGB(GetRValue(a) + (GetRValue(b) - GetRValue(a)) * t, GetGValue(a) + (GetGValue(b) - GetGValue(a)) * t,
             GetBValue(a) + (GetBValue(b) - GetBValue(a)) * t);
}
}  // namespace

GraphLayout LayOut(const RECT& client, int labelWidth, int headerHeight, UINT dpi) {
  auto Px = [dpi](int value) { return ScaleForDpi(value, dpi); };
  GraphLayout l{};
  const int m = Px(8);
  int width = client.right - client.left, height = client.bottom - client.top;
  l.top = {m, m, width - m, m + Px(26)};
  int lower = m + Px(26) + m + std::max(Px(160), (height - Px(50)) * 9 / 20);
  l.trend = {m, l.top.bottom + m, width - m, lower - Px(58)};
  l.bars = {m, lower - Px(54), width - m, lower};
  int gridRight = m + std::max(Px(300), (width - 2 * m) * 62 / 100);
  l.grid = {m, lower + m, gridRight, height - m};
  l.side = {gridRight + 2 * m, lower + m, width - m, height - m};
  const int titleHeight = Px(20);
  l.cellWidth = std::max(Px(8), (int)(l.grid.right - l.grid.left - labelWidth) / 14);
  l.cellHeight = std::max(Px(6), (int)(l.grid.bottom - l.grid.top - titleHeight - headerHeight) / 14);
  l.cellsAt = {l.grid.left + labelWidth, l.grid.top + titleHeight + headerHeight};
  return l;
}

RECT CellRect(const GraphLayout& l, int own, int opponent) {
  int x = l.cellsAt.x + opponent * l.cellWidth, y = l.cellsAt.y + own * l.cellHeight;
  return {x, y, x + l.cellWidth, y + l.cellHeight};
}

int CellAt(const GraphLayout& l, POINT p) {
  if (p.x < l.cellsAt.x || p.y < l.cellsAt.y) return -1;
  int opponent = (p.x - l.cellsAt.x) / l.cellWidth, own = (p.y - l.cellsAt.y) / l.cellHeight;
  return opponent < 14 && own < 14 ? own * 14 + opponent : -1;
}

// The colorization's light green and light red halfway, stronger beyond.
COLORREF RateColour(int wins, int losses) {
  if (wins + losses <= 0) return Empty;
  double t = (PerMilleRate(wins, losses) - 500) / 500.0;
  bool better = t > 0;
  double d = better ? t : -t;
  COLORREF light = better ? RGB(208, 220, 208) : RGB(236, 208, 208);
  COLORREF strong = better ? RGB(112, 170, 112) : RGB(204, 112, 112);
  COLORREF colour = d <= 0.5 ? Mix(RGB(255, 255, 255), light, d * 2) : Mix(light, strong, (d - 0.5) * 2);
  if (wins + losses < FewMatches) colour = Mix(colour, Empty, 0.6);
  return colour;
}

std::wstring DayText(int64_t timestamp, bool years) {
  SYSTEMTIME t = TimestampToCalendar(timestamp);
  return years ? FormatWide(L"%d/%d", t.wYear, t.wMonth) : FormatWide(L"%d/%d", t.wMonth, t.wDay);
}

std::wstring StartText(int64_t timestamp) {
  SYSTEMTIME t = TimestampToCalendar(timestamp);
  return FormatWide(L"%d/%02d/%02d %02d:%02d", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute);
}

std::wstring LengthText(const PlaySession& s) {
  int minutes = (int)((s.end - s.start) / TimestampUnitsPerMinute);
  return minutes >= 60 ? FormatWide(L"%d時間%02d分", minutes / 60, minutes % 60) : FormatWide(L"%d分", minutes);
}

std::wstring RecordText(int wins, int losses) { return FormatWide(L"%d勝%d敗", wins, losses); }
