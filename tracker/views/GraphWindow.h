// "戦績グラフ": the trend, the matchup grid, the streaks and the sessions of the summary's period. One at a
// time, opened from the summary's window menu; it follows every refresh of the summary.
#pragma once
#include <windows.h>
#include <string>

#include "views/GraphLayout.h"

// Shows the open window, or creates it; null when it cannot be created.
HWND OpenGraphWindow(HWND summary);
// The open window, or null.
HWND GraphWindow();
// Recomputes the open window from the current period; nothing when none is open.
void RefreshGraphWindow();

// For tests that measure what the window shows (GraphText: the text, its font and its room):
// a grid cell's figures (own character down, opponent across); a row's (column false) or a column's header.
GraphText GraphGridText(int own, int opponent);
GraphText GraphGridHeader(int character, bool column);

// The window's picture, as it shows it, on the clipboard or in a PNG file.
bool CopyGraphPicture(HWND graph);
bool SaveGraphPicture(HWND graph, const std::wstring& path);
