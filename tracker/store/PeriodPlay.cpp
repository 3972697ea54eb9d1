#include "store/PeriodPlay.h"

#include <sqlite3.h>

#include <algorithm>
#include <vector>

#include "store/RecordDatabase.h"

bool PeriodPlay::Update(const RecordFilter& filter, int span, int character, bool anew) {
  sqlite3* db = RecordDatabase();
  std::string clause;
  BuildWhereClause(filter, clause);
  ChangeMark now{};
  bool marked = db && ReadChangeMark(db, now);
  // A limit moves the period's first match with every new one: only a new count follows it.
  bool follows = !anew && current_ && marked && span == span_ && character == character_ && clause == clause_ &&
                 !(filter.flags & FilterLimit);
  if (follows && AddOwnInserts(now)) return true;
  span_ = span;
  character_ = character;
  clause_ = clause;
  mark_ = now;
  bool ok = Recount(filter);
  current_ = ok && marked;
  return ok;
}

bool PeriodPlay::Recount(const RecordFilter& filter) {
  tally_ = std::make_unique<PlayTally>(span_, character_);
  newest_ = INT64_MIN;
  PlayRows rows;
  bool ok = rows.Load(filter);
  if (ok) {
    const MatchColumns& c = rows.Columns();
    tally_->Add(c, 0, c.count);
    if (c.count) newest_ = c.timestamp[c.count - 1];
  }
  tally_->Matchups(cells_);
  return ok;
}

// Our own inserts since the figures were taken, each newer than every row counted, are added in order;
// anything else (one of them older, a deletion, another writer) is left to a new count.
bool PeriodPlay::AddOwnInserts(const ChangeMark& now) {
  sqlite3* db = RecordDatabase();
  std::vector<int64_t> inserted;
  if (!OwnInsertsSince(db, mark_, now, inserted)) return false;
  std::sort(inserted.begin(), inserted.end());
  if (!inserted.empty() && inserted.front() <= newest_) return false;
  std::string sql = "SELECT timestamp, p1id, p2id, p1win, p2win FROM viziriduvozmirrow WHERE timestamp = ?";
  if (!clause_.empty()) sql += " AND (" + clause_.substr(7) + ")";  // past " WHERE "
  sqlite3_stmt* statement = nullptr;
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK) {
    sqlite3_finalize(statement);
    return false;
  }
  std::vector<PlayRow> rows;
  bool ok = true;
  for (int64_t timestamp : inserted) {
    sqlite3_bind_int64(statement, 1, timestamp);
    int rc = sqlite3_step(statement);
    PlayRow row;
    if (rc == SQLITE_ROW && ReadPlayRow(statement, 0, row)) rows.push_back(row);
    ok = rc == SQLITE_ROW || rc == SQLITE_DONE;
    sqlite3_reset(statement);
    if (!ok) break;
  }
  sqlite3_finalize(statement);
  if (!ok) return false;
  for (PlayRow& row : rows) {
    tally_->Add({1, &row.timestamp, &row.p1id, &row.p2id, &row.p1win, &row.p2win}, 0, 1);
    newest_ = row.timestamp;
  }
  if (!rows.empty()) tally_->Matchups(cells_);
  mark_ = now;
  return true;
}
