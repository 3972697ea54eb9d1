#include "ProbeProcessSupport.h"

#include <gtest/gtest.h>
#include <shlwapi.h>
#include <tlhelp32.h>

#include <cstdio>
#include <cstring>

namespace {
std::wstring BuildFolder() { return ProgramFolder() + L"\\..\\.."; }

std::wstring FullPath(const std::wstring& path) {
  wchar_t full[1024];
  DWORD n = GetFullPathNameW(path.c_str(), 1024, full, nullptr);
  return n && n < 1024 ? full : path;
}

struct FindGameContext {
  DWORD processId;
  HWND found;
};

BOOL CALLBACK FindGameProc(HWND window, LPARAM param) {
  auto* context = reinterpret_cast<FindGameContext*>(param);
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  if (pid == context->processId && ClassNameOf(window) == L"mirrow") {
    context->found = window;
    return FALSE;
  }
  return TRUE;
}

BOOL CALLBACK CollectIpcProc(HWND window, LPARAM param) {
  if (ClassNameOf(window) == L"MirrowAddrIPCWndClass") reinterpret_cast<std::vector<HWND>*>(param)->push_back(window);
  return TRUE;
}

LRESULT CALLBACK RecorderProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == ProbeNotifyMessage) {
    auto* recorder = reinterpret_cast<NotificationRecorder*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (recorder) recorder->Record(wParam, lParam);
    return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}
}  // namespace

std::wstring StandinGamePath() { return FullPath(BuildFolder() + L"\\standin\\mirrow.exe"); }
std::wstring ShippedProbePath() { return FullPath(BuildFolder() + L"\\probe\\MirrowAddr.dll"); }
std::wstring TestProbePath() { return FullPath(BuildFolder() + L"\\tests\\probe\\MirrowAddrTestProbe.dll"); }

bool StandinGame::Start(const std::wstring& folder, const std::string& scenario, const std::wstring& arguments) {
  std::wstring file = folder + L"\\scenario.txt";
  WriteWholeFile(file, scenario);
  if (!process_.Start(StandinGamePath(), L"--scenario \"" + file + L"\" " + arguments)) return false;
  running_ = true;
  FindGameContext context{process_.Id(), nullptr};
  WaitUntil([&] {
    context.found = nullptr;
    EnumWindows(FindGameProc, reinterpret_cast<LPARAM>(&context));
    return context.found != nullptr || process_.WaitExit(0) != STILL_ACTIVE;
  }, 20000);
  window_ = context.found;
  return window_ != nullptr;
}

int StandinGame::Step() { return window_ ? (int)SendMessageW(window_, 0x8010, 0, 0) : -1; }

void StandinGame::Stop() {
  if (!running_) return;
  running_ = false;
  if (process_.WaitExit(0) == STILL_ACTIVE) {
    process_.Kill();
    process_.WaitExit(10000);
  }
  // The windows of an ended process go with it; wait so the next game is the only one.
  WaitUntil([&] { return !IsWindow(window_); }, 5000);
}

TestProbe::TestProbe(const std::wstring& folder, const std::wstring& source) {
  std::wstring name = PathFindFileNameW(source.c_str());
  path_ = folder + L"\\" + name;
  if (!CopyFileW(source.c_str(), path_.c_str(), FALSE)) return;
  module_ = LoadLibraryW(path_.c_str());
  if (!module_) return;
  auto get = [&](const char* export_name) { return GetProcAddress(module_, export_name); };
  Startup = reinterpret_cast<MirrowAddrStartupFn>(get("MirrowAddrStartup"));
  Cleanup = reinterpret_cast<MirrowAddrCleanupFn>(get("MirrowAddrCleanup"));
  GetState = reinterpret_cast<MirrowAddrGetStateFn>(get("MirrowAddrGetState"));
  GetParam = reinterpret_cast<MirrowAddrGetParamFn>(get("MirrowAddrGetParam"));
  Install = reinterpret_cast<int (*)()>(get("TestInstallProbe"));
  Query = reinterpret_cast<int (*)(const char*, DWORD*, DWORD*)>(get("TestQueryScriptPath"));
  FetchString = reinterpret_cast<int (*)(DWORD, char*)>(get("TestFetchScriptString"));
  SharedHook = reinterpret_cast<HHOOK (*)()>(get("TestSharedHookHandle"));
  Counters = reinterpret_cast<void (*)(ProbeCounters*)>(get("TestCounters"));
  WindowSettings = reinterpret_cast<int (*)(wchar_t*, wchar_t*)>(get("TestWindowSettings"));
  AddressSetting = reinterpret_cast<int (*)(DWORD*)>(get("TestAddressSetting"));
  RequestFault = reinterpret_cast<int (*)(int)>(get("TestRequestFault"));
  LastRequestCost = reinterpret_cast<void (*)(LONGLONG*, LONG*, LONG*)>(get("TestLastRequestCost"));
  BypassPageCache = reinterpret_cast<void (*)(int)>(get("TestBypassPageCache"));
  ReadMatchStep = reinterpret_cast<int (*)(ScriptSnapshot*)>(get("TestReadMatchStep"));
}

