#include "RecordDatabase.h"

#include <windows.h>
#include <shlwapi.h>
#include <sqlite3.h>

#include "../shell/TextUtil.h"
#include "MatchSnapshot.h"
#include "OpponentTally.h"

const char* const MatchTableSchema =
    "CREATE TABLE viziriduvozmirrow(\n"
    "timestamp\tINTEGER NOT NULL,\n"
    "p1name     TEXT,\n"
    "p1id       INTEGER NOT NULL,\n"
    "p1win      INTEGER NOT NULL,\n"
    "p2name     TEXT,\n"
    "p2id       INTEGER NOT NULL,\n"
    "p2win      INTEGER NOT NULL,\n"
    "PRIMARY KEY (timestamp)\n"
    ")";
const char* const MatchIndexSchema =
    "CREATE INDEX viziriduvozmirrow_index\n"
    "on viziriduvozmirrow (timestamp)";

static const char* const ConnectionSettings = "PRAGMA temp_store = MEMORY;PRAGMA cache_size = 1048576;";
// Another program reading the file (a browser, a backup) keeps a commit waiting: waiting a little keeps the
// match instead of rolling it back at once.
constexpr int BusyWaitMilliseconds = 2000;

namespace {
sqlite3* g_connection = nullptr;
std::wstring g_path;
std::string g_pathUtf8;

void Ansi2Utf8Function(sqlite3_context* context, int, sqlite3_value** args) {
  const unsigned char* text = sqlite3_value_text(args[0]);
  std::string converted;
  AnsiToUtf8(reinterpret_cast<const char*>(text), converted);
  sqlite3_result_text(context, converted.c_str(), (int)converted.size(), SQLITE_TRANSIENT);
}

bool Execute(sqlite3* db, const char* sql) { return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK; }

bool RegisterFunctions(sqlite3* db) {
  return sqlite3_create_function(db, "ansi2utf8", 1, SQLITE_UTF8, db, Ansi2Utf8Function, nullptr, nullptr) ==
             SQLITE_OK &&
         RegisterMatchSnapshot(db) && RegisterOpponentTally(db);
}
}  // namespace

bool SetDatabasePath(const std::wstring& path) {
  g_path = path;
  std::string utf8 = WideToUtf8(path.c_str(), (int)path.size());
  if (utf8.empty()) return false;
  g_pathUtf8 = utf8;
  return true;
}

const std::wstring& CurrentDatabasePath() { return g_path; }
sqlite3* RecordDatabase() { return g_connection; }

namespace {
// A file of no bytes holds no matches: made by hand (or left by an interrupted creation) to be picked as a profile.
bool IsEmptyFile(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  return GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data) &&
         !(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && data.nFileSizeHigh == 0 && data.nFileSizeLow == 0;
}

// Both statements or neither, so that a failure leaves the file as it was.
bool CreateSchema(sqlite3* db) {
  if (!Execute(db, "BEGIN")) return false;
  if (Execute(db, MatchTableSchema) && Execute(db, MatchIndexSchema) && Execute(db, "COMMIT")) return true;
  if (!sqlite3_get_autocommit(db)) Execute(db, "ROLLBACK");
  return false;
}
}  // namespace

bool OpenRecordDatabase() {
  sqlite3* db = nullptr;
  if (!PathFileExistsW(g_path.c_str())) {
    if (sqlite3_open(g_pathUtf8.c_str(), &db) != SQLITE_OK) {
      sqlite3_close(db);
      return false;
    }
    bool ok = Execute(db, MatchTableSchema) && Execute(db, MatchIndexSchema) && Execute(db, ConnectionSettings) &&
              RegisterFunctions(db);
    if (!ok) {
      sqlite3_close(db);
      // Leave no half-made profile behind.
      DeleteFileW(g_path.c_str());
      return false;
    }
  } else {
    bool empty = IsEmptyFile(g_path);
    if (sqlite3_open(g_pathUtf8.c_str(), &db) != SQLITE_OK) {
      sqlite3_close(db);
      return false;
    }
    // Without the table every match captured into it would be dropped; the file is never deleted.
    if ((empty && !CreateSchema(db)) || !Execute(db, ConnectionSettings) || !RegisterFunctions(db)) {
      sqlite3_close(db);
      return false;
    }
  }
  sqlite3_busy_timeout(db, BusyWaitMilliseconds);
  CloseRecordDatabase();
  g_connection = db;
  return true;
}

