// The bridge between the tracker's copy and the game's copy of the library: the shared block, the
// installation through a message hook, the in-game IPC window and the two requesters.
#include <windows.h>

#include <cstring>

#include "PageCache.h"
#include "ProbeInternal.h"
#include "ProcessMemory.h"
#include "ScriptTableReader.h"

namespace {

// A snapshot request: the paths in, NUL-separated; the answers out.
struct SnapshotArea {
  uint32_t count;
  uint32_t textPaths;
  char paths[SnapshotPathBytes];
  ScriptSnapshot answer;
};

struct SharedBlock {
  HHOOK hook;
  DWORD result;
  char transfer[256];
  SnapshotArea snapshot;
#ifdef MIRROWADDR_TEST_BUILD
  // Test builds only: what the last path request cost on the game's thread.
  LONGLONG lastRequestTicks;
  LONG lastRequestWalkerReads;
  LONG lastRequestSystemReads;
  // Set by the benchmark to measure requests as they cost without the page cache.
  LONG bypassPageCache;
#endif
};

}  // namespace

// One set of bytes for every process that loads this library file.
__attribute__((section(".shared"), shared)) volatile SharedBlock g_shared = {};

ProbeCounters g_probeCounters;

namespace {

const wchar_t kIpcClass[] = L"MirrowAddrIPCWndClass";
const wchar_t kInstallMutex[] = L"MirrowAddrInstallMutex";
const wchar_t kInstalledEvent[] = L"MirrowAddrInstalledEvent";
const wchar_t kIpcMutex[] = L"MirrowAddrIPCMutex";

// Game side: the IPC window exists; cleared again when the game destroys it.
bool g_installed = false;
bool g_pinned = false;
// Tracker side.
HWND g_ipcWindow = nullptr;

// A system read costs far more than a copy (tens of microseconds under Wine), and a request reads the same
// pages again and again while it scans a table. The pages live here, in this process's own data, and are used
// only on the game's GUI thread inside one request at a time, so a request allocates nothing.
constexpr uint32_t CachedPages = 64;
CachedPage g_pageStore[CachedPages];
ProcessMemory g_processMemory;

#ifdef MIRROWADDR_TEST_BUILD
class CountedMemory : public MemoryReader {
 public:
  constexpr CountedMemory(MemoryReader& inner, volatile LONG* count) : inner_(inner), count_(count) {}
  bool Read(uint32_t address, void* out, uint32_t size) override {
    ++*count_;
    return inner_.Read(address, out, size);
  }

