// Times one capture with 0, 1 and 4 match histories open and with the graph open, on profiles of 10 000,
// 100 000 and 1 000 000 matches: the GUI thread's time from the insert until the summary has been told and
// every open history shows the new match. Then the private bytes of this process (the tracker's code and
// windows) at start, with the summary open, and with the graph, four histories and four opponent lists open.
// Run by bench/captures/run.sh; an argument after the folder limits it to one size (e.g. 10000).
#include <windows.h>
#include <commctrl.h>
#include <psapi.h>
#include <sqlite3.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "../BenchSupport.h"
#include "common/TextUtil.h"
#include "resources/resource.h"
#include "shell/AppState.h"
#include "shell/ChangeJournal.h"
#include "store/RecordDatabase.h"
#include "store/RecordQueries.h"
#include "views/GraphWindow.h"
#include "views/SummaryWindow.h"
#include "views/ViewWindows.h"

namespace {
const int64_t Minute = 600000000LL;

// Evening sessions against a few hundred opponents, walking back from an hour ago.
bool Generate(const std::wstring& path, int matches) {
  DeleteFileW(path.c_str());
  std::wstring kept = path + L".base";
  if (CopyFileW(kept.c_str(), path.c_str(), FALSE)) return true;
  SetDatabasePath(path);
  if (!OpenRecordDatabase()) return false;
  std::vector<std::string> opponents;
  for (int i = 0; i < 400; ++i) opponents.push_back("rival" + std::to_string(i));
  bool ok = InsertEvenings(RecordDatabase(), matches, 97531u + matches, "me", opponents, CurrentTimestamp() - 60 * Minute);
  CloseRecordDatabase();
  // The captures change the profile: later runs start from a copy of the one made here.
  return ok && CopyFileW(path.c_str(), kept.c_str(), FALSE);
}

// Pumps until `done`, giving up after two minutes.
void PumpUntil(const std::function<bool()>& done) {
  double start = Now();
  while (!done() && Now() - start < 120000) {
    Pump();
    if (!done()) MsgWaitForMultipleObjects(0, nullptr, FALSE, 1, QS_ALLINPUT);
  }
}

double PrivateMegabytes() {
  PROCESS_MEMORY_COUNTERS_EX counters{};
  counters.cb = sizeof counters;
  GetProcessMemoryInfo(GetCurrentProcess(), (PROCESS_MEMORY_COUNTERS*)&counters, sizeof counters);
  // Wine leaves PrivateUsage at 0; the commit charge is the same figure on Windows.
  SIZE_T bytes = counters.PrivateUsage ? counters.PrivateUsage : counters.PagefileUsage;
  return bytes / 1048576.0;
}

int Rows(HWND window, int listId) { return (int)SendMessageW(GetDlgItem(window, listId), LVM_GETITEMCOUNT, 0, 0); }

// One capture as the shell stores it; milliseconds until the summary has been told and each history holds
// `expected` rows.
double g_cpu = 0;  // the GUI thread's processor time of the last capture

double Capture(HWND summary, const std::vector<HWND>& histories, int expected) {
  MatchRecord record{};
  QueryLatestMatch(RecordFilter{}, record);
  record.timestamp += Minute;
  record.p2win = 2 - record.p2win;
  record.p1win = 2 - record.p1win;
  double cpu = ThreadCpuMilliseconds();
  double start = Now();
  BeginTransaction();
  bool stored = InsertMatchRecord(record);
  EndTransaction(!stored);
  RecordChange(ChangeInserted, record);
  PostMessageW(summary, RefreshSummaryMessage, 0, 0);
  bool told = false;
  auto done = [&] {
    MSG msg;
    // The refresh message is handled once it has left the queue and the queue is empty.
    told = told || !PeekMessageW(&msg, summary, RefreshSummaryMessage, RefreshSummaryMessage, PM_NOREMOVE);
    if (!told) return false;
    for (HWND history : histories)
      if (Rows(history, IDC_HISTORY_LIST) != expected) return false;
    return !PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);
  };
  PumpUntil(done);
  g_cpu = ThreadCpuMilliseconds() - cpu;
  return Now() - start;
}
}  // namespace

