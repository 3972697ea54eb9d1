// What the probe's own files share with each other (not part of the tracker's interface).
#pragma once
#include <windows.h>
#include <cstdint>

// --- settings, heap, crash guard ---
extern HMODULE g_probeModule;
extern HANDLE g_probeHeap;
extern wchar_t g_gameWindowClass[256];
extern wchar_t g_gameWindowCaption[256];
extern DWORD g_coreBase;

constexpr DWORD DefaultCoreBase = 0x543FC4;

// A wide string on the process heap; the heap raises instead of returning null.
class HeapWideText {
 public:
  HeapWideText() = default;
  ~HeapWideText();
  HeapWideText(const HeapWideText&) = delete;
  HeapWideText& operator=(const HeapWideText&) = delete;
  void Reserve(size_t characters);
  wchar_t* Data() { return data_; }
  size_t Capacity() const { return capacity_; }

 private:
  wchar_t* data_ = nullptr;
  size_t capacity_ = 0;
};

bool LibraryFolder(HeapWideText* folder);
bool LoadWindowSettings();
bool LoadAddressSettings();
[[noreturn]] void WriteCrashReport(EXCEPTION_RECORD* record, CONTEXT* context);
// Runs `action` inside a structured-exception frame whose handler writes the crash report.
bool RunGuarded(bool (*action)(void*), void* context);

// --- hook and IPC ---
constexpr UINT IpcLookupPath = 0x8000;
constexpr UINT IpcReadString = 0x8001;
// Resolves a set of paths, and reads the texts of some, in one call on the game's thread: while it runs the
// game stands still, so the answers are one moment of the game.
constexpr UINT IpcReadSnapshot = 0x8002;
#ifdef MIRROWADDR_TEST_BUILD
// Test builds only: faults inside the crash guard, as an unexpected bug in a request would; with wParam 1
// the library's folder is lost first.
constexpr UINT IpcTestFault = 0x80F0;
#endif

bool InstallProbe();
bool QueryScriptPath(const char* path, uint32_t* typeWord, uint32_t* valueWord);
bool FetchScriptString(uint32_t stringAddress);

constexpr int SnapshotMaxPaths = 12;
constexpr int SnapshotMaxTexts = 2;
constexpr int SnapshotPathBytes = 512;

// The game at one moment: each path's slot, and the texts of the string paths that were asked for.
struct ScriptSnapshot {
  uint32_t found;  // bit i: path i resolved
  uint32_t types[SnapshotMaxPaths];
  uint32_t values[SnapshotMaxPaths];
  uint32_t textLengths[SnapshotMaxTexts];  // 0: no text (not a string, or unreadable)
  char texts[SnapshotMaxTexts][256];
};

// One request for `count` paths. Bit i of `textPaths` asks for the text of path i; the texts fill the text
// slots in path order (at most SnapshotMaxTexts). False when no request could be made or the game refused it.
bool QueryScriptSnapshot(const char* const* paths, int count, uint32_t textPaths, ScriptSnapshot* snapshot);
LRESULT CALLBACK ProbeHookProc(int code, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK IpcWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
HWND FindIpcWindow();

// Counters a test build reads to see what crossed to the game.
struct ProbeCounters {
  LONG requestsSent;
  LONG hooksSet;
  LONG hooksRemoved;
};
extern ProbeCounters g_probeCounters;
// The shared hook handle (0 outside an installation).
HHOOK SharedHookHandle();
#ifdef MIRROWADDR_TEST_BUILD
// Time (performance-counter ticks) of the last path request on the game's thread, the reads the walker
// made and the reads that reached the system.
void LastRequestCost(LONGLONG* ticks, LONG* walkerReads, LONG* systemReads);
// Every later request, from any process, reads the game directly.
void BypassPageCache(bool bypass);
#endif

// --- exports and worker ---
extern char g_stringResult[256];
// What the worker reads in one status or match step: status paths, the six parameters and the two names.
bool ReadMatchStep(ScriptSnapshot* snapshot);
// Called by InstallProbe on success, inside the install mutex.
void OnProbeAttached();
