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
#ifdef MIRROWADDR_TEST_BUILD
// Test builds only: faults inside the crash guard, as an unexpected bug in a request would; with wParam 1
// the library's folder is lost first.
constexpr UINT IpcTestFault = 0x80F0;
#endif

bool InstallProbe();
bool QueryScriptPath(const char* path, uint32_t* typeWord, uint32_t* valueWord);
bool FetchScriptString(uint32_t stringAddress);
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
// Called by InstallProbe on success, inside the install mutex.
void OnProbeAttached();
