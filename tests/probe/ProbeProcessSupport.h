// Equipment for tests that run the probe across real processes: the stand-in game, a loaded copy of
// the probe, a window that records notifications, and children of the test program.
#pragma once
#include <windows.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "MirrowAddrContract.h"
#include "ProbeInternal.h"
#include "TestSupport.h"

std::wstring StandinGamePath();
std::wstring ShippedProbePath();
std::wstring TestProbePath();

// The stand-in game, stepped by control messages through a scenario.
class StandinGame {
 public:
  ~StandinGame() { Stop(); }
  // Writes the scenario into `folder` and starts the game (with more arguments, say "--fast"); true once its
  // main window is up.
  bool Start(const std::wstring& folder, const std::string& scenario, const std::wstring& arguments = L"");
  // Applies the next event; returns the number applied so far.
  int Step();
  void Stop();
  HWND Window() const { return window_; }
  DWORD Id() const { return process_.Id(); }
  DWORD WaitExit(DWORD timeoutMs = 30000) { return process_.WaitExit(timeoutMs); }

 private:
  ChildProcess process_;
  HWND window_ = nullptr;
  bool running_ = false;
};

// A copy of the test build of the probe in a folder of its own, loaded into this process.
class TestProbe {
 public:
  explicit TestProbe(const std::wstring& folder, const std::wstring& source = TestProbePath());
  ~TestProbe();
  bool Loaded() const { return module_ != nullptr; }
  std::wstring Path() const { return path_; }

  MirrowAddrStartupFn Startup = nullptr;
  MirrowAddrCleanupFn Cleanup = nullptr;
  MirrowAddrGetStateFn GetState = nullptr;
  MirrowAddrGetParamFn GetParam = nullptr;
  int (*Install)() = nullptr;
  int (*Query)(const char* path, DWORD* type, DWORD* value) = nullptr;
  int (*FetchString)(DWORD address, char* text) = nullptr;
  HHOOK (*SharedHook)() = nullptr;
  void (*Counters)(ProbeCounters* counters) = nullptr;
  int (*WindowSettings)(wchar_t* windowClass, wchar_t* caption) = nullptr;
  int (*AddressSetting)(DWORD* coreBase) = nullptr;
  int (*RequestFault)(int withoutFolder) = nullptr;
  void (*LastRequestCost)(LONGLONG* ticks, LONG* walkerReads, LONG* systemReads) = nullptr;
  void (*BypassPageCache)(int bypass) = nullptr;
  int (*ReadMatchStep)(ScriptSnapshot* snapshot) = nullptr;

  ProbeCounters Count() const;
  // The text behind a name result of GetParam.
  static std::string Text(int result) { return std::string(reinterpret_cast<const char*>((intptr_t)result)); }

 private:
  std::wstring path_;
  HMODULE module_ = nullptr;
};

// A hidden window that records the probe's notifications.
class NotificationRecorder {
 public:
  NotificationRecorder();
  ~NotificationRecorder();
  HWND Window() const { return window_; }
  const std::vector<std::pair<WPARAM, LPARAM>>& Seen() const { return seen_; }
  // Pumps until `count` notifications have arrived in all.
  bool WaitFor(size_t count, DWORD timeoutMs = 15000);
  void Record(WPARAM wParam, LPARAM lParam) {
    seen_.push_back({wParam, lParam});
    if (onNotify) onNotify(wParam, lParam);
  }
  // Runs inside the handling of each notification, as the tracker's capture does.
  std::function<void(WPARAM, LPARAM)> onNotify;

 private:
  HWND window_ = nullptr;
  std::vector<std::pair<WPARAM, LPARAM>> seen_;
};

// The IPC windows of every process, found by their class.
std::vector<HWND> IpcWindows();
// True when a process has a module loaded from `path`.
bool ProcessHasModule(DWORD processId, const std::wstring& path);
// Runs one disabled test of this program in a child process; true when it ran and passed.
bool RunChildTest(const std::string& fullName, const std::wstring& environment = L"");
// Installs the test listener that lets a parent see that its child ran the test (see main()).
int ProbeTestMain(int argc, char** argv);
