// The windows and dialogs that the summary window (and each other) open.
#pragma once
#include <windows.h>
#include "store/RecordFilter.h"

// Modeless, dialog 115; null filter means no conditions. The window shows itself.
HWND OpenMatchHistoryWindow(HWND owner, const RecordFilter* filter);
// Modeless, dialog 101 with the opponent columns; the window keeps its own copy of the filter.
HWND OpenOpponentProfileWindow(HWND owner, const RecordFilter* filter);
// Modeless, dialog 101, owned by the summary window; takes ownership of `filter` (allocated with new).
// direction: the summary's direction at opening (1 own characters, 0 opponents' characters).
HWND OpenDetailWindow(HWND summary, RecordFilter* filter, int direction);
// Modal, dialog 109: IDOK after writing a complete new filter to `destination`, IDCANCEL leaving it alone.
INT_PTR ShowCustomFilterDialog(HWND owner, RecordFilter* destination);
// Modal, dialog 114: on OK opens a match history window owned by `owner`.
INT_PTR ShowHistoryFilterDialog(HWND owner);
