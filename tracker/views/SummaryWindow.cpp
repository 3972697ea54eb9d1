// Bare dialog until the summary's table arrives: it hides on close like the real one.
#include "SummaryWindow.h"

INT_PTR CALLBACK SummaryDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  if (message == WM_INITDIALOG) return TRUE;
  if (message == WM_SYSCOMMAND && (wParam & 0xFFF0) == SC_CLOSE) {
    ShowWindow(dialog, SW_HIDE);
    SetWindowLongPtrW(dialog, DWLP_MSGRESULT, 0);
    return TRUE;
  }
  return FALSE;
}
