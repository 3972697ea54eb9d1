#include "store/ProfileSalvage.h"

#include <windows.h>
#include <shlwapi.h>
#include <sqlite3.h>
#include <sqlite3recover.h>

#include "common/TextUtil.h"
#include "store/ProfileBackup.h"
#include "store/RecordDatabase.h"

namespace {
bool Execute(sqlite3* db, const char* sql) { return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK; }

bool Attach(sqlite3* db, const std::wstring& path, const char* name) {
  char* sql = sqlite3_mprintf("ATTACH %Q AS %s", WideToUtf8(path.c_str()).c_str(), name);
  bool ok = sql && Execute(db, sql);
  sqlite3_free(sql);
  return ok;
}

// Only what a capture or a hand-made entry can have stored: a recovered page may hold rows of other shapes.
const char* const PlausibleMatch =
    "typeof(timestamp) = 'integer' AND timestamp > 0 AND typeof(p1name) IN ('text', 'null') AND "
    "typeof(p2name) IN ('text', 'null') AND typeof(p1id) = 'integer' AND p1id BETWEEN 0 AND 13 AND "
    "typeof(p2id) = 'integer' AND p2id BETWEEN 0 AND 13 AND typeof(p1win) = 'integer' AND p1win BETWEEN 0 AND 2 "
    "AND typeof(p2win) = 'integer' AND p2win BETWEEN 0 AND 2";

std::wstring DamagedName(const std::wstring& profilePath) {
  SYSTEMTIME now;
  GetLocalTime(&now);
  std::wstring base = profilePath;
  const wchar_t* extension = PathFindExtensionW(profilePath.c_str());
  base.resize(base.size() - wcslen(extension));
  for (int n = 0;; ++n) {
    std::wstring name = base + FormatWide(L"-damaged-%04d%02d%02d-%02d%02d%02d", now.wYear, now.wMonth, now.wDay,
                                          now.wHour, now.wMinute, now.wSecond) +
                        (n ? FormatWide(L"-%d", n) : std::wstring()) + L".db";
    if (!PathFileExistsW(name.c_str())) return name;
  }
}

// SQLite's recovery of everything readable in `damaged` into a new database at `output`.
bool RecoverInto(const std::wstring& damaged, const std::wstring& output) {
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(WideToUtf8(damaged.c_str()).c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
    sqlite3_close(db);
    return false;
  }
  sqlite3_recover* recover = sqlite3_recover_init(db, "main", WideToUtf8(output.c_str()).c_str());
  bool ok = false;
  if (recover) {
    // Rows on pages the damaged tree no longer reaches come back too; freed pages are left alone.
    sqlite3_recover_config(recover, SQLITE_RECOVER_LOST_AND_FOUND, (void*)"lost_and_found");
    sqlite3_recover_run(recover);
    ok = sqlite3_recover_finish(recover) == SQLITE_OK;
  }
  sqlite3_close(db);
  return ok;
}

bool TableExists(sqlite3* db, const char* schema, const char* table) {
  char* sql = sqlite3_mprintf("SELECT 1 FROM \"%w\".sqlite_master WHERE type = 'table' AND name = %Q", schema, table);
  sqlite3_stmt* statement = nullptr;
  bool found = sql && sqlite3_prepare_v2(db, sql, -1, &statement, nullptr) == SQLITE_OK &&
               sqlite3_step(statement) == SQLITE_ROW;
  sqlite3_finalize(statement);
  sqlite3_free(sql);
  return found;
}

// Adds the recovered matches the profile does not hold; the number added, -1 on failure.
int64_t AddRecovered(sqlite3* db, const std::wstring& recovered) {
  if (!Attach(db, recovered, "recovered")) return -1;
  int64_t before = sqlite3_total_changes64(db);
  bool ok = Execute(db, "BEGIN");
  const std::string columns = "(timestamp, p1name, p1id, p1win, p2name, p2id, p2win)";
  const std::string insert = "INSERT OR IGNORE INTO main.viziriduvozmirrow " + columns +
                             " SELECT timestamp, p1name, p1id, p1win, p2name, p2id, p2win FROM ";
  if (ok && TableExists(db, "recovered", "viziriduvozmirrow"))
    ok = Execute(db, (insert + "recovered.viziriduvozmirrow WHERE " + PlausibleMatch).c_str());
  // Orphaned rows: seven fields in table order; the timestamp, being the row id, is the id column.
  if (ok && TableExists(db, "recovered", "lost_and_found"))
    ok = Execute(db, (insert + "(SELECT coalesce(c0, id) AS timestamp, c1 AS p1name, c2 AS p1id, c3 AS p1win, "
                               "c4 AS p2name, c5 AS p2id, c6 AS p2win FROM recovered.lost_and_found WHERE nfield = 7) "
                               "WHERE " + PlausibleMatch).c_str());
  ok = ok && Execute(db, "COMMIT");
  if (!ok && !sqlite3_get_autocommit(db)) Execute(db, "ROLLBACK");
  int64_t added = sqlite3_total_changes64(db) - before;
  Execute(db, "DETACH recovered");
  return ok ? added : -1;
}
}  // namespace

