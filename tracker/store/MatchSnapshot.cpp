#include "MatchSnapshot.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <numeric>
#include <string>
#include <vector>

namespace {
// Sums of rounds/2 over this many rows of int8 rounds stay far inside 32 bits.
const size_t MaxRows = 30000000;

struct Snapshot {
  std::string clause;  // the conditions SQLite applied while collecting
  bool usable = false;
  // The state of the table the copy was taken from.
  uint32_t dataVersion = 0;
  sqlite3_int64 totalChanges = 0;
  uint32_t rollbacks = 0;

  // Rows in ascending timestamp order.
  std::vector<int64_t> timestamp;
  std::vector<uint8_t> p1id, p2id;
  std::vector<int8_t> p1win, p2win;
  std::vector<uint32_t> byP1[14], byP2[14];  // row numbers per character, ascending
  bool irregular = false;
};

struct ConnectionState {
  sqlite3* db;
  uint32_t rollbacks = 0;
  Snapshot* building = nullptr;
  // The two most recently used copies, e.g. the summary's and a detail window's.
  std::unique_ptr<Snapshot> copies[2];
  MatchSnapshotCounters counters{};
};

std::map<sqlite3*, ConnectionState*>& States() {
  static std::map<sqlite3*, ConnectionState*> states;
  return states;
}

ConnectionState* StateOf(sqlite3* db) {
  auto it = States().find(db);
  return it == States().end() ? nullptr : it->second;
}

void DestroyState(void* data) {
  auto* state = static_cast<ConnectionState*>(data);
  States().erase(state->db);
  delete state;
}

// A rollback undoes changes without moving the change counter or the data version.
void OnRollback(void* data) { ++static_cast<ConnectionState*>(data)->rollbacks; }

void CollectStep(sqlite3_context* context, int, sqlite3_value** args) {
  auto* state = static_cast<ConnectionState*>(sqlite3_user_data(context));
  Snapshot* s = state->building;
  if (!s) {
    sqlite3_result_error(context, "not collecting", -1);
    return;
  }
  for (int i = 0; i < 5; ++i) {
    if (sqlite3_value_type(args[i]) != SQLITE_INTEGER) s->irregular = true;
  }
  sqlite3_int64 a = sqlite3_value_int64(args[1]), b = sqlite3_value_int64(args[2]);
  sqlite3_int64 w1 = sqlite3_value_int64(args[3]), w2 = sqlite3_value_int64(args[4]);
  if (a < 0 || a > 13 || b < 0 || b > 13 || w1 < -128 || w1 > 127 || w2 < -128 || w2 > 127 ||
      s->timestamp.size() >= MaxRows)
    s->irregular = true;
  if (s->irregular) {
    // Stop the pass: the statements will answer instead.
    sqlite3_result_error(context, "irregular", -1);
    return;
  }
  s->timestamp.push_back(sqlite3_value_int64(args[0]));
  s->p1id.push_back((uint8_t)a);
  s->p2id.push_back((uint8_t)b);
  s->p1win.push_back((int8_t)w1);
  s->p2win.push_back((int8_t)w2);
}

void CollectFinal(sqlite3_context* context) {
  auto* state = static_cast<ConnectionState*>(sqlite3_user_data(context));
  sqlite3_result_int64(context, state->building ? (sqlite3_int64)state->building->timestamp.size() : 0);
}

// Starts a read of the table (so that the pager has looked for changes by other connections) and returns
// its data version; false when the table cannot be read.
bool ReadDataVersion(sqlite3* db, uint32_t& version) {
  sqlite3_stmt* statement = nullptr;
  bool ok = sqlite3_prepare_v2(db, "SELECT 1 FROM viziriduvozmirrow LIMIT 1", -1, &statement, nullptr) == SQLITE_OK;
  if (ok) {
    int rc = sqlite3_step(statement);
    ok = rc == SQLITE_ROW || rc == SQLITE_DONE;
  }
  sqlite3_finalize(statement);
  unsigned int v = 0;
  if (ok) ok = sqlite3_file_control(db, "main", SQLITE_FCNTL_DATA_VERSION, &v) == SQLITE_OK;
  version = v;
  return ok;
}

// Sorts the rows by timestamp; false when two rows share one: SQLite's order between them is its own, so a
// limit could count other rows than the statement does.
bool SortByUniqueTimestamp(Snapshot& s) {
  size_t n = s.timestamp.size();
  bool sorted = true;
  for (size_t i = 1; i < n && sorted; ++i) sorted = s.timestamp[i - 1] < s.timestamp[i];
  if (sorted) return true;
  std::vector<uint32_t> order(n);
  std::iota(order.begin(), order.end(), 0);
  std::sort(order.begin(), order.end(), [&](uint32_t x, uint32_t y) { return s.timestamp[x] < s.timestamp[y]; });
  auto permute = [&](auto& column) {
    auto copy = column;
    for (size_t i = 0; i < n; ++i) column[i] = copy[order[i]];
  };
  permute(s.timestamp);
  permute(s.p1id);
  permute(s.p2id);
  permute(s.p1win);
  permute(s.p2win);
  for (size_t i = 1; i < n; ++i)
    if (s.timestamp[i - 1] == s.timestamp[i]) return false;
  return true;
}

std::unique_ptr<Snapshot> Build(ConnectionState& state, const std::string& clause, uint32_t dataVersion) {
  auto s = std::make_unique<Snapshot>();
  s->clause = clause;
  state.building = s.get();
  char* sql = sqlite3_mprintf("SELECT match_columns(timestamp, p1id, p2id, p1win, p2win) FROM viziriduvozmirrow%s",
                              clause.c_str());
  bool ok = sql && sqlite3_exec(state.db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
  sqlite3_free(sql);
  state.building = nullptr;
  ++state.counters.builds;
  s->usable = ok && !s->irregular && SortByUniqueTimestamp(*s);
  if (!s->usable) {
    // Keep only the verdict.
    Snapshot verdict;
    verdict.clause = clause;
    *s = std::move(verdict);
  } else {
    for (uint32_t i = 0; i < (uint32_t)s->timestamp.size(); ++i) {
      s->byP1[s->p1id[i]].push_back(i);
      s->byP2[s->p2id[i]].push_back(i);
    }
  }
  // The collecting pass read the table under the version just seen, unless it failed to read at all.
  s->dataVersion = dataVersion;
  s->totalChanges = sqlite3_total_changes64(state.db);
  s->rollbacks = state.rollbacks;
  return s;
}

const Snapshot* Current(ConnectionState& state, const std::string& clause) {
  uint32_t version = 0;
  if (!ReadDataVersion(state.db, version)) return nullptr;
  sqlite3_int64 changes = sqlite3_total_changes64(state.db);
  for (int i = 0; i < 2; ++i) {
    Snapshot* s = state.copies[i].get();
    if (s && s->clause == clause && s->dataVersion == version && s->totalChanges == changes &&
        s->rollbacks == state.rollbacks) {
      if (i == 1) std::swap(state.copies[0], state.copies[1]);
      return state.copies[0].get();
    }
  }
  std::unique_ptr<Snapshot> fresh = Build(state, clause, version);
  state.copies[1] = std::move(state.copies[0]);
  state.copies[0] = std::move(fresh);
  return state.copies[0].get();
}

// Row numbers [lo, hi) whose timestamps fall in the filter's bounds.
void TimeRange(const Snapshot& s, const RecordFilter& f, uint32_t& lo, uint32_t& hi) {
  lo = 0;
  hi = (uint32_t)s.timestamp.size();
  if (f.flags & FilterFrom)
    lo = (uint32_t)(std::lower_bound(s.timestamp.begin(), s.timestamp.end(), f.timestampFrom) - s.timestamp.begin());
  if (f.flags & FilterTo)
    hi = (uint32_t)(std::upper_bound(s.timestamp.begin(), s.timestamp.end(), f.timestampTo) - s.timestamp.begin());
}

void Answer(const Snapshot& s, const RecordFilter& f, PairingCell (&cells)[14][14]) {
  int64_t sums[14][14][2] = {};
  uint32_t lo, hi;
  TimeRange(s, f, lo, hi);
  bool byId1 = f.flags & FilterP1Id, byId2 = f.flags & FilterP2Id;
  bool byWin1 = f.flags & FilterP1Win, byWin2 = f.flags & FilterP2Win;
  // A negative limit is no limit to SQLite.
  int64_t left = (f.flags & FilterLimit) && f.limit >= 0 ? f.limit : INT64_MAX;

  const std::vector<uint32_t>* list = nullptr;
  if (byId1 || byId2) {
    int id = byId1 ? f.p1id : f.p2id;
    if (id < 0 || id > 13) lo = hi;  // matches nothing
    else list = byId1 ? &s.byP1[id] : &s.byP2[id];
  }
  auto take = [&](uint32_t i) {
    if (byId1 && s.p1id[i] != f.p1id) return;
    if (byId2 && s.p2id[i] != f.p2id) return;
    if (byWin1 && s.p1win[i] != f.p1win) return;
    if (byWin2 && s.p2win[i] != f.p2win) return;
    int64_t* cell = sums[s.p1id[i]][s.p2id[i]];
    cell[0] += s.p1win[i] / 2;  // truncating, as SQLite divides integers
    cell[1] += s.p2win[i] / 2;
    --left;
  };
  if (lo < hi && left > 0) {
    if (list) {
      auto first = std::lower_bound(list->begin(), list->end(), lo);
      auto last = std::lower_bound(list->begin(), list->end(), hi);
      while (last != first && left > 0) take(*--last);
    } else {
      for (uint32_t i = hi; i > lo && left > 0;) take(--i);
    }
  }
  for (int a = 0; a < 14; ++a)
    for (int b = 0; b < 14; ++b) {
      cells[a][b].wins = sums[a][b][0] < 0 ? 0 : (int32_t)sums[a][b][0];
      cells[a][b].losses = sums[a][b][1] < 0 ? 0 : (int32_t)sums[a][b][1];
    }
}
}  // namespace

bool RegisterMatchSnapshot(sqlite3* db) {
  auto* state = new ConnectionState;
  state->db = db;
  States()[db] = state;
  // On failure SQLite calls DestroyState itself.
  if (sqlite3_create_function_v2(db, "match_columns", 5, SQLITE_UTF8, state, nullptr, CollectStep, CollectFinal,
                                 DestroyState) != SQLITE_OK)
    return false;
  sqlite3_rollback_hook(db, OnRollback, state);
  return true;
}

bool PairingTotalsFromSnapshot(sqlite3* db, const RecordFilter& filter, PairingCell (&cells)[14][14]) {
  ConnectionState* state = StateOf(db);
  if (!state) return false;
  // SQLite applies the names (its LIKE is the one that counts) and the time bounds (a day's matches are
  // read through the key, not the whole table); ids, rounds and limits are applied here.
  RecordFilter collected = filter;
  collected.flags &= FilterFrom | FilterTo | FilterP1Name | FilterP1NameLike | FilterP2Name | FilterP2NameLike;
  std::string clause;
  BuildWhereClause(collected, clause);
  const Snapshot* s = Current(*state, clause);
  if (!s || !s->usable) return false;
  Answer(*s, filter, cells);
  ++state->counters.answers;
  return true;
}

MatchSnapshotCounters MatchSnapshotActivity(sqlite3* db) {
  ConnectionState* state = StateOf(db);
  return state ? state->counters : MatchSnapshotCounters{};
}

bool SnapshotColumnsFor(sqlite3* db, const RecordFilter& filter, MatchColumns& columns) {
  ConnectionState* state = StateOf(db);
  if (!state) return false;
  // The same clause as the totals, so that the summary's copy of a period serves both.
  RecordFilter collected = filter;
  collected.flags &= FilterFrom | FilterTo | FilterP1Name | FilterP1NameLike | FilterP2Name | FilterP2NameLike;
  std::string clause;
  BuildWhereClause(collected, clause);
  const Snapshot* s = Current(*state, clause);
  if (!s || !s->usable) return false;
  uint32_t lo, hi;
  TimeRange(*s, filter, lo, hi);
  if (hi < lo) hi = lo;
  columns.count = hi - lo;
  columns.timestamp = s->timestamp.data() + lo;
  columns.p1id = s->p1id.data() + lo;
  columns.p2id = s->p2id.data() + lo;
  columns.p1win = s->p1win.data() + lo;
  columns.p2win = s->p2win.data() + lo;
  ++state->counters.answers;
  return true;
}
