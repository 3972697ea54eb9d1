// Placeholders until the opponent and detail windows arrive: nothing opens.
#include "ViewWindows.h"

HWND OpenOpponentProfileWindow(HWND, const RecordFilter*) { return nullptr; }
HWND OpenDetailWindow(HWND, RecordFilter* filter, int) {
  delete filter;
  return nullptr;
}
