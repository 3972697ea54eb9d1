// Times how long the GUI thread is held when another program keeps the profile locked: a summary refresh
// (fast path, then its fallback statement), a capture's store and a retry of a waiting match.
// Run by bench/locks/run.sh.
#include <windows.h>
#include <sqlite3.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "../BenchSupport.h"
#include "common/TextUtil.h"
#include "store/RecordDatabase.h"
#include "store/RecordQueries.h"

namespace {
sqlite3* Hold(const std::wstring& path, const char* begin) {
  sqlite3* db = nullptr;
  std::string utf8 = WideToUtf8(path.c_str());
  if (sqlite3_open(utf8.c_str(), &db) != SQLITE_OK) return db;
  sqlite3_exec(db, begin, nullptr, nullptr, nullptr);
  if (strstr(begin, "SELECT")) sqlite3_exec(db, "SELECT count(*) FROM viziriduvozmirrow", nullptr, nullptr, nullptr);
  return db;
}

void Let(sqlite3* db) {
  sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
  sqlite3_close(db);
}

bool Refresh() {
  BeginTransaction();
  RecordFilter filter{};
  bool ok = QueryPairingTotals(filter);
  EndTransaction(!ok);
  return ok;
}

bool Store(int64_t timestamp) {
  MatchRecord record{};
  record.timestamp = timestamp;
  record.p1win = 2;
  BeginTransaction();
  bool ok = InsertMatchRecord(record);
  return EndTransaction(!ok) && ok;
}

void Report(const char* what, const char* lock, double ms, bool ok) {
  printf("%-44s %-26s %8.0f ms  %s\n", what, lock, ms, ok ? "done" : "refused");
}
}  // namespace

int main(int argc, char** argv) {
  std::wstring folder = argc > 1 ? AnsiToWide(argv[1]) : L".";
  std::wstring path = folder + L"\\lockwait.db";
  DeleteFileW(path.c_str());
  SetDatabasePath(path);
  if (!OpenRecordDatabase()) return 1;
  Store(1);
  printf("%-44s %-26s %11s  %s\n", "operation", "other program holds", "GUI held", "outcome");

  sqlite3* other = Hold(path, "BEGIN EXCLUSIVE");
  double t = Now();
  bool ok = Refresh();
  Report("summary refresh (18 questions)", "an exclusive lock", Now() - t, ok);
  Let(other);

  other = Hold(path, "BEGIN IMMEDIATE");
  t = Now();
  ok = Store(2);
  Report("capture's store", "a write lock", Now() - t, ok);
  Let(other);

  other = Hold(path, "BEGIN; SELECT");
  t = Now();
  ok = Store(3);
  Report("capture's store", "a read lock", Now() - t, ok);
  int previous = SetBusyWait(250);
  t = Now();
  ok = Store(4);
  Report("timer's retry of a waiting match", "a read lock", Now() - t, ok);
  SetBusyWait(previous);
  Let(other);
  CloseRecordDatabase();
  DeleteFileW(path.c_str());
  return 0;
}