 private:
  MemoryReader& inner_;
  volatile LONG* count_;
};
CountedMemory g_systemReads(g_processMemory, &g_shared.lastRequestSystemReads);
PageCache g_pages(g_systemReads, g_pageStore, CachedPages);
CountedMemory g_walkerReads(g_pages, &g_shared.lastRequestWalkerReads);
CountedMemory g_uncachedWalkerReads(g_systemReads, &g_shared.lastRequestWalkerReads);
#else
PageCache g_pages(g_processMemory, g_pageStore, CachedPages);
#endif

// The reader for a new request: nothing that an earlier request read is served again.
MemoryReader& FreshRequestMemory() {
  g_pages.Invalidate();
#ifdef MIRROWADDR_TEST_BUILD
  if (g_shared.bypassPageCache) return g_uncachedWalkerReads;
  return g_walkerReads;
#else
  return g_pages;
#endif
}

struct LookupRequest {
  char path[256];
  uint32_t type, value;
};

bool RunLookup(void* context) {
  auto* request = static_cast<LookupRequest*>(context);
  MemoryReader& memory = FreshRequestMemory();
  uint32_t vmWord = (uint32_t)(uintptr_t)GetModuleHandleW(nullptr) + g_coreBase;
  return ResolveScriptPath(memory, vmWord, request->path, &request->type, &request->value);
}

struct StringRequest {
  uint32_t address;
  char text[256];
  uint32_t length;
};

bool RunStringRead(void* context) {
  auto* request = static_cast<StringRequest*>(context);
  MemoryReader& memory = FreshRequestMemory();
  return ReadScriptString(memory, request->address, request->text, &request->length);
}

struct SnapshotRequest {
  uint32_t count;
  uint32_t textPaths;
  char paths[SnapshotPathBytes + 1];
  ScriptSnapshot answer;
};

// Every path through one page cache: the game cannot change between them, and they share pages.
bool RunSnapshot(void* context) {
  auto* request = static_cast<SnapshotRequest*>(context);
  MemoryReader& memory = FreshRequestMemory();
  uint32_t vmWord = (uint32_t)(uintptr_t)GetModuleHandleW(nullptr) + g_coreBase;
  ScriptSnapshot& answer = request->answer;
  const char* path = request->paths;
  const char* end = request->paths + SnapshotPathBytes;
  int text = 0;
  for (uint32_t i = 0; i < request->count; ++i) {
    bool wantsText = (request->textPaths >> i) & 1;
    uint32_t type, value;
    if (ResolveScriptPath(memory, vmWord, path, &type, &value)) {
      answer.found |= 1u << i;
      answer.types[i] = type;
      answer.values[i] = value;
      if (wantsText && text < SnapshotMaxTexts && (type & ScriptReader::KindMask) == ScriptReader::KindString &&
          !ReadScriptString(memory, value, answer.texts[text], &answer.textLengths[text]))
        answer.textLengths[text] = 0;
    }
    if (wantsText) ++text;
    while (path < end && *path) ++path;
    if (path < end) ++path;
  }
  return true;
}

#ifdef MIRROWADDR_TEST_BUILD
// A non-zero wParam first makes the library's own file unknown, as if its folder could not be found.
bool RunFault(void* withoutFolder) {
  if (withoutFolder) g_probeModule = reinterpret_cast<HMODULE>(1);
  *static_cast<volatile int*>(nullptr) = 1;
  return false;
}
#endif

LRESULT OnLookupPath() {
  LookupRequest request;
  // The block is shared with every process: never trust it to be terminated.
  std::memcpy(request.path, const_cast<const char*>(g_shared.transfer), sizeof request.path);
  request.path[sizeof request.path - 1] = 0;
#ifdef MIRROWADDR_TEST_BUILD
  LARGE_INTEGER start, end;
  g_shared.lastRequestWalkerReads = 0;
  g_shared.lastRequestSystemReads = 0;
  QueryPerformanceCounter(&start);
  bool found = RunGuarded(RunLookup, &request);
  QueryPerformanceCounter(&end);
  g_shared.lastRequestTicks = end.QuadPart - start.QuadPart;
  if (!found) return 0;
#else
  if (!RunGuarded(RunLookup, &request)) return 0;
#endif
  g_shared.result = request.type;
  std::memcpy(const_cast<char*>(g_shared.transfer), &request.value, 4);
  return 1;
}

LRESULT OnReadSnapshot() {
  SnapshotRequest request;
  request.count = g_shared.snapshot.count;
  request.textPaths = g_shared.snapshot.textPaths;
  if (request.count < 1 || request.count > (uint32_t)SnapshotMaxPaths) return 0;
  // The block is shared with every process: never trust it to be terminated.
  std::memcpy(request.paths, const_cast<const char*>(g_shared.snapshot.paths), SnapshotPathBytes);
  request.paths[SnapshotPathBytes] = 0;
  std::memset(&request.answer, 0, sizeof request.answer);
#ifdef MIRROWADDR_TEST_BUILD
  LARGE_INTEGER start, end;
  g_shared.lastRequestWalkerReads = 0;
  g_shared.lastRequestSystemReads = 0;
  QueryPerformanceCounter(&start);
  bool answered = RunGuarded(RunSnapshot, &request);
  QueryPerformanceCounter(&end);
  g_shared.lastRequestTicks = end.QuadPart - start.QuadPart;
  if (!answered) return 0;
#else
  if (!RunGuarded(RunSnapshot, &request)) return 0;
#endif
  std::memcpy(const_cast<ScriptSnapshot*>(&g_shared.snapshot.answer), &request.answer, sizeof request.answer);
  return 1;
}

LRESULT OnReadString(WPARAM address) {
  StringRequest request;
  request.address = (uint32_t)address;
  if (!RunGuarded(RunStringRead, &request)) return 0;
  std::memcpy(const_cast<char*>(g_shared.transfer), request.text, request.length + 1);
  g_shared.result = request.length;
  return 1;
}

class NamedMutex {
 public:
  explicit NamedMutex(const wchar_t* name) : handle_(CreateMutexW(nullptr, FALSE, name)) {
    // An abandoned mutex (its holder died) is simply taken over.
    DWORD wait = handle_ ? WaitForSingleObject(handle_, INFINITE) : WAIT_FAILED;
    held_ = wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED;
  }
  ~NamedMutex() {
    if (held_) ReleaseMutex(handle_);
    if (handle_) CloseHandle(handle_);
  }
  NamedMutex(const NamedMutex&) = delete;
  NamedMutex& operator=(const NamedMutex&) = delete;
  // False when the name is taken by another kind of object or cannot be opened: the caller must not go on.
  bool Held() const { return held_; }

