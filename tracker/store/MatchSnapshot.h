// A per-connection copy of the columns the pairing totals count (timestamp, ids, rounds), taken in one
// pass and answered from memory while the table is unchanged. The summary's refresh asks 18 pairing
// questions of one state of the table; SQL would sort the whole table for each unlimited one and scan
// all of it for every "last 50" of a character that is rarely played.
#pragma once
#include <cstdint>

#include "RecordFilter.h"
#include "RecordQueries.h"

struct sqlite3;

// Registers the collecting aggregate "match_columns" and the hooks that keep the copy honest.
bool RegisterMatchSnapshot(sqlite3* db);

// True when the totals of `filter` were computed from the copy into `cells`. False when the copy cannot
// give exactly what the statements give (no table, ids outside the roster, values that are not small
// integers): the caller then runs the statement.
bool PairingTotalsFromSnapshot(sqlite3* db, const RecordFilter& filter, PairingCell (&cells)[14][14]);

struct MatchSnapshotCounters {
  uint32_t builds;   // passes over the table
  uint32_t answers;  // questions answered from a copy
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
