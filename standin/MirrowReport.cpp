// The stand-in report tool: records that it was started, nothing more.
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <string>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  std::wstring path;
  if (argc > 1) {
    path = argv[1];
  } else {
    wchar_t self[1024];
    DWORD n = GetModuleFileNameW(nullptr, self, 1024);
    if (!n || n >= 1024) return 1;
    path = self;
    path = path.substr(0, path.find_last_of(L'\\') + 1) + L"mirrow_report.log";
  }
  SYSTEMTIME now;
  GetLocalTime(&now);
  char line[128];
  int length = std::snprintf(line, sizeof line, "started %04u-%02u-%02u %02u:%02u:%02u.%03u pid %lu\r\n", now.wYear,
                             now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond, now.wMilliseconds,
                             GetCurrentProcessId());
  HANDLE file = CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 1;
  DWORD written = 0;
  BOOL ok = WriteFile(file, line, (DWORD)length, &written, nullptr);
  CloseHandle(file);
  return ok ? 0 : 1;
}