int main(int argc, char** argv) {
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES | ICC_UPDOWN_CLASS | ICC_DATE_CLASSES};
  InitCommonControlsEx(&controls);
  g_app.instance = GetModuleHandleW(nullptr);
  std::wstring cache = argc > 1 ? Utf8ToWide(argv[1]) : L".";
  int only = argc > 2 ? atoi(argv[2]) : 0;
  g_app.settingsPath = cache + L"\\capture-bench.ini";
  std::printf("%-34s %9s %12s %16s\n", "capture with", "matches", "ms (median)", "cpu ms (median)");
  std::vector<std::string> memory;
  for (int matches : {10000, 100000, 1000000}) {
    if (only && matches != only) continue;
    std::wstring path = cache + L"\\captures-" + std::to_wstring(matches) + L".db";
    double atStart = PrivateMegabytes();
    if (!Generate(path, matches)) {
      std::printf("could not build %d matches\n", matches);
      return 1;
    }
    SetDatabasePath(path);
    if (!OpenRecordDatabase()) return 1;
    RecordFilter everything{};
    HWND summary = CreateDialogParamW(g_app.instance, MAKEINTRESOURCEW(IDD_SUMMARY), nullptr, SummaryDialogProc, 0);
    if (!summary) {
      std::printf("no summary window (error %lu)\n", GetLastError());
      return 1;
    }
    g_app.summaryWindow = summary;
    ListenToRecordChanges();
    ShowWindow(summary, SW_SHOW);
    Pump();
    double withSummary = PrivateMegabytes();
    int summaryCache = 0, highest = 0;
    sqlite3_db_status(RecordDatabase(), SQLITE_DBSTATUS_CACHE_USED, &summaryCache, &highest, 0);
    int stored = matches;
    struct Case {
      const char* name;
      int histories;
      bool graph;
    };
    for (Case c : {Case{"nothing else open", 0, false}, Case{"1 history", 1, false}, Case{"4 histories", 4, false},
                   Case{"the graph", 0, true}}) {
      std::vector<HWND> histories;
      for (int i = 0; i < c.histories; ++i) {
        HWND history = OpenMatchHistoryWindow(summary, &everything);
        PumpUntil([&] { return Rows(history, IDC_HISTORY_LIST) == stored; });
        histories.push_back(history);
      }
      HWND graph = c.graph ? OpenGraphWindow(summary) : nullptr;
      Pump();
      std::vector<double> times, cpus;
      for (int r = 0; r < 9; ++r) {
        times.push_back(Capture(summary, histories, ++stored));
        cpus.push_back(g_cpu);
      }
      std::printf("%-34s %9d %12.1f %16.1f\n", c.name, matches, Median(times), Median(cpus));
      std::fflush(stdout);
      for (HWND history : histories) DestroyWindow(history);
      if (graph) DestroyWindow(graph);
      Pump();
    }
    // Everything open at once.
    std::vector<HWND> open;
    open.push_back(OpenGraphWindow(summary));
    for (int i = 0; i < 4; ++i) {
      HWND history = OpenMatchHistoryWindow(summary, &everything);
      PumpUntil([&] { return Rows(history, IDC_HISTORY_LIST) == stored; });
      open.push_back(history);
      HWND opponents = OpenOpponentProfileWindow(summary, &everything);
      PumpUntil([&] { return Rows(opponents, IDC_RECORD_LIST) >= 400; });
      open.push_back(opponents);
    }
    Pump();
    char line[160];
    int cacheBytes = 0;
    sqlite3_db_status(RecordDatabase(), SQLITE_DBSTATUS_CACHE_USED, &cacheBytes, &highest, 0);
    std::snprintf(line, sizeof line, "%9d %10.1f %12.1f %14.1f   SQLite's page cache %.1f and %.1f", matches, atStart,
                  withSummary, PrivateMegabytes(), summaryCache / 1048576.0, cacheBytes / 1048576.0);
    memory.push_back(line);
    for (HWND window : open) DestroyWindow(window);
    DestroyWindow(summary);
    g_app.summaryWindow = nullptr;
    Pump();
    CloseRecordDatabase();
  }
  std::printf("\nprivate MB: %9s %10s %12s %14s\n", "matches", "at start", "summary", "all open");
  for (const std::string& line : memory) std::printf("            %s\n", line.c_str());
  return 0;
}
