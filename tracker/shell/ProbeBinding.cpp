#include "ProbeBinding.h"

#include "AppState.h"
#include "Settings.h"

ProbeBinding g_probe = {};

bool BindProbe(HWND mainWindow) {
  std::wstring path = ReadSettingText(L"Path", L"MirrowAddr", L"MirrowAddr.dll");
  if (path.size() > 1023) path.resize(1023);
  // Never unloaded, not even when binding fails half-way.
  HMODULE library = LoadLibraryW(path.c_str());
  if (!library) return false;
  g_probe.library = library;
  auto startup = reinterpret_cast<MirrowAddrStartupFn>(GetProcAddress(library, "MirrowAddrStartup"));
  auto cleanup = reinterpret_cast<MirrowAddrCleanupFn>(GetProcAddress(library, "MirrowAddrCleanup"));
  auto getParam = reinterpret_cast<MirrowAddrGetParamFn>(GetProcAddress(library, "MirrowAddrGetParam"));
  auto getState = reinterpret_cast<MirrowAddrGetStateFn>(GetProcAddress(library, "MirrowAddrGetState"));
  if (!startup || !cleanup || !getParam || !getState) return false;
  if (!startup(ProbeInterfaceVersion, mainWindow, ProbeNotifyMessage)) return false;
  // Only a started probe is ever called later, so the entries are kept only now.
  g_probe.startup = startup;
  g_probe.cleanup = cleanup;
  g_probe.getParam = getParam;
  g_probe.getState = getState;
  return true;
}
