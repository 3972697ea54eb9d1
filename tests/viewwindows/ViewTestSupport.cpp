#include "ViewTestSupport.h"

#include <gtest/gtest.h>

#include "shell/AppState.h"
#include "store/RecordDatabase.h"

ScratchProfile::ScratchProfile() {
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES | ICC_DATE_CLASSES | ICC_UPDOWN_CLASS |
                                                     ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);
  g_app.instance = GetModuleHandleW(nullptr);
  g_app.settingsPath = folder.File(L"Corvenka.ini");
  path_ = folder.File(L"profile.db");
  SetDatabasePath(path_);
  OpenRecordDatabase();
}

ScratchProfile::~ScratchProfile() { CloseRecordDatabase(); }

int64_t At(int year, int month, int day, int hour, int minute, int second, int ms) {
  SYSTEMTIME t{};
  t.wYear = (WORD)year;
  t.wMonth = (WORD)month;
  t.wDay = (WORD)day;
  t.wHour = (WORD)hour;
  t.wMinute = (WORD)minute;
  t.wSecond = (WORD)second;
  t.wMilliseconds = (WORD)ms;
  FILETIME f;
  SystemTimeToFileTime(&t, &f);
  return (int64_t)(((uint64_t)f.dwHighDateTime << 32) | f.dwLowDateTime);
}

void Store(const MatchRecord& record) {
  BeginTransaction();
  bool ok = InsertMatchRecord(record);
  EndTransaction(!ok);
}

LPARAM ItemData(HWND list, int row) {
  LVITEMW item{};
  item.mask = LVIF_PARAM;
  item.iItem = row;
  SendMessageW(list, LVM_GETITEMW, 0, (LPARAM)&item);
  return item.lParam;
}

std::vector<std::wstring> Headers(HWND list) {
  std::vector<std::wstring> out;
  for (int i = 0;; ++i) {
    wchar_t buffer[256];
    buffer[0] = 0;
    LVCOLUMNW column{};
    column.mask = LVCF_TEXT;
    column.pszText = buffer;
    column.cchTextMax = 256;
    if (!SendMessageW(list, LVM_GETCOLUMNW, i, (LPARAM)&column)) break;
    out.push_back(buffer);
  }
  return out;
}

namespace {
struct OwnedSearch {
  HWND owner;
  const wchar_t* caption;
  std::vector<HWND> found;
};
BOOL CALLBACK CollectOwned(HWND window, LPARAM param) {
  auto* search = reinterpret_cast<OwnedSearch*>(param);
  if (GetWindow(window, GW_OWNER) == search->owner &&
      (!search->caption || WindowText(window) == search->caption))
    search->found.push_back(window);
  return TRUE;
}
}  // namespace

std::vector<HWND> OwnedWindows(HWND owner, const wchar_t* caption) {
  OwnedSearch search{owner, caption, {}};
  EnumThreadWindows(GetCurrentThreadId(), CollectOwned, (LPARAM)&search);
  return search.found;
}

