#include "views/GraphWindow.h"

#include <commctrl.h>
#include <climits>
#include <cmath>
#include <algorithm>
#include <memory>
#include <vector>

#include "views/PictureFile.h"
#include "views/RecordTable.h"
#include "views/ViewCommon.h"
#include "views/ViewWindows.h"
#include "resources/resource.h"
#include "shell/AppState.h"
#include "common/CharacterTable.h"
#include "common/Dpi.h"
#include "shell/Settings.h"
#include "common/TextUtil.h"
#include "store/PlayStatistics.h"
#include "store/RecordDatabase.h"

namespace {

const wchar_t GraphClass[] = L"CorvenkaGraph";
const wchar_t GraphTitle[] = L"戦績グラフ";
const wchar_t* const PlaceSection = L"GraphDlg.Display";
const int Spans[3] = {30, 50, 100};
const int FewMatches = 10;
const SIZE DefaultSize{980, 720};

const COLORREF Ink = RGB(32, 32, 32);
const COLORREF Faint = RGB(128, 128, 128);
const COLORREF Rule = RGB(220, 220, 220);
const COLORREF Empty = RGB(244, 244, 244);

struct GraphState {
  HWND window = nullptr;
  HWND summary = nullptr;
  HWND spanBox = nullptr, characterBox = nullptr, tooltip = nullptr;
  HFONT font = nullptr, smallFont = nullptr, tinyFont = nullptr;
  HFONT columnFont = nullptr;  // the small font turned upright, for the column headers
  int labelWidth = 64, headerHeight = 18;  // room for the longest full name, measured at creation
  int span = 50;
  int character = AllCharacters;
  bool failed = false;
  std::unique_ptr<PlayTally> tally = std::make_unique<PlayTally>(span, character);
  ColumnStore seen;  // the rows the tally holds
  PairingCell cells[14][14] = {};
  // The last frame drawn, put up again as it is while nothing has changed (a tooltip that closes, a window moved away).
  HBITMAP frame = nullptr;
  SIZE frameSize{};
  bool frameStale = true;
  std::wstring tip;  // the text the tooltip shows now
};
GraphState* g_graph = nullptr;
// The open window's DPI; the sizes in this file are given at 96 DPI and drawn through Px.
UINT g_graphDpi = BaseDpi;
int Px(int value) { return ScaleForDpi(value, g_graphDpi); }

struct GraphLayout {
  RECT top, trend, bars, grid, side;
  // The 14 x 14 cells of the grid: their first corner and size.
  POINT cellsAt;
  int cellWidth, cellHeight;
};

GraphLayout LayOut(const RECT& client, int labelWidth, int headerHeight) {
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

// Grid cell under a client point: own * 14 + opponent, or -1.
int CellAt(const GraphLayout& l, POINT p) {
  if (p.x < l.cellsAt.x || p.y < l.cellsAt.y) return -1;
  int opponent = (p.x - l.cellsAt.x) / l.cellWidth, own = (p.y - l.cellsAt.y) / l.cellHeight;
  return opponent < 14 && own < 14 ? own * 14 + opponent : -1;
}

GraphLayout LayOutWindow(const GraphState& g) {
  RECT client;
  GetClientRect(g.window, &client);
  return LayOut(client, g.labelWidth, g.headerHeight);
}

std::wstring RatePercent(int wins, int losses) { return RateText(PerMilleRate(wins, losses), g_app.highPrecision); }

// Over more than a year the marks name months, else days.
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

const wchar_t* PeriodText() {
  static const wchar_t* const texts[] = {L"全ての対戦", L"今日の対戦", L"昨日の対戦", L"カスタム対戦"};
  return SummaryPeriod >= 0 && SummaryPeriod <= 3 ? texts[SummaryPeriod] : texts[0];
}

// Diverging from white at 50%: the colorization's light green and light red halfway, stronger beyond.
COLORREF RateColour(int wins, int losses) {
  if (wins + losses <= 0) return Empty;
  auto mix = [](COLORREF a, COLORREF b, double t) {
    return RGB(GetRValue(a) + (GetRValue(b) - GetRValue(a)) * t, GetGValue(a) + (GetGValue(b) - GetGValue(a)) * t,
               GetBValue(a) + (GetBValue(b) - GetBValue(a)) * t);
  };
  double t = (PerMilleRate(wins, losses) - 500) / 500.0;
  bool better = t > 0;
  double d = better ? t : -t;
  COLORREF light = better ? RGB(208, 220, 208) : RGB(236, 208, 208);
  COLORREF strong = better ? RGB(112, 170, 112) : RGB(204, 112, 112);
  COLORREF colour = d <= 0.5 ? mix(RGB(255, 255, 255), light, d * 2) : mix(light, strong, (d - 0.5) * 2);
  if (wins + losses < FewMatches) colour = mix(colour, Empty, 0.6);
  return colour;
}

// One line in a box. Without an ellipsis to fit, placed directly: a redraw writes a few hundred texts,
// and measuring each first would double the cost.
void Text(HDC dc, const std::wstring& text, RECT box, UINT format, COLORREF colour = Ink) {
  SetTextColor(dc, colour);
  if (format & DT_END_ELLIPSIS) {
    DrawTextW(dc, text.c_str(), (int)text.size(), &box, format | DT_NOPREFIX | DT_SINGLELINE);
    return;
  }
  TEXTMETRICW metrics{};
  GetTextMetricsW(dc, &metrics);
  int height = metrics.tmHeight;
  UINT align = (format & DT_RIGHT) ? TA_RIGHT : (format & DT_CENTER) ? TA_CENTER : TA_LEFT;
  int x = align == TA_RIGHT ? box.right : align == TA_CENTER ? (box.left + box.right) / 2 : box.left;
  int y = (format & DT_VCENTER) ? (box.top + box.bottom - height) / 2 : (format & DT_BOTTOM) ? box.bottom - height : box.top;
  UINT previous = SetTextAlign(dc, align | TA_TOP | TA_NOUPDATECP);
  ExtTextOutW(dc, x, y, ETO_CLIPPED, &box, text.c_str(), (UINT)text.size(), nullptr);
  SetTextAlign(dc, previous);
}

void Line(HDC dc, int x0, int y0, int x1, int y1) {
  MoveToEx(dc, x0, y0, nullptr);
  LineTo(dc, x1, y1);
}

class Pen {
 public:
  Pen(HDC dc, int style, int width, COLORREF colour) : dc_(dc), pen_(CreatePen(style, style == PS_SOLID ? Px(width) : width, colour)) {
    old_ = SelectObject(dc, pen_);
  }
  ~Pen() {
    SelectObject(dc_, old_);
    DeleteObject(pen_);
  }
  Pen(const Pen&) = delete;
  Pen& operator=(const Pen&) = delete;

 private:
  HDC dc_;
  HPEN pen_;
  HGDIOBJ old_;
};

// Separate two-point segments in one call.
void PolylineSegments(HDC dc, const std::vector<POINT>& ends, COLORREF colour) {
  if (ends.empty()) return;
  Pen pen(dc, PS_SOLID, 1, colour);
  std::vector<DWORD> counts(ends.size() / 2, 2);
  PolyPolyline(dc, ends.data(), counts.data(), (DWORD)counts.size());
}

void Fill(HDC dc, const RECT& box, COLORREF colour) {
  SetDCBrushColor(dc, colour);
  FillRect(dc, &box, (HBRUSH)GetStockObject(DC_BRUSH));
}

SIZE Extent(HDC dc, HFONT font, const std::wstring& text) {
  HGDIOBJ old = SelectObject(dc, font);
  SIZE size{};
  GetTextExtentPoint32W(dc, text.c_str(), (int)text.size(), &size);
  SelectObject(dc, old);
  return size;
}

// On screen the two choices are controls; the picture shows them as text.
void DrawTop(HDC dc, const GraphState& g, const RECT& top, bool picture) {
  std::wstring choice = FormatWide(L"過去%d戦", g.span) + L"  " +
                        (g.character == AllCharacters ? L"全キャラクター" : CharacterTable[g.character].shortName);
  if (picture) Text(dc, choice, {top.left + Px(4), top.top, top.left + Px(250), top.bottom}, DT_VCENTER);
  std::wstring summary = FormatWide(L"%s  %d戦", PeriodText(), (int)g.tally->Matches());
  if (!g.tally->Sessions().empty()) {
    const PlaySession& s = g.tally->Sessions().back();
    summary += L"    最新セッション " + StartText(s.start) + L"から " + RecordText(s.wins, s.losses) + L" (" +
               RatePercent(s.wins, s.losses) + L")";
  }
  if (g.failed) summary = L"戦績グラフの更新に失敗しました";
  Text(dc, summary, {top.left + Px(270), top.top, top.right, top.bottom}, DT_VCENTER | DT_END_ELLIPSIS,
       g.failed ? RGB(192, 0, 0) : Ink);
}

struct Axis {
  RECT plot;
  size_t points;
  int X(size_t i) const {
    int w = plot.right - plot.left - 1;
    if (points < 2) return plot.left + w / 2;
    return plot.left + (int)((long long)i * w / (long long)(points - 1));
  }
  int Y(int perMille) const { return plot.bottom - 1 - (int)((long long)perMille * (plot.bottom - plot.top - 1) / 1000); }
};

// Two polylines, the stretch short of a full window dotted; one call each, whatever the number of points.
void DrawCurve(HDC dc, const Trend& trend, const Axis& axis) {
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
    Pen pen(dc, PS_SOLID, n <= (size_t)width ? 2 : 1, RGB(40, 80, 200));
    Polyline(dc, full.data(), (int)full.size());
  }
}

// Over a long period: a dot per day or week at its rate, larger and darker the more matches it holds, on a
// time axis with every month marked and as many of them named as there is room for.
void DrawPeriodTrend(HDC dc, const GraphState& g, const Trend& trend, TrendForm form, const RECT& area,
                     const RECT& bars) {
  bool weeks = form == TrendForm::PerWeek;
  std::vector<RatePoint> points = RatePerPeriod(trend, form);
  int length = weeks ? 7 : 1;
  Text(dc, weeks ? L"勝率の推移（1週ごと。点の大きさと濃さは対戦数）" : L"勝率の推移（1日ごと。点の大きさと濃さは対戦数）",
       {area.left, area.top, area.right, area.top + Px(18)}, 0);
  RECT plot{area.left + Px(44), area.top + Px(22), area.right - Px(4), area.bottom - Px(18)};
  Fill(dc, plot, RGB(255, 255, 255));
  Axis rates{plot, 0};
  {
    Pen rule(dc, PS_SOLID, 1, Rule);
    for (int p = 0; p <= 1000; p += 250) Line(dc, plot.left, rates.Y(p), plot.right, rates.Y(p));
  }
  SelectObject(dc, g.smallFont);
  for (int p = 0; p <= 1000; p += 500)
    Text(dc, FormatWide(L"%d%%", p / 10), {area.left, rates.Y(p) - Px(8), plot.left - Px(4), rates.Y(p) + Px(8)},
         DT_RIGHT | DT_VCENTER, Faint);
  int64_t firstDay = points.front().firstDay, endDay = points.back().firstDay + length;
  int width = plot.right - plot.left - 1;
  auto X = [&](int64_t day) { return plot.left + (int)((day - firstDay) * width / std::max<int64_t>(1, endDay - firstDay)); };
  int most = 1;
  for (const RatePoint& p : points) most = std::max(most, p.wins + p.losses);

  // The months: a tick for each, a name at a regular step of 1, 2, 3, 6 or 12 months that leaves room.
  std::vector<MonthMark> months = MonthMarks(firstDay, endDay - 1);
  SIZE label = Extent(dc, g.smallFont, L"2026/10");
  double perMonth = (double)width * 30.44 / (double)std::max<int64_t>(1, endDay - firstDay);
  int step = 12;
  for (int s : {1, 2, 3, 6, 12})
    if (perMonth * s >= label.cx + Px(8)) {
      step = s;
      break;
    }
  std::vector<POINT> ticks;
  for (const MonthMark& m : months) {
    if (m.day < firstDay) continue;
    int x = X(m.day);
    ticks.push_back({x, plot.bottom});
    ticks.push_back({x, plot.bottom + Px(4)});
    if ((m.month - 1) % step == 0 && x + label.cx / 2 <= area.right)
      Text(dc, FormatWide(L"%d/%d", m.year, m.month), {x - label.cx / 2, plot.bottom + Px(4), x + label.cx / 2 + 1, plot.bottom + Px(18)},
           DT_CENTER, Faint);
  }
  PolylineSegments(dc, ticks, Faint);

  // The matches of each day or week as bars below.
  RECT strip{plot.left, bars.top + Px(16), plot.right, bars.bottom - Px(2)};
  Fill(dc, strip, RGB(250, 250, 250));
  for (const RatePoint& p : points) {
    int count = p.wins + p.losses;
    int height = std::max(1, (int)((long long)(strip.bottom - strip.top) * count / most));
    RECT bar{X(p.firstDay), strip.bottom - height, std::max(X(p.firstDay) + 1, X(p.firstDay + length) - 1), strip.bottom};
    Fill(dc, bar, RGB(150, 170, 210));
  }
  std::wstring barsTitle = FormatWide(weeks ? L"1週の対戦数（最多 %d戦）" : L"1日の対戦数（最多 %d戦）", most);
  if (step > 1) barsTitle += FormatWide(L"　目盛りは1か月ごと、日付は%dか月ごと", step);
  Text(dc, barsTitle, {plot.left, bars.top, plot.right, bars.top + Px(15)}, 0, Faint);

  int overall = PerMilleRate(trend.wins, trend.losses);
  {
    Pen reference(dc, PS_DASH, 1, RGB(220, 120, 40));
    Line(dc, plot.left, rates.Y(overall), plot.right, rates.Y(overall));
  }
  Text(dc, L"破線: 期間通算 " + RatePercent(trend.wins, trend.losses), {area.left, area.top, area.right, area.top + Px(18)},
       DT_RIGHT, RGB(200, 100, 30));
  // Faintly joined, then the dots, the busiest on top.
  std::vector<POINT> path;
  for (const RatePoint& p : points)
    path.push_back({(X(p.firstDay) + X(p.firstDay + length)) / 2, rates.Y(PerMilleRate(p.wins, p.losses))});
  if (path.size() > 1) {
    Pen pen(dc, PS_SOLID, 1, RGB(190, 200, 225));
    Polyline(dc, path.data(), (int)path.size());
  }
  std::vector<size_t> byCount(points.size());
  for (size_t i = 0; i < byCount.size(); ++i) byCount[i] = i;
  std::stable_sort(byCount.begin(), byCount.end(), [&](size_t a, size_t b) {
    return points[a].wins + points[a].losses < points[b].wins + points[b].losses;
  });
  HGDIOBJ oldPen = SelectObject(dc, GetStockObject(DC_PEN));
  HGDIOBJ oldBrush = SelectObject(dc, GetStockObject(DC_BRUSH));
  for (size_t i : byCount) {
    double share = std::sqrt((double)(points[i].wins + points[i].losses) / most);
    int radius = Px(1 + (int)(share * 3 + 0.5));
    COLORREF colour = RGB(200 - (int)(170 * share), 212 - (int)(142 * share), 240 - (int)(50 * share));
    SetDCPenColor(dc, colour);
    SetDCBrushColor(dc, colour);
    Ellipse(dc, path[i].x - radius, path[i].y - radius, path[i].x + radius + 1, path[i].y + radius + 1);
  }
  SelectObject(dc, oldBrush);
  SelectObject(dc, oldPen);
  SelectObject(dc, g.font);
}

void DrawTrend(HDC dc, const GraphState& g, const RECT& area, const RECT& bars) {
  const Trend& trend = g.tally->TrendOf();
  TrendForm form = ChooseTrendForm(trend);
  if (form != TrendForm::Rolling) {
    DrawPeriodTrend(dc, g, trend, form, area, bars);
    return;
  }
  Text(dc, FormatWide(L"勝率の推移（直近%d戦）", g.span), {area.left, area.top, area.right, area.top + Px(18)}, 0);
  Text(dc, FormatWide(L"点線: まだ%d戦に満たない区間", g.span), {area.left, area.top, area.right, area.top + Px(18)},
       DT_RIGHT, Faint);
  Axis axis{{area.left + Px(44), area.top + Px(22), area.right - Px(4), area.bottom - Px(18)}, trend.rate.size()};
  Fill(dc, axis.plot, RGB(255, 255, 255));
  {
    Pen rule(dc, PS_SOLID, 1, Rule);
    for (int p = 0; p <= 1000; p += 250) Line(dc, axis.plot.left, axis.Y(p), axis.plot.right, axis.Y(p));
  }
  SelectObject(dc, g.smallFont);
  for (int p = 0; p <= 1000; p += 500)
    Text(dc, FormatWide(L"%d%%", p / 10), {area.left, axis.Y(p) - Px(8), axis.plot.left - Px(4), axis.Y(p) + Px(8)},
         DT_RIGHT | DT_VCENTER, Faint);
  if (trend.rate.empty()) {
    SelectObject(dc, g.font);
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
  RECT strip{axis.plot.left, bars.top + Px(16), axis.plot.right, bars.bottom - Px(2)};
  Fill(dc, strip, RGB(250, 250, 250));
  int plotWidth = axis.plot.right - axis.plot.left;
  std::vector<int> barHeight((size_t)std::max(1, plotWidth), 0);
  std::vector<POINT> ticks;
  bool years = trend.days.back().day - trend.days.front().day > 366;
  int lastTick = INT_MIN, labelEnd = INT_MIN;
  auto mark = [&](int x, int right, int64_t day, uint32_t count) {
    if (x >= lastTick + Px(3)) {
      ticks.push_back({x, axis.plot.bottom});
      ticks.push_back({x, axis.plot.bottom + Px(4)});
      lastTick = x;
    }
    if (x > labelEnd + Px(12)) {
      std::wstring date = DayText(day * TimestampUnitsPerDay, years);
      SIZE extent;
      GetTextExtentPoint32W(dc, date.c_str(), (int)date.size(), &extent);
      if (x - extent.cx / 2 > labelEnd + Px(6) && x + extent.cx / 2 <= area.right) {
        Text(dc, date, {x - extent.cx / 2, axis.plot.bottom + Px(4), x + extent.cx / 2 + 1, axis.plot.bottom + Px(18)}, 0,
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
  PolylineSegments(dc, ticks, Faint);
  PolylineSegments(dc, columns, RGB(150, 170, 210));
  Text(dc, FormatWide(L"1日の対戦数（最多 %d戦）", (int)most), {axis.plot.left, bars.top, axis.plot.right, bars.top + Px(15)},
       0, Faint);
  // The period's own rate, for reference.
  int overall = PerMilleRate(trend.wins, trend.losses);
  {
    Pen reference(dc, PS_DASH, 1, RGB(220, 120, 40));
    Line(dc, axis.plot.left, axis.Y(overall), axis.plot.right, axis.Y(overall));
  }
  Text(dc, L"破線: 期間通算 " + RatePercent(trend.wins, trend.losses), {area.left, area.top, area.right, area.top + Px(18)},
       DT_CENTER, RGB(200, 100, 30));
  SelectObject(dc, g.font);
  DrawCurve(dc, trend, axis);
}

// What a grid cell shows: its counts where they fit, in the small type or the tiny one, else its rate (the
// counts are in the tooltip), else nothing.
GraphText CellText(HDC dc, const GraphState& g, const GraphLayout& l, int own, int opponent) {
  const PairingCell& cell = g.cells[own][opponent];
  RECT box = CellRect(l, own, opponent);
  GraphText none{L"", g.smallFont, box.right - box.left - Px(3), box.bottom - box.top - 1};
  if (cell.wins + cell.losses <= 0) return none;
  for (const std::wstring& text : {FormatWide(L"%d-%d", cell.wins, cell.losses), RatePercent(cell.wins, cell.losses)})
    for (HFONT font : {g.smallFont, g.tinyFont}) {
      SIZE size = Extent(dc, font, text);
      if (size.cx <= none.room && size.cy <= none.across) return {text, font, none.room, none.across};
    }
  return none;
}

// Full names: the rows' at their left, the columns' turned upright above them.
GraphText HeaderText(const GraphState& g, const GraphLayout& l, int character, bool column) {
  if (column) return {CharacterTable[character].fullName, g.columnFont, g.headerHeight - Px(2), l.cellWidth};
  return {CharacterTable[character].fullName, g.smallFont, g.labelWidth - Px(4), l.cellHeight};
}

void DrawGrid(HDC dc, const GraphState& g, const GraphLayout& l) {
  Text(dc, L"キャラ相性（縦: 自分 / 横: 相手）", {l.grid.left, l.grid.top, l.grid.right, l.grid.top + Px(18)}, 0);
  SelectObject(dc, g.smallFont);
  TEXTMETRICW metrics{};
  GetTextMetricsW(dc, &metrics);
  for (int k = 0; k < 14; ++k) {
    RECT row = CellRect(l, k, 0);
    Text(dc, HeaderText(g, l, k, false).text, {l.grid.left, row.top, l.cellsAt.x - Px(4), row.bottom}, DT_RIGHT | DT_VCENTER);
  }
  // Upright text runs from its starting point upwards, its top to the left.
  SelectObject(dc, g.columnFont);
  SetTextColor(dc, Ink);
  UINT previous = SetTextAlign(dc, TA_LEFT | TA_TOP | TA_NOUPDATECP);
  for (int k = 0; k < 14; ++k) {
    RECT column = CellRect(l, 0, k);
    std::wstring name = HeaderText(g, l, k, true).text;
    int x = (column.left + column.right - metrics.tmHeight) / 2, y = l.cellsAt.y - Px(3);
    ExtTextOutW(dc, x, y, 0, nullptr, name.c_str(), (UINT)name.size(), nullptr);
  }
  SetTextAlign(dc, previous);
  for (int own = 0; own < 14; ++own)
    for (int opponent = 0; opponent < 14; ++opponent) {
      const PairingCell& cell = g.cells[own][opponent];
      RECT box = CellRect(l, own, opponent);
      Fill(dc, {box.left, box.top, box.right - 1, box.bottom - 1}, RateColour(cell.wins, cell.losses));
      GraphText figure = CellText(dc, g, l, own, opponent);
      if (figure.text.empty()) continue;
      SelectObject(dc, figure.font);
      Text(dc, figure.text, {box.left, box.top, box.right - 1, box.bottom - 1}, DT_CENTER | DT_VCENTER,
           cell.wins + cell.losses < FewMatches ? Faint : Ink);
    }
  SelectObject(dc, g.font);
}

void DrawSide(HDC dc, const GraphState& g, const RECT& side) {
  int lineHeight = Px(18), y = side.top;
  auto line = [&](const std::wstring& text, COLORREF colour = Ink) {
    Text(dc, text, {side.left, y, side.right, y + lineHeight}, DT_END_ELLIPSIS, colour);
    y += lineHeight;
  };
  const Streaks& s = g.tally->StreaksOf();
  const std::vector<PlaySession>& sessions = g.tally->Sessions();
  line(L"連勝・連敗");
  line(s.current > 0   ? FormatWide(L"  現在 %d連勝中", s.current)
       : s.current < 0 ? FormatWide(L"  現在 %d連敗中", -s.current)
                       : std::wstring(L"  現在 なし"));
  line(FormatWide(L"  最長連勝 %d    最長連敗 %d", s.longestWins, s.longestLosses));
  y += Px(6);
  line(L"セッション（30分空くと区切り、新しい順）");
  SelectObject(dc, g.smallFont);
  int shown = 0, room = (side.bottom - y) / lineHeight;
  for (auto it = sessions.rbegin(); it != sessions.rend(); ++it) {
    const PlaySession& session = *it;
    if (shown + 1 >= room && sessions.size() > (size_t)room) break;
    int x = side.left + Px(8);
    Text(dc, StartText(session.start), {x, y, x + Px(110), y + lineHeight}, 0);
    Text(dc, LengthText(session), {x + Px(110), y, x + Px(180), y + lineHeight}, DT_RIGHT);
    Text(dc, RecordText(session.wins, session.losses), {x + Px(186), y, x + Px(266), y + lineHeight}, DT_RIGHT);
    Text(dc, RatePercent(session.wins, session.losses), {x + Px(266), y, std::max(x + Px(266), (int)side.right), y + lineHeight},
         DT_RIGHT);
    y += lineHeight;
    ++shown;
  }
  if ((size_t)shown < sessions.size())
    line(FormatWide(L"  ほか %d セッション", (int)(sessions.size() - shown)), Faint);
  if (sessions.empty()) line(L"  なし", Faint);
  SelectObject(dc, g.font);
}

void DrawGraph(HDC dc, const GraphState& g, const RECT& client, bool picture) {
  Fill(dc, client, GetSysColor(COLOR_WINDOW));
  GraphLayout l = LayOut(client, g.labelWidth, g.headerHeight);
  HGDIOBJ oldFont = SelectObject(dc, g.font);
  SetBkMode(dc, TRANSPARENT);
  DrawTop(dc, g, l.top, picture);
  DrawTrend(dc, g, l.trend, l.bars);
  DrawGrid(dc, g, l);
  DrawSide(dc, g, l.side);
  SelectObject(dc, oldFont);
}

// The picture at the window's client size, or null.
HBITMAP RenderPicture(HWND window) {
  RECT client;
  GetClientRect(window, &client);
  if (client.right <= 0 || client.bottom <= 0 || !g_graph) return nullptr;
  HDC screen = GetDC(window);
  void* bits = nullptr;
  HBITMAP picture = CreatePictureBitmap(screen, {client.right, client.bottom}, &bits);
  if (picture) {
    HDC memory = CreateCompatibleDC(screen);
    HGDIOBJ old = SelectObject(memory, picture);
    DrawGraph(memory, *g_graph, client, true);
    GdiFlush();
    SelectObject(memory, old);
    DeleteDC(memory);
  }
  ReleaseDC(window, screen);
  return picture;
}

// anew: the choices changed, so the tally cannot be extended.
void Recompute(GraphState& g, bool anew) {
  RecordFilter filter{};
  ApplySummaryPeriod(filter);
  BeginTransaction();
  PlayRows rows;
  bool ok = rows.Load(filter);
  if (ok) {
    // After a capture the period's rows are the ones tallied plus the new: only those are added.
    const MatchColumns& c = rows.Columns();
    size_t have = g.tally->Matches();
    if (anew || !g.seen.IsPrefixOf(c)) {
      g.tally = std::make_unique<PlayTally>(g.span, g.character);
      g.seen.Clear();
      have = 0;
    }
    g.tally->Add(c, have, c.count);
    g.seen.Append(c, have, c.count);
    g.tally->Matchups(g.cells);
  }
  EndTransaction(!ok);
  g.failed = !ok;
  g.frameStale = true;
  InvalidateRect(g.window, nullptr, FALSE);
}

HFONT MakeFont(int percent, bool upright = false) {
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof metrics;
  SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
  LOGFONTW font = metrics.lfMessageFont;
  // The metrics are at the screen's DPI; the window may be on a screen of another.
  font.lfHeight = MulDiv(font.lfHeight, (int)g_graphDpi, (int)WindowDpi(nullptr)) * percent / 100;
  if (upright) font.lfEscapement = font.lfOrientation = 900;
  return CreateFontIndirectW(&font);
}

// The grid's headers get the room of the longest full name.
void MeasureHeaders(GraphState& g) {
  HDC dc = GetDC(g.window);
  int longest = 0;
  for (int k = 0; k < CharacterCount; ++k) longest = std::max(longest, (int)Extent(dc, g.smallFont, CharacterTable[k].fullName).cx);
  ReleaseDC(g.window, dc);
  g.labelWidth = longest + Px(8);
  g.headerHeight = longest + Px(6);
}

void DeleteFonts(GraphState& g) {
  for (HFONT font : {g.font, g.smallFont, g.tinyFont, g.columnFont})
    if (font) DeleteObject(font);
  g.font = g.smallFont = g.tinyFont = g.columnFont = nullptr;
}

void MakeFonts(GraphState& g) {
  DeleteFonts(g);
  g.font = MakeFont(100);
  g.smallFont = MakeFont(85);
  g.tinyFont = MakeFont(70);
  g.columnFont = MakeFont(85, true);
  MeasureHeaders(g);
}

HWND MakeChoice(HWND window, int id, int x, int width, HFONT font) {
  HWND box = CreateWindowExW(0, WC_COMBOBOXW, nullptr, WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_TABSTOP | CBS_DROPDOWNLIST,
                             x, Px(8), width, Px(320), window, (HMENU)(INT_PTR)id, ViewResourceInstance(), nullptr);
  SendMessageW(box, WM_SETFONT, (WPARAM)font, FALSE);
  return box;
}

void AddTooltips(GraphState& g) {
  g.tooltip = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, 0, 0, 0,
                              0, g.window, nullptr, ViewResourceInstance(), nullptr);
  if (!g.tooltip) return;
  SendMessageW(g.tooltip, TTM_SETMAXTIPWIDTH, 0, 480);
  for (int cell = 0; cell < 196; ++cell) {
    TTTOOLINFOW tool{};
    tool.cbSize = TTTOOLINFOW_V2_SIZE;
    tool.uFlags = TTF_SUBCLASS;
    tool.hwnd = g.window;
    tool.uId = (UINT_PTR)cell;
    tool.lpszText = LPSTR_TEXTCALLBACKW;
    SendMessageW(g.tooltip, TTM_ADDTOOLW, 0, (LPARAM)&tool);
  }
}

void PlaceTooltips(const GraphState& g) {
  if (!g.tooltip) return;
  GraphLayout l = LayOutWindow(g);
  for (int cell = 0; cell < 196; ++cell) {
    TTTOOLINFOW tool{};
    tool.cbSize = TTTOOLINFOW_V2_SIZE;
    tool.hwnd = g.window;
    tool.uId = (UINT_PTR)cell;
    tool.rect = CellRect(l, cell / 14, cell % 14);
    SendMessageW(g.tooltip, TTM_NEWTOOLRECTW, 0, (LPARAM)&tool);
  }
}

std::wstring CellTip(const GraphState& g, int own, int opponent) {
  const PairingCell& cell = g.cells[own][opponent];
  int games = cell.wins + cell.losses;
  std::wstring tip = std::wstring(CharacterTable[own].shortName) + L" 対 " + CharacterTable[opponent].shortName + L"\r\n";
  if (!games) return tip + L"対戦なし";
  RateInterval interval = WilsonInterval(cell.wins, games);
  int low = (int)(interval.low * 1000 + 0.5), high = (int)(interval.high * 1000 + 0.5);
  tip += FormatWide(L"%d戦 %d勝%d敗 勝率 ", games, cell.wins, cell.losses) + RatePercent(cell.wins, cell.losses);
  tip += FormatWide(L"\r\n95%%信頼区間 %d.%01d%% - %d.%01d%%", low / 10, low % 10, high / 10, high % 10);
  if (games < FewMatches) tip += FormatWide(L"\r\n%d戦未満のため参考値です", FewMatches);
  return tip;
}

LRESULT OnNotify(GraphState& g, NMHDR* header) {
  if (header->hwndFrom != g.tooltip || header->code != TTN_GETDISPINFOW) return 0;
  auto* info = reinterpret_cast<NMTTDISPINFOW*>(header);
  int cell = (int)header->idFrom;
  if (cell < 0 || cell >= 196) return 0;
  g.tip = CellTip(g, cell / 14, cell % 14);
  info->lpszText = const_cast<wchar_t*>(g.tip.c_str());
  return 0;
}

// The detail window of the cell's own character, as the summary's double click opens it.
void OnDoubleClick(GraphState& g, LPARAM where) {
  POINT p{(short)LOWORD(where), (short)HIWORD(where)};
  int cell = CellAt(LayOutWindow(g), p);
  if (cell < 0 || !g.summary || !IsWindow(g.summary)) return;
  auto* filter = new RecordFilter{};
  filter->flags = FilterP1Id;
  filter->p1id = cell / 14;
  ApplySummaryPeriod(*filter);
  HWND detail = OpenDetailWindow(g.summary, filter, 1);
  if (detail) ShowWindow(detail, SW_SHOW);
}

void OnChoice(GraphState& g, int id) {
  if (id == IDC_GRAPH_SPAN) {
    int index = (int)SendMessageW(g.spanBox, CB_GETCURSEL, 0, 0);
    if (index >= 0 && index < 3) g.span = Spans[index];
  } else {
    int index = (int)SendMessageW(g.characterBox, CB_GETCURSEL, 0, 0);
    g.character = index > 0 && index <= CharacterCount ? index - 1 : AllCharacters;
  }
  Recompute(g, true);
}

void ChooseFileAndSave(HWND window) {
  wchar_t path[1025] = L"戦績グラフ.png";
  OPENFILENAMEW dialog{};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = window;
  dialog.lpstrFilter = L"PNG 画像 (*.png)\0*.png\0";
  dialog.lpstrFile = path;
  dialog.nMaxFile = 1025;
  dialog.lpstrDefExt = L"png";
  dialog.Flags = OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR;
  if (!GetSaveFileNameW(&dialog)) return;
  if (!SaveGraphPicture(window, path))
    MessageBoxW(window, L"画像の保存に失敗しました。", nullptr, MB_ICONERROR | MB_OK);
}

bool OnCreate(HWND window, GraphState& g) {
  g.window = window;
  HMENU menu = GetSystemMenu(window, FALSE);
  if (!menu) return false;
  InsertMenuW(menu, 0, MF_BYPOSITION | MF_STRING, IDM_GRAPH_COPY, L"クリップボードに送る");
  InsertMenuW(menu, 1, MF_BYPOSITION | MF_STRING, IDM_GRAPH_SAVE, L"画像として保存…");
  InsertMenuW(menu, 2, MF_BYPOSITION | MF_SEPARATOR, 0, nullptr);
  g_graphDpi = WindowDpi(window);
  MakeFonts(g);
  g.spanBox = MakeChoice(window, IDC_GRAPH_SPAN, Px(8), Px(110), g.font);
  for (int span : Spans) SendMessageW(g.spanBox, CB_ADDSTRING, 0, (LPARAM)FormatWide(L"過去%d戦", span).c_str());
  SendMessageW(g.spanBox, CB_SETCURSEL, 1, 0);
  g.characterBox = MakeChoice(window, IDC_GRAPH_CHARACTER, Px(126), Px(130), g.font);
  SendMessageW(g.characterBox, CB_ADDSTRING, 0, (LPARAM)L"全キャラクター");
  for (int id = 0; id < CharacterCount; ++id)
    SendMessageW(g.characterBox, CB_ADDSTRING, 0, (LPARAM)CharacterTable[id].shortName);
  SendMessageW(g.characterBox, CB_SETCURSEL, 0, 0);
  AddTooltips(g);
  Recompute(g, true);
  return true;
}

// Moved to a screen of another DPI: everything drawn again at the new one.
void OnDpiChanged(GraphState& g, WPARAM wParam, LPARAM lParam) {
  g_graphDpi = HIWORD(wParam);
  MakeFonts(g);
  SendMessageW(g.spanBox, WM_SETFONT, (WPARAM)g.font, FALSE);
  SendMessageW(g.characterBox, WM_SETFONT, (WPARAM)g.font, FALSE);
  SetWindowPos(g.spanBox, nullptr, Px(8), Px(8), Px(110), Px(320), SWP_NOZORDER | SWP_NOACTIVATE);
  SetWindowPos(g.characterBox, nullptr, Px(126), Px(8), Px(130), Px(320), SWP_NOZORDER | SWP_NOACTIVATE);
  g.frameStale = true;
  FollowDpiChange(g.window, wParam, lParam);
  PlaceTooltips(g);
  InvalidateRect(g.window, nullptr, FALSE);
}

void OnPaint(HWND window, GraphState& g) {
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(window, &paint);
  RECT client;
  GetClientRect(window, &client);
  SIZE size{std::max(1L, client.right), std::max(1L, client.bottom)};
  if (!g.frame || g.frameSize.cx != size.cx || g.frameSize.cy != size.cy) {
    if (g.frame) DeleteObject(g.frame);
    void* bits = nullptr;
    // A DIB section: drawn by the process itself, not sent to the display server stroke by stroke.
    g.frame = CreatePictureBitmap(dc, size, &bits);
    g.frameSize = size;
    g.frameStale = true;
  }
  // Drawn off screen and put up in one copy, so a resize never shows a half-drawn frame.
  HDC memory = CreateCompatibleDC(dc);
  HGDIOBJ old = SelectObject(memory, g.frame);
  if (g.frameStale) {
    DrawGraph(memory, g, client, false);
    g.frameStale = false;
  }
  const RECT& part = paint.rcPaint;
  BitBlt(dc, part.left, part.top, part.right - part.left, part.bottom - part.top, memory, part.left, part.top, SRCCOPY);
  SelectObject(memory, old);
  DeleteDC(memory);
  EndPaint(window, &paint);
}

void SavePlace(HWND window) {
  RECT box;
  if (IsIconic(window) || IsZoomed(window)) {
    WINDOWPLACEMENT place{};
    place.length = sizeof place;
    GetWindowPlacement(window, &place);
    box = place.rcNormalPosition;
  } else {
    GetWindowRect(window, &box);
  }
  WriteSettingInt(PlaceSection, L"X", box.left);
  WriteSettingInt(PlaceSection, L"Y", box.top);
  // The size at 96 DPI, so that it means the same on any screen.
  WriteSettingInt(PlaceSection, L"Width", UnscaleForDpi(box.right - box.left, g_graphDpi));
  WriteSettingInt(PlaceSection, L"Height", UnscaleForDpi(box.bottom - box.top, g_graphDpi));
}

void OnDestroy(GraphState& g) {
  SavePlace(g.window);
  DeleteFonts(g);
  if (g.frame) DeleteObject(g.frame);
  g.frame = nullptr;
  if (g_graph == &g) g_graph = nullptr;
}

LRESULT CALLBACK GraphProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* g = reinterpret_cast<GraphState*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (message == WM_NCCREATE) {
    g = static_cast<GraphState*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    SetWindowLongPtrW(window, GWLP_USERDATA, (LONG_PTR)g);
  }
  if (!g) return DefWindowProcW(window, message, wParam, lParam);
  switch (message) {
    case WM_CREATE:
      return OnCreate(window, *g) ? 0 : -1;
    case WM_ERASEBKGND:
      return 1;
    case WM_PAINT:
      OnPaint(window, *g);
      return 0;
    case WM_SIZE:
      PlaceTooltips(*g);
      InvalidateRect(window, nullptr, FALSE);
      return 0;
    case WM_DPICHANGED:
      OnDpiChanged(*g, wParam, lParam);
      return 0;
    case WM_GETMINMAXINFO: {
      auto* info = reinterpret_cast<MINMAXINFO*>(lParam);
      info->ptMinTrackSize = {Px(560), Px(420)};
      return 0;
    }
    case WM_NOTIFY:
      return OnNotify(*g, reinterpret_cast<NMHDR*>(lParam));
    case WM_LBUTTONDBLCLK:
      OnDoubleClick(*g, lParam);
      return 0;
    case WM_COMMAND:
      // Escape, which the loop's dialog handling turns into IDCANCEL, closes it as its close button does.
      if (LOWORD(wParam) == IDCANCEL && !lParam) PostMessageW(window, WM_CLOSE, 0, 0);
      if (HIWORD(wParam) == CBN_SELCHANGE) OnChoice(*g, LOWORD(wParam));
      return 0;
    case WM_SYSCOMMAND:
      if (wParam == IDM_GRAPH_COPY) {
        CopyGraphPicture(window);
        return 0;
      }
      if (wParam == IDM_GRAPH_SAVE) {
        ChooseFileAndSave(window);
        return 0;
      }
      break;
    case WM_DESTROY:
      OnDestroy(*g);
      return 0;
    case WM_NCDESTROY:
      SetWindowLongPtrW(window, GWLP_USERDATA, 0);
      if (g_graph == g) g_graph = nullptr;
      delete g;
      return DefWindowProcW(window, message, wParam, lParam);
    default:
      break;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

bool RegisterGraphClass() {
  WNDCLASSEXW existing{};
  existing.cbSize = sizeof existing;
  if (GetClassInfoExW(ViewResourceInstance(), GraphClass, &existing)) return true;
  WNDCLASSEXW c{};
  c.cbSize = sizeof c;
  c.style = CS_DBLCLKS | CS_HREDRAW | CS_VREDRAW;
  c.lpfnWndProc = GraphProc;
  c.hInstance = ViewResourceInstance();
  c.hIcon = LoadIconForDpi(ViewResourceInstance(), IDI_APP, false, WindowDpi(nullptr));
  c.hIconSm = LoadIconForDpi(ViewResourceInstance(), IDI_APP, true, WindowDpi(nullptr));
  c.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  c.lpszClassName = GraphClass;
  return RegisterClassExW(&c) != 0;
}

}  // namespace

HWND OpenGraphWindow(HWND summary) {
  if (g_graph) {
    if (IsIconic(g_graph->window)) ShowWindow(g_graph->window, SW_RESTORE);
    ShowWindow(g_graph->window, SW_SHOW);
    SetForegroundWindow(g_graph->window);
    return g_graph->window;
  }
  if (!RegisterGraphClass()) return nullptr;
  int x = ReadSettingInt(PlaceSection, L"X", INT_MIN), y = ReadSettingInt(PlaceSection, L"Y", INT_MIN);
  int width = ReadSettingInt(PlaceSection, L"Width", INT_MIN), height = ReadSettingInt(PlaceSection, L"Height", INT_MIN);
  if (width == INT_MIN || height == INT_MIN || width <= 0 || height <= 0) {
    width = DefaultSize.cx;
    height = DefaultSize.cy;
  }
  // The size is kept at 96 DPI; the window opens where the summary is, as a rule.
  UINT dpi = WindowDpi(summary);
  width = ScaleForDpi(width, dpi);
  height = ScaleForDpi(height, dpi);
  if (x == INT_MIN || y == INT_MIN) {
    x = y = CW_USEDEFAULT;
  } else {
    // As the summary does: a place on a monitor that has gone would leave the window out of reach.
    POINT at = ReachablePosition(RECT{x, y, x + width, y + height});
    x = at.x;
    y = at.y;
  }
  auto* state = new GraphState;
  state->summary = summary;
  g_graph = state;
  // Owned by the hidden main window, not by the summary: a profile switch closes the summary's windows,
  // and this one follows the switch instead.
  HWND window = CreateWindowExW(WS_EX_APPWINDOW, GraphClass, GraphTitle, WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, x, y,
                                width, height, g_app.mainWindow, nullptr, ViewResourceInstance(), state);
  if (!window) {
    // A window that failed in WM_CREATE has freed its state on WM_NCDESTROY; one never made has not.
    if (g_graph == state) delete state;
    g_graph = nullptr;
    return nullptr;
  }
  ShowWindow(window, SW_SHOW);
  SetForegroundWindow(window);
  return window;
}

HWND GraphWindow() { return g_graph ? g_graph->window : nullptr; }

void RefreshGraphWindow() {
  if (g_graph && g_graph->window) Recompute(*g_graph, false);
}

bool CopyGraphPicture(HWND graph) {
  HBITMAP picture = RenderPicture(graph);
  if (!picture) return false;
  bool copied = CopyPictureToClipboard(graph, picture);
  DeleteObject(picture);
  return copied;
}

GraphText GraphGridText(int own, int opponent) {
  if (!g_graph || own < 0 || own >= 14 || opponent < 0 || opponent >= 14) return {};
  HDC dc = GetDC(g_graph->window);
  GraphText text = CellText(dc, *g_graph, LayOutWindow(*g_graph), own, opponent);
  ReleaseDC(g_graph->window, dc);
  return text;
}

GraphText GraphGridHeader(int character, bool column) {
  if (!g_graph || character < 0 || character >= 14) return {};
  return HeaderText(*g_graph, LayOutWindow(*g_graph), character, column);
}

bool SaveGraphPicture(HWND graph, const std::wstring& path) {
  HBITMAP picture = RenderPicture(graph);
  if (!picture) return false;
  bool saved = SavePictureAsPng(picture, path);
  DeleteObject(picture);
  return saved;
}
