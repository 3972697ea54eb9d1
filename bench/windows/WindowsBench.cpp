// Times the opening of the match history and opponent windows on profiles of 10 000, 100 000 and 1 000 000
// matches against one bare pass over the same rows, and the longest time the GUI thread leaves a sent
// WM_NULL unanswered meanwhile, measured by a second process. Run by bench/windows/run.sh; an argument after
// the folder limits it to one size.
#include <windows.h>
#include <commctrl.h>
#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "../BenchSupport.h"
#include "common/TextUtil.h"
#include "store/RecordDatabase.h"
#include "store/RecordQueries.h"
#include "views/ViewCommon.h"
#include "views/ViewWindows.h"

namespace {
// Evening sessions of 5..60 matches against a few hundred opponents, walking back from now.
bool Generate(const std::wstring& path, int matches) {
  DeleteFileW(path.c_str());
  SetDatabasePath(path);
  if (!OpenRecordDatabase()) return false;
  std::vector<std::string> opponents;
  for (int i = 0; i < 400; ++i)
    opponents.push_back(i % 5 == 0 ? WideToAnsi((L"対戦" + std::to_wstring(i)).c_str()) : "rival" + std::to_string(i));
  const std::string me = WideToAnsi(L"自分");
  bool ok = InsertEvenings(RecordDatabase(), matches, 7654321u + matches, me, opponents, CurrentTimestamp());
  CloseRecordDatabase();
  return ok;
}

double g_cpu = 0;  // the processor time of the last timing

// The same columns as the window reads, stepped to the end without building anything.
double BarePass(const char* sql) {
  sqlite3_stmt* statement = nullptr;
  double cpu = ThreadCpuMilliseconds();
  double start = NowMilliseconds();
  if (sqlite3_prepare_v2(RecordDatabase(), sql, -1, &statement, nullptr) != SQLITE_OK) return -1;
  while (sqlite3_step(statement) == SQLITE_ROW) {
    for (int c = 0; c < sqlite3_column_count(statement); ++c) sqlite3_column_value(statement, c);
  }
  sqlite3_finalize(statement);
  g_cpu = ThreadCpuMilliseconds() - cpu;
  return NowMilliseconds() - start;
}


// Opens a window and pumps until its list holds `rows` rows and has painted them; milliseconds.
double OpenAndShow(const std::function<HWND()>& open, int listId, long long rows) {
  double cpu = ThreadCpuMilliseconds();
  double start = NowMilliseconds();
  HWND window = open();
  HWND list = GetDlgItem(window, listId);
  if (!list) {
    std::fprintf(stderr, "no window (%p, error %lu)\n", (void*)window, GetLastError());
    return -1;
  }
  for (;;) {
    Pump();
    if (SendMessageW(list, LVM_GETITEMCOUNT, 0, 0) >= rows) break;
    if (NowMilliseconds() - start > 120000) {
      std::fprintf(stderr, "gave up: %d of %lld rows\n", (int)SendMessageW(list, LVM_GETITEMCOUNT, 0, 0), rows);
      break;
    }
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
  }
  RedrawWindow(window, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
  double took = NowMilliseconds() - start;
  g_cpu = ThreadCpuMilliseconds() - cpu;
  DestroyWindow(window);
  Pump();
  return took;
}

// The second process: pings the window until the event is set; exit code = longest answer in ms.
int Ping(HWND target, HANDLE stop) {
  double longest = 0;
  while (WaitForSingleObject(stop, 0) == WAIT_TIMEOUT) {
    double start = NowMilliseconds();
    DWORD_PTR result;
    SendMessageTimeoutW(target, WM_NULL, 0, 0, SMTO_NORMAL, 30000, &result);
    longest = std::max(longest, NowMilliseconds() - start);
    Sleep(1);
  }
  return (int)(longest + 0.5);
}

// Longest unanswered WM_NULL from another process while `open` runs.
int LongestStall(HWND target, const std::function<void()> work) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE stop = CreateEventW(&inherit, TRUE, FALSE, nullptr);
  wchar_t exe[MAX_PATH];
  GetModuleFileNameW(nullptr, exe, MAX_PATH);
  std::wstring command = L"\"" + std::wstring(exe) + L"\" --ping " + std::to_wstring((unsigned long long)(UINT_PTR)target) +
                         L" " + std::to_wstring((unsigned long long)(UINT_PTR)stop);
  STARTUPINFOW si{sizeof si};
  PROCESS_INFORMATION pi{};
  if (!CreateProcessW(nullptr, &command[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi)) return -1;
  // Let the pinger settle into its loop (it starts answering at once; the first pings are not the window's).
  double until = NowMilliseconds() + 1500;
  while (NowMilliseconds() < until) {
    Pump();
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
  }
  work();
  until = NowMilliseconds() + 300;
  while (NowMilliseconds() < until) {
    Pump();
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
  }
  SetEvent(stop);
  while (MsgWaitForMultipleObjects(1, &pi.hProcess, FALSE, INFINITE, QS_ALLINPUT) != WAIT_OBJECT_0) Pump();
  DWORD code = 0;
  GetExitCodeProcess(pi.hProcess, &code);
  CloseHandle(pi.hProcess);
  CloseHandle(pi.hThread);
  CloseHandle(stop);
  return (int)code;
}
}  // namespace

int main(int argc, char** argv) {
  if (argc > 3 && strcmp(argv[1], "--ping") == 0)
    return Ping((HWND)(UINT_PTR)_strtoui64(argv[2], nullptr, 10), (HANDLE)(UINT_PTR)_strtoui64(argv[3], nullptr, 10));
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES};
  InitCommonControlsEx(&controls);
  std::wstring cache = argc > 1 ? Utf8ToWide(argv[1]) : L".";
  int only = argc > 2 ? atoi(argv[2]) : 0;
  HWND owner = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
  std::printf("%-40s %9s %10s %10s %8s %12s\n", "window", "matches", "bare ms", "open ms", "x bare", "cpu x bare");
  for (int matches : {10000, 100000, 1000000}) {
    if (only && matches != only) continue;
    std::wstring path = cache + L"\\windows-" + std::to_wstring(matches) + L".db";
    bool have = false;
    if (GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES) {
      SetDatabasePath(path);
      have = OpenRecordDatabase() && Scalar(RecordDatabase(), "SELECT count(*) FROM viziriduvozmirrow") == matches;
      CloseRecordDatabase();
    }
    if (!have && !Generate(path, matches)) {
      std::printf("could not build %d matches\n", matches);
      return 1;
    }
    SetDatabasePath(path);
    if (!OpenRecordDatabase()) return 1;
    BarePass("SELECT count(*), sum(p1win) FROM viziriduvozmirrow");  // warm the page cache
    int repeats = matches >= 1000000 ? 3 : 5;
    struct Case {
      const char* name;
      int limit;  // 0: none; -1: the opponent window
    };
    for (Case c : {Case{"history, unfiltered", 0}, Case{"history, limit 100", 100}, Case{"history, limit 20000", 20000},
                   Case{"opponents, unfiltered", -1}}) {
      RecordFilter filter{};
      if (c.limit > 0) {
        filter.flags = FilterLimit;
        filter.limit = c.limit;
      }
      std::string bare = c.limit < 0 ? "SELECT p2name, p1win, p2win FROM viziriduvozmirrow"
                                      : "SELECT timestamp, p1name, p1id, p1win, p2name, p2id, p2win FROM "
                                        "viziriduvozmirrow ORDER BY timestamp DESC";
      if (c.limit > 0) bare += " LIMIT " + std::to_string(c.limit);
      long long rows = c.limit < 0 ? Scalar(RecordDatabase(), "SELECT count(DISTINCT p2name) FROM viziriduvozmirrow")
                                   : std::min<long long>(matches, c.limit > 0 ? c.limit : matches);
      auto open = [&] {
        return c.limit < 0 ? OpenOpponentProfileWindow(owner, &filter) : OpenMatchHistoryWindow(owner, &filter);
      };
      int listId = c.limit < 0 ? 5003 : 5032;
      std::vector<double> bares, opens, bareCpus, openCpus;
      for (int r = 0; r < repeats; ++r) {
        bares.push_back(BarePass(bare.c_str()));
        bareCpus.push_back(g_cpu);
        opens.push_back(OpenAndShow(open, listId, rows));
        openCpus.push_back(g_cpu);
      }
      double b = Median(bares), o = Median(opens);
      double cpuRatio = Median(openCpus) / std::max(Median(bareCpus), 1.0);
      if (c.limit == 0) {
        std::vector<double> queries, cpus;
        for (int r = 0; r < repeats; ++r) {
          double cpu = ThreadCpuMilliseconds();
          double start = NowMilliseconds();
          QueryMatchHistory(filter, [](const MatchRecord&, void*) {}, nullptr);
          queries.push_back(NowMilliseconds() - start);
          cpus.push_back(ThreadCpuMilliseconds() - cpu);
        }
        std::printf("%-40s %9d %10.1f %10.1f %8.2f %12.2f\n", "  history query alone", matches, b, Median(queries),
                    Median(queries) / b, Median(cpus) / std::max(Median(bareCpus), 1.0));
      }
      std::printf("%-40s %9d %10.1f %10.1f %8.2f %12.2f\n", c.name, matches, b, o, o / b, cpuRatio);
      std::fflush(stdout);
      if (matches == 1000000 && (c.limit == 0 || c.limit < 0)) {
        int stall = LongestStall(owner, [&] { OpenAndShow(open, listId, rows); });
        std::printf("%-40s %9d longest unanswered WM_NULL: %d ms\n", c.name, matches, stall);
        std::fflush(stdout);
      }
    }
    CloseRecordDatabase();
  }
  DestroyWindow(owner);
  return 0;
}