 private:
  HANDLE handle_;
  bool held_;
};

void DebugOutput(const char* label, const char* text) {
  char line[SnapshotPathBytes + 64];
  wsprintfA(line, "MirrowAddr: %s %s\n", label, text);
  OutputDebugStringA(line);
}

}  // namespace

HHOOK SharedHookHandle() { return g_shared.hook; }

#ifdef MIRROWADDR_TEST_BUILD
void LastRequestCost(LONGLONG* ticks, LONG* walkerReads, LONG* systemReads) {
  *ticks = g_shared.lastRequestTicks;
  *walkerReads = g_shared.lastRequestWalkerReads;
  *systemReads = g_shared.lastRequestSystemReads;
}

void BypassPageCache(bool bypass) { g_shared.bypassPageCache = bypass; }
#endif

HWND FindIpcWindow() {
  HWND window = g_ipcWindow;
  if (window && IsWindow(window)) return window;
  window = FindWindowW(kIpcClass, nullptr);
  g_ipcWindow = window;
  return window;
}

bool InstallProbe() {
  HWND game = FindWindowW(g_gameWindowClass, g_gameWindowCaption);
  if (!game) return false;
  DWORD thread = GetWindowThreadProcessId(game, nullptr);
  // A window that closed since it was found gives thread 0, and a hook on thread 0 would go into every
  // program on the desktop.
  if (!thread) return false;
  bool ok = false;
  {
    NamedMutex installing(kInstallMutex);
    // Unguarded, two installers could overwrite each other's hook handle and leave a hook set.
    if (!installing.Held()) return false;
    if (FindIpcWindow()) {
      ok = true;
    } else {
      // The event exists before the hook can run, so a hook call that comes at once is not lost.
      HANDLE installed = CreateEventW(nullptr, FALSE, FALSE, kInstalledEvent);
      HHOOK hook = installed ? SetWindowsHookExW(WH_GETMESSAGE, ProbeHookProc, g_probeModule, thread) : nullptr;
      if (hook) {
        InterlockedIncrement(&g_probeCounters.hooksSet);
        g_shared.hook = hook;
        PostMessageW(game, WM_NULL, 0, 0);
        ok = WaitForSingleObject(installed, 10000) == WAIT_OBJECT_0;
        UnhookWindowsHookEx(g_shared.hook);
        g_shared.hook = nullptr;
        InterlockedIncrement(&g_probeCounters.hooksRemoved);
      }
      if (installed) CloseHandle(installed);
    }
    if (ok) OnProbeAttached();
  }
  return ok;
}

LRESULT CALLBACK ProbeHookProc(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HC_ACTION && !g_installed && LoadAddressSettings()) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = IpcWindowProc;
    wc.hInstance = g_probeModule;
    wc.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
    wc.hIconSm = LoadIconW(nullptr, IDI_APPLICATION);
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(1);
    wc.lpszClassName = kIpcClass;
    // A class left registered by an attempt whose window failed must not block every later attempt.
    if (RegisterClassExW(&wc) || GetLastError() == ERROR_CLASS_ALREADY_EXISTS) {
      HWND window = CreateWindowExW(0, kIpcClass, L"", WS_POPUPWINDOW, CW_USEDEFAULT, CW_USEDEFAULT, 300, 400,
                                    nullptr, nullptr, g_probeModule, nullptr);
      if (window && !g_pinned) {
        wchar_t self[1024];
        DWORD n = GetModuleFileNameW(g_probeModule, self, 1024);
        // Pins the library (and the window procedure) after the hook is gone.
        g_pinned = n && n < 1024 && LoadLibraryW(self);
        // Unpinned, the library could go with the hook and leave the window without its procedure.
        if (!g_pinned) {
          DestroyWindow(window);
          window = nullptr;
        }
      }
      if (window) {
        g_installed = true;
        HANDLE installed = CreateEventW(nullptr, FALSE, FALSE, kInstalledEvent);
        if (installed) {
          SetEvent(installed);
          CloseHandle(installed);
        }
      }
    }
  }
  return CallNextHookEx(g_shared.hook, code, wParam, lParam);
}

