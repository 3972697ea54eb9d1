#include <algorithm>
#include <climits>
#include <cstdint>
#include <cmath>
#include <tuple>
#include <vector>

#include "common/TextUtil.h"
#include "common/Timestamp.h"
#include "views/GraphPaint.h"
#include "views/RecordTable.h"

namespace {
// Two polylines, the stretch short of a full window dotted; one call each, whatever the number of points.
void DrawCurve(HDC dc, const GraphScene& g, const Trend& trend, const Axis& axis) {
  size_t n = trend.rate.size();
  int width = axis.plot.right - axis.plot.left;
  std::vector<POINT> partial, full;
  auto add = [&](bool isPartial, POINT p) {
    std::vector<POINT>& path = isPartial ? partial : full;
    if (!isPartial && full.empty() && !partial.empty()) full.push_back(partial.back());
    path.push_back(p);
  };
  if (n <= (size_t)width) {
    for (size_t i = 0; i < n; ++i) add(trend.Partial(i), {axis.X(i), axis.Y(trend.rate[i])});
    if (n == 1) add(trend.Partial(0), {axis.X(0) + 1, axis.Y(trend.rate[0])});
  } else {
    // More points than pixels: each column shows the range its stretches cover.
    size_t length = trend.stretchLength;
    int column = INT_MIN;
    uint16_t first = 0, last = 0, low = 0, high = 0;
    bool isPartial = false;
    auto flush = [&] {
      if (column == INT_MIN) return;
      add(isPartial, {column, axis.Y(first)});
      if (low != high) {
        add(isPartial, {column, axis.Y(low)});
        add(isPartial, {column, axis.Y(high)});
      }
      add(isPartial, {column, axis.Y(last)});
    };
    for (size_t k = 0; k < trend.stretches.size(); ++k) {
      const TrendStretch& stretch = trend.stretches[k];
      int x = axis.X(k * length);
      if (x != column) {
        flush();
        column = x;
        first = stretch.first;
        low = stretch.low;
        high = stretch.high;
      }
      low = std::min(low, stretch.low);
      high = std::max(high, stretch.high);
      last = stretch.last;
      isPartial = trend.Partial(std::min((k + 1) * length, n) - 1);
    }
    flush();
  }
  if (partial.size() > 1) {
    Pen pen(dc, PS_DOT, 1, RGB(120, 120, 200));
    Polyline(dc, partial.data(), (int)partial.size());
  }
  if (full.size() > 1) {
    Pen pen(dc, PS_SOLID, g.Px(n <= (size_t)width ? 2 : 1), RGB(40, 80, 200));
    Polyline(dc, full.data(), (int)full.size());
  }
}

// Dots written straight into the picture's pixels: a few thousand Ellipse calls cost more than all the rest
// of the picture. Each size's shape is taken from Ellipse itself, so the pixels are the ones it draws; a DC
// that is not a plain top-down 32-bit picture gets Ellipse.
class Dots {
 public:
  explicit Dots(HDC dc) : dc_(dc) {
    DIBSECTION section{};
    HGDIOBJ bitmap = GetCurrentObject(dc, OBJ_BITMAP);
    POINT viewport{}, window{};
    HRGN clip = CreateRectRgn(0, 0, 0, 0);
    bool plain = GetClipRgn(dc, clip) == 0 && GetMapMode(dc) == MM_TEXT && GetViewportOrgEx(dc, &viewport) &&
                 GetWindowOrgEx(dc, &window) && !viewport.x && !viewport.y && !window.x && !window.y &&
                 GetROP2(dc) == R2_COPYPEN;
    DeleteObject(clip);
    if (plain && bitmap && GetObjectW(bitmap, sizeof section, &section) == sizeof section &&
        section.dsBm.bmBitsPixel == 32 && section.dsBm.bmBits && IsTopDown(section)) {
      bits_ = static_cast<uint32_t*>(section.dsBm.bmBits);
      width_ = section.dsBm.bmWidth;
      height_ = section.dsBm.bmHeight;
      stride_ = section.dsBm.bmWidthBytes / 4;
    }
  }
  void Draw(int x, int y, int radius, COLORREF colour) {
    const Shape* shape = bits_ ? ShapeOf(radius) : nullptr;
    if (!shape) {
      SetDCPenColor(dc_, colour);
      SetDCBrushColor(dc_, colour);
      Ellipse(dc_, x - radius, y - radius, x + radius + 1, y + radius + 1);
      flushed_ = false;
      return;
    }
    if (!flushed_) GdiFlush();  // what GDI drew before lands first
    flushed_ = true;
    uint32_t pixel = shape->high | (GetRValue(colour) << 16) | (GetGValue(colour) << 8) | GetBValue(colour);
    for (const POINT& at : shape->offsets) {
      int px = x + at.x, py = y + at.y;
      if (px >= 0 && py >= 0 && px < width_ && py < height_) bits_[(size_t)py * stride_ + px] = pixel;
    }
  }

