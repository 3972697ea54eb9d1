#include "store/RecordQueries.h"

#include <windows.h>
#include <shlwapi.h>
#include <sqlite3.h>

#include <cstdarg>
#include <cstring>
#include <string>
#include <vector>

#include "common/TextUtil.h"
#include "store/MatchSnapshot.h"
#include "store/OpponentTally.h"
#include "store/RecordDatabase.h"

PairingCell PairingTable[14][14];

namespace {
PairingCell g_working[14][14];
bool g_filled[14][14];

int64_t ParseInt64(const char* text) {
  LONGLONG value = 0;
  if (text) StrToInt64ExA(text, STIF_DEFAULT, &value);
  return value;
}

// A value beyond 32 bits is held at the nearest end instead of wrapping: 2^32+3 must not read as character 3.
int ParseInt(const char* text) {
  int64_t value = ParseInt64(text);
  return value < INT32_MIN ? INT32_MIN : value > INT32_MAX ? INT32_MAX : (int)value;
}

std::string WhereClause(const RecordFilter& filter) {
  std::string clause;
  BuildWhereClause(filter, clause);
  return clause;
}

// Formats the statement, runs it with the row reader and frees it; true when it completed.
bool Run(sqlite3_callback reader, void* context, const char* format, ...) {
  sqlite3* db = RecordDatabase();
  if (!db) return false;
  va_list args;
  va_start(args, format);
  char* sql = sqlite3_vmprintf(format, args);
  va_end(args);
  if (!sql) return false;
  bool ok = sqlite3_exec(db, sql, reader, context, nullptr) == SQLITE_OK;
  sqlite3_free(sql);
  return ok;
}

// Only a plain whole number in the roster names a character: a damaged id ("4x", 3.5, NULL, 2^32+3) read as a
// number would fall into another pairing's cell and replace that pairing's real figures.
bool ReadCharacterId(const char* text, int& id) {
  if (!text || !*text) return false;
  int64_t value = 0;
  for (const char* c = text; *c; ++c) {
    if (*c < '0' || *c > '9') return false;
    value = value * 10 + (*c - '0');
    if (value > 13) return false;
  }
  id = (int)value;
  return true;
}

int ReadPairingRow(void*, int columns, char** values, char**) {
  if (columns != 4) return 1;
  int p1id, p2id;
  if (!ReadCharacterId(values[0], p1id) || !ReadCharacterId(values[1], p2id)) return 1;
  // Two groups for one cell (the text '3' beside the integer 3 where the column has no type): either
  // alone would replace the other's figures.
  if (g_filled[p1id][p2id]) return 1;
  g_filled[p1id][p2id] = true;
  int wins = ParseInt(values[2]);
  int losses = ParseInt(values[3]);
  g_working[p1id][p2id].wins = wins < 0 ? 0 : wins;
  g_working[p1id][p2id].losses = losses < 0 ? 0 : losses;
  return 0;
}

struct Delivery {
  MatchRowCallback callback;
  void* context;
};

int ReadOpponentRow(void* context, int columns, char** values, char**) {
  if (columns != 3) return 1;
  MatchRecord record;
  memset(&record, 0, sizeof record);
  CopyToField(record.p2name, values[0]);
  if (!values[0]) record.p2id = OpponentNameNull;
  record.p1win = ParseInt(values[1]);
  record.p2win = ParseInt(values[2]);
  auto* delivery = static_cast<Delivery*>(context);
  delivery->callback(record, delivery->context);
  return 0;
}

bool ReadMatchColumns(int columns, char** values, MatchRecord& record) {
  if (columns != 7) return false;
  memset(&record, 0, sizeof record);
  record.timestamp = ParseInt64(values[0]);
  CopyToField(record.p1name, values[1]);
  record.p1id = ParseInt(values[2]);
  record.p1win = ParseInt(values[3]);
  CopyToField(record.p2name, values[4]);
  record.p2id = ParseInt(values[5]);
  record.p2win = ParseInt(values[6]);
  return true;
}

struct Latest {
  MatchRecord record;
  bool found;
};

int ReadLatestRow(void* context, int columns, char** values, char**) {
  auto* latest = static_cast<Latest*>(context);
  if (!ReadMatchColumns(columns, values, latest->record)) return 1;
  latest->found = true;
  return 0;
}
}  // namespace

