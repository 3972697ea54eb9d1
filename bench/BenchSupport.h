// What the benchmark programs share: the clock, the median of repeated runs, one number from SQL.
#pragma once
#include <sqlite3.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "views/ViewCommon.h"

inline double Now() { return NowMilliseconds(); }

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
