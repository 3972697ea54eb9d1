// Times the summary's refresh and the other record queries on profile databases of 10 000, 100 000 and
// 1 000 000 matches, against one bare pass over the table. Run by bench/queries/run.sh.
#include <windows.h>
#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "common/TextUtil.h"
#include "../BenchSupport.h"
#include "store/MatchSnapshot.h"
#include "store/RecordDatabase.h"
#include "store/RecordQueries.h"

namespace {
// A user who mostly plays three characters and now and then five others, six never; a few hundred
// opponents met in evening sessions over a few years, the last session ending now.
bool Generate(const std::wstring& path, int matches) {
  DeleteFileW(path.c_str());
  SetDatabasePath(path);
  if (!OpenRecordDatabase()) return false;
  sqlite3* db = RecordDatabase();
  sqlite3_stmt* insert = nullptr;
  if (sqlite3_prepare_v2(db,
                         "insert into viziriduvozmirrow (timestamp, p1name, p1id, p1win, p2name, p2id, p2win) "
                         "values (?, ?, ?, ?, ?, ?, ?);",
                         -1, &insert, nullptr) != SQLITE_OK)
    return false;
  std::mt19937 random(1234567u + matches);
  std::vector<std::string> opponents;
  const char* syllables[] = {"ka", "ri", "mo", "te", "su", "na", "yo", "zu", "ha", "ne", "ro", "mi"};
  for (int i = 0; i < 400; ++i) {
    std::string name;
    for (int k = 0; k < 2 + i % 3; ++k) name += syllables[(i * 7 + k * 5 + i / 12) % 12];
    name += std::to_string(i);
    opponents.push_back(i % 5 == 0 ? WideToAnsi(Utf8ToWide(("対戦" + name).c_str()).c_str()) : name);
  }
  const int own[] = {4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 9, 9, 9, 9, 9, 1, 1, 0, 2, 6, 7, 11};  // never 3, 5, 8, 10, 12, 13
  std::vector<double> popularity;
  for (int i = 0; i < 400; ++i) popularity.push_back(1.0 / (1 + i));
  std::discrete_distribution<int> opponent(popularity.begin(), popularity.end());
  std::discrete_distribution<int> opponentCharacter({9, 6, 5, 8, 12, 4, 7, 6, 3, 10, 5, 9, 4, 2});
  // Walk back from now in sessions of 5..60 matches, 1..4 minutes apart, a day or so between sessions.
  std::vector<int64_t> stamps(matches);
  int64_t t = CurrentTimestamp();
  const int64_t minute = 600000000LL;
  for (int i = 0, left = 0; i < matches; ++i) {
    if (left == 0) {
      left = 5 + random() % 56;
      t -= (int64_t)(6 + random() % 40) * 60 * minute;
    }
    --left;
    t -= minute + (int64_t)(random() % (3 * 60000)) * 10000;
    stamps[i] = t;
  }
  const std::string me = WideToAnsi(L"自分");
  sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
  bool ok = true;
  for (int i = matches - 1; i >= 0 && ok; --i) {
    bool win = random() % 100 < 52;
    int loserRounds = random() % 2;
    const std::string& name = opponents[opponent(random)];
    sqlite3_bind_int64(insert, 1, stamps[i]);
    sqlite3_bind_text(insert, 2, me.c_str(), -1, SQLITE_STATIC);
    sqlite3_bind_int(insert, 3, own[random() % (sizeof own / sizeof own[0])]);
    sqlite3_bind_int(insert, 4, win ? 2 : loserRounds);
    sqlite3_bind_text(insert, 5, name.c_str(), -1, SQLITE_STATIC);
    sqlite3_bind_int(insert, 6, opponentCharacter(random));
    sqlite3_bind_int(insert, 7, win ? loserRounds : 2);
    ok = sqlite3_step(insert) == SQLITE_DONE;
    sqlite3_reset(insert);
  }
  sqlite3_finalize(insert);
  sqlite3_exec(db, ok ? "COMMIT" : "ROLLBACK", nullptr, nullptr, nullptr);
  CloseRecordDatabase();
  return ok;
}

// The summary window's refresh: 18 pairing questions in one transaction.
typedef bool (*PairingQuery)(const RecordFilter&);
bool Refresh(PairingQuery query, int direction) {
  BeginTransaction();
  RecordFilter f{};
  ApplySummaryPeriod(f);
  bool ok = query(f);
  for (int c = 0; c < 14 && ok; ++c) {
    f = RecordFilter{};
    f.flags = (direction ? FilterP1Id : FilterP2Id) | FilterLimit;
    f.limit = 50;
    ApplySummaryPeriod(f);
    (direction ? f.p1id : f.p2id) = c;
    ok = query(f);
  }
  for (int n : {30, 50, 100}) {
    if (!ok) break;
    f = RecordFilter{};
    ApplySummaryPeriod(f);
    if (!(f.flags & FilterLimit) || f.limit > n) {
      f.flags |= FilterLimit;
      f.limit = n;
    }
    ok = query(f);
  }
  EndTransaction(!ok);
  return ok;
}

int64_t g_lastStamp = 0;
// What happens before a refresh in use: a captured match is stored.
void Capture() {
  MatchRecord r{};
  r.timestamp = g_lastStamp += 10000;
  strcpy(r.p1name, "bench");
  r.p1id = 4;
  r.p1win = 2;
  strcpy(r.p2name, "bench");
  r.p2id = 4;
  BeginTransaction();
  InsertMatchRecord(r);
  EndTransaction(false);
}

// Another program (an editor, a second tracker) stores a match: the copy must be read again.
sqlite3* g_other = nullptr;
void OtherCapture() {
  char* sql = sqlite3_mprintf("INSERT INTO viziriduvozmirrow VALUES (%lld, 'other', 4, 2, 'other', 4, 0)",
                              (long long)(g_lastStamp += 10000));
  sqlite3_exec(g_other, sql, nullptr, nullptr, nullptr);
  sqlite3_free(sql);
}

struct Figure {
  std::string what;
  double ms;
};

double Time(int repeats, const std::function<void()>& before, const std::function<bool()>& body, bool& failed) {
  std::vector<double> times;
  for (int i = 0; i < repeats; ++i) {
    if (before) before();
    double start = Now();
    if (!body()) failed = true;
    times.push_back(Now() - start);
  }
  return Median(times);
}

void CountRow(const MatchRecord&, void* context) { ++*static_cast<int*>(context); }
}  // namespace

