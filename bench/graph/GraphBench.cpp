// Times the graph window on profile databases of 10 000, 100 000 and 1 000 000 matches, against one bare
// pass over the table: opening it, and its refresh after a capture. Run by bench/graph/run.sh.
#include <windows.h>
#include <commctrl.h>
#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "../BenchSupport.h"
#include "shell/AppState.h"
#include "common/TextUtil.h"
#include "store/RecordDatabase.h"
#include "store/RecordQueries.h"
#include "views/GraphWindow.h"

namespace {
// Evening sessions of 5..60 matches a few minutes apart, a day or so between them, ending now; three main
// characters and a few others against the whole roster.
bool Generate(const std::wstring& path, int matches) {
  DeleteFileW(path.c_str());
  SetDatabasePath(path);
  if (!OpenRecordDatabase()) return false;
  sqlite3* db = RecordDatabase();
  sqlite3_stmt* insert = nullptr;
  if (sqlite3_prepare_v2(db, "insert into viziriduvozmirrow values (?, 'me', ?, ?, ?, ?, ?);", -1, &insert,
                         nullptr) != SQLITE_OK)
    return false;
  std::mt19937 random(7654321u + matches);
  const int own[] = {4, 4, 4, 4, 4, 4, 9, 9, 9, 1, 1, 0, 6, 11};
  const int64_t minute = 600000000LL;
  std::vector<int64_t> stamps(matches);
  int64_t t = CurrentTimestamp();
  for (int i = 0, left = 0; i < matches; ++i) {
    if (left == 0) {
      left = 5 + random() % 56;
      t -= (int64_t)(6 + random() % 40) * 60 * minute;
    }
    --left;
    t -= minute + (int64_t)(random() % (3 * 60000)) * 10000;
    stamps[i] = t;
  }
  sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
  bool ok = true;
  for (int i = matches - 1; i >= 0 && ok; --i) {
    bool win = random() % 100 < 52;
    int loser = random() % 2;
    std::string name = "opp" + std::to_string(random() % 300);
    sqlite3_bind_int64(insert, 1, stamps[i]);
    sqlite3_bind_int(insert, 2, own[random() % (sizeof own / sizeof own[0])]);
    sqlite3_bind_int(insert, 3, win ? 2 : loser);
    sqlite3_bind_text(insert, 4, name.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_int(insert, 5, random() % 14);
    sqlite3_bind_int(insert, 6, win ? loser : 2);
    ok = sqlite3_step(insert) == SQLITE_DONE;
    sqlite3_reset(insert);
  }
  sqlite3_finalize(insert);
  sqlite3_exec(db, ok ? "COMMIT" : "ROLLBACK", nullptr, nullptr, nullptr);
  CloseRecordDatabase();
  return ok;
}

// The summary's refresh as it runs after a capture: its 18 pairing questions, which bring the in-memory
// copy up to date, then the graph's refresh.
bool SummaryQueries() {
  BeginTransaction();
  RecordFilter f{};
  bool ok = QueryPairingTotals(f);
  for (int c = 0; c < 14 && ok; ++c) {
    f = RecordFilter{};
    f.flags = FilterP1Id | FilterLimit;
    f.limit = 50;
    f.p1id = c;
    ok = QueryPairingTotals(f);
  }
  for (int n : {30, 50, 100}) {
    f = RecordFilter{};
    f.flags = FilterLimit;
    f.limit = n;
    ok = ok && QueryPairingTotals(f);
  }
  EndTransaction(!ok);
  return ok;
}

int64_t g_lastStamp = 0;
void Capture() {
  MatchRecord r{};
  r.timestamp = g_lastStamp += 10000;
  strcpy(r.p1name, "bench");
  r.p1id = 4;
  r.p1win = 2;
  strcpy(r.p2name, "bench");
  r.p2id = 7;
  BeginTransaction();
  InsertMatchRecord(r);
  EndTransaction(false);
}

double Time(int repeats, const std::function<void()>& before, const std::function<bool()>& body,
            const std::function<void()>& after, bool& failed) {
  std::vector<double> times;
  for (int i = 0; i < repeats; ++i) {
    if (before) before();
    double start = Now();
    if (!body()) failed = true;
    times.push_back(Now() - start);
    if (after) after();
  }
  return Median(times);
}

// Opened and painted once.
bool OpenAndPaint() {
  HWND graph = OpenGraphWindow(nullptr);
  if (!graph) return false;
  UpdateWindow(graph);
  return true;
}

void Close() {
  if (HWND graph = GraphWindow()) DestroyWindow(graph);
}

bool RefreshAndPaint() {
  RefreshGraphWindow();
  UpdateWindow(GraphWindow());
  return true;
}
}  // namespace

int main(int argc, char** argv) {
  std::wstring cache = argc > 1 ? Utf8ToWide(argv[1]) : L".";
  CreateDirectoryW(cache.c_str(), nullptr);
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);
  g_app.instance = GetModuleHandleW(nullptr);
  g_app.settingsPath = cache + L"\\GraphBench.ini";
  std::printf("%-56s %10s %10s %8s\n", "measure", "matches", "median ms", "x floor");
  for (int matches : {10000, 100000, 1000000}) {
    std::wstring source = cache + L"\\graph-" + std::to_wstring(matches) + L".db";
    bool have = false;
    if (GetFileAttributesW(source.c_str()) != INVALID_FILE_ATTRIBUTES) {
      SetDatabasePath(source);
      have = OpenRecordDatabase() && Scalar(RecordDatabase(), "SELECT count(*) FROM viziriduvozmirrow") == matches;
      CloseRecordDatabase();
    }
    if (!have && !Generate(source, matches)) {
      std::printf("could not build %d matches\n", matches);
      return 1;
    }
    std::wstring work = cache + L"\\graph-work.db";
    if (!CopyFileW(source.c_str(), work.c_str(), FALSE)) return 1;
    SetDatabasePath(work);
    if (!OpenRecordDatabase()) return 1;
    MatchRecord latest;
    RecordFilter none{};
    QueryLatestMatch(none, latest);
    g_lastStamp = latest.timestamp;

    int repeats = matches >= 1000000 ? 5 : 9;
    bool failed = false;
    const char* bare = "SELECT count(*), sum(p1win), sum(p2win) FROM viziriduvozmirrow";
    sqlite3_exec(RecordDatabase(), bare, nullptr, nullptr, nullptr);
    std::vector<std::pair<std::string, double>> figures;
    double floor = Time(repeats, nullptr, [&] {
      return sqlite3_exec(RecordDatabase(), bare, nullptr, nullptr, nullptr) == SQLITE_OK;
    }, nullptr, failed);
    figures.push_back({"floor: SELECT count(*), sum(p1win), sum(p2win)", floor});
    // A fresh connection has no copy yet: the window's own pass makes it.
    auto reconnect = [&] {
      CloseRecordDatabase();
      OpenRecordDatabase();
      sqlite3_exec(RecordDatabase(), bare, nullptr, nullptr, nullptr);
    };
    figures.push_back({"open, no copy yet", Time(repeats, reconnect, OpenAndPaint, Close, failed)});
    figures.push_back({"open, after the summary's refresh", Time(repeats, [&] { SummaryQueries(); }, OpenAndPaint, Close, failed)});
    OpenAndPaint();
    figures.push_back({"refresh after a capture, graph alone", Time(repeats, [&] {
                         Capture();
                         SummaryQueries();
                       }, RefreshAndPaint, nullptr, failed)});
    figures.push_back({"repaint, nothing changed", Time(repeats, nullptr, [&] {
                         InvalidateRect(GraphWindow(), nullptr, FALSE);
                         UpdateWindow(GraphWindow());
                         return true;
                       }, nullptr, failed)});
    figures.push_back({"refresh after a capture, summary's queries + graph", Time(repeats, Capture, [&] {
                         return SummaryQueries() && RefreshAndPaint();
                       }, nullptr, failed)});
    // For a look at what was timed.
    SaveGraphPicture(GraphWindow(), cache + L"\\graph-" + std::to_wstring(matches) + L".png");
    Close();
    for (const auto& f : figures)
      std::printf("%-56s %10d %10.1f %8.2f\n", f.first.c_str(), matches, f.second, f.second / floor);
    std::fflush(stdout);
    CloseRecordDatabase();
    DeleteFileW(work.c_str());
    if (failed) {
      std::printf("a step failed\n");
      return 1;
    }
  }
  return 0;
}
