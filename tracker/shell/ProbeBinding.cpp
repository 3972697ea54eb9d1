#include "shell/ProbeBinding.h"

#include <shlwapi.h>

#include <vector>

#include "shell/AppState.h"
#include "shell/MainWindow.h"
#include "shell/Settings.h"

ProbeBinding g_probe = {};

namespace {
// Where the library was looked for: a bare name is found first in the tracker's own folder.
std::wstring SearchedFolder(const std::wstring& path) {
  if (path.find_first_of(L"\\/") == std::wstring::npos) return g_app.programDirectory;
  std::vector<wchar_t> full(32768);
  DWORD n = GetFullPathNameW(path.c_str(), (DWORD)full.size(), full.data(), nullptr);
  std::wstring folder = (n > 0 && n < full.size()) ? std::wstring(full.data(), n) : path;
  size_t slash = folder.find_last_of(L"\\/");
  return slash == std::wstring::npos ? folder : folder.substr(0, slash);
}

// The tracker cannot count without its probe; without this box it would vanish without a word.
bool ProbeFailure(HWND mainWindow, const std::wstring& path, const wchar_t* reason) {
  std::wstring name = PathFindFileNameW(path.c_str());
  std::wstring text = name + L" " + reason + L"\n\nファイル: " + name + L"\n探した場所: " + SearchedFolder(path) +
                      L"\n\nCorvenka.exe と同じフォルダーに MirrowAddr.dll を置いてから、もう一度起動してください。"
                      L"\nCorvenka を終了します。";
  MessageBoxW(mainWindow, text.c_str(), nullptr, MB_ICONERROR | MB_OK);
  return false;
}
}  // namespace

bool BindProbe(HWND mainWindow) {
  std::wstring path = ReadSettingText(L"Path", L"MirrowAddr", L"MirrowAddr.dll");
  if (path.size() > 1023) path.resize(1023);
  // Never unloaded, not even when binding fails half-way.
  HMODULE library = LoadLibraryW(path.c_str());
  if (!library) {
    DWORD error = GetLastError();
    bool missing = error == ERROR_MOD_NOT_FOUND || error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
    return ProbeFailure(mainWindow, path, missing ? L"が見つかりません。" : L"を読み込めません（壊れているか、32ビット版ではありません）。");
  }
  g_probe.library = library;
  auto startup = reinterpret_cast<MirrowAddrStartupFn>(GetProcAddress(library, "MirrowAddrStartup"));
  auto cleanup = reinterpret_cast<MirrowAddrCleanupFn>(GetProcAddress(library, "MirrowAddrCleanup"));
  auto getParam = reinterpret_cast<MirrowAddrGetParamFn>(GetProcAddress(library, "MirrowAddrGetParam"));
  auto getState = reinterpret_cast<MirrowAddrGetStateFn>(GetProcAddress(library, "MirrowAddrGetState"));
  if (!startup || !cleanup || !getParam || !getState)
    return ProbeFailure(mainWindow, path, L"は Corvenka 用のライブラリではありません（必要な関数がありません）。");
  if (!startup(ProbeInterfaceVersion, mainWindow, ProbeNotifyMessage))
    return ProbeFailure(mainWindow, path, L"を開始できませんでした（版が合わない可能性があります）。");
  // Only a started probe is ever called later, so the entries are kept only now.
  g_probe.startup = startup;
  g_probe.cleanup = cleanup;
  g_probe.getParam = getParam;
  g_probe.getState = getState;
  return true;
}
