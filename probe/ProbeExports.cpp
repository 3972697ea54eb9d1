// The four exports and the worker thread that watches the game from the tracker's process.
#include <windows.h>

#include <cstring>
#include <initializer_list>

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

// What one step reads, in one request: the three status paths, the six polled parameters, the two names.
enum StepPath { StepGame, StepNetwork, StepWatch, StepParams, StepNames = StepParams + 6, StepPathCount = StepNames + 2 };
const char* const kStepPaths[StepPathCount] = {
    "game", "network_inst", "network_is_watch", kParamPaths[0], kParamPaths[1], kParamPaths[2],
    kParamPaths[3], kParamPaths[4], kParamPaths[5], kParamPaths[7], kParamPaths[8],
};
constexpr uint32_t kStepTexts = (1u << StepNames) | (1u << (StepNames + 1));

// The slot of parameter `id` (0 to 5, 7, 8) in a step's snapshot.
int StepPathOf(int id) { return id <= Side2Wins ? StepParams + id : StepNames + (id - Side1ProfileName); }

bool ReadStep(ScriptSnapshot* s) { return QueryScriptSnapshot(kStepPaths, StepPathCount, kStepTexts, s); }

// MirrowAddrGetParam's answer from a snapshot, with the same kind rules as a request.
int ParamFromSnapshot(const ScriptSnapshot& s, int id) {
  if ((unsigned)id > 8 || id == 6) return ProbeParamFailed;
  int i = StepPathOf(id);
  if (!((s.found >> i) & 1)) return ProbeParamFailed;
  uint32_t kind = s.types[i] & ScriptReader::KindMask;
  if (id == IsClient) return kind == ScriptReader::KindBool ? (int)s.values[i] : ProbeParamFailed;
  if (id <= Side2Wins) return kind == ScriptReader::KindInteger ? (int)s.values[i] : ProbeParamFailed;
  const uint32_t length = s.textLengths[i - StepNames];
  if (kind != ScriptReader::KindString || length == 0) return ProbeParamFailed;
  std::memcpy(g_stringResult, s.texts[i - StepNames], length);
  g_stringResult[length] = 0;
  return (int)(intptr_t)g_stringResult;
}

// Single bits of the full type word, unlike the masked kinds of MirrowAddrGetParam.
bool StatusPasses(const ScriptSnapshot& s) {
  auto has = [&](int i, uint32_t bit) { return ((s.found >> i) & 1) && (s.types[i] & bit); };
  return has(StepGame, 0x20) && has(StepNetwork, 0x8000) && has(StepWatch, 0x08) && s.values[StepWatch] == 0;
}

// --- the snapshot of each deciding step, held for the capture that the notification sets off ---
// The tracker handles the notification on its window's thread, and the capture's MirrowAddrGetParam calls come
// from inside that handling. A marker posted behind the notification to a window of ours on the same thread
// comes out of the queue only after that handling, so it tells exactly when a held snapshot has served.
constexpr UINT MarkerMessage = WM_APP + 1;
constexpr int HeldCapacity = 16;
struct HeldSnapshot {
  LONG serial;
  ScriptSnapshot values;
};
CRITICAL_SECTION g_heldLock;
HeldSnapshot g_held[HeldCapacity];
int g_heldFirst = 0, g_heldCount = 0;
LONG g_heldSerial = 0;
HWND g_markerWindow = nullptr;
DWORD g_notifyThread = 0;

LRESULT CALLBACK MarkerWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message != MarkerMessage) return DefWindowProcW(window, message, wParam, lParam);
  EnterCriticalSection(&g_heldLock);
  while (g_heldCount && g_held[g_heldFirst].serial - (LONG)wParam <= 0) {
    g_heldFirst = (g_heldFirst + 1) % HeldCapacity;
    --g_heldCount;
  }
  LeaveCriticalSection(&g_heldLock);
  return 0;
}

