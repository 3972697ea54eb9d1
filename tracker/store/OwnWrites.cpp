// Our own inserts and deletes, noted so that every copy of the table can follow them row by row.
#include <sqlite3.h>

#include <memory>
#include <vector>

#include "store/MatchSnapshot.h"
#include "store/SnapshotState.h"

namespace snapshot_state {
std::map<sqlite3*, ConnectionState*>& States() {
  static std::map<sqlite3*, ConnectionState*> states;
  return states;
}

ConnectionState* StateOf(sqlite3* db) {
  auto it = States().find(db);
  return it == States().end() ? nullptr : it->second;
}

namespace {
int64_t PragmaValue(sqlite3* db, const char* sql, bool& ok) {
  sqlite3_stmt* statement = nullptr;
  int64_t value = 0;
  if (sqlite3_prepare_v2(db, sql, -1, &statement, nullptr) == SQLITE_OK && sqlite3_step(statement) == SQLITE_ROW)
    value = sqlite3_column_int64(statement, 0);
  else
    ok = false;
  sqlite3_finalize(statement);
  return value;
}
}  // namespace

bool ReadVersions(sqlite3* db, int64_t& others, int64_t& schema) {
  bool ok = true;
  others = PragmaValue(db, "PRAGMA data_version", ok);
  schema = PragmaValue(db, "PRAGMA schema_version", ok);
  return ok;
}

bool FollowsOwnWrites(sqlite3* db) {
  bool ok = true;
  int64_t found = PragmaValue(db,
                              "SELECT count(*) FROM sqlite_master WHERE type = 'trigger' OR "
                              "(name = 'viziriduvozmirrow' AND sql LIKE '%REPLACE%')",
                              ok);
  return ok && found == 0;
}

bool OwnWritesBetween(const ConnectionState& state, sqlite3_int64 from, sqlite3_int64 to, bool insertsOnly,
                      std::vector<int64_t>& touched, std::vector<const OwnWrite*>* writes) {
  sqlite3_int64 at = from;
  for (const OwnWrite& write : state.ownWrites) {
    if (write.after <= at) continue;
    if (write.before != at || (insertsOnly && !write.insert)) return false;
    touched.push_back(write.timestamp);
    if (writes) writes->push_back(&write);
    at = write.after;
  }
  return at == to;
}
}  // namespace snapshot_state

using namespace snapshot_state;

void NoteOwnWrite(sqlite3* db, int64_t timestamp, int64_t changesBefore, bool insert) {
  ConnectionState* state = StateOf(db);
  sqlite3_int64 after = sqlite3_total_changes64(db);
  if (!state || after == changesBefore) return;
  auto& writes = state->ownWrites;
  if (writes.size() >= 2 * KeptWrites) writes.erase(writes.begin(), writes.end() - KeptWrites);
  std::shared_ptr<const StoredRow> removed;
  if (!insert && state->kept && state->keptTimestamp == timestamp) removed = state->kept;
  state->kept.reset();
  writes.push_back({timestamp, changesBefore, after, insert, removed});
}

StoredRow::~StoredRow() {
  for (sqlite3_value* value : values) sqlite3_value_free(value);
}

void KeepRowBeforeDelete(sqlite3* db, int64_t timestamp) {
  ConnectionState* state = StateOf(db);
  if (!state) return;
  state->kept.reset();
  sqlite3_stmt* statement = nullptr;
  if (sqlite3_prepare_v2(db,
                         "SELECT timestamp, p1name, p1id, p1win, p2name, p2id, p2win FROM viziriduvozmirrow "
                         "WHERE timestamp = ?",
                         -1, &statement, nullptr) != SQLITE_OK) {
    sqlite3_finalize(statement);
    return;
  }
  sqlite3_bind_int64(statement, 1, timestamp);
  auto row = std::make_shared<StoredRow>();
  bool one = sqlite3_step(statement) == SQLITE_ROW;
  for (int i = 0; one && i < 7; ++i) one = (row->values[i] = sqlite3_value_dup(sqlite3_column_value(statement, i)));
  // More than one row under a timestamp: which ones went is not known here.
  if (one && sqlite3_step(statement) == SQLITE_DONE) {
    state->kept = row;
    state->keptTimestamp = timestamp;
  }
  sqlite3_finalize(statement);
}

bool OwnWritesSince(sqlite3* db, const ChangeMark& then, const ChangeMark& now, std::vector<OwnWriteSince>& writes) {
  ConnectionState* state = StateOf(db);
  writes.clear();
  std::vector<int64_t> touched;
  std::vector<const OwnWrite*> found;
  if (!state || then.connection != now.connection || then.others != now.others || then.schema != now.schema ||
      then.rollbacks != now.rollbacks || !then.followsOwnWrites || !now.followsOwnWrites ||
      !OwnWritesBetween(*state, then.changes, now.changes, false, touched, &found))
    return false;
  for (const OwnWrite* write : found) {
    if (write->after - write->before != 1) return false;
    writes.push_back({write->timestamp, write->insert, write->removed});
  }
  return true;
}

bool ReadChangeMark(sqlite3* db, ChangeMark& mark) {
  ConnectionState* state = StateOf(db);
  if (!state || !ReadVersions(db, mark.others, mark.schema)) return false;
  mark.connection = state->serial;
  mark.rollbacks = state->rollbacks;
  mark.changes = sqlite3_total_changes64(db);
  mark.followsOwnWrites = FollowsOwnWrites(db);
  return true;
}

bool OwnInsertsSince(sqlite3* db, const ChangeMark& then, const ChangeMark& now, std::vector<int64_t>& timestamps) {
  ConnectionState* state = StateOf(db);
  timestamps.clear();
  return state && then.connection == now.connection && then.others == now.others && then.schema == now.schema &&
         then.rollbacks == now.rollbacks && then.followsOwnWrites && now.followsOwnWrites &&
         OwnWritesBetween(*state, then.changes, now.changes, true, timestamps);
}