bool QueryPairingTotalsByStatement(const RecordFilter& filter) {
  if (!RecordDatabase()) return false;
  memset(g_working, 0, sizeof g_working);
  memset(g_filled, 0, sizeof g_filled);
  std::string where = WhereClause(filter);
  bool ok;
  if (filter.flags & FilterLimit) {
    ok = Run(ReadPairingRow, nullptr,
             "SELECT T.p1id, T.p2id, sum(T.p1win/2), sum(T.p2win/2) FROM (SELECT p1id, p2id, p1win, p2win FROM "
             "viziriduvozmirrow %s ORDER BY timestamp DESC LIMIT %d) AS T GROUP BY T.p1id, T.p2id;",
             where.c_str(), (int)filter.limit);
  } else {
    ok = Run(ReadPairingRow, nullptr,
             "SELECT T.p1id, T.p2id, sum(T.p1win/2), sum(T.p2win/2) FROM viziriduvozmirrow AS T %s GROUP BY T.p1id, "
             "T.p2id;",
             where.c_str());
  }
  if (ok) memcpy(PairingTable, g_working, sizeof PairingTable);
  return ok;
}

bool QueryPairingTotals(const RecordFilter& filter) {
  sqlite3* db = RecordDatabase();
  if (!db) return false;
  if (PairingTotalsFromSnapshot(db, filter, g_working)) {
    memcpy(PairingTable, g_working, sizeof PairingTable);
    return true;
  }
  return QueryPairingTotalsByStatement(filter);
}

bool QueryOpponentTotals(const RecordFilter& filter, MatchRowCallback callback, void* context) {
  std::vector<OpponentTotal> totals;
  if (TallyOpponents(RecordDatabase(), filter, totals)) {
    for (const OpponentTotal& total : totals) {
      MatchRecord record;
      memset(&record, 0, sizeof record);
      CopyToField(record.p2name, total.name.c_str());
      if (total.isNull) record.p2id = OpponentNameNull;
      record.p1win = total.wins;
      record.p2win = total.losses;
      callback(record, context);
    }
    return true;
  }
  return QueryOpponentTotalsByStatement(filter, callback, context);
}

bool QueryOpponentTotalsByStatement(const RecordFilter& filter, MatchRowCallback callback, void* context) {
  Delivery delivery{callback, context};
  std::string where = WhereClause(filter);
  if (filter.flags & FilterLimit) {
    return Run(ReadOpponentRow, &delivery,
               "SELECT T.p2name, sum(T.p1win/2), sum(T.p2win/2) FROM (SELECT p2name, p1id, p2id, p1win, p2win FROM "
               "viziriduvozmirrow %s ORDER BY timestamp DESC LIMIT %d) AS T GROUP BY T.p2name",
               where.c_str(), (int)filter.limit);
  }
  return Run(ReadOpponentRow, &delivery,
             "SELECT T.p2name, sum(T.p1win/2), sum(T.p2win/2) FROM viziriduvozmirrow AS T %s GROUP BY p2name",
             where.c_str());
}

