// Opens every window and dialog of the tracker in turn, on a scratch profile with some matches, for
// scripts/screens.sh to photograph. For each one it prints "name x y width height" and waits until the
// script has left "name.done" in the output folder, then closes it and goes on.
#include <windows.h>
#include <commctrl.h>
#include <sqlite3.h>

#include <atomic>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>

#include "ViewTestSupport.h"
#include "resources/resource.h"
#include "shell/AppState.h"
#include "shell/ProfileShortcuts.h"
#include "shell/ShortcutDialogs.h"
#include "shell/TrayMenu.h"
#include "store/RecordDatabase.h"
#include "views/GraphWindow.h"
#include "views/SummaryWindow.h"
#include "views/ViewWindows.h"

namespace {
std::wstring g_out;

// The dialog's font and its base units, so that a reviewer knows what the pictures were laid out with.
void PrintFont(HWND window) {
  HFONT font = (HFONT)SendMessageW(window, WM_GETFONT, 0, 0);
  HDC dc = GetDC(window);
  HGDIOBJ old = SelectObject(dc, font);
  wchar_t face[64] = L"";
  GetTextFaceW(dc, 64, face);
  SIZE cjk{};
  GetTextExtentPoint32W(dc, L"ワイルドカードを使う", 10, &cjk);
  SelectObject(dc, old);
  ReleaseDC(window, dc);
  RECT unit{0, 0, 4, 8};
  MapDialogRect(window, &unit);
  fprintf(stderr, "font %ls: 4x8 dialog units = %ldx%ld px; 10 wide characters = %ld px\n", face, unit.right,
          unit.bottom, cjk.cx);
}

// From any thread: waits for the script to take the picture. The window's own thread must keep pumping.
void Photograph(const wchar_t* name, HWND window) {
  Sleep(300);  // the X server shows what Wine painted a moment later
  RECT r;
  GetWindowRect(window, &r);
  printf("%ls %ld %ld %ld %ld\n", name, r.left, r.top, r.right - r.left, r.bottom - r.top);
  fflush(stdout);
  std::wstring done = g_out + L"\\" + name + L".done";
  WaitUntil([&] { return FileExists(done); }, 30000);
}

void PhotographModeless(const wchar_t* name, HWND window) {
  ShowWindow(window, SW_SHOW);
  SetForegroundWindow(window);
  std::atomic<bool> taken{false};
  std::thread camera([&] {
    Photograph(name, window);
    taken = true;
  });
  PumpUntil([&] { return taken.load(); }, 40000);
  camera.join();
}

// The modal dialog that `accept` picks is photographed from another thread, then cancelled.
void PhotographModal(const wchar_t* name, const std::function<bool(HWND)>& accept,
                     const std::function<void(HWND)>& prepare, const std::function<void()>& open) {
  DialogDriver driver(accept,
                      [&](HWND h) {
                        if (prepare) prepare(h);
                        Photograph(name, h);
                        PostMessageW(h, WM_COMMAND, IDCANCEL, 0);
                      },
                      GetCurrentProcessId(), 40000);
  open();
  driver.Wait();
}

// Ticks every box, so that the pictures show the fields enabled.
void TickAll(HWND dialog) {
  for (int id : {IDC_P1_CHECK, IDC_P2_CHECK, IDC_P1_CHAR_CHECK, IDC_P2_CHAR_CHECK, IDC_FROM_CHECK, IDC_TO_CHECK,
                 IDC_LIMIT_CHECK, IDC_P1_WILDCARD, IDC_P2_WILDCARD})
    if (HWND box = GetDlgItem(dialog, id)) SendMessageW(box, BM_CLICK, 0, 0);
}

std::function<bool(HWND)> Titled(const wchar_t* title) {
  return [title](HWND h) { return WindowText(h) == title; };
}

void StoreEvening() {
  const char* names[] = {"akane", "kuroneko", "sora", "hayate"};
  for (int i = 0; i < 60; ++i)
    Store(Match(At(2026, 12, 7, 20, i / 10, i % 60), "me", i % 14, i % 3 ? 2 : 1, names[i % 4], (i * 5) % 14,
                i % 3 ? 1 : 2));
}
// Two years of a keen player: 200 000 matches, about 275 an evening, one own character played most, a
// rate that climbs and falls over the months.
void StoreTwoYears() {
  sqlite3* db = RecordDatabase();
  sqlite3_stmt* insert = nullptr;
  sqlite3_prepare_v2(db, "INSERT INTO viziriduvozmirrow VALUES (?, 'me', ?, ?, 'opp', ?, ?)", -1, &insert, nullptr);
  sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
  uint32_t x = 7;
  const int64_t day = 864000000000LL, second = 10000000LL;
  int64_t evening = At(2024, 12, 1, 18), t = evening;
  for (int i = 0; i < 200000; ++i) {
    x = (uint32_t)(((uint64_t)x * 1103515245u + 12345u) % (1u << 31));
    if (i % 275 == 0 && i) t = evening += day * (x % 7 == 0 ? 2 : 1);
    t += (40 + x % 100) * second;
    int percent = 44 + (i / 8000) % 12;
    bool won = (int)((x >> 8) % 100) < percent;
    sqlite3_bind_int64(insert, 1, t);
    sqlite3_bind_int(insert, 2, (x >> 4) % 10 < 4 ? 12 : (x >> 4) % 14);
    sqlite3_bind_int(insert, 3, won ? 2 : (x >> 20) % 2);
    sqlite3_bind_int(insert, 4, (x >> 12) % 14);
    sqlite3_bind_int(insert, 5, won ? (x >> 20) % 2 : 2);
    sqlite3_step(insert);
    sqlite3_reset(insert);
  }
  sqlite3_finalize(insert);
  sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
}
}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) {
    fprintf(stderr, "usage: DialogScreens <output folder>\n");
    return 2;
  }
  g_out = argv[1];
  ScratchProfile profile;
  StoreEvening();
  g_app.highPrecision = true;
  g_app.colorization = true;
  g_app.autoAjustViewRect = true;

  HWND summary = CreateDialogParamW(g_app.instance, MAKEINTRESOURCEW(IDD_SUMMARY), nullptr, SummaryDialogProc, 0);
  g_app.summaryWindow = summary;
  PrintFont(summary);
  PhotographModeless(L"summary", summary);

  RecordFilter* own = new RecordFilter{};
  own->flags = FilterP1Id;
  own->p1id = 3;
  HWND detail = OpenDetailWindow(summary, own, 1);
  PhotographModeless(L"detail", detail);
  HWND opponents = OpenOpponentProfileWindow(detail, nullptr);
  PhotographModeless(L"opponents", opponents);
  HWND history = OpenMatchHistoryWindow(summary, nullptr);
  PhotographModeless(L"history", history);
  DestroyWindow(history);
  DestroyWindow(detail);

  RecordFilter custom{};
  PhotographModal(L"custom_filter", Titled(L"カスタム戦績"), TickAll, [&] { ShowCustomFilterDialog(summary, &custom); });
  PhotographModal(L"history_filter", Titled(L"対戦履歴フィルタの設定"), TickAll, [&] { ShowHistoryFilterDialog(summary); });

  ProfileShortcut entry{};
  lstrcpynW(entry.path, profile.Path().c_str(), 1025);
  entry.keyCode = 0x800 | 'A';
  InstallShortcuts(&entry, 1);
  // The tray's dialogs belong to the hidden main window, made here as the tracker makes it.
  g_app.mainWindow = CreateWindowExW(0, L"STATIC", nullptr, WS_POPUP, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                                     CW_USEDEFAULT, nullptr, nullptr, g_app.instance, nullptr);
  PhotographModal(L"game_path", [](HWND h) { return GetWindow(h, GW_OWNER) == g_app.mainWindow; }, nullptr,
                  [] { ChooseProgramFile(GameProgramWord); });
  HWND shortcuts = CreateDialogParamW(g_app.instance, MAKEINTRESOURCEW(IDD_SHORTCUT_LIST), g_app.mainWindow,
                                      ShortcutListDialogProc, 0);
  PhotographModeless(L"shortcut_list", shortcuts);
  PrintFont(shortcuts);
  ProfileShortcut edited = entry;
  PhotographModal(L"shortcut_key", Titled(L"プロファイル短縮キー"), nullptr, [&] {
    ShowShortcutKeyDialog(shortcuts, GetDlgItem(shortcuts, IDC_SHORTCUT_LIST), true, edited);
  });
  DestroyWindow(shortcuts);

  HWND graph = OpenGraphWindow(summary);
  PhotographModeless(L"graph", graph);
  DestroyWindow(graph);
  StoreTwoYears();
  SendMessageW(summary, RefreshSummaryMessage, 0, 0);
  graph = OpenGraphWindow(summary);
  PhotographModeless(L"graph_two_years", graph);
  DestroyWindow(graph);
  DestroyWindow(summary);
  return 0;
}