LRESULT CALLBACK IpcWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case IpcLookupPath:
      return OnLookupPath();
    case IpcReadString:
      return OnReadString(wParam);
    case IpcReadSnapshot:
      return OnReadSnapshot();
    case WM_NCDESTROY:
      // The next installation makes a new window instead of finding none until the game restarts.
      g_installed = false;
      break;
#ifdef MIRROWADDR_TEST_BUILD
    case IpcTestFault:
      return RunGuarded(RunFault, reinterpret_cast<void*>(wParam));
#endif
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

bool QueryScriptPath(const char* path, uint32_t* typeWord, uint32_t* valueWord) {
  HWND window = FindIpcWindow();
  if (!window) return false;
  size_t length = 0;
  while (length <= 254 && path[length]) ++length;
  if (length > 254) return false;
  NamedMutex requesting(kIpcMutex);
  if (!requesting.Held()) return false;
  std::memcpy(const_cast<char*>(g_shared.transfer), path, length + 1);
  InterlockedIncrement(&g_probeCounters.requestsSent);
  if (!SendMessageW(window, IpcLookupPath, 0, 0)) return false;
  DebugOutput("path", path);
  *typeWord = g_shared.result;
  std::memcpy(valueWord, const_cast<const char*>(g_shared.transfer), 4);
  return true;
}

bool FetchScriptString(uint32_t stringAddress) {
  HWND window = FindIpcWindow();
  if (!window) return false;
  NamedMutex requesting(kIpcMutex);
  if (!requesting.Held()) return false;
  InterlockedIncrement(&g_probeCounters.requestsSent);
  if (!SendMessageW(window, IpcReadString, (WPARAM)stringAddress, 0)) return false;
  DWORD length = g_shared.result;
  if (length > 255) length = 255;
  std::memcpy(g_stringResult, const_cast<const char*>(g_shared.transfer), length + 1);
  g_stringResult[length] = 0;
  DebugOutput("text", g_stringResult);
  return true;
}

bool QueryScriptSnapshot(const char* const* paths, int count, uint32_t textPaths, ScriptSnapshot* snapshot) {
  HWND window = FindIpcWindow();
  if (!window || count < 1 || count > SnapshotMaxPaths) return false;
  char packed[SnapshotPathBytes];
  size_t used = 0;
  for (int i = 0; i < count; ++i) {
    size_t length = std::strlen(paths[i]);
    if (length > 254 || used + length + 1 > sizeof packed) return false;
    std::memcpy(packed + used, paths[i], length + 1);
    used += length + 1;
  }
  NamedMutex requesting(kIpcMutex);
  if (!requesting.Held()) return false;
  g_shared.snapshot.count = (uint32_t)count;
  g_shared.snapshot.textPaths = textPaths;
  std::memcpy(const_cast<char*>(g_shared.snapshot.paths), packed, used);
  InterlockedIncrement(&g_probeCounters.requestsSent);
  if (!SendMessageW(window, IpcReadSnapshot, 0, 0)) return false;
  std::memcpy(snapshot, const_cast<const ScriptSnapshot*>(&g_shared.snapshot.answer), sizeof *snapshot);
  for (int i = 0; i < SnapshotMaxTexts; ++i) {
    if (snapshot->textLengths[i] > 255) snapshot->textLengths[i] = 0;
    snapshot->texts[i][snapshot->textLengths[i]] = 0;
  }
  char line[SnapshotPathBytes + 16];
  for (size_t i = 0; i + 1 < used; ++i) line[i] = packed[i] ? packed[i] : ' ';
  line[used ? used - 1 : 0] = 0;
  DebugOutput("snapshot", line);
  for (int i = 0; i < SnapshotMaxTexts; ++i)
    if (snapshot->textLengths[i]) DebugOutput("text", snapshot->texts[i]);
  return true;
}
