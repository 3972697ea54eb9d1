#include "TrackerProcess.h"

#include <tlhelp32.h>

#include "MirrowControl.h"

namespace {
std::wstring BuildOutput(const wchar_t* name) {
  std::wstring root = ProgramFolder() + L"\\..\\..\\";
  std::wstring file = name;
  if (file == L"Corvenka.exe") return root + L"tracker\\" + file;
  if (file == L"MirrowAddr.dll") return root + L"probe\\" + file;
  return root + L"standin\\" + file;
}

struct WindowSearch {
  DWORD processId;
  const wchar_t* className;
  HWND found;
};

BOOL CALLBACK FindWindowOfProcess(HWND window, LPARAM param) {
  auto* search = reinterpret_cast<WindowSearch*>(param);
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  if (pid != search->processId) return TRUE;
  if (search->className ? ClassNameOf(window) == search->className : IsWindowVisible(window) != FALSE) {
    search->found = window;
    return FALSE;
  }
  return TRUE;
}
}  // namespace

bool ProgramFolderFixture::Add(const wchar_t* name) {
  return CopyFileW(BuildOutput(name).c_str(), File(name).c_str(), FALSE) != FALSE;
}

std::wstring ProgramFolderFixture::Setting(const wchar_t* section, const wchar_t* key) const {
  wchar_t buffer[2048];
  GetPrivateProfileStringW(section, key, L"<none>", buffer, 2048, File(L"Corvenka.ini").c_str());
  return buffer;
}

HWND WaitForProcessWindow(DWORD processId, const wchar_t* className, DWORD timeoutMs) {
  WindowSearch search{processId, className, nullptr};
  WaitUntil(
      [&] {
        EnumWindows(FindWindowOfProcess, reinterpret_cast<LPARAM>(&search));
        return search.found != nullptr;
      },
      timeoutMs);
  return search.found;
}

HWND WaitForTrackerStarted(DWORD processId, DWORD timeoutMs) {
  HWND main = WaitForProcessWindow(processId, L"ZodaZovazi", timeoutMs);
  if (!main) return nullptr;
  // The summary window is the last window the start-up creates; it holds the record list.
  WindowSearch search{processId, L"#32770", nullptr};
  bool started = WaitUntil(
      [&] {
        search.found = nullptr;
        EnumWindows(FindWindowOfProcess, reinterpret_cast<LPARAM>(&search));
        return search.found && FindWindowExW(search.found, nullptr, L"SysListView32", nullptr);
      },
      timeoutMs);
  return started ? main : nullptr;
}

HWND VisibleWindowOf(DWORD processId) {
  WindowSearch search{processId, nullptr, nullptr};
  EnumWindows(FindWindowOfProcess, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

bool ProcessHasModule(DWORD processId, const wchar_t* moduleName) {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, processId);
  if (snapshot == INVALID_HANDLE_VALUE) return false;
  MODULEENTRY32W entry{};
  entry.dwSize = sizeof entry;
  bool found = false;
  for (BOOL more = Module32FirstW(snapshot, &entry); more && !found; more = Module32NextW(snapshot, &entry))
    found = lstrcmpiW(entry.szModule, moduleName) == 0;
  CloseHandle(snapshot);
  return found;
}

std::string Ascii(const std::wstring& text) { return std::string(text.begin(), text.end()); }

int RequestsAnswered(HWND game) { return (int)SendMessageW(game, MirrowRequestCountMessage, 0, 0); }

bool WaitForPollBeforeMatch(HWND game) {
  int start = RequestsAnswered(game);
  return WaitUntil([&] { return RequestsAnswered(game) >= start + 2; }, 20000);
}