 private:
  struct Shape {
    int radius;
    uint32_t high;  // the byte above the colour, as GDI writes it
    std::vector<POINT> offsets;
  };
  const Shape* ShapeOf(int radius) {
    for (const Shape& s : shapes_)
      if (s.radius == radius) return &s;
    if (radius < 0 || radius > 64) return nullptr;
    int side = 2 * radius + 5;
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), side, -side, 1, 32, BI_RGB};
    void* pixels = nullptr;
    GdiObject<HBITMAP> scratch(CreateDIBSection(dc_, &info, DIB_RGB_COLORS, &pixels, nullptr, 0));
    if (!scratch.Get() || !pixels) return nullptr;
    Shape shape{radius, 0, {}};
    {
      MemoryDc memory(dc_, scratch.Get());
      HGDIOBJ oldPen = SelectObject(memory.Get(), GetStockObject(DC_PEN));
      HGDIOBJ oldBrush = SelectObject(memory.Get(), GetStockObject(DC_BRUSH));
      SetDCPenColor(memory.Get(), RGB(255, 255, 255));
      SetDCBrushColor(memory.Get(), RGB(255, 255, 255));
      Ellipse(memory.Get(), 2, 2, 2 + 2 * radius + 1, 2 + 2 * radius + 1);
      GdiFlush();
      SelectObject(memory.Get(), oldBrush);
      SelectObject(memory.Get(), oldPen);
    }
    const uint32_t* p = static_cast<const uint32_t*>(pixels);
    for (int y = 0; y < side; ++y)
      for (int x = 0; x < side; ++x)
        if (p[y * side + x] & 0xFFFFFF) {
          shape.offsets.push_back({x - 2 - radius, y - 2 - radius});
          shape.high = p[y * side + x] & 0xFF000000u;
        }
    shapes_.push_back(std::move(shape));
    return &shapes_.back();
  }

  // The section does not say which way its rows run: a marked pixel tells, and is put back.
  bool IsTopDown(const DIBSECTION& section) {
    COLORREF kept = GetPixel(dc_, 0, 0);
    if (kept == CLR_INVALID || !SetPixelV(dc_, 0, 0, RGB(1, 2, 3))) return false;
    GdiFlush();
    bool topDown = (*static_cast<const uint32_t*>(section.dsBm.bmBits) & 0xFFFFFF) == 0x010203;
    SetPixelV(dc_, 0, 0, kept);
    return topDown;
  }

  HDC dc_;
  uint32_t* bits_ = nullptr;
  int width_ = 0, height_ = 0;
  size_t stride_ = 0;
  bool flushed_ = false;
  std::vector<Shape> shapes_;
};

