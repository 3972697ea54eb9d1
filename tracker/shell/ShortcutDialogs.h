// The shortcut list dialog (112, modeless, at most one) and the key dialog (113, modal).
#pragma once
#include <windows.h>
#include <cstdint>

#include "shell/ProfileShortcuts.h"

// Set while the list dialog exists; the tray command opens it only when clear.
extern bool g_shortcutDialogOpen;

// Creation parameter: the main window. The dialog installs its rows on OK and clears the mark when it goes.
INT_PTR CALLBACK ShortcutListDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// True when a row of the list view carries this key (all 16 bits compared).
bool IsShortcutKeyTaken(HWND listView, uint16_t keyCode);

// Modal key dialog owned by `owner`. `editing` starts it with `shortcut`'s key and path, otherwise empty;
// keys already in `listView` are refused (except the edited row's own). On OK `shortcut` gets the new
// key and path and the result is true.
bool ShowShortcutKeyDialog(HWND owner, HWND listView, bool editing, ProfileShortcut& shortcut);
