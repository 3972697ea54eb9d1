// Sizes given for a 96-DPI screen, drawn at the DPI of the window's monitor.
#pragma once
#include <windows.h>

constexpr UINT BaseDpi = 96;

// The window's DPI (its monitor's, for a per-monitor aware program); the screen's where the system cannot tell.
UINT WindowDpi(HWND window);
// A size at 96 DPI, at `dpi`; and back.
inline int ScaleForDpi(int value, UINT dpi) { return MulDiv(value, (int)dpi, (int)BaseDpi); }
inline int UnscaleForDpi(int value, UINT dpi) { return MulDiv(value, (int)BaseDpi, (int)dpi); }
// GetSystemMetrics at `dpi`, where the system can tell.
int SystemMetricForDpi(int index, UINT dpi);
// An icon of the program at the size the system shows small (`small`) or large icons at `dpi`.
HICON LoadIconForDpi(HINSTANCE instance, int resourceId, bool small, UINT dpi);

// Inserts a list column whose width is given at 96 DPI, at the list's DPI, and remembers that DPI on the list.
void InsertScaledColumn(HWND list, int index, int format, int width96, const wchar_t* caption);
// For WM_DPICHANGED of a top-level window: takes the suggested rectangle and scales the columns of its lists
// to the new DPI (their widths, dragged or not, keep their size at 96 DPI).
// A dialog procedure returns FALSE after it, so that the dialog manager gives the controls their new font.
void FollowDpiChange(HWND window, WPARAM wParam, LPARAM lParam);
