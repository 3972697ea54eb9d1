#include "store/RecordDatabase.h"

#include <windows.h>
#include <shlwapi.h>
#include <sqlite3.h>

#include <cstdlib>

#include "common/Handles.h"
#include "common/TextUtil.h"
#include "store/MatchSnapshot.h"
#include "store/OpponentTally.h"

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
int g_lastWriteError = SQLITE_OK;
std::string g_lastWriteMessage;

void NoteWriteError(sqlite3* db, int code) {
  g_lastWriteError = code;
  g_lastWriteMessage = db ? sqlite3_errmsg(db) : sqlite3_errstr(code);
}

// One wait per transaction (or per statement outside one): once a wait has run out, the next statement of
// the same transaction (a fallback after a fast path) fails at once instead of freezing the GUI again.
struct BusyWait {
  int limit = BusyWaitMilliseconds;
  DWORD started = 0;
  bool spent = false;
} g_busy;

int WaitWhileBusy(void* context, int count) {
  auto* db = static_cast<sqlite3*>(context);
  if (count == 0) {
    if (sqlite3_get_autocommit(db)) g_busy.spent = false;
    if (g_busy.spent) return 0;
    g_busy.started = GetTickCount();
  }
  if ((int)(GetTickCount() - g_busy.started) >= g_busy.limit) {
    g_busy.spent = true;
    return 0;
  }
  Sleep(count < 4 ? 5 : 20);
  return 1;
}

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
bool g_readOnly = false;

// Both statements or neither, so that a failure leaves the file as it was.
bool CreateSchema(sqlite3* db) {
  if (!Execute(db, "BEGIN")) return false;
  if (Execute(db, MatchTableSchema) && Execute(db, MatchIndexSchema) && Execute(db, "COMMIT")) return true;
  if (!sqlite3_get_autocommit(db)) Execute(db, "ROLLBACK");
  return false;
}

int QueryInt(sqlite3* db, const char* sql, int* value) {
  return sqlite3_exec(
      db, sql,
      [](void* out, int, char** values, char**) {
        *static_cast<int*>(out) = values[0] ? atoi(values[0]) : 0;
        return 0;
      },
      value, nullptr);
}

ProfileProblem ReadProblem(int code) {
  switch (code) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED: return ProfileBusy;
    case SQLITE_NOTADB:
    case SQLITE_CORRUPT: return ProfileNotDatabase;
    default: return ProfileCannotRead;
  }
}

// A profile must hold the match table with every column a capture writes; a database with nothing in it
// gets the table, one with anything else is not ours to change.
ProfileProblem CheckSchema(sqlite3* db) {
  int entries = 0;
  int code = QueryInt(db, "SELECT count(*) FROM sqlite_master", &entries);
  if (code != SQLITE_OK) return ReadProblem(code);
  if (entries == 0) return CreateSchema(db) ? ProfileOpened : ProfileTableNotMade;
  int tables = 0;
  code = QueryInt(db,
                  "SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name = 'viziriduvozmirrow' "
                  "COLLATE NOCASE",
                  &tables);
  if (code != SQLITE_OK) return ReadProblem(code);
  if (tables == 0) return ProfileNoMatchTable;
  int columns = 0;
  code = QueryInt(db,
                  "SELECT count(*) FROM pragma_table_info('viziriduvozmirrow') WHERE lower(name) IN "
                  "('timestamp', 'p1name', 'p1id', 'p1win', 'p2name', 'p2id', 'p2win')",
                  &columns);
  if (code != SQLITE_OK) return ReadProblem(code);
  if (columns != 7) return ProfileMissingColumn;
  // Another program's column that must be filled and has no default would refuse every capture.
  int demanding = 0;
  code = QueryInt(db,
                  "SELECT count(*) FROM pragma_table_info('viziriduvozmirrow') WHERE \"notnull\" AND "
                  "dflt_value IS NULL AND NOT (pk = 1 AND lower(type) = 'integer') AND lower(name) NOT IN "
                  "('timestamp', 'p1name', 'p1id', 'p1win', 'p2name', 'p2id', 'p2win')",
                  &demanding);
  if (code != SQLITE_OK) return ReadProblem(code);
  return demanding ? ProfileRowRefused : ProfileOpened;
}

// A read-only file, or a folder where the journal cannot be made, shows only at the first write: try one
// and take it back. A file another program is writing cannot be told now; it is taken as writable.
bool CanWrite(sqlite3* db) {
  if (sqlite3_db_readonly(db, "main") == 1) return false;
  int code = sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
  if (code == SQLITE_BUSY) return true;
  if (code != SQLITE_OK) return false;
  int version = 0;
  code = QueryInt(db, "PRAGMA user_version", &version);
  if (code == SQLITE_OK) {
    char* sql = sqlite3_mprintf("PRAGMA user_version = %d", version);
    code = sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
    sqlite3_free(sql);
  }
  if (!sqlite3_get_autocommit(db)) Execute(db, "ROLLBACK");
  return code == SQLITE_OK || code == SQLITE_BUSY;
}
}  // namespace

