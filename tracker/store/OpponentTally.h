// The per-opponent totals in one pass with a hash table, instead of sorting every matching row by name.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "store/RecordFilter.h"

struct sqlite3;

bool RegisterOpponentTally(sqlite3* db);

struct StoredRow;

struct OpponentTotal {
  bool isNull;
  std::string name;  // all the stored bytes
  int wins, losses;
  int64_t matches;  // rows counted, draws included
};

// Fills `totals` in the order GROUP BY p2name gives (NULL first, then by bytes). False when the pass did
// not complete or met values it cannot sum exactly as SQL does; the caller then runs the statement.
bool TallyOpponents(sqlite3* db, const RecordFilter& filter, std::vector<OpponentTotal>& totals);

// What one match adds to the totals of `filter` (no limit): the stored row of `timestamp`, or, when `removed`
// is given, that row as it was before it was deleted. `found` is false when the filter does not take it.
// False when that cannot be told exactly; the caller then reads the totals again.
bool TallyOneMatch(sqlite3* db, const RecordFilter& filter, int64_t timestamp, const StoredRow* removed,
                   OpponentTotal& total, bool& found);

// Answers given, and passes over the table made for them (for the tests).
unsigned OpponentTallyAnswers();
unsigned OpponentTallyPasses();
