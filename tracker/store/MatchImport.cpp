#include "store/MatchImport.h"

#include <sqlite3.h>

#include "common/TextUtil.h"
#include "store/ImportSource.h"

namespace {
bool Execute(sqlite3* db, const char* sql) { return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK; }
}  // namespace


bool CheckImportFile(const std::wstring& path, ImportCheck* check, std::wstring* error, volatile LONG* progress) {
  *check = ImportCheck();
  return ReadImportRows(
      path,
      [&](const SourceRow& row) {
        if (progress) InterlockedIncrement(progress);
        if (row.refusal.empty()) {
          ++check->rows;
        } else {
          ++check->refused;
          if (check->refusedRows.size() < ImportListLimit) check->refusedRows.emplace_back(row.line, row.refusal);
        }
        return true;
      },
      error);
}

bool ImportMatches(const std::wstring& source, const std::wstring& profilePath, bool skipRefused,
                   ImportCounts* counts, std::wstring* error, volatile LONG* progress) {
  *counts = ImportCounts();
  sqlite3* db = OpenProfileFile(profilePath, SQLITE_OPEN_READWRITE);
  if (!db) {
    *error = L"プロファイルを開けませんでした。";
    return false;
  }
  // The profile taken into itself: every readable row is already there.
  bool itself = SameFile(source, profilePath);
  sqlite3_stmt* find = nullptr;
  sqlite3_stmt* insert = nullptr;
  bool ok = itself || (Execute(db, "PRAGMA cache_size = -65536") && Execute(db, "BEGIN IMMEDIATE") &&
                       sqlite3_prepare_v2(db,
                                          "SELECT p1name, p1id, p1win, p2name, p2id, p2win FROM viziriduvozmirrow "
                                          "WHERE timestamp = ?",
                                          -1, &find, nullptr) == SQLITE_OK &&
                       sqlite3_prepare_v2(db,
                                          "INSERT OR IGNORE INTO viziriduvozmirrow (timestamp, p1name, p1id, p1win, p2name, "
                                          "p2id, p2win) VALUES (?, ?, ?, ?, ?, ?, ?)",
                                          -1, &insert, nullptr) == SQLITE_OK);
  if (!ok) *error = L"プロファイルに書き込めませんでした。ほかのプログラムが使っていないか確かめてください。";
  auto sameName = [](const unsigned char* stored, const char* name) {
    return strcmp(stored ? (const char*)stored : "", name) == 0;
  };
  bool failed = false;
  if (ok) {
    ok = ReadImportRows(
        source,
        [&](const SourceRow& row) {
          if (progress) InterlockedIncrement(progress);
          if (!row.refusal.empty()) {
            ++counts->refused;
            if (counts->refusedRows.size() < ImportListLimit) counts->refusedRows.emplace_back(row.line, row.refusal);
            return true;
          }
          // Once a row is refused, nothing is taken: the rest is only read for its refused rows.
          if (itself || (counts->refused && !skipRefused)) {
            ++counts->already;
            return true;
          }
          const MatchRecord& r = row.record;
          // Most rows of a merge are new: insert first, and compare only a row the profile already holds.
          sqlite3_bind_int64(insert, 1, r.timestamp);
          sqlite3_bind_text(insert, 2, r.p1name, -1, SQLITE_STATIC);
          sqlite3_bind_int(insert, 3, r.p1id);
          sqlite3_bind_int(insert, 4, r.p1win);
          sqlite3_bind_text(insert, 5, r.p2name, -1, SQLITE_STATIC);
          sqlite3_bind_int(insert, 6, r.p2id);
          sqlite3_bind_int(insert, 7, r.p2win);
          int rc = sqlite3_step(insert);
          sqlite3_reset(insert);
          if (rc != SQLITE_DONE) {
            failed = true;
            return false;
          }
          if (sqlite3_changes(db) == 1) {
            ++counts->added;
            return true;
          }
          sqlite3_bind_int64(find, 1, r.timestamp);
          rc = sqlite3_step(find);
          if (rc != SQLITE_ROW) {
            sqlite3_reset(find);
            failed = true;
            return false;
          }
          bool same = sameName(sqlite3_column_text(find, 0), r.p1name) && sqlite3_column_type(find, 1) == SQLITE_INTEGER &&
                      sqlite3_column_int64(find, 1) == r.p1id && sqlite3_column_int64(find, 2) == r.p1win &&
                      sameName(sqlite3_column_text(find, 3), r.p2name) && sqlite3_column_int64(find, 4) == r.p2id &&
                      sqlite3_column_int64(find, 5) == r.p2win;
          sqlite3_reset(find);
          if (same) {
            ++counts->already;
          } else {
            ++counts->conflicts;
            if (counts->conflictTimestamps.size() < ImportListLimit) counts->conflictTimestamps.push_back(r.timestamp);
          }
          return true;
        },
        error);
    if (ok && failed) {
      ok = false;
      *error = L"プロファイルに書き込めませんでした。";
    }
  }
  bool refused = ok && counts->refused && !skipRefused;
  if (refused) {
    ok = false;
    *error = L"読み取れない行があります。";
  }
  sqlite3_finalize(find);
  sqlite3_finalize(insert);
  if (ok && !itself && !Execute(db, "COMMIT")) {
    ok = false;
    *error = L"取り込んだ対戦を保存できませんでした。";
  }
  if (!sqlite3_get_autocommit(db)) Execute(db, "ROLLBACK");
  sqlite3_close(db);
  if (!ok) {
    ImportCounts none;
    if (refused) none.refusedRows.swap(counts->refusedRows), none.refused = counts->refused;
    *counts = none;
  }
  return ok;
}

std::wstring ImportSummaryText(const ImportCounts& counts) {
  return FormatWide(L"%d 件を取り込みました。%d 件は既にありました。%d 件は食い違うため取り込みませんでした。",
                    (int)counts.added, (int)counts.already, (int)counts.conflicts);
}
