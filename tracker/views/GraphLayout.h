// Where the graph window puts things and the texts it writes, as plain functions of sizes and figures:
// nothing here needs a window.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>

#include "store/PlayStatistics.h"

// Cells with fewer matches than this are shown faded, their figures marked as indicative.
constexpr int FewMatches = 10;

struct GraphLayout {
  RECT top, trend, bars, grid, side;
  // The 14 x 14 cells of the grid: their first corner and size.
  POINT cellsAt;
  int cellWidth, cellHeight;
};
// The parts of a client area at `dpi`; the headers of the grid get the room given.
GraphLayout LayOut(const RECT& client, int labelWidth, int headerHeight, UINT dpi);
RECT CellRect(const GraphLayout& l, int own, int opponent);
// Grid cell under a client point: own * 14 + opponent, or -1.
int CellAt(const GraphLayout& l, POINT p);

// Rates (per mille) up, points along.
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

// A text as the window writes it: its font, the room along the text and across it.
struct GraphText {
  std::wstring text;
  HFONT font = nullptr;
  int room = 0, across = 0;
};

// Diverging from white at 50%, faded over few matches; a cell without matches is grey.
COLORREF RateColour(int wins, int losses);

// Over more than a year (`years`) the marks name months, else days.
std::wstring DayText(int64_t timestamp, bool years);
std::wstring StartText(int64_t timestamp);
std::wstring LengthText(const PlaySession& session);
std::wstring RecordText(int wins, int losses);
