// Entry point, "MirrowAddr.ini" next to the library, the process-heap allocator and the crash report.
#include <windows.h>
#include <dbghelp.h>
#include <shlwapi.h>

#include "ProbeInternal.h"

HMODULE g_probeModule = nullptr;
HANDLE g_probeHeap = nullptr;
wchar_t g_gameWindowClass[256];
wchar_t g_gameWindowCaption[256];
DWORD g_coreBase = DefaultCoreBase;

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    DisableThreadLibraryCalls(instance);
    g_probeHeap = GetProcessHeap();
    g_probeModule = instance;
  }
  return TRUE;
}

HeapWideText::~HeapWideText() {
  if (data_) HeapFree(g_probeHeap, 0, data_);
}

void HeapWideText::Reserve(size_t characters) {
  if (characters <= capacity_) return;
  size_t bytes = characters * sizeof(wchar_t);
  void* p = data_ ? HeapReAlloc(g_probeHeap, HEAP_GENERATE_EXCEPTIONS, data_, bytes)
                  : HeapAlloc(g_probeHeap, HEAP_GENERATE_EXCEPTIONS, bytes);
  data_ = static_cast<wchar_t*>(p);
  capacity_ = characters;
}

bool LibraryFolder(HeapWideText* folder) {
  size_t size = 260;
  for (;;) {
    folder->Reserve(size);
    SetLastError(0);
    DWORD n = GetModuleFileNameW(g_probeModule, folder->Data(), (DWORD)size);
    if (n == 0) return false;
    // Older systems cut the name without saying so; a full buffer means it may not have fit.
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER && n < size) break;
    size += 260;
  }
  PathRemoveFileSpecW(folder->Data());
  return true;
}

namespace {
bool SettingsPath(HeapWideText* path) {
  if (!LibraryFolder(path)) return false;
  path->Reserve(lstrlenW(path->Data()) + 32);
  PathAppendW(path->Data(), L"MirrowAddr.ini");
  return true;
}
}  // namespace

bool LoadWindowSettings() {
  HeapWideText ini;
  if (!SettingsPath(&ini)) return false;
  GetPrivateProfileStringW(L"Mirrow", L"WindowClass", L"mirrow", g_gameWindowClass, 256, ini.Data());
  GetPrivateProfileStringW(L"Mirrow", L"WindowCaption", L"Mirrow ver1.02b", g_gameWindowCaption, 256, ini.Data());
  return true;
}

bool LoadAddressSettings() {
  HeapWideText ini;
  if (!SettingsPath(&ini)) return false;
  wchar_t text[16];
  GetPrivateProfileStringW(L"Address", L"CoreBase", L"", text, 16, ini.Data());
  int value = 0;
  g_coreBase = StrToIntExW(text, STIF_SUPPORT_HEX, &value) ? (DWORD)value : DefaultCoreBase;
  return true;
}

void WriteCrashReport(EXCEPTION_RECORD* record, CONTEXT* context) {
  typedef BOOL(WINAPI * MiniDumpWriteDumpFn)(HANDLE, DWORD, HANDLE, MINIDUMP_TYPE, PMINIDUMP_EXCEPTION_INFORMATION,
                                             PMINIDUMP_USER_STREAM_INFORMATION, PMINIDUMP_CALLBACK_INFORMATION);
  HMODULE dbghelp = LoadLibraryW(L"dbghelp.dll");
  auto writeDump =
      dbghelp ? reinterpret_cast<MiniDumpWriteDumpFn>(GetProcAddress(dbghelp, "MiniDumpWriteDump")) : nullptr;
  if (writeDump) {
    HeapWideText path;
    if (!LibraryFolder(&path)) {
      path.Reserve(4);
      lstrcpyW(path.Data(), L"C:\\");
    }
    path.Reserve(lstrlenW(path.Data()) + 32);
    PathAppendW(path.Data(), L"MirrowAddr.dmp");
    HANDLE file = CreateFileW(path.Data(), GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
      // An older, larger dump must not leave its tail behind the new one.
      SetEndOfFile(file);
      EXCEPTION_POINTERS pointers{record, context};
      MINIDUMP_EXCEPTION_INFORMATION exception{GetCurrentThreadId(), &pointers, FALSE};
      writeDump(GetCurrentProcess(), GetCurrentProcessId(), file, (MINIDUMP_TYPE)0x80, &exception, nullptr, nullptr);
      CloseHandle(file);
    }
  }
  MessageBoxW(nullptr, L"予期しないエラーが発生しました。OKボタンを押すとゲームを終了します。", L"MirrowAddr",
              MB_ICONEXCLAMATION | MB_OK);
  TerminateProcess(GetCurrentProcess(), 0);
  for (;;) Sleep(INFINITE);
}

// GCC has no __try/__except: on 32-bit x86 a handler frame is pushed on the thread's exception list
// at fs:[0] by hand. The handler never returns (the report ends the process), so no unwinding is needed.
namespace {
struct GuardFrame {
  GuardFrame* next;
  void* handler;
};

EXCEPTION_DISPOSITION __cdecl GuardHandler(EXCEPTION_RECORD* record, void*, CONTEXT* context, void*) {
  if (record->ExceptionFlags & (EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND)) return ExceptionContinueSearch;
  WriteCrashReport(record, context);
}
}  // namespace

__attribute__((noinline)) bool RunGuarded(bool (*action)(void*), void* context) {
  volatile GuardFrame frame;
  frame.handler = reinterpret_cast<void*>(&GuardHandler);
  GuardFrame* previous;
  __asm__ __volatile__("movl %%fs:0, %0" : "=r"(previous));
  frame.next = previous;
  __asm__ __volatile__("movl %0, %%fs:0" : : "r"(&frame) : "memory");
  bool result = action(context);
  __asm__ __volatile__("movl %0, %%fs:0" : : "r"(previous) : "memory");
  return result;
}
