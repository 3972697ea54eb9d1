// The four exports and the worker thread that watches the game from the tracker's process.
#include <windows.h>

#include <cstring>

#include "MirrowAddrContract.h"
#include "ProbeInternal.h"
#include "ScriptTableReader.h"

char g_stringResult[256];

namespace {

bool g_started = false;
bool g_cleanedUp = false;
HWND g_notifyWindow = nullptr;
UINT g_notifyMessage = 0;
HANDLE g_workerThread = nullptr;
DWORD g_workerThreadId = 0;
volatile LONG g_state = Detached;
int g_lastSeen[6];
// Whether the worker knows where a win counter stood since the attach: it has read it, or has seen the game
// outside a match, so that any match it sees began later, at 0. Until then a reading is where the game
// stands, not a round won: posted as a change, a tracker started beside a finished match would store it again.
bool g_winCounterKnown[2];

void SawNoMatch() { g_winCounterKnown[0] = g_winCounterKnown[1] = true; }

const char* const kParamPaths[9] = {
    "game/battleState",
    "network_is_client",
    "load_data/player/0",
    "load_data/player/1",
    "act/BattleStatus/global/status/p1/win",
    "act/BattleStatus/global/status/p2/win",
    nullptr,
    "load_data/profile/0/name",
    "load_data/profile/1/name",
};

void Notify(WPARAM wParam, LPARAM lParam) {
  if (g_notifyWindow) PostMessageW(g_notifyWindow, g_notifyMessage, wParam, lParam);
}

enum class Status { NoWindow, Failed, Passed };

// Single bits of the full type word, unlike the masked kinds of MirrowAddrGetParam.
Status CheckStatus() {
  if (!FindIpcWindow()) {
    Notify(ConnectionChangedWParam(Detached), 0);
    return Status::NoWindow;
  }
  uint32_t type, value;
  if (!QueryScriptPath("game", &type, &value) || !(type & 0x20)) return Status::Failed;
  if (!QueryScriptPath("network_inst", &type, &value) || !(type & 0x8000)) return Status::Failed;
  if (!QueryScriptPath("network_is_watch", &type, &value) || !(type & 0x08)) return Status::Failed;
  return value == 0 ? Status::Passed : Status::Failed;
}

LONG InstallStep() { return InstallProbe() ? Attached : Detached; }

LONG StatusStep() {
  switch (CheckStatus()) {
    case Status::NoWindow: return Detached;
    case Status::Failed: SawNoMatch(); return Attached;
    default: return InMatch;
  }
}

LONG MatchStep() {
  Status status = CheckStatus();
  if (status == Status::NoWindow) return Detached;
  if (status == Status::Failed) {
    SawNoMatch();
    return Attached;
  }
  for (int id = 0; id <= 5; ++id) {
    int v = MirrowAddrGetParam(id);
    if (v == ProbeParamFailed) {
      g_lastSeen[id] = 0;
      continue;
    }
    bool baseline = false;
    if (id == Side1Wins || id == Side2Wins) {
      baseline = !g_winCounterKnown[id - Side1Wins];
      g_winCounterKnown[id - Side1Wins] = true;
    }
    if (v != g_lastSeen[id] && !baseline) Notify(ParamChangedWParam(id), v);
    g_lastSeen[id] = v;
  }
  return InMatch;
}

DWORD WINAPI WorkerMain(void*) {
  g_state = Detached;
  for (;;) {
    MSG msg;
    if (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE) && msg.message == WM_QUIT) return 0;
    switch (g_state) {
      case Detached: g_state = InstallStep(); break;
      case Attached: g_state = StatusStep(); break;
      default: g_state = MatchStep(); break;
    }
    SleepEx(50, TRUE);
  }
}

void CALLBACK WakeUp(ULONG_PTR) {}

}  // namespace

void OnProbeAttached() {
  Notify(ConnectionChangedWParam(Attached), 0);
  std::memset(g_lastSeen, 0, sizeof g_lastSeen);
  std::memset(g_winCounterKnown, 0, sizeof g_winCounterKnown);
}

extern "C" {

int WINAPI MirrowAddrStartup(int version, HWND notifyWindow, UINT notifyMessage) {
  if (g_started || version != ProbeInterfaceVersion) return 0;
  if (!LoadWindowSettings()) return 0;
  g_notifyWindow = notifyWindow;
  g_notifyMessage = notifyMessage;
  g_workerThread = CreateThread(nullptr, 0, WorkerMain, nullptr, 0, &g_workerThreadId);
  if (!g_workerThread) return 0;
  g_started = true;
  return 1;
}

int WINAPI MirrowAddrCleanup() {
  if (!g_started || g_cleanedUp) return 0;
  g_cleanedUp = true;
  // A worker that has not taken its first message yet has no queue to post to: retry until it has one.
  while (!PostThreadMessageW(g_workerThreadId, WM_QUIT, 0, 0) &&
         WaitForSingleObject(g_workerThread, 10) == WAIT_TIMEOUT) {
  }
  QueueUserAPC(WakeUp, g_workerThread, 0);
  WaitForSingleObject(g_workerThread, INFINITE);
  CloseHandle(g_workerThread);
  g_workerThread = nullptr;
  return 0;
}

int WINAPI MirrowAddrGetState() { return g_state; }

int WINAPI MirrowAddrGetParam(int id) {
  if ((unsigned)id > 8 || id == 6) return ProbeParamFailed;
  uint32_t type, value;
  if (!QueryScriptPath(kParamPaths[id], &type, &value)) return ProbeParamFailed;
  uint32_t kind = type & ScriptReader::KindMask;
  if (id == IsClient) return kind == ScriptReader::KindBool ? (int)value : ProbeParamFailed;
  if (id <= Side2Wins) return kind == ScriptReader::KindInteger ? (int)value : ProbeParamFailed;
  if (kind != ScriptReader::KindString || !FetchScriptString(value)) return ProbeParamFailed;
  return (int)(intptr_t)g_stringResult;
}

}  // extern "C"