// Over a long period: a dot per day or week at its rate, larger and darker the more matches it holds, on a
// time axis with every month marked and as many of them named as there is room for.
void DrawPeriodTrend(HDC dc, const GraphScene& g, const Trend& trend, TrendForm form, const RECT& area,
                     const RECT& bars) {
  bool weeks = form == TrendForm::PerWeek;
  std::vector<RatePoint> points = RatePerPeriod(trend, form);
  int length = weeks ? 7 : 1;
  Text(dc, weeks ? L"勝率の推移（1週ごと。点の大きさと濃さは対戦数）" : L"勝率の推移（1日ごと。点の大きさと濃さは対戦数）",
       {area.left, area.top, area.right, area.top + g.Px(18)}, 0);
  RECT plot{area.left + g.Px(44), area.top + g.Px(22), area.right - g.Px(4), area.bottom - g.Px(18)};
  Fill(dc, plot, RGB(255, 255, 255));
  Axis rates{plot, 0};
  {
    Pen rule(dc, PS_SOLID, g.Px(1), Rule);
    for (int p = 0; p <= 1000; p += 250) Line(dc, plot.left, rates.Y(p), plot.right, rates.Y(p));
  }
  SelectObject(dc, g.look.smallFont.Get());
  for (int p = 0; p <= 1000; p += 500)
    Text(dc, FormatWide(L"%d%%", p / 10), {area.left, rates.Y(p) - g.Px(8), plot.left - g.Px(4), rates.Y(p) + g.Px(8)},
         DT_RIGHT | DT_VCENTER, Faint);
  int64_t firstDay = points.front().firstDay, endDay = points.back().firstDay + length;
  int width = plot.right - plot.left - 1;
  auto X = [&](int64_t day) { return plot.left + (int)((day - firstDay) * width / std::max<int64_t>(1, endDay - firstDay)); };
  int most = 1;
  for (const RatePoint& p : points) most = std::max(most, p.wins + p.losses);

  // The months: a tick for each, a name at a regular step of 1, 2, 3, 6 or 12 months that leaves room.
  std::vector<MonthMark> months = MonthMarks(firstDay, endDay - 1);
  SIZE label = Extent(dc, g.look.smallFont.Get(), L"2026/10");
  double perMonth = (double)width * 30.44 / (double)std::max<int64_t>(1, endDay - firstDay);
  int step = 12;
  for (int s : {1, 2, 3, 6, 12})
    if (perMonth * s >= label.cx + g.Px(8)) {
      step = s;
      break;
    }
  std::vector<POINT> ticks;
  for (const MonthMark& m : months) {
    if (m.day < firstDay) continue;
    int x = X(m.day);
    ticks.push_back({x, plot.bottom});
    ticks.push_back({x, plot.bottom + g.Px(4)});
    if ((m.month - 1) % step == 0 && x + label.cx / 2 <= area.right)
      Text(dc, FormatWide(L"%d/%d", m.year, m.month), {x - label.cx / 2, plot.bottom + g.Px(4), x + label.cx / 2 + 1, plot.bottom + g.Px(18)},
           DT_CENTER, Faint);
  }
  PolylineSegments(dc, ticks, g.Px(1), Faint);

  // The matches of each day or week as bars below.
  RECT strip{plot.left, bars.top + g.Px(16), plot.right, bars.bottom - g.Px(2)};
  Fill(dc, strip, RGB(250, 250, 250));
  // Bars of one colour standing on one line: filled as the highest of each run of columns, thousands of
  // weeks in a few hundred rectangles.
  std::vector<int> column((size_t)std::max(1L, plot.right - plot.left + 1), 0);
  for (const RatePoint& p : points) {
    int count = p.wins + p.losses;
    int height = std::max(1, (int)((long long)(strip.bottom - strip.top) * count / most));
    int left = X(p.firstDay), right = std::max(X(p.firstDay) + 1, X(p.firstDay + length) - 1);
    for (int x = std::max(left, (int)plot.left); x < right && x - plot.left < (int)column.size(); ++x)
      column[x - plot.left] = std::max(column[x - plot.left], height);
  }
  for (size_t x = 0; x < column.size();) {
    size_t end = x + 1;
    while (end < column.size() && column[end] == column[x]) ++end;
    if (column[x]) Fill(dc, {plot.left + (int)x, strip.bottom - column[x], plot.left + (int)end, strip.bottom}, RGB(150, 170, 210));
    x = end;
  }
  std::wstring barsTitle = FormatWide(weeks ? L"1週の対戦数（最多 %d戦）" : L"1日の対戦数（最多 %d戦）", most);
  if (step > 1) barsTitle += FormatWide(L"　目盛りは1か月ごと、日付は%dか月ごと", step);
  Text(dc, barsTitle, {plot.left, bars.top, plot.right, bars.top + g.Px(15)}, 0, Faint);

  int overall = PerMilleRate(trend.wins, trend.losses);
  {
    Pen reference(dc, PS_DASH, 1, RGB(220, 120, 40));
    Line(dc, plot.left, rates.Y(overall), plot.right, rates.Y(overall));
  }
  Text(dc, L"破線: 期間通算 " + RatePercent(trend.wins, trend.losses), {area.left, area.top, area.right, area.top + g.Px(18)},
       DT_RIGHT, RGB(200, 100, 30));
  // Faintly joined, then the dots, the busiest on top.
  std::vector<POINT> path;
  for (const RatePoint& p : points)
    path.push_back({(X(p.firstDay) + X(p.firstDay + length)) / 2, rates.Y(PerMilleRate(p.wins, p.losses))});
  if (path.size() > 1) {
    Pen pen(dc, PS_SOLID, g.Px(1), RGB(190, 200, 225));
    Polyline(dc, path.data(), (int)path.size());
  }
  std::vector<size_t> byCount(points.size());
  for (size_t i = 0; i < byCount.size(); ++i) byCount[i] = i;
  // Dots of one count look alike, so their order among themselves does not show, and one drawn twice at one
  // place is drawn once.
  auto key = [&](size_t i) { return std::make_tuple(points[i].wins + points[i].losses, path[i].x, path[i].y); };
  std::sort(byCount.begin(), byCount.end(), [&](size_t a, size_t b) { return key(a) < key(b); });
  byCount.erase(std::unique(byCount.begin(), byCount.end(), [&](size_t a, size_t b) { return key(a) == key(b); }),
                byCount.end());
  HGDIOBJ oldPen = SelectObject(dc, GetStockObject(DC_PEN));
  HGDIOBJ oldBrush = SelectObject(dc, GetStockObject(DC_BRUSH));
  Dots dots(dc);
  for (size_t i : byCount) {
    double share = std::sqrt((double)(points[i].wins + points[i].losses) / most);
    int radius = g.Px(1 + (int)(share * 3 + 0.5));
    dots.Draw(path[i].x, path[i].y, radius,
              RGB(200 - (int)(170 * share), 212 - (int)(142 * share), 240 - (int)(50 * share)));
  }
  SelectObject(dc, oldBrush);
  SelectObject(dc, oldPen);
  SelectObject(dc, g.look.font.Get());
}

}  // namespace

