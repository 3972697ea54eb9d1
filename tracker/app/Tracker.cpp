#include "app/Tracker.h"

#include <commctrl.h>

#include "resources/resource.h"
#include "shell/AppState.h"
#include "shell/MainWindow.h"
#include "views/SummaryWindow.h"
#include "views/ViewWindows.h"

namespace {
// The summary listens to the record first; the tray, the overlay and the graph after it.
HWND CreateSummaryWindow(HINSTANCE instance) {
  HWND summary = CreateDialogParamA(instance, MAKEINTRESOURCEA(IDD_SUMMARY), nullptr, SummaryDialogProc, 0);
  if (summary) ListenToRecordChanges();
  return summary;
}
}  // namespace

HWND CreateTrackerWindow(HINSTANCE instance) {
  static const TrackerWindows windows{CreateSummaryWindow};
  return CreateMainWindow(instance, windows);
}

int RunTracker(HINSTANCE instance) {
  g_app.instance = instance;
  LocateProgramFiles();
  INITCOMMONCONTROLSEX controls{sizeof controls,
                                ICC_LISTVIEW_CLASSES | ICC_UPDOWN_CLASS | ICC_HOTKEY_CLASS | ICC_DATE_CLASSES};
  InitCommonControlsEx(&controls);
  if (!RegisterMainWindowClass(instance)) return -1;
  if (!CreateTrackerWindow(instance)) return -1;
  return RunMessageLoop();
}
