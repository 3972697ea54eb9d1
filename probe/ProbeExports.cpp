// Placeholder exports until the worker arrives: every call reports failure.
#include "MirrowAddrContract.h"

extern "C" {
int WINAPI MirrowAddrStartup(int, HWND, UINT) { return 0; }
int WINAPI MirrowAddrCleanup() { return 0; }
int WINAPI MirrowAddrGetState() { return Detached; }
int WINAPI MirrowAddrGetParam(int) { return ProbeParamFailed; }
}