bool OpenRecordDatabase(ProfileProblem* problem) {
  ProfileProblem unused;
  if (!problem) problem = &unused;
  bool fresh = !PathFileExistsW(g_path.c_str());
  sqlite3* db = nullptr;
  if (sqlite3_open(g_pathUtf8.c_str(), &db) != SQLITE_OK) {
    sqlite3_close(db);
    *problem = fresh ? ProfileNotCreated : ProfileCannotRead;
    return false;
  }
  sqlite3_busy_handler(db, WaitWhileBusy, db);
  if (fresh) {
    *problem = CreateSchema(db) ? ProfileOpened : ProfileNotCreated;
  } else {
    *problem = CheckSchema(db);
  }
  if (*problem == ProfileOpened && !(Execute(db, ConnectionSettings) && RegisterFunctions(db)))
    *problem = fresh ? ProfileNotCreated : ProfileCannotRead;
  if (*problem != ProfileOpened) {
    sqlite3_close(db);
    // Leave no half-made profile behind; an existing file is never deleted.
    if (fresh) DeleteFileW(g_path.c_str());
    return false;
  }
  bool readOnly = !fresh && !CanWrite(db);
  CloseRecordDatabase();
  g_connection = db;
  g_readOnly = readOnly;
  return true;
}

bool RecordDatabaseReadOnly() { return g_connection && g_readOnly; }