void MakeMarkerWindow() {
  if (!g_notifyWindow || GetWindowThreadProcessId(g_notifyWindow, nullptr) != GetCurrentThreadId()) return;
  InitializeCriticalSection(&g_heldLock);
  WNDCLASSW wc{};
  wc.lpfnWndProc = MarkerWindowProc;
  wc.hInstance = g_probeModule;
  wc.lpszClassName = L"MirrowAddrCaptureMarker";
  RegisterClassW(&wc);
  g_markerWindow = CreateWindowW(wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, g_probeModule, nullptr);
  if (g_markerWindow) g_notifyThread = GetCurrentThreadId();
}

// Posts a deciding change; the snapshot answers the capture that follows, however late it comes.
void NotifyDecided(WPARAM wParam, LPARAM lParam, const ScriptSnapshot& s) {
  LONG serial = 0;
  bool held = false;
  if (g_markerWindow) {
    EnterCriticalSection(&g_heldLock);
    if (g_heldCount < HeldCapacity) {
      HeldSnapshot& h = g_held[(g_heldFirst + g_heldCount++) % HeldCapacity];
      h.serial = serial = ++g_heldSerial;
      h.values = s;
      held = true;
    }
    LeaveCriticalSection(&g_heldLock);
  }
  Notify(wParam, lParam);
  if (held && !PostMessageW(g_markerWindow, MarkerMessage, (WPARAM)serial, 0)) {
    // Without its marker it would answer later captures: taken back (it is the newest).
    EnterCriticalSection(&g_heldLock);
    if (g_heldCount && g_held[(g_heldFirst + g_heldCount - 1) % HeldCapacity].serial == serial) --g_heldCount;
    LeaveCriticalSection(&g_heldLock);
  }
}

bool AnswerFromHeld(int id, int* result) {
  if (!g_notifyThread || GetCurrentThreadId() != g_notifyThread) return false;
  EnterCriticalSection(&g_heldLock);
  bool held = g_heldCount > 0;
  if (held) *result = ParamFromSnapshot(g_held[g_heldFirst].values, id);
  LeaveCriticalSection(&g_heldLock);
  return held;
}

// A match that began, or even ended, between two steps is first seen part-played: its counters went up from
// 0, not from what the last match left. It is told by the game having been outside a match since, or by other
// players, characters or sides than the last step's. The same decided match seen again (the status failed for
// a moment) is no new match.
ScriptSnapshot g_lastDecided, g_lastInMatch;
bool g_haveDecided = false, g_haveInMatch = false;
bool g_outsideMatch = false;

// A value that one of the two could not read tells nothing: a read that fails once must not make a new match
// of the one already decided.
bool SameIds(const ScriptSnapshot& a, const ScriptSnapshot& b, std::initializer_list<int> ids) {
  for (int id : ids) {
    int i = StepPathOf(id);
    if (((a.found & b.found) >> i) & 1 && a.values[i] != b.values[i]) return false;
  }
  return true;
}

bool SamePlayers(const ScriptSnapshot& a, const ScriptSnapshot& b) {
  if (!SameIds(a, b, {IsClient, Side1Character, Side2Character})) return false;
  for (int t = 0; t < SnapshotMaxTexts; ++t) {
    if (!a.textLengths[t] || !b.textLengths[t]) continue;
    if (a.textLengths[t] != b.textLengths[t] || std::memcmp(a.texts[t], b.texts[t], a.textLengths[t])) return false;
  }
  return true;
}

bool SameMoment(const ScriptSnapshot& a, const ScriptSnapshot& b) {
  return SamePlayers(a, b) && SameIds(a, b, {Side1Wins, Side2Wins});
}