void DrawTrend(HDC dc, const GraphScene& g, const RECT& area, const RECT& bars) {
  const Trend& trend = g.play.Tally().TrendOf();
  TrendForm form = ChooseTrendForm(trend);
  if (form != TrendForm::Rolling) {
    DrawPeriodTrend(dc, g, trend, form, area, bars);
    return;
  }
  Text(dc, FormatWide(L"勝率の推移（直近%d戦）", g.span), {area.left, area.top, area.right, area.top + g.Px(18)}, 0);
  Text(dc, FormatWide(L"点線: まだ%d戦に満たない区間", g.span), {area.left, area.top, area.right, area.top + g.Px(18)},
       DT_RIGHT, Faint);
  Axis axis{{area.left + g.Px(44), area.top + g.Px(22), area.right - g.Px(4), area.bottom - g.Px(18)}, trend.rate.size()};
  Fill(dc, axis.plot, RGB(255, 255, 255));
  {
    Pen rule(dc, PS_SOLID, g.Px(1), Rule);
    for (int p = 0; p <= 1000; p += 250) Line(dc, axis.plot.left, axis.Y(p), axis.plot.right, axis.Y(p));
  }
  SelectObject(dc, g.look.smallFont.Get());
  for (int p = 0; p <= 1000; p += 500)
    Text(dc, FormatWide(L"%d%%", p / 10), {area.left, axis.Y(p) - g.Px(8), axis.plot.left - g.Px(4), axis.Y(p) + g.Px(8)},
         DT_RIGHT | DT_VCENTER, Faint);
  if (trend.rate.empty()) {
    SelectObject(dc, g.look.font.Get());
    Text(dc, L"この期間の対戦はありません", axis.plot, DT_CENTER | DT_VCENTER, Faint);
    return;
  }
  // The days: a tick and a date where there is room, and below, a bar with the day's matches. Many days
  // can fall on one pixel: one tick there, and the highest of their bars; with thousands of days they are
  // taken from the trend's stretches.
  bool dense = trend.days.size() > 2 * MaxTrendStretches;
  uint32_t most = 1;
  if (dense)
    for (const TrendStretch& stretch : trend.stretches) most = std::max(most, stretch.dayMost);
  else
    for (const TrendDay& day : trend.days) most = std::max(most, day.count);
  RECT strip{axis.plot.left, bars.top + g.Px(16), axis.plot.right, bars.bottom - g.Px(2)};
  Fill(dc, strip, RGB(250, 250, 250));
  int plotWidth = axis.plot.right - axis.plot.left;
  std::vector<int> barHeight((size_t)std::max(1, plotWidth), 0);
  std::vector<POINT> ticks;
  bool years = trend.days.back().day - trend.days.front().day > 366;
  int lastTick = INT_MIN, labelEnd = INT_MIN;
  auto mark = [&](int x, int right, int64_t day, uint32_t count) {
    if (x >= lastTick + g.Px(3)) {
      ticks.push_back({x, axis.plot.bottom});
      ticks.push_back({x, axis.plot.bottom + g.Px(4)});
      lastTick = x;
    }
    if (x > labelEnd + g.Px(12)) {
      std::wstring date = DayText(day * TimestampUnitsPerDay, years);
      SIZE extent;
      GetTextExtentPoint32W(dc, date.c_str(), (int)date.size(), &extent);
      if (x - extent.cx / 2 > labelEnd + g.Px(6) && x + extent.cx / 2 <= area.right) {
        Text(dc, date, {x - extent.cx / 2, axis.plot.bottom + g.Px(4), x + extent.cx / 2 + 1, axis.plot.bottom + g.Px(18)}, 0,
             Faint);
        labelEnd = x + extent.cx / 2;
      }
    }
    int height = std::max(1, (int)((long long)(strip.bottom - strip.top) * count / most));
    for (int column = std::max(x, (int)axis.plot.left); column < std::max(x + 1, right) && column < axis.plot.right; ++column)
      barHeight[column - axis.plot.left] = std::max(barHeight[column - axis.plot.left], height);
  };
  if (dense) {
    size_t length = trend.stretchLength;
    for (size_t k = 0; k < trend.stretches.size(); ++k)
      if (trend.stretches[k].dayMost)
        mark(axis.X(k * length), axis.X((k + 1) * length - 1), trend.stretches[k].firstDay, trend.stretches[k].dayMost);
  } else {
    for (const TrendDay& day : trend.days) mark(axis.X(day.first), axis.X(day.first + day.count - 1), day.day, day.count);
  }
  std::vector<POINT> columns;
  for (int column = 0; column < plotWidth; ++column)
    if (barHeight[column]) {
      columns.push_back({axis.plot.left + column, strip.bottom});
      columns.push_back({axis.plot.left + column, strip.bottom - barHeight[column]});
    }
  PolylineSegments(dc, ticks, g.Px(1), Faint);
  PolylineSegments(dc, columns, g.Px(1), RGB(150, 170, 210));
  Text(dc, FormatWide(L"1日の対戦数（最多 %d戦）", (int)most), {axis.plot.left, bars.top, axis.plot.right, bars.top + g.Px(15)},
       0, Faint);
  // The period's own rate, for reference.
  int overall = PerMilleRate(trend.wins, trend.losses);
  {
    Pen reference(dc, PS_DASH, 1, RGB(220, 120, 40));
    Line(dc, axis.plot.left, axis.Y(overall), axis.plot.right, axis.Y(overall));
  }
  Text(dc, L"破線: 期間通算 " + RatePercent(trend.wins, trend.losses), {area.left, area.top, area.right, area.top + g.Px(18)},
       DT_CENTER, RGB(200, 100, 30));
  SelectObject(dc, g.look.font.Get());
  DrawCurve(dc, g, trend, axis);
}