bool ReplaceMatchesFromBackup(const std::wstring& profilePath, const std::wstring& backupPath, int64_t keepFrom,
                              int64_t* matches) {
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(WideToUtf8(profilePath.c_str()).c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK ||
      !Attach(db, backupPath, "backup")) {
    sqlite3_close(db);
    return false;
  }
  // The tracker's own connection commits a capture in a moment; another program's lock may last longer.
  sqlite3_busy_timeout(db, 10000);
  const std::string columns = "timestamp, p1name, p1id, p1win, p2name, p2id, p2win";
  char* keep = sqlite3_mprintf(
      "CREATE TEMP TABLE kept AS SELECT %s FROM main.viziriduvozmirrow WHERE timestamp >= %lld", columns.c_str(),
      (long long)keepFrom);
  bool ok = keep && TableExists(db, "backup", "viziriduvozmirrow") && Execute(db, "BEGIN IMMEDIATE") &&
            Execute(db, keep) && Execute(db, "DELETE FROM main.viziriduvozmirrow") &&
            Execute(db, ("INSERT INTO main.viziriduvozmirrow (" + columns + ") SELECT " + columns +
                         " FROM backup.viziriduvozmirrow").c_str()) &&
            Execute(db, ("INSERT OR IGNORE INTO main.viziriduvozmirrow (" + columns + ") SELECT " + columns +
                         " FROM temp.kept").c_str()) &&
            Execute(db, "COMMIT");
  sqlite3_free(keep);
  if (!ok && !sqlite3_get_autocommit(db)) Execute(db, "ROLLBACK");
  if (ok && matches) *matches = CountMatches(db);
  sqlite3_close(db);
  return ok;
}

std::wstring NewestSoundBackup(const std::wstring& backupFolder, const std::wstring& profilePath) {
  for (const BackupEntry& entry : ListBackups(backupFolder, profilePath)) {
    int64_t count = CountMatchesInFile(entry.path);
    if (count >= 0 && VerifyBackupFile(entry.path, count)) return entry.path;
  }
  return std::wstring();
}

bool LooksLikeDamagedProfile(const std::wstring& profilePath, const std::wstring& backupFolder) {
  if (!ListBackups(backupFolder, profilePath).empty()) return true;
  HANDLE file = CreateFileW(profilePath.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  char header[100] = {};
  DWORD read = 0;
  LARGE_INTEGER size{};
  bool known = ReadFile(file, header, sizeof header, &read, nullptr) && GetFileSizeEx(file, &size);
  CloseHandle(file);
  if (!known || read != sizeof header) return false;
  if (memcmp(header, "SQLite format 3", 16) == 0) return true;
  // A header wiped to zeros on a file of whole pages.
  for (char c : header)
    if (c) return false;
  return size.QuadPart >= 1024 && size.QuadPart % 512 == 0;
}

bool SalvageProfile(const std::wstring& profilePath, const std::wstring& backupFolder, SalvageResult* result) {
  *result = SalvageResult();
  std::wstring kept = DamagedName(profilePath);
  if (!MoveFileExW(profilePath.c_str(), kept.c_str(), MOVEFILE_WRITE_THROUGH)) return false;
  // A journal left by the damage belongs to the damaged file, not to the new profile.
  std::wstring journal = profilePath + L"-journal";
  if (PathFileExistsW(journal.c_str())) MoveFileExW(journal.c_str(), (kept + L"-journal").c_str(), 0);
  result->keptAs = kept;

  // The recovery works on a copy: the kept file stays exactly as it was found.
  std::wstring work = profilePath + L".salvage-work";
  std::wstring recovered = profilePath + L".salvage-rows";
  DeleteFileW(recovered.c_str());
  bool readable = CopyFileW(kept.c_str(), work.c_str(), FALSE) && RecoverInto(work, recovered);
  DeleteFileW(work.c_str());

  std::wstring backup = NewestSoundBackup(backupFolder, profilePath);
  std::wstring fresh = profilePath + L".salvage-new";
  DeleteFileW(fresh.c_str());
  bool made = backup.empty() || CopyFileW(backup.c_str(), fresh.c_str(), FALSE);
  sqlite3* db = nullptr;
  made = made && sqlite3_open(WideToUtf8(fresh.c_str()).c_str(), &db) == SQLITE_OK;
  if (made && backup.empty())
    made = Execute(db, "BEGIN") && Execute(db, MatchTableSchema) && Execute(db, MatchIndexSchema) &&
           Execute(db, "COMMIT");
  int64_t fromBackup = made ? CountMatches(db) : -1;
  int64_t added = made && readable ? AddRecovered(db, recovered) : 0;
  made = made && fromBackup >= 0 && added >= 0;
  sqlite3_close(db);
  DeleteFileW(recovered.c_str());
  if (made) made = MoveFileExW(fresh.c_str(), profilePath.c_str(), MOVEFILE_WRITE_THROUGH) != FALSE;
  if (!made) {
    DeleteFileW(fresh.c_str());
    MoveFileExW(kept.c_str(), profilePath.c_str(), 0);
    if (PathFileExistsW((kept + L"-journal").c_str())) MoveFileExW((kept + L"-journal").c_str(), journal.c_str(), 0);
    *result = SalvageResult();
    return false;
  }
  result->backupUsed = backup;
  result->fromBackup = fromBackup;
  result->salvaged = added;
  return true;
}
