#include "common/Dpi.h"

#include <commctrl.h>

namespace {

const wchar_t ListDpiProperty[] = L"DPI.LIST";

template <typename Function>
Function User32Function(const char* name) {
  return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), name)));
}

// Systems before Windows 10 have neither function; they run the program at one DPI for every window.
using GetDpiForWindowFunction = UINT(WINAPI*)(HWND);
using GetSystemMetricsForDpiFunction = int(WINAPI*)(int, UINT);

UINT ScreenDpi(HWND window) {
  HDC dc = GetDC(window);
  int dpi = dc ? GetDeviceCaps(dc, LOGPIXELSY) : 0;
  if (dc) ReleaseDC(window, dc);
  return dpi > 0 ? (UINT)dpi : BaseDpi;
}

BOOL CALLBACK RescaleListColumns(HWND child, LPARAM context) {
  wchar_t className[32] = {};
  GetClassNameW(child, className, 32);
  if (lstrcmpiW(className, WC_LISTVIEWW) != 0) return TRUE;
  UINT from = (UINT)(UINT_PTR)GetPropW(child, ListDpiProperty), to = (UINT)context;
  if (from == 0 || from == to) return TRUE;
  HWND header = (HWND)SendMessageW(child, LVM_GETHEADER, 0, 0);
  int count = header ? (int)SendMessageW(header, HDM_GETITEMCOUNT, 0, 0) : 0;
  for (int i = 0; i < count; ++i) {
    int width = (int)SendMessageW(child, LVM_GETCOLUMNWIDTH, i, 0);
    // Through 96 DPI, so that moves back and forth do not add up rounding.
    SendMessageW(child, LVM_SETCOLUMNWIDTH, i, MAKELPARAM(ScaleForDpi(UnscaleForDpi(width, from), to), 0));
  }
  SetPropW(child, ListDpiProperty, (HANDLE)(UINT_PTR)to);
  return TRUE;
}

}  // namespace

UINT WindowDpi(HWND window) {
  static const auto getDpiForWindow = User32Function<GetDpiForWindowFunction>("GetDpiForWindow");
  UINT dpi = getDpiForWindow && window ? getDpiForWindow(window) : 0;
  return dpi ? dpi : ScreenDpi(window);
}

int SystemMetricForDpi(int index, UINT dpi) {
  static const auto forDpi = User32Function<GetSystemMetricsForDpiFunction>("GetSystemMetricsForDpi");
  return forDpi ? forDpi(index, dpi) : GetSystemMetrics(index);
}

HICON LoadIconForDpi(HINSTANCE instance, int resourceId, bool small, UINT dpi) {
  int width = SystemMetricForDpi(small ? SM_CXSMICON : SM_CXICON, dpi);
  int height = SystemMetricForDpi(small ? SM_CYSMICON : SM_CYICON, dpi);
  return (HICON)LoadImageW(instance, MAKEINTRESOURCEW(resourceId), IMAGE_ICON, width, height, LR_SHARED);
}

void InsertScaledColumn(HWND list, int index, int format, int width96, const wchar_t* caption) {
  UINT dpi = WindowDpi(list);
  LVCOLUMNW column{};
  column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT;
  column.fmt = format;
  column.cx = ScaleForDpi(width96, dpi);
  column.pszText = const_cast<wchar_t*>(caption);
  SendMessageW(list, LVM_INSERTCOLUMNW, index, (LPARAM)&column);
  SetPropW(list, ListDpiProperty, (HANDLE)(UINT_PTR)dpi);
}

void FollowDpiChange(HWND window, WPARAM wParam, LPARAM lParam) {
  const RECT* suggested = reinterpret_cast<const RECT*>(lParam);
  EnumChildWindows(window, RescaleListColumns, (LPARAM)HIWORD(wParam));
  SetWindowPos(window, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
               suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
}
