// The per-opponent totals in one pass with a hash table, instead of sorting every matching row by name.
#pragma once
#include <string>
#include <vector>

#include "store/RecordFilter.h"

struct sqlite3;

bool RegisterOpponentTally(sqlite3* db);

struct OpponentTotal {
  bool isNull;
  std::string name;  // all the stored bytes
  int wins, losses;
};

// Fills `totals` in the order GROUP BY p2name gives (NULL first, then by bytes). False when the pass did
// not complete or met values it cannot sum exactly as SQL does; the caller then runs the statement.
bool TallyOpponents(sqlite3* db, const RecordFilter& filter, std::vector<OpponentTotal>& totals);

// Answers given, and passes over the table made for them (for the tests).
unsigned OpponentTallyAnswers();
unsigned OpponentTallyPasses();
