// Stands in for the user at the notification area: sends the tracker what the shell sends it when its icon is
// double-clicked, or picks an item of its menus, and reports what appeared.
//   tray_click open [ms]      double-click the icon; print "x y width height" of the summary window once shown
//   tray_click copy <file>    the summary window's "send to clipboard"; the table goes to <file> as UTF-8
//   tray_click exit [ms]      the tray menu's exit; waits for the tracker to end
//   tray_click graph [ms]     the summary window's "戦績グラフ"; print "x y width height" of the graph window once shown
// Exit code 0 when it worked, 1 when the tracker or its window did not answer in time, 2 for a bad command line.
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <string>

namespace {

// The tracker's fixed interface: its main window class, the tray notification and the commands.
constexpr wchar_t TrackerClass[] = L"ZodaZovazi";
constexpr UINT TrayNotify = WM_APP + 1;
constexpr UINT ExitCommand = 40004;
constexpr UINT CopyTableCommand = 0xE010;
constexpr UINT ShowGraphCommand = 0xE020;
constexpr wchar_t GraphClass[] = L"CorvenkaGraph";

struct Search {
  DWORD process;
  HWND found;
};

BOOL CALLBACK FindSummary(HWND window, LPARAM context) {
  auto* search = reinterpret_cast<Search*>(context);
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  wchar_t name[16];
  if (process == search->process && IsWindowVisible(window) && GetClassNameW(window, name, 16) &&
      lstrcmpW(name, L"#32770") == 0 && !GetWindow(window, GW_OWNER)) {
    wchar_t title[64];
    GetWindowTextW(window, title, 64);
    if (wcsncmp(title, L"Corvenka", 8) == 0) {
      search->found = window;
      return FALSE;
    }
  }
  return TRUE;
}

HWND WaitForTracker(DWORD bound) {
  for (DWORD waited = 0;; waited += 100) {
    if (HWND main = FindWindowW(TrackerClass, nullptr)) return main;
    if (waited >= bound) return nullptr;
    Sleep(100);
  }
}

HWND WaitForSummary(HWND main, DWORD bound) {
  Search search{0, nullptr};
  GetWindowThreadProcessId(main, &search.process);
  for (DWORD waited = 0;; waited += 100) {
    search.found = nullptr;
    EnumWindows(FindSummary, reinterpret_cast<LPARAM>(&search));
    if (search.found) return search.found;
    if (waited >= bound) return nullptr;
    Sleep(100);
  }
}

int Open(DWORD bound) {
  HWND main = WaitForTracker(bound);
  if (!main) return 1;
  PostMessageW(main, TrayNotify, 0, WM_LBUTTONDBLCLK);
  HWND summary = WaitForSummary(main, bound);
  if (!summary) return 1;
  // Let the tracker paint before anyone looks at the screen.
  DWORD_PTR ignored;
  SendMessageTimeoutW(summary, WM_NULL, 0, 0, SMTO_NORMAL, bound, &ignored);
  UpdateWindow(summary);
  RECT box;
  GetWindowRect(summary, &box);
  std::printf("%ld %ld %ld %ld\n", box.left, box.top, box.right - box.left, box.bottom - box.top);
  return 0;
}

int Copy(const wchar_t* file) {
  HWND main = WaitForTracker(0);
  HWND summary = main ? WaitForSummary(main, 0) : nullptr;
  if (!summary) return 1;
  DWORD_PTR ignored;
  if (!SendMessageTimeoutW(summary, WM_SYSCOMMAND, CopyTableCommand, 0, SMTO_NORMAL, 30000, &ignored)) return 1;
  if (!OpenClipboard(nullptr)) return 1;
  std::string text;
  if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
    if (auto* wide = static_cast<const wchar_t*>(GlobalLock(data))) {
      int size = WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
      if (size > 1) {
        text.resize(size);
        WideCharToMultiByte(CP_UTF8, 0, wide, -1, &text[0], size, nullptr, nullptr);
        text.resize(size - 1);
      }
      GlobalUnlock(data);
    }
  }
  CloseClipboard();
  if (text.empty()) return 1;
  HANDLE out = CreateFileW(file, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (out == INVALID_HANDLE_VALUE) return 1;
  DWORD written = 0;
  BOOL ok = WriteFile(out, text.data(), (DWORD)text.size(), &written, nullptr);
  CloseHandle(out);
  return ok && written == text.size() ? 0 : 1;
}

int Exit(DWORD bound) {
  HWND main = WaitForTracker(0);
  if (!main) return 1;
  DWORD id = 0;
  GetWindowThreadProcessId(main, &id);
  HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, id);
  PostMessageW(main, WM_COMMAND, MAKEWPARAM(ExitCommand, 0), 0);
  if (!process) return 0;
  DWORD waited = WaitForSingleObject(process, bound);
  CloseHandle(process);
  return waited == WAIT_OBJECT_0 ? 0 : 1;
}

int Graph(DWORD bound) {
  HWND main = WaitForTracker(0);
  HWND summary = main ? WaitForSummary(main, 0) : nullptr;
  if (!summary) return 1;
  DWORD process = 0;
  GetWindowThreadProcessId(main, &process);
  // What choosing the item in the window menu sends.
  PostMessageW(summary, WM_SYSCOMMAND, ShowGraphCommand, 0);
  HWND graph = nullptr;
  for (DWORD waited = 0; !graph; waited += 100) {
    HWND found = FindWindowW(GraphClass, nullptr);
    DWORD owner = 0;
    if (found) GetWindowThreadProcessId(found, &owner);
    if (found && owner == process && IsWindowVisible(found)) graph = found;
    else if (waited >= bound) return 1;
    else Sleep(100);
  }
  DWORD_PTR ignored;
  SendMessageTimeoutW(graph, WM_NULL, 0, 0, SMTO_NORMAL, bound, &ignored);
  UpdateWindow(graph);
  RECT box;
  GetWindowRect(graph, &box);
  std::printf("%ld %ld %ld %ld\n", box.left, box.top, box.right - box.left, box.bottom - box.top);
  return 0;
}

}  // namespace

int wmain() {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (argc < 2) return 2;
  DWORD bound = argc > 2 ? (DWORD)_wtoi(argv[2]) : 30000;
  if (lstrcmpW(argv[1], L"open") == 0) return Open(bound);
  if (lstrcmpW(argv[1], L"exit") == 0) return Exit(bound);
  if (lstrcmpW(argv[1], L"graph") == 0) return Graph(bound);
  if (lstrcmpW(argv[1], L"copy") == 0 && argc > 2) return Copy(argv[2]);
  return 2;
}