bool ReopenRecordDatabaseForWriting() {
  if (!g_connection || !g_readOnly || !sqlite3_get_autocommit(g_connection)) return false;
  // Asked first, at no cost: SQLite would retry a refused file for more than a second before it gives up.
  if (!FileHandle(CreateFileW(g_path.c_str(), GENERIC_READ | GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr)))
    return false;
  sqlite3* db = nullptr;
  // Never created here: the file was there when it was opened for reading.
  if (sqlite3_open_v2(g_pathUtf8.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
    sqlite3_close(db);
    return false;
  }
  sqlite3_busy_handler(db, WaitWhileBusy, db);
  if (CheckSchema(db) != ProfileOpened || !CanWrite(db) || !Execute(db, ConnectionSettings) || !RegisterFunctions(db)) {
    sqlite3_close(db);
    return false;
  }
  CloseRecordDatabase();
  g_connection = db;
  g_readOnly = false;
  return true;
}

// Empty without a profile or when SQLite refuses the text.
static StatementHandle Prepare(const char* sql) {
  sqlite3_stmt* statement = nullptr;
  if (g_connection) sqlite3_prepare_v2(g_connection, sql, -1, &statement, nullptr);
  return StatementHandle(statement);
}

bool CountDayResults(int64_t dayStart, int& wins, int& losses) {
  StatementHandle statement = Prepare(
      "SELECT total(p1win / 2 = 1), total(p2win / 2 = 1) FROM viziriduvozmirrow WHERE timestamp >= ? AND timestamp < ?");
  if (!statement) return false;
  sqlite3_bind_int64(statement.Get(), 1, dayStart);
  sqlite3_bind_int64(statement.Get(), 2, dayStart + TimestampUnitsPerDay);
  bool ok = sqlite3_step(statement.Get()) == SQLITE_ROW;
  if (ok) {
    wins = (int)sqlite3_column_int64(statement.Get(), 0);
    losses = (int)sqlite3_column_int64(statement.Get(), 1);
  }
  return ok;
}

void CloseRecordDatabase() {
  if (g_connection) {
    sqlite3_close(g_connection);
    g_connection = nullptr;
  }
}

void BeginTransaction() {
  g_busy.spent = false;
  if (g_connection) Execute(g_connection, "BEGIN");
}

bool EndTransaction(bool rollback) {
  if (!g_connection) return false;
  // Nothing open: BEGIN did not take, so each write was already committed on its own.
  if (sqlite3_get_autocommit(g_connection)) return true;
  // The commit gets a wait of its own even when a statement before it spent one.
  g_busy.spent = false;
  int rc = sqlite3_exec(g_connection, rollback ? "ROLLBACK" : "COMMIT", nullptr, nullptr, nullptr);
  if (rc == SQLITE_OK) return true;
  if (!rollback) NoteWriteError(g_connection, rc);
  // A commit refused while another program reads the file leaves the transaction open, and the next
  // writer's commit or rollback would then decide this one's fate: take it back now and say so.
  if (!sqlite3_get_autocommit(g_connection)) Execute(g_connection, "ROLLBACK");
  return false;
}

// The seven columns in table order, as parameters 1 to 7.
static void BindMatchRecord(sqlite3_stmt* statement, const MatchRecord& record) {
  sqlite3_bind_int64(statement, 1, record.timestamp);
  // The fields are fixed arrays; bind up to the NUL but never past the field.
  sqlite3_bind_text(statement, 2, record.p1name, (int)strnlen(record.p1name, sizeof record.p1name), SQLITE_STATIC);
  sqlite3_bind_int(statement, 3, record.p1id);
  sqlite3_bind_int(statement, 4, record.p1win);
  sqlite3_bind_text(statement, 5, record.p2name, (int)strnlen(record.p2name, sizeof record.p2name), SQLITE_STATIC);
  sqlite3_bind_int(statement, 6, record.p2id);
  sqlite3_bind_int(statement, 7, record.p2win);
}

bool InsertMatchRecord(const MatchRecord& record) {
  if (!g_connection) return false;
  StatementHandle statement = Prepare(
      "insert into viziriduvozmirrow (timestamp, p1name, p1id, p1win, p2name, p2id, p2win) values (?, ?, ?, ?, ?, ?, ?);");
  if (!statement) {
    NoteWriteError(g_connection, sqlite3_errcode(g_connection));
    return false;
  }
  BindMatchRecord(statement.Get(), record);
  sqlite3_int64 before = sqlite3_total_changes64(g_connection);
  int rc = sqlite3_step(statement.Get());
  if (rc != SQLITE_DONE) NoteWriteError(g_connection, sqlite3_extended_errcode(g_connection));
  // Finished before the write is noted.
  statement.Reset();
  NoteOwnWrite(g_connection, record.timestamp, before, true);
  return rc == SQLITE_DONE;
}

bool DeleteMatchRecord(int64_t timestamp) {
  if (!g_connection) return false;
  char* sql = sqlite3_mprintf("DELETE FROM viziriduvozmirrow WHERE timestamp = %lld", (long long)timestamp);
  KeepRowBeforeDelete(g_connection, timestamp);
  sqlite3_int64 before = sqlite3_total_changes64(g_connection);
  int rc = sql ? sqlite3_exec(g_connection, sql, nullptr, nullptr, nullptr) : SQLITE_NOMEM;
  if (rc != SQLITE_OK) NoteWriteError(g_connection, rc);
  sqlite3_free(sql);
  NoteOwnWrite(g_connection, timestamp, before, false);
  return rc == SQLITE_OK;
}

bool IsMatchStored(const MatchRecord& record) {
  StatementHandle statement = Prepare(
      "SELECT count(*) FROM viziriduvozmirrow WHERE timestamp = ? AND p1name = ? AND p1id = ? AND p1win = ? "
      "AND p2name = ? AND p2id = ? AND p2win = ?");
  if (!statement) return false;
  BindMatchRecord(statement.Get(), record);
  return sqlite3_step(statement.Get()) == SQLITE_ROW && sqlite3_column_int(statement.Get(), 0) > 0;
}

WriteFailure LastWriteFailure() {
  if (!g_connection) return WriteFailureNoProfile;
  switch (g_lastWriteError) {
    case SQLITE_CONSTRAINT_PRIMARYKEY:
    case SQLITE_CONSTRAINT_UNIQUE: return WriteFailureDuplicate;
    case SQLITE_CONSTRAINT_CHECK:
    case SQLITE_CONSTRAINT_NOTNULL:
    case SQLITE_CONSTRAINT_TRIGGER:
    case SQLITE_CONSTRAINT_FOREIGNKEY: return WriteFailureRefused;
    default: break;
  }
  switch (g_lastWriteError & 0xFF) {
    case SQLITE_CONSTRAINT: return WriteFailureRefused;
    case SQLITE_BUSY:
    case SQLITE_LOCKED: return WriteFailureBusy;
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_CANTOPEN: return WriteFailureReadOnly;
    case SQLITE_FULL: return WriteFailureFull;
    default: return WriteFailureOther;
  }
}

std::wstring LastWriteMessage() { return Utf8ToWide(g_lastWriteMessage.c_str()); }

bool InTransaction() { return g_connection && !sqlite3_get_autocommit(g_connection); }

int SetBusyWait(int milliseconds) {
  int previous = g_busy.limit;
  g_busy.limit = milliseconds;
  return previous;
}

bool AnsiToUtf8(const char* text, std::string& result) {
  result.clear();
  if (!text || !*text) return false;
  std::wstring wide = AnsiToWide(text);
  if (wide.empty()) return false;
  result = WideToUtf8(wide.c_str(), (int)wide.size());
  return !result.empty();
}