HWND MakeOwnerWindow() {
  return CreateWindowExW(0, L"STATIC", L"owner", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
}

COLORREF RowBackground(HWND dialog, int listId, int row) {
  HWND list = GetDlgItem(dialog, listId);
  NMLVCUSTOMDRAW draw{};
  draw.nmcd.hdr.hwndFrom = list;
  draw.nmcd.hdr.idFrom = listId;
  draw.nmcd.hdr.code = NM_CUSTOMDRAW;
  draw.nmcd.dwDrawStage = CDDS_PREPAINT;
  SendMessageW(dialog, WM_NOTIFY, listId, (LPARAM)&draw);
  if (GetWindowLongPtrW(dialog, DWLP_MSGRESULT) != CDRF_NOTIFYITEMDRAW) return CLR_INVALID;
  draw.nmcd.dwDrawStage = CDDS_ITEMPREPAINT;
  draw.nmcd.dwItemSpec = row;
  draw.nmcd.lItemlParam = ItemData(list, row);
  draw.clrTextBk = CLR_DEFAULT;
  SendMessageW(dialog, WM_NOTIFY, listId, (LPARAM)&draw);
  return draw.clrTextBk;
}

std::wstring AnswerWarning(HWND except, UINT* icon, HWND* owner) {
  std::wstring text = L"<no message box>";
  HWND found = nullptr;
  DialogDriver driver([except](HWND box) { return box != except && GetDlgItem(box, 0xFFFF) != nullptr; },
                      [&](HWND box) {
                        found = box;
                        wchar_t buffer[1024];
                        buffer[0] = 0;
                        GetDlgItemTextW(box, 0xFFFF, buffer, 1024);
                        text = buffer;
                        if (owner) *owner = GetWindow(box, GW_OWNER);
                        if (icon) {
                          // The box's icon is its static control 0x440; compare it with the stock icons.
                          HICON shown = (HICON)SendDlgItemMessageW(box, 0x440, STM_GETICON, 0, 0);
                          *icon = shown == LoadIconW(nullptr, IDI_WARNING) ? MB_ICONWARNING
                                  : shown == LoadIconW(nullptr, IDI_ERROR) ? MB_ICONERROR
                                                                            : 0;
                        }
                        PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
                      });
  if (driver.Wait()) WaitUntil([&] { return !IsWindow(found); }, 10000);
  return text;
}

void MouseClicks(POINT screen, int clicks, bool right) {
  int width = GetSystemMetrics(SM_CXSCREEN), height = GetSystemMetrics(SM_CYSCREEN);
  INPUT move{};
  move.type = INPUT_MOUSE;
  move.mi.dx = (screen.x * 65535 + width / 2) / (width - 1);
  move.mi.dy = (screen.y * 65535 + height / 2) / (height - 1);
  move.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
  SendInput(1, &move, sizeof move);
  for (int i = 0; i < clicks; ++i) {
    INPUT press[2] = {};
    press[0].type = press[1].type = INPUT_MOUSE;
    press[0].mi.dwFlags = right ? MOUSEEVENTF_RIGHTDOWN : MOUSEEVENTF_LEFTDOWN;
    press[1].mi.dwFlags = right ? MOUSEEVENTF_RIGHTUP : MOUSEEVENTF_LEFTUP;
    SendInput(2, press, sizeof press[0]);
  }
}

POINT CellCentre(HWND list, int row, int column) {
  RECT cell{};
  cell.top = column;
  cell.left = LVIR_BOUNDS;
  SendMessageW(list, LVM_GETSUBITEMRECT, row, (LPARAM)&cell);
  if (column == 0) {
    // Column 0's sub-item rectangle is the whole row; take the header's first column instead.
    RECT header{};
    SendMessageW((HWND)SendMessageW(list, LVM_GETHEADER, 0, 0), HDM_GETITEMRECT, 0, (LPARAM)&header);
    cell.left = header.left;
    cell.right = header.right;
  }
  POINT centre{(cell.left + cell.right) / 2, (cell.top + cell.bottom) / 2};
  ClientToScreen(list, &centre);
  return centre;
}

void Foreground(HWND window) {
  ShowWindow(window, SW_SHOW);
  SetForegroundWindow(window);
  SetActiveWindow(window);
  PumpUntil([window] { return GetForegroundWindow() == window; }, 5000);
}

NotificationCounter* NotificationCounter::current_ = nullptr;

NotificationCounter::NotificationCounter(UINT code) : code_(code) {
  current_ = this;
  hook_ = SetWindowsHookExW(WH_CALLWNDPROC, Watch, nullptr, GetCurrentThreadId());
}

NotificationCounter::~NotificationCounter() {
  UnhookWindowsHookEx(hook_);
  current_ = nullptr;
}

LRESULT CALLBACK NotificationCounter::Watch(int code, WPARAM wParam, LPARAM lParam) {
  auto* call = reinterpret_cast<CWPSTRUCT*>(lParam);
  if (code == HC_ACTION && current_ && call->message == WM_NOTIFY &&
      reinterpret_cast<NMHDR*>(call->lParam)->code == current_->code_)
    ++current_->count_;
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

bool NotificationCounter::WaitPast(int before) {
  return PumpUntil([this, before] { return count_ > before; });
}

void SystemCommand(HWND window, UINT command) { SendMessageW(window, WM_SYSCOMMAND, command, 0); }

void ClickHeader(HWND list, int column) {
  static int clicked = 0;
  HWND header = (HWND)SendMessageW(list, LVM_GETHEADER, 0, 0);
  RECT item{};
  SendMessageW(header, HDM_GETITEMRECT, column, (LPARAM)&item);
  POINT spot{(item.left + item.right) / 2 + (clicked++ % 2) * 3 * GetSystemMetrics(SM_CXDOUBLECLK),
             (item.top + item.bottom) / 2};
  ClientToScreen(header, &spot);
  NotificationCounter clicks(LVN_COLUMNCLICK);
  MouseClicks(spot, 1);
  EXPECT_TRUE(clicks.WaitPast(0)) << "header click on column " << column;
}
