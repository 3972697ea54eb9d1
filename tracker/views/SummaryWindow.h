// The summary window: dialog 101, created hidden at start-up, closed only by hiding.
#pragma once
#include <windows.h>

INT_PTR CALLBACK SummaryDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
