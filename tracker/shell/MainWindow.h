// The hidden main window of class "ZodaZovazi": its creation is the start-up, its destruction the shut-down,
// and its procedure routes tray events, menu commands and the probe's notifications.
#pragma once
#include <windows.h>
#include <string>

constexpr wchar_t MainWindowClass[] = L"ZodaZovazi";

// What the top hands the main window at its creation: the windows above the shell that the start-up opens.
struct TrackerWindows {
  // The summary window, created hidden; null when it cannot be.
  HWND (*createSummary)(HINSTANCE instance);
};

// Program directory and settings file path from the executable's own path.
void LocateProgramFiles();
bool RegisterMainWindowClass(HINSTANCE instance);
// Null when the start-up failed.
HWND CreateMainWindow(HINSTANCE instance, const TrackerWindows& windows);
int RunMessageLoop();
LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The first step of the start-up; tests bind a scripted probe instead of the library.
extern bool (*g_bindProbeStep)(HWND mainWindow);

// "dir\name", without the MAX_PATH limit of the shell's path helpers.
std::wstring JoinPath(const std::wstring& directory, const wchar_t* name);
// The executable's folder, however long its path.
std::wstring ExecutableDirectory();
