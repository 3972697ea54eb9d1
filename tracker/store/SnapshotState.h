// What the copies of one connection share with the bookkeeping of our own writes (store only).
#pragma once
#include <sqlite3.h>

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "store/MatchSnapshot.h"

namespace snapshot_state {
// Sums of rounds/2 over this many rows of int8 rounds stay far inside 32 bits.
constexpr size_t MaxRows = 30000000;

struct Snapshot {
  std::string clause;  // the conditions SQLite applied while collecting
  bool usable = false;
  // No trigger or replacing constraint: our own insert or delete changes exactly the row it names.
  bool followsOwnWrites = false;
  // The state of the table the copy was taken from: other connections' commits, the schema, our own changes.
  int64_t othersVersion = 0;
  int64_t schemaVersion = 0;
  sqlite3_int64 totalChanges = 0;
  uint32_t rollbacks = 0;

  // Rows in ascending timestamp order.
  std::vector<int64_t> timestamp;
  std::vector<uint8_t> p1id, p2id;
  std::vector<int8_t> p1win, p2win;
  std::vector<uint32_t> byP1[14], byP2[14];  // row numbers per character, ascending
  int64_t totals[14][14][2] = {};            // wins and losses of every row, for the questions without a limit
  bool irregular = false;
  // While the copy is read in turns: the rows up to readTo (by timestamp) have been read.
  bool begun = false;
  int64_t readTo = 0;
};

// One insert or delete of ours: the row's timestamp and the connection's change count around it.
struct OwnWrite {
  int64_t timestamp;
  sqlite3_int64 before, after;
  bool insert;
  std::shared_ptr<const StoredRow> removed;
};

// Enough for any gap between two refreshes; a copy older than these reads the table again.
constexpr size_t KeptWrites = 4096;

struct ConnectionState {
  sqlite3* db;
  uint64_t serial;  // a later connection may get the same address
  uint32_t rollbacks = 0;
  std::vector<OwnWrite> ownWrites;  // the most recent, in order
  std::shared_ptr<StoredRow> kept;  // the row of the delete about to be made
  int64_t keptTimestamp = 0;
  Snapshot* building = nullptr;
  std::unique_ptr<Snapshot> partial;  // a copy read in turns, until its last
  // The two most recently used copies, e.g. the summary's and a detail window's.
  std::unique_ptr<Snapshot> copies[2];
  MatchSnapshotCounters counters{};
};

std::map<sqlite3*, ConnectionState*>& States();
ConnectionState* StateOf(sqlite3* db);

// data_version moves with every commit of another connection (it starts a read, so the pager has looked),
// not with our own; schema_version with every change of the schema, ours too.
bool ReadVersions(sqlite3* db, int64_t& others, int64_t& schema);
// No trigger or replacing constraint: our own insert or delete changes exactly the row it names.
bool FollowsOwnWrites(sqlite3* db);
// The timestamps of our noted writes from change count `from` to `to`; false when anything else changed
// the table in between (or an insert was asked for and a delete found).
bool OwnWritesBetween(const ConnectionState& state, sqlite3_int64 from, sqlite3_int64 to, bool insertsOnly,
                      std::vector<int64_t>& touched, std::vector<const OwnWrite*>* writes = nullptr);
}  // namespace snapshot_state
