// Placeholders until the history, opponent, detail and filter windows arrive: nothing opens.
#include "ViewWindows.h"

HWND OpenMatchHistoryWindow(HWND, const RecordFilter*) { return nullptr; }
HWND OpenOpponentProfileWindow(HWND, const RecordFilter*) { return nullptr; }
HWND OpenDetailWindow(HWND, RecordFilter* filter, int) {
  delete filter;
  return nullptr;
}
INT_PTR ShowCustomFilterDialog(HWND, RecordFilter*) { return IDCANCEL; }
INT_PTR ShowHistoryFilterDialog(HWND) { return IDCANCEL; }
