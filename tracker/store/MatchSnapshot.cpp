#include "store/MatchSnapshot.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <numeric>
#include <string>
#include <vector>

#include "store/SnapshotState.h"

using namespace snapshot_state;

namespace {
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

// Sorts the rows from `from` on by timestamp (those before it are sorted and older); false when two rows share
// one: SQLite's order between them is its own, so a limit could count other rows than the statement does.
bool SortByUniqueTimestamp(Snapshot& s, size_t from) {
  size_t n = s.timestamp.size();
  bool sorted = true;
  for (size_t i = from + 1; i < n && sorted; ++i) sorted = s.timestamp[i - 1] < s.timestamp[i];
  if (!sorted) {
    std::vector<uint32_t> order(n - from);
    std::iota(order.begin(), order.end(), (uint32_t)from);
    std::sort(order.begin(), order.end(), [&](uint32_t x, uint32_t y) { return s.timestamp[x] < s.timestamp[y]; });
    auto permute = [&](auto& column) {
      auto copy = column;
      for (size_t i = from; i < n; ++i) column[i] = copy[order[i - from]];
    };
    permute(s.timestamp);
    permute(s.p1id);
    permute(s.p2id);
    permute(s.p1win);
    permute(s.p2win);
  }
  for (size_t i = from ? from : 1; i < n; ++i)
    if (s.timestamp[i - 1] >= s.timestamp[i]) return false;
  return true;
}

void Count(Snapshot& s, uint32_t row, int sign) {
  int64_t* cell = s.totals[s.p1id[row]][s.p2id[row]];
  cell[0] += sign * (s.p1win[row] / 2);  // truncating, as SQLite divides integers
  cell[1] += sign * (s.p2win[row] / 2);
}

void EraseRow(Snapshot& s, uint32_t row) {
  Count(s, row, -1);
  for (std::vector<uint32_t>* lists : {s.byP1, s.byP2})
    for (int c = 0; c < 14; ++c) {
      std::vector<uint32_t>& list = lists[c];
      auto it = std::lower_bound(list.begin(), list.end(), row);
      if (it != list.end() && *it == row) it = list.erase(it);
      for (; it != list.end(); ++it) --*it;
    }
  s.timestamp.erase(s.timestamp.begin() + row);
  s.p1id.erase(s.p1id.begin() + row);
  s.p2id.erase(s.p2id.begin() + row);
  s.p1win.erase(s.p1win.begin() + row);
  s.p2win.erase(s.p2win.begin() + row);
}

// Row `i` of `from` goes to its place by timestamp (a new match is the last row, and costs nothing to place).
void InsertRow(Snapshot& s, const Snapshot& from, size_t i) {
  uint32_t row = (uint32_t)(std::lower_bound(s.timestamp.begin(), s.timestamp.end(), from.timestamp[i]) -
                            s.timestamp.begin());
  for (std::vector<uint32_t>* lists : {s.byP1, s.byP2})
    for (int c = 0; c < 14; ++c)
      for (auto it = std::lower_bound(lists[c].begin(), lists[c].end(), row); it != lists[c].end(); ++it) ++*it;
  for (std::vector<uint32_t>* list : {&s.byP1[from.p1id[i]], &s.byP2[from.p2id[i]]})
    list->insert(std::lower_bound(list->begin(), list->end(), row), row);
  s.timestamp.insert(s.timestamp.begin() + row, from.timestamp[i]);
  s.p1id.insert(s.p1id.begin() + row, from.p1id[i]);
  s.p2id.insert(s.p2id.begin() + row, from.p2id[i]);
  s.p1win.insert(s.p1win.begin() + row, from.p1win[i]);
  s.p2win.insert(s.p2win.begin() + row, from.p2win[i]);
  Count(s, row, 1);
}

// Reads the row now stored under `timestamp` if the copy's conditions take it, and puts it in the copy in
// place of the one it had; false when that cannot be done exactly.
bool Reread(ConnectionState& state, Snapshot& s, int64_t timestamp) {
  Snapshot found;
  state.building = &found;
  // The clause is empty or " WHERE " and its conditions.
  std::string conditions = s.clause.empty() ? std::string() : " AND (" + s.clause.substr(7) + ")";
  char* sql = sqlite3_mprintf(
      "SELECT match_columns(timestamp, p1id, p2id, p1win, p2win) FROM viziriduvozmirrow WHERE timestamp = %lld%s",
      (long long)timestamp, conditions.c_str());
  bool ok = sql && sqlite3_exec(state.db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
  sqlite3_free(sql);
  state.building = nullptr;
  if (!ok || found.irregular || found.timestamp.size() > 1 || s.timestamp.size() >= MaxRows) return false;
  auto it = std::lower_bound(s.timestamp.begin(), s.timestamp.end(), timestamp);
  if (it != s.timestamp.end() && *it == timestamp) EraseRow(s, (uint32_t)(it - s.timestamp.begin()));
  if (!found.timestamp.empty()) InsertRow(s, found, 0);
  return true;
}

// Brings the copy up to `changes` when everything since it was taken is our own noted inserts and deletes.
// A copy still being read takes them up only for the rows already read: its later turns read the others.
bool CatchUp(ConnectionState& state, Snapshot& s, sqlite3_int64 changes) {
  if (s.totalChanges == changes) return true;
  if (!s.followsOwnWrites) return false;
  std::vector<int64_t> touched;
  if (!OwnWritesBetween(state, s.totalChanges, changes, false, touched)) return false;
  std::sort(touched.begin(), touched.end());
  touched.erase(std::unique(touched.begin(), touched.end()), touched.end());
  bool complete = s.usable;
  for (int64_t timestamp : touched)
    if ((complete || (s.begun && timestamp <= s.readTo)) && !Reread(state, s, timestamp)) return false;
  s.totalChanges = changes;
  if (complete) ++state.counters.catchUps;
  return true;
}

// The rows, counts and lists once every row has been read; a failed or irregular pass keeps only the verdict.
void FinishPass(ConnectionState& state, Snapshot& s, bool ok) {
  ++state.counters.builds;
  s.usable = ok && !s.irregular;
  if (!s.usable) {
    Snapshot verdict;
    verdict.clause = s.clause;
    verdict.othersVersion = s.othersVersion;
    verdict.schemaVersion = s.schemaVersion;
    verdict.totalChanges = s.totalChanges;
    verdict.rollbacks = s.rollbacks;
    s = std::move(verdict);
    return;
  }
  // Rows our own writes placed between turns went into lists and counts that are made only now.
  memset(s.totals, 0, sizeof s.totals);
  for (int c = 0; c < 14; ++c) {
    s.byP1[c].clear();
    s.byP2[c].clear();
  }
  for (uint32_t i = 0; i < (uint32_t)s.timestamp.size(); ++i) {
    s.byP1[s.p1id[i]].push_back(i);
    s.byP2[s.p2id[i]].push_back(i);
    Count(s, i, 1);
  }
}

// One turn of reading the table into `s`: the next `rows` rows by timestamp, or all that are left when `rows`
// is 0. True when the pass has ended (the copy is usable or has its verdict).
bool ReadTurn(ConnectionState& state, Snapshot& s, size_t rows) {
  // The clause is empty or " WHERE " and its conditions.
  std::string where = s.clause.empty() ? std::string(" WHERE ") : " WHERE (" + s.clause.substr(7) + ") AND ";
  sqlite3_stmt* statement = nullptr;
  bool last = true, ok = true;
  sqlite3_value* upTo = nullptr;
  if (rows) {
    // The bound is a timestamp, not a count: rows that share one stay in one turn, where the sort finds them.
    char* sql = sqlite3_mprintf("SELECT timestamp FROM viziriduvozmirrow%s%s ORDER BY timestamp LIMIT 1 OFFSET %lld",
                                where.c_str(), s.begun ? "timestamp > ?1" : "1", (long long)rows - 1);
    ok = sql && sqlite3_prepare_v2(state.db, sql, -1, &statement, nullptr) == SQLITE_OK;
    sqlite3_free(sql);
    if (ok && s.begun) sqlite3_bind_int64(statement, 1, s.readTo);
    int rc = ok ? sqlite3_step(statement) : SQLITE_ERROR;
    if (rc == SQLITE_ROW) {
      last = false;
      upTo = sqlite3_value_dup(sqlite3_column_value(statement, 0));
    } else if (rc != SQLITE_DONE) {
      ok = false;
    }
    sqlite3_finalize(statement);
    statement = nullptr;
  }
  size_t before = s.timestamp.size();
  auto collect = [&](const std::string& range) {
    char* sql = sqlite3_mprintf("SELECT match_columns(timestamp, p1id, p2id, p1win, p2win) FROM viziriduvozmirrow%s",
                                range.c_str());
    ok = sql && sqlite3_prepare_v2(state.db, sql, -1, &statement, nullptr) == SQLITE_OK;
    sqlite3_free(sql);
    if (ok && s.begun) sqlite3_bind_int64(statement, 1, s.readTo);
    if (ok && upTo) sqlite3_bind_value(statement, 2, upTo);
    state.building = &s;
    ok = ok && sqlite3_step(statement) == SQLITE_ROW;
    state.building = nullptr;
    sqlite3_finalize(statement);
  };
  // Each range goes through the key; a NULL timestamp is in none, and makes the copy irregular at once.
  if (ok && !s.begun && !last) collect(where + "timestamp IS NULL");
  if (ok && !s.irregular) {
    if (!last) collect(where + (s.begun ? "timestamp > ?1 AND timestamp <= ?2" : "timestamp <= ?2"));
    else collect(s.begun ? where + "timestamp > ?1" : s.clause);
  }
  // The bound's row was read, so an irregular bound made the pass irregular.
  if (ok && !s.irregular && upTo) s.readTo = sqlite3_value_int64(upTo);
  sqlite3_value_free(upTo);
  if (ok && !s.irregular && !SortByUniqueTimestamp(s, before)) ok = false;
  s.begun = true;
  if (!ok || s.irregular || last) {
    FinishPass(state, s, ok);
    return true;
  }
  return false;
}

// The copy of `clause` read again while the table is as it was, brought up to date with our own writes;
// null when it has to be read again.
Snapshot* Found(ConnectionState& state, const std::string& clause, int64_t others, int64_t schema,
                sqlite3_int64 changes) {
  for (int i = 0; i < 2; ++i) {
    Snapshot* s = state.copies[i].get();
    if (!s || s->clause != clause) continue;
    if (s->othersVersion == others && s->schemaVersion == schema && s->rollbacks == state.rollbacks &&
        (s->totalChanges == changes || (s->usable && CatchUp(state, *s, changes)))) {
      if (i == 1) std::swap(state.copies[0], state.copies[1]);
      return state.copies[0].get();
    }
    break;
  }
  return nullptr;
}

// One more turn of the pass into `s`, started anew when the table changed other than by our own writes.
bool Advance(ConnectionState& state, std::unique_ptr<Snapshot>& s, const std::string& clause, int64_t others,
             int64_t schema, size_t rows) {
  sqlite3_int64 changes = sqlite3_total_changes64(state.db);
  if (s && !(s->othersVersion == others && s->schemaVersion == schema && s->rollbacks == state.rollbacks &&
             CatchUp(state, *s, changes)))
    s.reset();
  if (!s) {
    s = std::make_unique<Snapshot>();
    s->clause = clause;
    s->othersVersion = others;
    s->schemaVersion = schema;
    s->rollbacks = state.rollbacks;
    s->totalChanges = changes;
    s->followsOwnWrites = FollowsOwnWrites(state.db);
  }
  return ReadTurn(state, *s, rows);
}

Snapshot* Install(ConnectionState& state, std::unique_ptr<Snapshot> fresh) {
  // A stale copy of the same conditions is dropped, not kept as the second one.
  for (auto& copy : state.copies)
    if (copy && copy->clause == fresh->clause) copy.reset();
  if (state.copies[0]) state.copies[1] = std::move(state.copies[0]);
  state.copies[0] = std::move(fresh);
  return state.copies[0].get();
}

const Snapshot* Current(ConnectionState& state, const std::string& clause) {
  int64_t others = 0, schema = 0;
  if (!ReadVersions(state.db, others, schema)) return nullptr;
  if (Snapshot* s = Found(state, clause, others, schema, sqlite3_total_changes64(state.db))) return s;
  // A copy being read in turns is finished in one piece: the question cannot wait.
  std::unique_ptr<Snapshot> fresh;
  if (state.partial && state.partial->clause == clause) fresh = std::move(state.partial);
  Advance(state, fresh, clause, others, schema, 0);
  return Install(state, std::move(fresh));
}

std::string CollectedClause(const RecordFilter& filter) {
  // SQLite applies the names (its LIKE is the one that counts) and the time bounds (a day's matches are
  // read through the key, not the whole table); ids, rounds and limits are applied here.
  RecordFilter collected = filter;
  collected.flags &=
      FilterFrom | FilterTo | FilterP1Name | FilterP1NameLike | FilterP2Name | FilterP2NameLike | FilterP2NameNull;
  std::string clause;
  BuildWhereClause(collected, clause);
  return clause;
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
  bool whole = lo == 0 && hi == s.timestamp.size() && !byWin1 && !byWin2 && left >= (int64_t)hi;
  if (whole) {
    for (int a = 0; a < 14; ++a)
      for (int b = 0; b < 14; ++b)
        if ((!byId1 || a == f.p1id) && (!byId2 || b == f.p2id)) {
          sums[a][b][0] = s.totals[a][b][0];
          sums[a][b][1] = s.totals[a][b][1];
        }
  } else if (lo < hi && left > 0) {
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
  static uint64_t serials = 0;
  auto* state = new ConnectionState;
  state->db = db;
  state->serial = ++serials;
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
  const Snapshot* s = Current(*state, CollectedClause(filter));
  if (!s || !s->usable) return false;
  Answer(*s, filter, cells);
  ++state->counters.answers;
  return true;
}

bool BuildSnapshotTurn(sqlite3* db, const RecordFilter& filter, size_t rows) {
  ConnectionState* state = StateOf(db);
  int64_t others = 0, schema = 0;
  if (!state || !ReadVersions(db, others, schema)) return true;
  std::string clause = CollectedClause(filter);
  if (Found(*state, clause, others, schema, sqlite3_total_changes64(db))) {
    state->partial.reset();
    return true;
  }
  // One pass at a time: the latest asker's.
  if (state->partial && state->partial->clause != clause) state->partial.reset();
  if (!Advance(*state, state->partial, clause, others, schema, rows ? rows : 1)) return false;
  Install(*state, std::move(state->partial));
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
  const Snapshot* s = Current(*state, CollectedClause(filter));
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
