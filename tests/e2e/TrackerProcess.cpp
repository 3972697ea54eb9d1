#include "TrackerProcess.h"

#include <sqlite3.h>
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

bool ProgramFolderFixture::AddFrom(const std::wstring& folder, const wchar_t* name) {
  return CopyFileW((folder + L"\\" + name).c_str(), File(name).c_str(), FALSE) != FALSE;
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
  // The summary window is the last window the start-up creates.
  return WaitUntil([&] { return SummaryWindowOf(processId) != nullptr; }, timeoutMs) ? main : nullptr;
}

HWND SummaryWindowOf(DWORD processId) {
  // The first of the process's dialogs that holds the record list.
  WindowSearch search{processId, L"#32770", nullptr};
  EnumWindows(FindWindowOfProcess, reinterpret_cast<LPARAM>(&search));
  return search.found && FindWindowExW(search.found, nullptr, L"SysListView32", nullptr) ? search.found : nullptr;
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

std::string StoredRows(const std::wstring& database) {
  std::string rows;
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(Ascii(database).c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
    sqlite3_exec(
        db, "SELECT hex(p1name), p1id, p1win, hex(p2name), p2id, p2win FROM viziriduvozmirrow ORDER BY timestamp",
        [](void* out, int n, char** values, char**) {
          auto* text = static_cast<std::string*>(out);
          for (int i = 0; i < n; ++i) *text += std::string(i ? "|" : "") + (values[i] ? values[i] : "NULL");
          *text += "\n";
          return 0;
        },
        &rows, nullptr);
  }
  sqlite3_close(db);
  return rows;
}

std::string AutorunSettings(const ProgramFolderFixture& program) {
  return "[Autorun]\r\nGameProgram.Enabled=1\r\nGameProgram.FileName=" + Ascii(program.File(L"mirrow.exe")) +
         "\r\nReportTool.Enabled=1\r\nReportTool.FileName=" + Ascii(program.File(L"mirrow_report.exe")) + "\r\n";
}

std::string BuiltInEveningRows() {
  // Every played match of the evening, from the user's side (the watched one is not there).
  const std::string me = "837E83698367";
  return me + "|3|2|834A8351838D8345|7|1\n" +
         me + "|3|0|82B582B882AD8ADB|11|2\n" +
         me + "|3|2|8367834C838F|0|1\n" +
         me + "|5|1|83888343837D8360|12|2\n" +
         me + "|5|2|83638380834D|9|0\n" +
         me + "|5|1|6E6167695F32303236|13|2\n" +
         me + "|4|0|8352836E838B|8|2\n" +
         me + "|4|2|8386834C8356838D|6|1\n" +
         me + "|4|2|8341834A8363834C|10|0\n" +
         me + "|2|1|83718372834C|10|2\n" +
         me + "|4|2|834A8351838D8345|0|0\n" +
         me + "|4|1|834A8351838D8345|7|2\n";
}

int RequestsAnswered(HWND game) { return (int)SendMessageW(game, MirrowRequestCountMessage, 0, 0); }

bool WaitForPollBeforeMatch(HWND game) {
  int start = RequestsAnswered(game);
  return WaitUntil([&] { return RequestsAnswered(game) >= start + 2; }, 20000);
}

HWND StartGame(ChildProcess& game, const ProgramFolderFixture& program, const wchar_t* scenario) {
  if (!game.Start(program.File(L"mirrow.exe"), L"--scenario \"" + program.File(scenario) + L"\"", program.Path()))
    return nullptr;
  return WaitForProcessWindow(game.Id(), L"mirrow");
}

HWND StartTracker(ChildProcess& tracker, const ProgramFolderFixture& program) {
  if (!tracker.Start(program.File(L"Corvenka.exe"), L"", program.Path())) return nullptr;
  return WaitForTrackerStarted(tracker.Id());
}
