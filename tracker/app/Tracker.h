// The top of the tracker: the views handed to the shell's main window, and the run of the process.
#pragma once
#include <windows.h>

// The main window, which starts the tracker up with its views; null when the start-up failed.
HWND CreateTrackerWindow(HINSTANCE instance);
// The whole run of the process: paths, common controls, the main window, the message loop.
// -1 when the main window could not be created, else the loop's result.
int RunTracker(HINSTANCE instance);
