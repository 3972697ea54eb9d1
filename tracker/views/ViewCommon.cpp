#include "views/ViewCommon.h"

#include <commctrl.h>

#include <algorithm>
#include <vector>

#include "common/Dpi.h"
#include "shell/AppState.h"
#include "store/RecordDatabase.h"
#include "store/RecordQueries.h"
#include "views/RecordTable.h"
#include "views/ViewWindows.h"
#include "shell/RecordEvents.h"
#include "shell/TrayMenu.h"
#include "views/GraphWindow.h"
#include "views/StreamOverlay.h"

HINSTANCE ViewResourceInstance() { return g_app.instance ? g_app.instance : GetModuleHandleW(nullptr); }

void AllowAnySize(LPARAM minMaxInfo) {
  auto* info = reinterpret_cast<MINMAXINFO*>(minMaxInfo);
  info->ptMinTrackSize.x = 0;
  info->ptMinTrackSize.y = 0;
}

INT_PTR DialogResult(HWND dialog, LRESULT result) {
  SetWindowLongPtrW(dialog, DWLP_MSGRESULT, result);
  return TRUE;
}

bool OnListWindowLayout(HWND window, HWND list, UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result) {
  switch (message) {
    case WM_SIZE:
      FillClientWithList(window, list);
      result = TRUE;
      return true;
    case WM_DPICHANGED:
      FollowDpiChange(window, wParam, lParam);
      result = FALSE;
      return true;
    case WM_GETMINMAXINFO:
      AllowAnySize(lParam);
      result = TRUE;
      return true;
  }
  return false;
}

namespace {
constexpr double RangeMilliseconds = 10;
constexpr int64_t FirstRangeWidth = 600000000LL * 10;  // ten minutes
}  // namespace

bool TimestampWalk::Start(const RecordFilter& base) {
  base_ = base;
  done_ = true;
  int64_t oldest, newest;
  if (!QueryTimestampRange(oldest, newest)) return false;
  high_ = (base.flags & FilterTo) && base.timestampTo < newest ? base.timestampTo : newest;
  low_ = (base.flags & FilterFrom) && base.timestampFrom > oldest ? base.timestampFrom : oldest;
  width_ = FirstRangeWidth;
  done_ = high_ < low_;
  return true;
}

bool TimestampWalk::Next(RecordFilter& range) {
  if (done_) return false;
  range = base_;
  range.flags |= FilterFrom | FilterTo;
  range.timestampTo = high_;
  // high_ >= low_, so their distance is exact as an unsigned number.
  bool reachesLow = (uint64_t)high_ - (uint64_t)low_ < (uint64_t)width_;
  range.timestampFrom = reachesLow ? low_ : high_ - width_ + 1;
  if (reachesLow) done_ = true;
  else high_ = range.timestampFrom - 1;
  return true;
}

void TimestampWalk::Took(double milliseconds) {
  double factor = milliseconds > RangeMilliseconds / 4 ? RangeMilliseconds / milliseconds : 4;
  if (factor < 0.25) factor = 0.25;
  double width = (double)width_ * factor;
  width_ = width < 1 ? 1 : width > 4e18 ? (int64_t)4e18 : (int64_t)width;
}

double NowMilliseconds() {
  static LARGE_INTEGER frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER t;
  QueryPerformanceCounter(&t);
  return (double)t.QuadPart * 1000.0 / (double)frequency.QuadPart;
}

ListSelection TakeSelection(HWND list) {
  ListSelection selection;
  int count = (int)SendMessageW(list, LVM_GETITEMCOUNT, 0, 0);
  int selectedCount = (int)SendMessageW(list, LVM_GETSELECTEDCOUNT, 0, 0);
  selection.all = count > 0 && selectedCount == count;
  // Each search walks the whole list: only when there is something to find.
  if (!selection.all && selectedCount > 0)
    for (int i = -1; (i = (int)SendMessageW(list, LVM_GETNEXTITEM, i, LVNI_SELECTED)) >= 0;)
      selection.selected.push_back(i);
  selection.focused = (int)SendMessageW(list, LVM_GETNEXTITEM, (WPARAM)-1, LVNI_FOCUSED);
  selection.mark = (int)SendMessageW(list, LVM_GETSELECTIONMARK, 0, 0);
  return selection;
}

namespace {
void SetState(HWND list, int position, UINT state, UINT mask) {
  LVITEMW item{};
  item.stateMask = mask;
  item.state = state;
  SendMessageW(list, LVM_SETITEMSTATE, (WPARAM)position, (LPARAM)&item);
}
}  // namespace

