// Process entry of Corvenka.exe: everything runs inside the hidden main window and its message loop.
#include <windows.h>

#include "app/Tracker.h"
#include "shell/AppState.h"
#include "shell/MainWindow.h"

namespace {
// One tracker per session: two would store every match twice and save their settings over each other. The
// system drops the mutex with the process, so a crashed tracker blocks no later start.
constexpr wchar_t InstanceMutexName[] = L"Local\\CorvenkaInstanceMutex";

// The running tracker may still be starting: its window is waited for, then it shows its summary as for a
// double click on its icon. This process was just started by the user, so it may hand the foreground on.
void ShowRunningTracker() {
  for (int i = 0; i < 100; ++i) {
    HWND running = FindWindowW(MainWindowClass, nullptr);
    if (running) {
      DWORD processId = 0;
      GetWindowThreadProcessId(running, &processId);
      AllowSetForegroundWindow(processId);
      PostMessageW(running, TrayNotifyMessage, 0, WM_LBUTTONDBLCLK);
      return;
    }
    Sleep(100);
  }
}
}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  HANDLE instance = CreateMutexW(nullptr, FALSE, InstanceMutexName);
  if (instance && GetLastError() == ERROR_ALREADY_EXISTS) {
    ShowRunningTracker();
    return 0;
  }
  // Kept until the process ends.
  (void)instance;
  return RunTracker(GetModuleHandleW(nullptr));
}
