// The shortcut list dialog (112, modeless, at most one) and the key dialog (113, modal).
#pragma once
#include <windows.h>

// Set while the list dialog exists; the tray command opens it only when clear.
extern bool g_shortcutDialogOpen;

INT_PTR CALLBACK ShortcutListDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
