// What the benchmark programs share: the clock, the median of repeated runs, one number from SQL, a generated
// history of evenings, the message pump.
#pragma once
#include <sqlite3.h>

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "views/ViewCommon.h"

inline double Now() { return NowMilliseconds(); }

// This thread's processor time (user and kernel), in milliseconds: unlike the clock, it does not count the
// time other programs on a shared machine took the processor. Painting done by the X server is not in it.
inline double ThreadCpuMilliseconds() {
  FILETIME created, exited, kernel, user;
  if (!GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user)) return 0;
  auto ms = [](const FILETIME& t) { return (double)(((uint64_t)t.dwHighDateTime << 32) | t.dwLowDateTime) / 10000.0; };
  return ms(kernel) + ms(user);
}

inline double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  size_t n = v.size();
  return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// The first column of the first row as a number, or -1.
inline long long Scalar(sqlite3* db, const char* sql) {
  long long n = -1;
  sqlite3_exec(
      db, sql,
      [](void* c, int, char** v, char**) {
        *static_cast<long long*>(c) = v[0] ? atoll(v[0]) : -1;
        return 0;
      },
      &n, nullptr);
  return n;
}

// Evening sessions of 5..60 matches against `opponents`, walking back from `newest`, into the open profile's
// match table in one transaction.
inline bool InsertEvenings(sqlite3* db, int matches, unsigned seed, const std::string& me,
                           const std::vector<std::string>& opponents, int64_t newest) {
  sqlite3_stmt* insert = nullptr;
  if (sqlite3_prepare_v2(db, "INSERT INTO viziriduvozmirrow VALUES (?, ?, ?, ?, ?, ?, ?)", -1, &insert, nullptr))
    return false;
  std::mt19937 random(seed);
  const int64_t minute = 600000000LL;
  int64_t t = newest;
  sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
  bool ok = true;
  for (int i = 0, left = 0; i < matches && ok; ++i) {
    if (left == 0) {
      left = 5 + random() % 56;
      t -= (int64_t)(6 + random() % 40) * 60 * minute;
    }
    --left;
    t -= minute + (int64_t)(random() % (3 * 60000)) * 10000;
    bool win = random() % 100 < 52;
    int loser = random() % 2;
    sqlite3_bind_int64(insert, 1, t);
    sqlite3_bind_text(insert, 2, me.c_str(), -1, SQLITE_STATIC);
    sqlite3_bind_int(insert, 3, random() % 14);
    sqlite3_bind_int(insert, 4, win ? 2 : loser);
    sqlite3_bind_text(insert, 5, opponents[random() % opponents.size()].c_str(), -1, SQLITE_STATIC);
    sqlite3_bind_int(insert, 6, random() % 14);
    sqlite3_bind_int(insert, 7, win ? loser : 2);
    ok = sqlite3_step(insert) == SQLITE_DONE;
    sqlite3_reset(insert);
  }
  sqlite3_finalize(insert);
  sqlite3_exec(db, ok ? "COMMIT" : "ROLLBACK", nullptr, nullptr, nullptr);
  return ok;
}

// Everything the thread's queue holds now.
inline void Pump() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}
