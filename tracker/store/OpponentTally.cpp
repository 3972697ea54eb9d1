#include "store/OpponentTally.h"

#include "common/NameTable.h"
#include "store/MatchSnapshot.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstring>
#include <cstdint>
#include <memory>
#include <vector>

namespace {
struct Sums {
  int64_t wins = 0, losses = 0, matches = 0;
};

struct Tally {
  bool hasNull = false;
  Sums nullSums;
  NameTable names;
  std::vector<Sums> byName;  // by the name's number
  bool irregular = false;
  size_t rows = 0;
};

Tally* g_tally = nullptr;  // the pass in progress (GUI thread only)
unsigned g_answers = 0;

// Bounds that keep every sum far inside 64 bits and lets a 32-bit overflow be seen at the end.
const int64_t MaxRounds = 1 << 30;
const size_t MaxRows = 1 << 30;

void TallyStep(sqlite3_context* context, int, sqlite3_value** args) {
  Tally* t = g_tally;
  if (!t) {
    sqlite3_result_error(context, "not tallying", -1);
    return;
  }
  int nameType = sqlite3_value_type(args[0]);
  if ((nameType != SQLITE_TEXT && nameType != SQLITE_NULL) || sqlite3_value_type(args[1]) != SQLITE_INTEGER ||
      sqlite3_value_type(args[2]) != SQLITE_INTEGER || ++t->rows > MaxRows) {
    t->irregular = true;
  }
  int64_t w = sqlite3_value_int64(args[1]), l = sqlite3_value_int64(args[2]);
  if (w < -MaxRounds || w > MaxRounds || l < -MaxRounds || l > MaxRounds) t->irregular = true;
  if (t->irregular) {
    sqlite3_result_error(context, "irregular", -1);
    return;
  }
  Sums* sums;
  if (nameType == SQLITE_NULL) {
    t->hasNull = true;
    sums = &t->nullSums;
  } else {
    const char* text = reinterpret_cast<const char*>(sqlite3_value_text(args[0]));
    uint32_t id = t->names.Add(text ? text : "", text ? (size_t)sqlite3_value_bytes(args[0]) : 0);
    if (id == t->byName.size()) t->byName.emplace_back();
    sums = &t->byName[id];
  }
  sums->wins += w / 2;  // truncating, as SQLite divides integers
  sums->losses += l / 2;
  ++sums->matches;
}

void TallyFinal(sqlite3_context* context) { sqlite3_result_null(context); }

bool Fits(int64_t v) { return v >= INT32_MIN && v <= INT32_MAX; }

// In the order GROUP BY p2name gives.
bool Deliver(const Tally& tally, std::vector<OpponentTotal>& totals) {
  std::vector<uint32_t> order(tally.byName.size());
  for (uint32_t id = 0; id < order.size(); ++id) order[id] = id;
  const NameTable& names = tally.names;
  // BINARY collation: bytes compared unsigned, a shorter prefix first.
  std::sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) {
    size_t la = names.Length(a), lb = names.Length(b);
    int c = memcmp(names[a], names[b], la < lb ? la : lb);
    return c < 0 || (c == 0 && la < lb);
  });
  auto put = [&](bool isNull, std::string name, const Sums& sums) {
    if (!Fits(sums.wins) || !Fits(sums.losses)) return false;
    totals.push_back({isNull, std::move(name), (int)sums.wins, (int)sums.losses, sums.matches});
    return true;
  };
  totals.reserve(totals.size() + order.size() + 1);
  bool fits = !tally.hasNull || put(true, std::string(), tally.nullSums);
  for (size_t i = 0; fits && i < order.size(); ++i)
    fits = put(false, std::string(names[order[i]], names.Length(order[i])), tally.byName[order[i]]);
  if (!fits) {
    totals.clear();
    return false;
  }
  ++g_answers;
  return true;
}

// The pass groups the stored UTF-8 bytes; GROUP BY compares with the column's collation, and in a UTF-16 file
// the bytes handed out are a conversion of what is stored.
bool GroupsByBytes(sqlite3* db) {
  const char* collation = nullptr;
  if (sqlite3_table_column_metadata(db, "main", "viziriduvozmirrow", "p2name", nullptr, &collation, nullptr, nullptr,
                                    nullptr) != SQLITE_OK ||
      !collation || sqlite3_stricmp(collation, "BINARY") != 0)
    return false;
  sqlite3_stmt* statement = nullptr;
  bool utf8 = sqlite3_prepare_v2(db, "PRAGMA encoding", -1, &statement, nullptr) == SQLITE_OK &&
              sqlite3_step(statement) == SQLITE_ROW &&
              sqlite3_stricmp(reinterpret_cast<const char*>(sqlite3_column_text(statement, 0)), "UTF-8") == 0;
  sqlite3_finalize(statement);
  return utf8;
}
}  // namespace

bool RegisterOpponentTally(sqlite3* db) {
  return sqlite3_create_function(db, "opponent_tally", 3, SQLITE_UTF8, nullptr, nullptr, TallyStep, TallyFinal) ==
         SQLITE_OK;
}

