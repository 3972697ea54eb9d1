#include "ViewCommon.h"

#include "shell/AppState.h"

HINSTANCE ViewResourceInstance() { return g_app.instance ? g_app.instance : GetModuleHandleW(nullptr); }

SYSTEMTIME TimestampToCalendar(int64_t timestamp) {
  FILETIME count;
  count.dwLowDateTime = (DWORD)(uint64_t)timestamp;
  count.dwHighDateTime = (DWORD)((uint64_t)timestamp >> 32);
  SYSTEMTIME time{};
  FileTimeToSystemTime(&count, &time);
  return time;
}

void FitListToClient(HWND dialog, int listId) {
  RECT client;
  GetClientRect(dialog, &client);
  SetWindowPos(GetDlgItem(dialog, listId), nullptr, 0, 0, client.right - client.left, client.bottom - client.top,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void AllowAnySize(LPARAM minMaxInfo) {
  auto* info = reinterpret_cast<MINMAXINFO*>(minMaxInfo);
  info->ptMinTrackSize.x = 0;
  info->ptMinTrackSize.y = 0;
}

INT_PTR DialogResult(HWND dialog, LRESULT result) {
  SetWindowLongPtrW(dialog, DWLP_MSGRESULT, result);
  return TRUE;
}
