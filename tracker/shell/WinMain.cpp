// Process entry of Corvenka.exe: everything runs inside the hidden main window and its message loop.
#include <windows.h>

#include "MainWindow.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) { return RunTracker(GetModuleHandleW(nullptr)); }
