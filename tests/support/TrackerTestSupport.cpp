#include "TrackerTestSupport.h"

#include <atomic>
#include <cstring>
#include <thread>

#include "app/Tracker.h"
#include "shell/AppState.h"
#include "shell/MainWindow.h"
#include "shell/ProbeBinding.h"
#include "resources/resource.h"

MatchRecord Match(int64_t timestamp, const char* p1, int p1id, int p1win, const char* p2, int p2id, int p2win) {
  MatchRecord r;
  memset(&r, 0, sizeof r);
  r.timestamp = timestamp;
  strcpy(r.p1name, p1);
  r.p1id = p1id;
  r.p1win = p1win;
  strcpy(r.p2name, p2);
  r.p2id = p2id;
  r.p2win = p2win;
  return r;
}

bool LoopWithInput(const std::function<void()>& type, const std::function<bool()>& done, DWORD timeoutMs) {
  DWORD loopThread = GetCurrentThreadId();
  std::atomic<bool> held{false};
  std::thread input([&] {
    // Input given before the loop runs would wait in the queue all the same.
    type();
    held = WaitUntil(done, timeoutMs);
    PostThreadMessageW(loopThread, WM_QUIT, 0, 0);
  });
  RunMessageLoop();
  input.join();
  return held;
}

void PressKey(WORD vk, WORD modifier) {
  if (modifier) SendKey(modifier, false);
  SendKey(vk, false);
  SendKey(vk, true);
  if (modifier) SendKey(modifier, true);
}

HWND FocusOf(DWORD threadId) {
  GUITHREADINFO info{sizeof info};
  return GetGUIThreadInfo(threadId, &info) ? info.hwndFocus : nullptr;
}

std::string Ascii(const std::wstring& path) { return std::string(path.begin(), path.end()); }

bool ScriptedBind(HWND window) { return g_probe.startup(ProbeInterfaceVersion, window, ProbeNotifyMessage) != 0; }

void TrackerFixture::SetUp() {
  g_app = AppState();
  g_app.instance = GetModuleHandleW(nullptr);
  g_app.programDirectory = folder.Path();
  g_app.settingsPath = folder.File(L"Corvenka.ini");
  probe.Install();
  g_bindProbeStep = ScriptedBind;
  ASSERT_TRUE(RegisterMainWindowClass(g_app.instance));
}

void TrackerFixture::TearDown() {
  if (window && IsWindow(window)) DestroyWindow(window);
  DrainQuit();
}

void TrackerFixture::DrainQuit() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
  }
}

HWND TrackerFixture::Start() { return window = CreateTrackerWindow(GetModuleHandleW(nullptr)); }

int TrackerFixture::Exit() {
  SendMessageW(window, WM_COMMAND, IDM_EXIT, 0);
  EXPECT_FALSE(IsWindow(window));
  return RunMessageLoop();
}

void TrackerFixture::Settings(const std::string& text) { WriteWholeFile(g_app.settingsPath, text); }

std::wstring TrackerFixture::Raw(const wchar_t* section, const wchar_t* key) {
  wchar_t buffer[2048];
  GetPrivateProfileStringW(section, key, L"<none>", buffer, 2048, g_app.settingsPath.c_str());
  return buffer;
}
