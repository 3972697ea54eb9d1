// Placeholder until the shortcut dialogs arrive: the dialog closes at once.
#include "ShortcutDialogs.h"

bool g_shortcutDialogOpen = false;

INT_PTR CALLBACK ShortcutListDialogProc(HWND dialog, UINT message, WPARAM, LPARAM) {
  if (message == WM_INITDIALOG) {
    PostMessageW(dialog, WM_CLOSE, 0, 0);
    return TRUE;
  }
  if (message == WM_CLOSE) {
    DestroyWindow(dialog);
    return TRUE;
  }
  if (message == WM_DESTROY) g_shortcutDialogOpen = false;
  return FALSE;
}