void PutSelection(HWND list, const ListSelection& selection, int newCount, const std::function<int(int)>& to,
                  bool redrawAll) {
  // A change of every row's state costs a pass over the whole list; rows are cleared one by one.
  if (selection.all) SetState(list, -1, 0, LVIS_SELECTED);
  for (int position : selection.selected) SetState(list, position, 0, LVIS_SELECTED);
  if (selection.focused >= 0) SetState(list, selection.focused, 0, LVIS_FOCUSED);
  SendMessageW(list, LVM_SETITEMCOUNT, (WPARAM)newCount, LVSICF_NOINVALIDATEALL | LVSICF_NOSCROLL);
  auto put = [&](int position, UINT state) {
    int moved = position >= 0 ? to(position) : -1;
    if (moved >= 0) SetState(list, moved, state, state);
  };
  if (selection.all && newCount > 0 && to(0) >= 0) SetState(list, -1, LVIS_SELECTED, LVIS_SELECTED);
  for (int position : selection.selected) put(position, LVIS_SELECTED);
  put(selection.focused, LVIS_FOCUSED);
  int mark = selection.mark >= 0 ? to(selection.mark) : -1;
  SendMessageW(list, LVM_SETSELECTIONMARK, 0, mark >= 0 ? mark : -1);
  if (redrawAll) InvalidateRect(list, nullptr, FALSE);
}

HWND MakeOwnerDataList(HWND dialog, int id) {
  HWND old = GetDlgItem(dialog, id);
  if (!old) return nullptr;
  RECT rect;
  GetWindowRect(old, &rect);
  MapWindowPoints(nullptr, dialog, (POINT*)&rect, 2);
  DWORD style = (DWORD)GetWindowLongW(old, GWL_STYLE) | LVS_OWNERDATA;
  DWORD exStyle = (DWORD)GetWindowLongW(old, GWL_EXSTYLE);
  HFONT font = (HFONT)SendMessageW(old, WM_GETFONT, 0, 0);
  DestroyWindow(old);
  HWND list = CreateWindowExW(exStyle, WC_LISTVIEWW, L"", style, rect.left, rect.top, rect.right - rect.left,
                              rect.bottom - rect.top, dialog, (HMENU)(INT_PTR)id, GetModuleHandleW(nullptr), nullptr);
  if (list && font) SendMessageW(list, WM_SETFONT, (WPARAM)font, FALSE);
  return list;
}

void ScheduleTurn(HWND window, UINT message, UINT_PTR timer) {
  if (HIWORD(GetQueueStatus(QS_INPUT))) {
    SetTimer(window, timer, 0, nullptr);
    return;
  }
  if (HIWORD(GetQueueStatus(QS_PAINT))) RedrawWindow(window, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
  PostMessageW(window, message, 0, 0);
}

namespace {
const wchar_t* const FollowsProperty = L"VIEW.FOLLOWS";

BOOL CALLBACK PostRefresh(HWND window, LPARAM) {
  if (GetPropW(window, FollowsProperty)) PostMessageW(window, RefreshViewMessage, 0, 0);
  return TRUE;
}
}  // namespace

void FollowRecordChanges(HWND window) { SetPropW(window, FollowsProperty, (HANDLE)1); }

void StopFollowingRecordChanges(HWND window) { RemovePropW(window, FollowsProperty); }

void RefreshFollowingViews() { EnumThreadWindows(GetCurrentThreadId(), PostRefresh, 0); }

namespace {
// The tray's record of today follows every change the table shows, undo included.
void TrayTipListener(void*) { UpdateTrayTip(); }
void OverlayListener(void*) { UpdateStreamOverlay(); }
void GraphListener(void*) { RefreshGraphWindow(); }
}  // namespace

void ListenToRecordChanges() {
  AddRecordListener(TrayTipListener, nullptr);
  AddRecordListener(OverlayListener, nullptr);
  AddRecordListener(GraphListener, nullptr);
  DeliverRecordChanges();
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
  UINT dpi = WindowDpi(window);
  int step = SystemMetricForDpi(SM_CYCAPTION, dpi) + SystemMetricForDpi(SM_CYSIZEFRAME, dpi);
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

namespace {
const wchar_t NotCurrentMark[] = L"（最新ではありません）";
constexpr UINT_PTR RetryRefreshTimer = 0x5246;
constexpr UINT RetryRefreshMilliseconds = 3000;

void CALLBACK RetryRefresh(HWND window, UINT, UINT_PTR id, DWORD) {
  KillTimer(window, id);
  PostMessageW(window, RefreshViewMessage, 0, 0);
}
}  // namespace

void MarkViewCurrent(HWND window, bool current) {
  wchar_t text[512];
  int length = GetWindowTextW(window, text, ARRAYSIZE(text));
  std::wstring title(text, (size_t)(length > 0 ? length : 0));
  size_t mark = title.size() >= ARRAYSIZE(NotCurrentMark) - 1 ? title.size() - (ARRAYSIZE(NotCurrentMark) - 1) : 0;
  bool marked = title.size() >= ARRAYSIZE(NotCurrentMark) - 1 && title.compare(mark, std::wstring::npos, NotCurrentMark) == 0;
  if (current) {
    KillTimer(window, RetryRefreshTimer);
    if (marked) SetWindowTextW(window, title.substr(0, mark).c_str());
    return;
  }
  if (!marked) SetWindowTextW(window, (title + NotCurrentMark).c_str());
  SetTimer(window, RetryRefreshTimer, RetryRefreshMilliseconds, RetryRefresh);
}
