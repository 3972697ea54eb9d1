#include "FakeProbe.h"

#include "shell/ProbeBinding.h"

FakeProbe* FakeProbe::current = nullptr;

namespace {
char g_nameBuffer[256];

int WINAPI FakeStartup(int, HWND, UINT) { return ++FakeProbe::current->startups, 1; }
int WINAPI FakeCleanup() { return ++FakeProbe::current->cleanups, 0; }
int WINAPI FakeGetState() { return FakeProbe::current->state; }
int WINAPI FakeGetParam(int id) {
  FakeProbe* fake = FakeProbe::current;
  fake->calls.push_back(id);
  if (fake->onCall) fake->onCall(id);
  if (id == 7 || id == 8) {
    auto it = fake->names.find(id);
    if (it == fake->names.end()) return -1;
    // One buffer for both ids, overwritten by each request, as the library does.
    lstrcpynA(g_nameBuffer, it->second.c_str(), sizeof g_nameBuffer);
    return (int)(INT_PTR)g_nameBuffer;
  }
  auto it = fake->values.find(id);
  return it == fake->values.end() ? -1 : it->second;
}
}  // namespace

void FakeProbe::Install() {
  current = this;
  g_probe.library = nullptr;
  g_probe.startup = FakeStartup;
  g_probe.cleanup = FakeCleanup;
  g_probe.getState = FakeGetState;
  g_probe.getParam = FakeGetParam;
}