namespace {
// A column as the text readers would parse it, without turning a plain number into text and back.
int32_t ColumnInt(sqlite3_stmt* statement, int column) {
  if (sqlite3_column_type(statement, column) == SQLITE_INTEGER) {
    sqlite3_int64 value = sqlite3_column_int64(statement, column);
    if (value >= INT32_MIN && value <= INT32_MAX) return (int32_t)value;
  }
  return ParseInt(reinterpret_cast<const char*>(sqlite3_column_text(statement, column)));
}

int64_t ColumnInt64(sqlite3_stmt* statement, int column) {
  if (sqlite3_column_type(statement, column) == SQLITE_INTEGER) return sqlite3_column_int64(statement, column);
  return ParseInt64(reinterpret_cast<const char*>(sqlite3_column_text(statement, column)));
}


// Stepped rather than run through exec: a history is read in full, and exec would render every number as
// text for it to be parsed again. Takes the statement text and frees it.
bool StepMatchRows(char* sql, MatchRowCallback callback, void* context) {
  sqlite3* db = RecordDatabase();
  if (!sql || !db) {
    sqlite3_free(sql);
    return false;
  }
  sqlite3_stmt* statement = nullptr;
  int rc = sqlite3_prepare_v2(db, sql, -1, &statement, nullptr);
  sqlite3_free(sql);
  if (rc != SQLITE_OK) return false;
  MatchRecord record;
  while ((rc = sqlite3_step(statement)) == SQLITE_ROW) {
    if (sqlite3_column_count(statement) != 7) {
      rc = SQLITE_ABORT;
      break;
    }
    record.timestamp = ColumnInt64(statement, 0);
    CopyToField(record.p1name, reinterpret_cast<const char*>(sqlite3_column_text(statement, 1)));
    record.p1id = ColumnInt(statement, 2);
    record.p1win = ColumnInt(statement, 3);
    CopyToField(record.p2name, reinterpret_cast<const char*>(sqlite3_column_text(statement, 4)));
    record.p2id = ColumnInt(statement, 5);
    record.p2win = ColumnInt(statement, 6);
    callback(record, context);
  }
  sqlite3_finalize(statement);
  return rc == SQLITE_DONE;
}
}  // namespace

bool QueryMatchHistory(const RecordFilter& filter, MatchRowCallback callback, void* context) {
  if (!RecordDatabase()) return false;
  std::string where = WhereClause(filter);
  return StepMatchRows((filter.flags & FilterLimit)
                           ? sqlite3_mprintf("SELECT * FROM viziriduvozmirrow %s ORDER BY timestamp DESC LIMIT %d",
                                             where.c_str(), (int)filter.limit)
                           : sqlite3_mprintf("SELECT * FROM viziriduvozmirrow %s ORDER BY timestamp DESC", where.c_str()),
                       callback, context);
}

bool QueryLatestMatch(const RecordFilter& filter, MatchRecord& record) {
  Latest latest;
  latest.found = false;
  std::string where = WhereClause(filter);
  if (!Run(ReadLatestRow, &latest, "SELECT * FROM viziriduvozmirrow %s ORDER BY timestamp DESC LIMIT 1", where.c_str()))
    return false;
  if (!latest.found) return false;
  record = latest.record;
  return true;
}

bool QueryEveryMatchOldestFirst(MatchRowCallback callback, void* context) {
  return StepMatchRows(sqlite3_mprintf("SELECT * FROM viziriduvozmirrow ORDER BY timestamp"), callback, context);
}

bool QueryTimestampRange(int64_t& oldest, int64_t& newest) {
  sqlite3* db = RecordDatabase();
  if (!db) return false;
  sqlite3_stmt* statement = nullptr;
  // A file made elsewhere may declare the key otherwise; its two ends must be the row ids as well.
  const char* sql =
      "SELECT (SELECT count(*) FROM pragma_table_info('viziriduvozmirrow') WHERE pk > 0),"
      " (SELECT count(*) FROM pragma_table_info('viziriduvozmirrow')"
      "  WHERE pk = 1 AND name = 'timestamp' AND upper(type) = 'INTEGER'),"
      " (SELECT timestamp = rowid FROM viziriduvozmirrow ORDER BY rowid LIMIT 1),"
      " (SELECT timestamp = rowid FROM viziriduvozmirrow ORDER BY rowid DESC LIMIT 1),"
      " (SELECT min(rowid) FROM viziriduvozmirrow), (SELECT max(rowid) FROM viziriduvozmirrow)";
  if (sqlite3_prepare_v2(db, sql, -1, &statement, nullptr) != SQLITE_OK) return false;
  bool ok = sqlite3_step(statement) == SQLITE_ROW && sqlite3_column_int(statement, 0) == 1 &&
            sqlite3_column_int(statement, 1) == 1 && sqlite3_column_int(statement, 2) == 1 &&
            sqlite3_column_int(statement, 3) == 1 && sqlite3_column_type(statement, 4) == SQLITE_INTEGER;
  if (ok) {
    oldest = sqlite3_column_int64(statement, 4);
    newest = sqlite3_column_int64(statement, 5);
  }
  sqlite3_finalize(statement);
  return ok;
}
