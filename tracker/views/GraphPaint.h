// The graph's painters: the whole picture drawn into any DC, the window's kept frame or a picture to save.
#pragma once
#include <windows.h>

#include <map>
#include <string>
#include <utility>

#include "common/Dpi.h"
#include "store/PeriodPlay.h"
#include "views/GraphGdi.h"
#include "views/GraphLayout.h"

// Fonts and sizes at the window's DPI; the painters give sizes at 96 DPI and draw them through Px.
struct GraphLook {
  UINT dpi = BaseDpi;
  GdiObject<HFONT> font, smallFont, tinyFont;
  GdiObject<HFONT> columnFont;  // the small font turned upright, for the column headers
  int labelWidth = 64, headerHeight = 18;  // room for the longest full name
  // Texts measured in these fonts: a refresh after a capture changes one cell of 196.
  mutable std::map<std::pair<HFONT, std::wstring>, SIZE> extents;
  int Px(int value) const { return ScaleForDpi(value, dpi); }
  SIZE Measure(HDC dc, HFONT font, const std::wstring& text) const;
};

// What one picture is drawn from.
struct GraphScene {
  const GraphLook& look;
  const PeriodPlay& play;
  int span, character;
  bool failed;
  bool picture;  // on screen the two choices are controls; a picture writes them as text
  int Px(int value) const { return look.Px(value); }
};

void DrawGraph(HDC dc, const GraphScene& g, const RECT& client);
// The trend and the matches per day or week below it.
void DrawTrend(HDC dc, const GraphScene& g, const RECT& area, const RECT& bars);
// What a grid cell shows: its counts where they fit, in the small type or the tiny one, else its rate (the
// counts are in the tooltip), else nothing.
GraphText CellText(HDC dc, const GraphScene& g, const GraphLayout& l, int own, int opponent);
// Full names: the rows' at their left, the columns' turned upright above them.
GraphText HeaderText(const GraphScene& g, const GraphLayout& l, int character, bool column);
// The tooltip of a grid cell: its counts, rate and interval.
std::wstring CellTip(const PairingCell& cell, int own, int opponent);
// Fonts and header room for a window at `dpi`.
void MakeGraphLook(GraphLook& look, HWND window, UINT dpi);
// As the summary shows rates.
std::wstring RatePercent(int wins, int losses);
