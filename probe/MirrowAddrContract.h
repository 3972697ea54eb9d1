// The interface between MirrowAddr.dll and the tracker: exports, states, parameter ids,
// and the coding of the notifications the worker posts.
#pragma once
#include <windows.h>

enum ProbeState : int {
  Detached = 0,
  Attached = 1,
  InMatch = 2,
};

enum ProbeParam : int {
  BattleState = 0,
  IsClient = 1,
  Side1Character = 2,
  Side2Character = 3,
  Side1Wins = 4,
  Side2Wins = 5,
  Side1ProfileName = 7,
  Side2ProfileName = 8,
};

// The only failure value of MirrowAddrGetParam.
constexpr int ProbeParamFailed = -1;
constexpr int ProbeInterfaceVersion = 1;

// The message number the tracker passes to MirrowAddrStartup.
constexpr UINT ProbeNotifyMessage = WM_APP + 10;  // 0x800A

// Notification kinds in the wParam low word.
constexpr int ConnectionChanged = 0;
constexpr int ParamChanged = 1;

inline WPARAM ConnectionChangedWParam(int state) { return (WPARAM)((DWORD)(state & 0xFFFF) << 16); }
inline WPARAM ParamChangedWParam(int id) { return (WPARAM)(((DWORD)(id & 0xFFFF) << 16) | ParamChanged); }
inline int NotificationKind(WPARAM wParam) { return LOWORD(wParam); }
// The state of a ConnectionChanged, or the parameter id of a ParamChanged.
inline int NotificationDetail(WPARAM wParam) { return HIWORD(wParam); }

typedef int(WINAPI* MirrowAddrStartupFn)(int version, HWND notifyWindow, UINT notifyMessage);
typedef int(WINAPI* MirrowAddrCleanupFn)();
typedef int(WINAPI* MirrowAddrGetStateFn)();
typedef int(WINAPI* MirrowAddrGetParamFn)(int id);

extern "C" {
int WINAPI MirrowAddrStartup(int version, HWND notifyWindow, UINT notifyMessage);
int WINAPI MirrowAddrCleanup();
int WINAPI MirrowAddrGetState();
int WINAPI MirrowAddrGetParam(int id);
}
