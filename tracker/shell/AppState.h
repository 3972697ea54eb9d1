// Process-wide state of the tracker; everything runs on its one GUI thread.
#pragma once
#include <windows.h>
#include <string>

enum CopyMode : int {
  CopyNone = 0,
  CopyOpponentName = 1,
  CopyAll = 2,
};

constexpr UINT TrayNotifyMessage = WM_APP + 1;      // 0x8001
constexpr UINT RefreshSummaryMessage = WM_APP + 2;  // 0x8002

struct AppState {
  HINSTANCE instance = nullptr;
  std::wstring programDirectory;
  std::wstring settingsPath;
  HWND mainWindow = nullptr;
  HWND summaryWindow = nullptr;
  HMENU popupMenu = nullptr;
  UINT taskbarCreatedMessage = 0;
  int copyMode = CopyNone;
  bool autoCountOff = false;  // "自動カウントしない": never saved
  bool highPrecision = false;
  bool colorization = false;
  bool autoAjustViewRect = true;
};

extern AppState g_app;
