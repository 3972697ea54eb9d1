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

void AllowAnySize(LPARAM minMaxInfo) {
  auto* info = reinterpret_cast<MINMAXINFO*>(minMaxInfo);
  info->ptMinTrackSize.x = 0;
  info->ptMinTrackSize.y = 0;
}

INT_PTR DialogResult(HWND dialog, LRESULT result) {
  SetWindowLongPtrW(dialog, DWLP_MSGRESULT, result);
  return TRUE;
}
