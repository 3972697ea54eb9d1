// The tracker's view of MirrowAddr.dll: four entry points, set once at start-up.
// Tests put a scripted fake behind the same pointers.
#pragma once
#include "MirrowAddrContract.h"

struct ProbeBinding {
  HMODULE library;
  MirrowAddrStartupFn startup;
  MirrowAddrCleanupFn cleanup;
  MirrowAddrGetStateFn getState;
  MirrowAddrGetParamFn getParam;
};

extern ProbeBinding g_probe;

bool BindProbe(HWND mainWindow);
