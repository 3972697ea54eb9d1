// Small pieces the history, opponent profile, detail and filter windows share.
#pragma once
#include <windows.h>
#include <cstdint>
#include <string>

// The module whose resources hold the dialog templates: the program itself.
HINSTANCE ViewResourceInstance();
// A stored timestamp back to calendar time (local wall clock, no zone conversion).
SYSTEMTIME TimestampToCalendar(int64_t timestamp);
// For WM_GETMINMAXINFO: the views may be shrunk to nothing.
void AllowAnySize(LPARAM minMaxInfo);
// A dialog procedure's answer to a notification that needs a result.
INT_PTR DialogResult(HWND dialog, LRESULT result);
// Where a window of this rectangle can be reached: where it is when any part of it is on some monitor's work
// area, else moved into the nearest work area.
POINT ReachablePosition(const RECT& window);
// Moves a window being opened down and to the right while another shown window of this thread has its
// top left corner there, so that windows opened one after another do not hide each other; it stays within
// its work area.
void CascadeFromShownWindows(HWND window);
// Tells the user that a change by hand, an undo or a redo was not made, and why.
void ShowChangeNotDone(HWND owner);
