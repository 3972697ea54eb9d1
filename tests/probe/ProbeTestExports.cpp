// Extra entry points of the test build of the probe (MirrowAddrTestProbe.dll), so that tests can drive
// the installation and the requesters directly and see what crossed to the game.
#include <windows.h>

#include <cstring>

#include "ProbeInternal.h"

extern "C" {

__declspec(dllexport) int TestInstallProbe() { return LoadWindowSettings() && InstallProbe(); }

__declspec(dllexport) int TestQueryScriptPath(const char* path, DWORD* type, DWORD* value) {
  uint32_t t = 0, v = 0;
  if (!QueryScriptPath(path, &t, &v)) return 0;
  *type = t;
  *value = v;
  return 1;
}

__declspec(dllexport) int TestFetchScriptString(DWORD address, char* text) {
  if (!FetchScriptString(address)) return 0;
  std::memcpy(text, g_stringResult, sizeof g_stringResult);
  return 1;
}

__declspec(dllexport) HHOOK TestSharedHookHandle() { return SharedHookHandle(); }

__declspec(dllexport) void TestCounters(ProbeCounters* counters) {
  counters->requestsSent = g_probeCounters.requestsSent;
  counters->hooksSet = g_probeCounters.hooksSet;
  counters->hooksRemoved = g_probeCounters.hooksRemoved;
}

__declspec(dllexport) int TestWindowSettings(wchar_t* windowClass, wchar_t* caption) {
  if (!LoadWindowSettings()) return 0;
  lstrcpynW(windowClass, g_gameWindowClass, 256);
  lstrcpynW(caption, g_gameWindowCaption, 256);
  return 1;
}

__declspec(dllexport) int TestAddressSetting(DWORD* coreBase) {
  if (!LoadAddressSettings()) return 0;
  *coreBase = g_coreBase;
  return 1;
}

// Asks the game's copy to fault inside the crash guard, having lost its own folder first when asked to;
// returns what the request returned.
__declspec(dllexport) int TestRequestFault(int withoutFolder) {
  HWND window = FindIpcWindow();
  return window ? (int)SendMessageW(window, IpcTestFault, withoutFolder ? 1 : 0, 0) : -1;
}

__declspec(dllexport) void TestLastRequestCost(LONGLONG* ticks, LONG* walkerReads, LONG* systemReads) {
  LastRequestCost(ticks, walkerReads, systemReads);
}

__declspec(dllexport) void TestBypassPageCache(int bypass) { BypassPageCache(bypass != 0); }

__declspec(dllexport) int TestReadMatchStep(ScriptSnapshot* snapshot) { return ReadMatchStep(snapshot); }
}
