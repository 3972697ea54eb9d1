#include "ViewCommon.h"

#include "shell/AppState.h"
#include "store/RecordDatabase.h"

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

void ShowChangeNotDone(HWND owner) {
  const wchar_t* text;
  switch (LastWriteFailure()) {
    case WriteFailureBusy: text = L"ほかのプログラムがプロファイルを使用中のため、戦績を変更できませんでした。"; break;
    case WriteFailureDuplicate: text = L"同じ時刻の戦績がすでにあるため、戦績を変更できませんでした。"; break;
    default: text = L"プロファイルに書き込めないため、戦績を変更できませんでした。"; break;
  }
  MessageBoxW(owner, text, nullptr, MB_ICONERROR | MB_OK);
}