int main(int argc, char** argv) {
  std::wstring cache = argc > 1 ? Utf8ToWide(argv[1]) : L".";
  bool withStatements = !(argc > 2 && strcmp(argv[2], "--quick-only") == 0);
  CreateDirectoryW(cache.c_str(), nullptr);
  std::printf("%-56s %10s %10s %8s\n", "measure", "matches", "median ms", "x floor");
  for (int matches : {10000, 100000, 1000000}) {
    std::wstring source = cache + L"\\matches-" + std::to_wstring(matches) + L".db";
    bool have = false;
    if (GetFileAttributesW(source.c_str()) != INVALID_FILE_ATTRIBUTES) {
      SetDatabasePath(source);
      have = OpenRecordDatabase() && Scalar(RecordDatabase(), "SELECT count(*) FROM viziriduvozmirrow") == matches;
      CloseRecordDatabase();
    }
    if (!have) {
      double start = Now();
      if (!Generate(source, matches)) {
        std::printf("could not build %d matches\n", matches);
        return 1;
      }
      std::fprintf(stderr, "built %d matches in %.0f ms\n", matches, Now() - start);
    }
    // Work on a copy: the captures below change the table.
    std::wstring work = cache + L"\\work.db";
    if (!CopyFileW(source.c_str(), work.c_str(), FALSE)) return 1;
    SetDatabasePath(work);
    if (!OpenRecordDatabase()) return 1;
    MatchRecord latest;
    RecordFilter none{};
    QueryLatestMatch(none, latest);
    g_lastStamp = latest.timestamp;

    if (sqlite3_open(WideToUtf8(work.c_str()).c_str(), &g_other) != SQLITE_OK) return 1;
    int repeats = matches >= 1000000 ? 5 : 9;
    bool failed = false;
    std::vector<Figure> figures;
    sqlite3* db = RecordDatabase();
    // Warm the page cache, as a tracker that has been running would have it.
    sqlite3_exec(db, "SELECT count(*), sum(p1win), sum(p2win) FROM viziriduvozmirrow", nullptr, nullptr, nullptr);
    double floor = Time(repeats, nullptr, [&] {
      return sqlite3_exec(db, "SELECT count(*), sum(p1win), sum(p2win) FROM viziriduvozmirrow", nullptr, nullptr,
                          nullptr) == SQLITE_OK;
    }, failed);
    figures.push_back({"floor: SELECT count(*), sum(p1win), sum(p2win)", floor});

    for (int period : {PeriodAll, PeriodToday}) {
      for (int direction : {1, 0}) {
        SummaryPeriod = period;
        std::string label = std::string("refresh, ") + (direction ? "own" : "opponent") + " characters, " +
                            (period == PeriodAll ? "all" : "today");
        figures.push_back({label + ", after a capture", Time(repeats, Capture, [&] {
                             return Refresh(QueryPairingTotals, direction);
                           }, failed)});
        if (period == PeriodAll)
          figures.push_back({label + ", after another's write", Time(repeats, OtherCapture, [&] {
                               return Refresh(QueryPairingTotals, direction);
                             }, failed)});
        figures.push_back({label + ", unchanged table", Time(repeats, nullptr, [&] {
                             return Refresh(QueryPairingTotals, direction);
                           }, failed)});
        if (withStatements)
          figures.push_back({label + ", statements", Time(matches >= 1000000 ? 3 : repeats, Capture, [&] {
                               return Refresh(QueryPairingTotalsByStatement, direction);
                             }, failed)});
      }
    }
    SummaryPeriod = PeriodAll;
    int rows = 0;
    auto opponents = [&] { return QueryOpponentTotals(none, CountRow, &rows); };
    figures.push_back({"per-opponent totals, all, after a capture", Time(repeats, Capture, opponents, failed)});
    figures.push_back({"per-opponent totals, all, after another's write", Time(repeats, OtherCapture, opponents, failed)});
    figures.push_back({"per-opponent totals, all, unchanged table", Time(repeats, nullptr, opponents, failed)});
    RecordFilter last100{};
    last100.flags = FilterLimit;
    last100.limit = 100;
    figures.push_back({"history, 100 newest", Time(repeats, nullptr, [&] {
                         return QueryMatchHistory(last100, CountRow, &rows);
                       }, failed)});
    for (const Figure& f : figures)
      std::printf("%-56s %10d %10.1f %8.2f\n", f.what.c_str(), matches, f.ms, f.ms / floor);
    std::fflush(stdout);
    sqlite3_close(g_other);
    CloseRecordDatabase();
    DeleteFileW(work.c_str());
    if (failed) {
      std::printf("a query failed\n");
      return 1;
    }
  }
  return 0;
}
