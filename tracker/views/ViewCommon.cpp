#include "ViewCommon.h"

#include <algorithm>
#include <vector>

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

namespace {
struct ShowingSearch {
  RECT window;
  bool showing;
};

BOOL CALLBACK FindShowingArea(HMONITOR monitor, HDC, LPRECT, LPARAM context) {
  auto* search = reinterpret_cast<ShowingSearch*>(context);
  MONITORINFO info{sizeof info};
  RECT common;
  if (GetMonitorInfoW(monitor, &info) && IntersectRect(&common, &info.rcWork, &search->window)) {
    search->showing = true;
    return FALSE;
  }
  return TRUE;
}

RECT WorkAreaNearest(const RECT& window) {
  MONITORINFO info{sizeof info};
  if (GetMonitorInfoW(MonitorFromRect(&window, MONITOR_DEFAULTTONEAREST), &info)) return info.rcWork;
  RECT work{};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  return work;
}

struct Corners {
  HWND self;
  std::vector<POINT> taken;
};

BOOL CALLBACK CollectCorner(HWND window, LPARAM context) {
  auto* corners = reinterpret_cast<Corners*>(context);
  RECT rect;
  if (window != corners->self && IsWindowVisible(window) && GetWindowRect(window, &rect))
    corners->taken.push_back(POINT{rect.left, rect.top});
  return TRUE;
}
}  // namespace

POINT ReachablePosition(const RECT& window) {
  ShowingSearch search{window, false};
  EnumDisplayMonitors(nullptr, nullptr, FindShowingArea, (LPARAM)&search);
  POINT at{window.left, window.top};
  if (search.showing) return at;
  RECT work = WorkAreaNearest(window);
  at.x = std::max(work.left, std::min(at.x, work.right - (window.right - window.left)));
  at.y = std::max(work.top, std::min(at.y, work.bottom - (window.bottom - window.top)));
  return at;
}

void CascadeFromShownWindows(HWND window) {
  Corners corners{window, {}};
  EnumThreadWindows(GetCurrentThreadId(), CollectCorner, (LPARAM)&corners);
  RECT rect;
  if (!GetWindowRect(window, &rect)) return;
  RECT work = WorkAreaNearest(rect);
  LONG width = rect.right - rect.left, height = rect.bottom - rect.top;
  int step = GetSystemMetrics(SM_CYCAPTION) + GetSystemMetrics(SM_CYSIZEFRAME);
  POINT at{rect.left, rect.top};
  auto taken = [&](POINT p) {
    return std::any_of(corners.taken.begin(), corners.taken.end(),
                       [p](POINT t) { return t.x == p.x && t.y == p.y; });
  };
  for (int tries = 0; tries < 64 && taken(at); ++tries) {
    at.x += step;
    at.y += step;
    // Past the bottom or right edge the cascade goes on from the work area's top left corner.
    if (at.x + width > work.right || at.y + height > work.bottom) at = POINT{work.left, work.top};
  }
  if (at.x != rect.left || at.y != rect.top)
    SetWindowPos(window, nullptr, at.x, at.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
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
