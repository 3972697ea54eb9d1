// A per-connection copy of the columns the pairing totals count (timestamp, ids, rounds), taken in one
// pass and answered from memory while the table is unchanged; after our own inserts and deletes it reads
// only the rows they wrote, so a capture costs one row, not the history. The summary's refresh asks 18 pairing
// questions of one state of the table; SQL would sort the whole table for each unlimited one and scan
// all of it for every "last 50" of a character that is rarely played.
#pragma once
#include <cstdint>
#include <memory>
#include <vector>

#include "store/RecordFilter.h"
#include "store/RecordQueries.h"

struct sqlite3;
struct sqlite3_value;

// Registers the collecting aggregate "match_columns" and the hooks that keep the copy honest.
bool RegisterMatchSnapshot(sqlite3* db);

// True when the totals of `filter` were computed from the copy into `cells`. False when the copy cannot
// give exactly what the statements give (no table, ids outside the roster, values that are not small
// integers): the caller then runs the statement.
bool PairingTotalsFromSnapshot(sqlite3* db, const RecordFilter& filter, PairingCell (&cells)[14][14]);

// Reads the copy that answers `filter` (as the totals take it) in turns of about `rows` rows, so that a huge
// table never holds the caller in one piece; true once it is ready (or cannot be made, and the statements
// answer). Our own writes between turns are taken up; any other change starts the pass again. One pass is
// read at a time, the latest asker's; a question asked meanwhile finishes it in one piece.
bool BuildSnapshotTurn(sqlite3* db, const RecordFilter& filter, size_t rows);
constexpr size_t SnapshotRowsPerTurn = 25000;

// Our own insert or delete of the row with this timestamp, with the connection's total change count taken
// before it: a copy then reads only that row again instead of the whole table.
void NoteOwnWrite(sqlite3* db, int64_t timestamp, int64_t changesBefore, bool insert);

// What has changed the table, for other copies of it (the per-opponent totals).
struct ChangeMark {
  uint64_t connection;
  int64_t others, schema;  // other connections' commits; the schema
  uint32_t rollbacks;
  int64_t changes;         // our own
  bool followsOwnWrites;   // no trigger or replacing constraint
};
bool ReadChangeMark(sqlite3* db, ChangeMark& mark);
inline bool operator==(const ChangeMark& a, const ChangeMark& b) {
  return a.connection == b.connection && a.others == b.others && a.schema == b.schema && a.rollbacks == b.rollbacks &&
         a.changes == b.changes && a.followsOwnWrites == b.followsOwnWrites;
}
// True when everything between the two marks is our own noted inserts; their timestamps in order.
bool OwnInsertsSince(sqlite3* db, const ChangeMark& then, const ChangeMark& now, std::vector<int64_t>& timestamps);

// A row's seven values as they were stored, types and all (a copy that outlives the row).
struct StoredRow {
  sqlite3_value* values[7] = {};  // timestamp, p1name, p1id, p1win, p2name, p2id, p2win
  StoredRow() = default;
  StoredRow(const StoredRow&) = delete;
  StoredRow& operator=(const StoredRow&) = delete;
  ~StoredRow();
};
// Called just before our own delete of this timestamp: the row is kept, so that a copy that counts rows by
// what they hold (the per-opponent totals) can take it off again.
void KeepRowBeforeDelete(sqlite3* db, int64_t timestamp);

struct OwnWriteSince {
  int64_t timestamp;
  bool insert;
  std::shared_ptr<const StoredRow> removed;  // of a delete: the row it took, when it was kept
};
// True when everything between the two marks is our own noted inserts and deletes of one row each; they
// come in the order they were made.
bool OwnWritesSince(sqlite3* db, const ChangeMark& then, const ChangeMark& now, std::vector<OwnWriteSince>& writes);

struct MatchSnapshotCounters {
  uint32_t builds;    // passes over the table
  uint32_t answers;   // questions answered from a copy
  uint32_t catchUps;  // copies brought up to date with our own writes alone
};
MatchSnapshotCounters MatchSnapshotActivity(sqlite3* db);

// The copy's rows that pass the filter's time bounds and names, oldest first; its ids, rounds and limit are
// not applied. The columns stay valid until the next call on this connection or the next change of the
// table. False when the copy cannot give them; the caller then reads the table itself.
struct MatchColumns {
  size_t count = 0;
  const int64_t* timestamp = nullptr;
  const uint8_t* p1id = nullptr;
  const uint8_t* p2id = nullptr;
  const int8_t* p1win = nullptr;
  const int8_t* p2win = nullptr;
};
bool SnapshotColumnsFor(sqlite3* db, const RecordFilter& filter, MatchColumns& columns);