TestProbe::~TestProbe() {
  if (module_) FreeLibrary(module_);
}

ProbeCounters TestProbe::Count() const {
  ProbeCounters counters{};
  if (Counters) Counters(&counters);
  return counters;
}

NotificationRecorder::NotificationRecorder() {
  WNDCLASSW wc{};
  wc.lpfnWndProc = RecorderProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = L"ProbeNotificationRecorder";
  RegisterClassW(&wc);
  window_ = CreateWindowW(L"ProbeNotificationRecorder", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                          GetModuleHandleW(nullptr), nullptr);
  SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

NotificationRecorder::~NotificationRecorder() {
  if (window_) DestroyWindow(window_);
}

bool NotificationRecorder::WaitFor(size_t count, DWORD timeoutMs) {
  return PumpUntil([&] { return seen_.size() >= count; }, timeoutMs);
}

std::vector<HWND> IpcWindows() {
  std::vector<HWND> windows;
  EnumWindows(CollectIpcProc, reinterpret_cast<LPARAM>(&windows));
  return windows;
}

bool ProcessHasModule(DWORD processId, const std::wstring& path) {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, processId);
  if (snapshot == INVALID_HANDLE_VALUE) return false;
  MODULEENTRY32W entry{};
  entry.dwSize = sizeof entry;
  bool found = false;
  for (BOOL more = Module32FirstW(snapshot, &entry); more && !found; more = Module32NextW(snapshot, &entry))
    found = lstrcmpiW(entry.szExePath, path.c_str()) == 0;
  CloseHandle(snapshot);
  return found;
}

namespace {
// Writes "<tests run> <tests failed>" to the file a parent named, so it can tell "passed" from "ran nothing".
class ChildReport : public testing::EmptyTestEventListener {
 public:
  explicit ChildReport(std::string path) : path_(std::move(path)) {}
  void OnTestProgramEnd(const testing::UnitTest& unit) override {
    FILE* file = std::fopen(path_.c_str(), "w");
    if (!file) return;
    std::fprintf(file, "%d %d", unit.test_to_run_count(), unit.failed_test_count());
    std::fclose(file);
  }

 private:
  std::string path_;
};
}  // namespace

bool RunChildTest(const std::string& fullName, const std::wstring& environment) {
  ScratchFolder folder;
  std::wstring report = folder.File(L"report.txt");
  wchar_t self[1024];
  GetModuleFileNameW(nullptr, self, 1024);
  std::wstring arguments = L"--gtest_also_run_disabled_tests --gtest_filter=" +
                           std::wstring(fullName.begin(), fullName.end()) + L" --child-report=\"" + report + L"\"";
  if (!environment.empty()) SetEnvironmentVariableW(L"PROBE_TEST_FOLDER", environment.c_str());
  ChildProcess child;
  bool started = child.Start(self, arguments);
  DWORD code = started ? child.WaitExit(180000) : STILL_ACTIVE;
  SetEnvironmentVariableW(L"PROBE_TEST_FOLDER", nullptr);
  std::string result = ReadWholeFile(report);
  EXPECT_EQ("1 0", result) << fullName << " (exit code " << code << ")";
  return code == 0 && result == "1 0";
}

int ProbeTestMain(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg.rfind("--child-report=", 0) == 0) {
      std::string path = arg.substr(15);
      if (path.size() >= 2 && path.front() == '"') path = path.substr(1, path.size() - 2);
      testing::UnitTest::GetInstance()->listeners().Append(new ChildReport(path));
    }
  }
  return RUN_ALL_TESTS();
}