void CloseRecordDatabase() {
  if (g_connection) {
    sqlite3_close(g_connection);
    g_connection = nullptr;
  }
}

void BeginTransaction() {
  if (g_connection) Execute(g_connection, "BEGIN");
}

bool EndTransaction(bool rollback) {
  if (!g_connection) return false;
  // Nothing open: BEGIN did not take, so each write was already committed on its own.
  if (sqlite3_get_autocommit(g_connection)) return true;
  if (Execute(g_connection, rollback ? "ROLLBACK" : "COMMIT")) return true;
  // A commit refused while another program reads the file leaves the transaction open, and the next
  // writer's commit or rollback would then decide this one's fate: take it back now and say so.
  if (!sqlite3_get_autocommit(g_connection)) Execute(g_connection, "ROLLBACK");
  return false;
}

bool InsertMatchRecord(const MatchRecord& record) {
  if (!g_connection) return false;
  sqlite3_stmt* statement = nullptr;
  if (sqlite3_prepare_v2(g_connection,
                         "insert into viziriduvozmirrow (timestamp, p1name, p1id, p1win, p2name, p2id, p2win) "
                         "values (?, ?, ?, ?, ?, ?, ?);",
                         -1, &statement, nullptr) != SQLITE_OK) {
    sqlite3_finalize(statement);
    return false;
  }
  sqlite3_bind_int64(statement, 1, record.timestamp);
  // The fields are fixed arrays; bind up to the NUL but never past the field.
  sqlite3_bind_text(statement, 2, record.p1name, (int)strnlen(record.p1name, sizeof record.p1name), SQLITE_STATIC);
  sqlite3_bind_int(statement, 3, record.p1id);
  sqlite3_bind_int(statement, 4, record.p1win);
  sqlite3_bind_text(statement, 5, record.p2name, (int)strnlen(record.p2name, sizeof record.p2name), SQLITE_STATIC);
  sqlite3_bind_int(statement, 6, record.p2id);
  sqlite3_bind_int(statement, 7, record.p2win);
  sqlite3_int64 before = sqlite3_total_changes64(g_connection);
  bool done = sqlite3_step(statement) == SQLITE_DONE;
  sqlite3_finalize(statement);
  NoteOwnWrite(g_connection, record.timestamp, before, true);
  return done;
}

bool DeleteMatchRecord(int64_t timestamp) {
  if (!g_connection) return false;
  char* sql = sqlite3_mprintf("DELETE FROM viziriduvozmirrow WHERE timestamp = %lld", (long long)timestamp);
  sqlite3_int64 before = sqlite3_total_changes64(g_connection);
  bool ok = sql && Execute(g_connection, sql);
  sqlite3_free(sql);
  NoteOwnWrite(g_connection, timestamp, before, false);
  return ok;
}

bool AnsiToUtf8(const char* text, std::string& result) {
  result.clear();
  if (!text || !*text) return false;
  std::wstring wide = AnsiToWide(text);
  if (wide.empty()) return false;
  result = WideToUtf8(wide.c_str(), (int)wide.size());
  return !result.empty();
}

int64_t CurrentTimestamp() {
  SYSTEMTIME now;
  GetLocalTime(&now);
  FILETIME ft;
  SystemTimeToFileTime(&now, &ft);
  return (int64_t)(((uint64_t)ft.dwHighDateTime << 32) | ft.dwLowDateTime);
}