void PollParams(const ScriptSnapshot& s) {
  bool entering = g_outsideMatch || !g_haveInMatch || !SamePlayers(s, g_lastInMatch);
  if (g_haveDecided && SameMoment(s, g_lastDecided)) entering = false;
  g_outsideMatch = false;
  g_lastInMatch = s;
  g_haveInMatch = true;
  for (int id = 0; id <= 5; ++id) {
    int v = ParamFromSnapshot(s, id);
    if (v == ProbeParamFailed) {
      g_lastSeen[id] = 0;
      continue;
    }
    bool win = id == Side1Wins || id == Side2Wins;
    bool baseline = false;
    bool changed = v != g_lastSeen[id];
    if (win) {
      baseline = !g_winCounterKnown[id - Side1Wins];
      g_winCounterKnown[id - Side1Wins] = true;
      if (entering && v != 0) changed = true;
    }
    if (changed && !baseline) {
      if (win && v == 2) {
        g_lastDecided = s;
        g_haveDecided = true;
        NotifyDecided(ParamChangedWParam(id), v, s);
      } else {
        Notify(ParamChangedWParam(id), v);
      }
    }
    g_lastSeen[id] = v;
  }
}

void SawNoMatch() {
  g_winCounterKnown[0] = g_winCounterKnown[1] = true;
  g_outsideMatch = true;
}

LONG InstallStep() { return InstallProbe() ? Attached : Detached; }

// The status and match steps read one snapshot; a match that passes the status check is polled at once, so
// one that is over by the next step is not missed.
LONG PollStep() {
  if (!FindIpcWindow()) {
    Notify(ConnectionChangedWParam(Detached), 0);
    return Detached;
  }
  ScriptSnapshot s;
  if (!ReadStep(&s) || !StatusPasses(s)) {
    SawNoMatch();
    return Attached;
  }
  PollParams(s);
  return InMatch;
}

DWORD WINAPI WorkerMain(void*) {
  g_state = Detached;
  for (;;) {
    MSG msg;
    if (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE) && msg.message == WM_QUIT) return 0;
    g_state = g_state == Detached ? InstallStep() : PollStep();
    SleepEx(50, TRUE);
  }
}

void CALLBACK WakeUp(ULONG_PTR) {}

}  // namespace

bool ReadMatchStep(ScriptSnapshot* snapshot) { return ReadStep(snapshot); }

void OnProbeAttached() {
  Notify(ConnectionChangedWParam(Attached), 0);
  std::memset(g_lastSeen, 0, sizeof g_lastSeen);
  std::memset(g_winCounterKnown, 0, sizeof g_winCounterKnown);
  g_outsideMatch = false;
  g_haveDecided = g_haveInMatch = false;
}

extern "C" {

int WINAPI MirrowAddrStartup(int version, HWND notifyWindow, UINT notifyMessage) {
  if (g_started || version != ProbeInterfaceVersion) return 0;
  if (!LoadWindowSettings()) return 0;
  g_notifyWindow = notifyWindow;
  g_notifyMessage = notifyMessage;
  MakeMarkerWindow();
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
  if (g_markerWindow && GetCurrentThreadId() == g_notifyThread) {
    g_notifyThread = 0;
    DestroyWindow(g_markerWindow);
    g_markerWindow = nullptr;
  }
  return 0;
}

int WINAPI MirrowAddrGetState() { return g_state; }

int WINAPI MirrowAddrGetParam(int id) {
  if ((unsigned)id > 8 || id == 6) return ProbeParamFailed;
  int held;
  if (AnswerFromHeld(id, &held)) return held;
  uint32_t type, value;
  if (!QueryScriptPath(kParamPaths[id], &type, &value)) return ProbeParamFailed;
  uint32_t kind = type & ScriptReader::KindMask;
  if (id == IsClient) return kind == ScriptReader::KindBool ? (int)value : ProbeParamFailed;
  if (id <= Side2Wins) return kind == ScriptReader::KindInteger ? (int)value : ProbeParamFailed;
  if (kind != ScriptReader::KindString || !FetchScriptString(value)) return ProbeParamFailed;
  return (int)(intptr_t)g_stringResult;
}

}  // extern "C"