namespace {
// The totals of the last conditions asked, kept while only our own captures change the table.
struct CachedTally {
  std::string clause;
  ChangeMark mark{};
  bool keyed;  // one row per timestamp, so a noted insert added exactly the row read again
  Tally tally;
};
std::unique_ptr<CachedTally> g_cached;
unsigned g_passes = 0;

bool TimestampIsKey(sqlite3* db) {
  sqlite3_stmt* statement = nullptr;
  bool keyed = sqlite3_prepare_v2(db,
                                  "SELECT count(*) = 1 AND max(name = 'timestamp') FROM "
                                  "pragma_table_info('viziriduvozmirrow') WHERE pk > 0",
                                  -1, &statement, nullptr) == SQLITE_OK &&
               sqlite3_step(statement) == SQLITE_ROW && sqlite3_column_int(statement, 0) == 1;
  sqlite3_finalize(statement);
  return keyed;
}

// Adds the matching rows (of `clause`, and of one timestamp when given) to `tally`.
bool Pass(sqlite3* db, const std::string& clause, const int64_t* timestamp, Tally& tally) {
  std::string where = clause;
  if (timestamp) {
    char* one = sqlite3_mprintf(" WHERE timestamp = %lld", (long long)*timestamp);
    where = std::string(one ? one : "") + (clause.empty() ? "" : " AND (" + clause.substr(7) + ")");
    sqlite3_free(one);
  }
  char* sql = sqlite3_mprintf("SELECT opponent_tally(p2name, p1win, p2win) FROM viziriduvozmirrow%s", where.c_str());
  if (!sql) return false;
  g_tally = &tally;
  bool ok = sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK && !tally.irregular;
  g_tally = nullptr;
  sqlite3_free(sql);
  return ok;
}

// The cached totals brought up to date with our own inserts, or null when the table must be read.
Tally* CaughtUp(sqlite3* db, const std::string& clause, const ChangeMark& mark) {
  std::vector<int64_t> inserted;
  if (!g_cached || g_cached->clause != clause || !g_cached->keyed || !OwnInsertsSince(db, g_cached->mark, mark, inserted))
    return nullptr;
  for (int64_t timestamp : inserted)
    if (!Pass(db, clause, &timestamp, g_cached->tally)) return nullptr;
  g_cached->mark = mark;
  return &g_cached->tally;
}
}  // namespace

bool TallyOpponents(sqlite3* db, const RecordFilter& filter, std::vector<OpponentTotal>& totals) {
  totals.clear();
  if (!db || (filter.flags & FilterLimit) || g_tally || !GroupsByBytes(db)) return false;
  std::string clause;
  BuildWhereClause(filter, clause);
  ChangeMark mark{};
  bool marked = ReadChangeMark(db, mark);
  Tally* found = marked ? CaughtUp(db, clause, mark) : nullptr;
  if (!found) {
    auto fresh = std::make_unique<CachedTally>();
    fresh->clause = clause;
    fresh->mark = mark;
    fresh->keyed = TimestampIsKey(db);
    g_cached.reset();
    ++g_passes;
    if (!Pass(db, clause, nullptr, fresh->tally)) return false;
    g_cached = std::move(fresh);
    bool ok = Deliver(g_cached->tally, totals);
    if (!marked) g_cached.reset();  // nothing would tell whether it still holds
    return ok;
  }
  return Deliver(*found, totals);
}

bool TallyOneMatch(sqlite3* db, const RecordFilter& filter, int64_t timestamp, const StoredRow* removed,
                   OpponentTotal& total, bool& found) {
  found = false;
  if (!db || (filter.flags & FilterLimit) || g_tally || !GroupsByBytes(db)) return false;
  std::string clause;
  BuildWhereClause(filter, clause);
  Tally tally;
  if (!removed) {
    if (!Pass(db, clause, &timestamp, tally)) return false;
  } else {
    // The filter's conditions over the values as they were stored; only plain numbers, so that no column
    // affinity the table would have applied is missing here.
    for (int i : {0, 2, 3, 5, 6})
      if (!removed->values[i] || sqlite3_value_type(removed->values[i]) != SQLITE_INTEGER) return false;
    std::string sql =
        "SELECT opponent_tally(p2name, p1win, p2win) FROM (SELECT ?1 AS timestamp, ?2 AS p1name, ?3 AS p1id, "
        "?4 AS p1win, ?5 AS p2name, ?6 AS p2id, ?7 AS p2win)" + clause;
    sqlite3_stmt* statement = nullptr;
    bool ok = sqlite3_prepare_v2(db, sql.c_str(), -1, &statement, nullptr) == SQLITE_OK;
    for (int i = 0; ok && i < 7; ++i) ok = sqlite3_bind_value(statement, i + 1, removed->values[i]) == SQLITE_OK;
    g_tally = &tally;
    ok = ok && sqlite3_step(statement) == SQLITE_ROW && !tally.irregular;
    g_tally = nullptr;
    sqlite3_finalize(statement);
    if (!ok) return false;
  }
  if (tally.rows == 0) return true;
  if (tally.rows != 1) return false;
  found = true;
  const Sums& sums = tally.hasNull ? tally.nullSums : tally.byName[0];
  total = {tally.hasNull, tally.hasNull ? std::string() : std::string(tally.names[0], tally.names.Length(0)), (int)sums.wins,
           (int)sums.losses, 1};
  return true;
}

unsigned OpponentTallyAnswers() { return g_answers; }
unsigned OpponentTallyPasses() { return g_passes; }
