// "戦績グラフ": the trend, the matchup grid, the streaks and the sessions of the summary's period. One at a
// time, opened from the summary's window menu; it follows every refresh of the summary.
#pragma once
#include <windows.h>
#include <string>

// Shows the open window, or creates it; null when it cannot be created.
HWND OpenGraphWindow(HWND summary);
// The open window, or null.
HWND GraphWindow();
// Recomputes the open window from the current period; nothing when none is open.
void RefreshGraphWindow();

// A text as the open window writes it: its font, the room along the text and across it. For tests that
// measure what the window shows.
struct GraphText {
  std::wstring text;
  HFONT font = nullptr;
  int room = 0, across = 0;
};
// A grid cell's figures (own character down, opponent across); a row's (column false) or a column's header.
GraphText GraphGridText(int own, int opponent);
GraphText GraphGridHeader(int character, bool column);

// The window's picture, as it shows it, on the clipboard or in a PNG file.
bool CopyGraphPicture(HWND graph);
bool SaveGraphPicture(HWND graph, const std::wstring& path);
