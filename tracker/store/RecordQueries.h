// The four queries over the match table, each driven by a filter.
#pragma once
#include <cstdint>
#include "store/MatchRecord.h"
#include "store/RecordFilter.h"

struct PairingCell {
  int32_t wins;
  int32_t losses;
};

// [own character id][opponent character id]; replaced only by a successful QueryPairingTotals.
extern PairingCell PairingTable[14][14];

typedef void (*MatchRowCallback)(const MatchRecord& record, void* context);

bool QueryPairingTotals(const RecordFilter& filter);
// One call per opponent name: the name in p2name, wins in p1win, losses in p2win. The matches stored without
// a name come as an empty name marked by OpponentNameNull in p2id (FilterP2NameNull finds them).
constexpr int32_t OpponentNameNull = -1;
bool QueryOpponentTotals(const RecordFilter& filter, MatchRowCallback callback, void* context);
// Newest first.
bool QueryMatchHistory(const RecordFilter& filter, MatchRowCallback callback, void* context);
bool QueryLatestMatch(const RecordFilter& filter, MatchRecord& record);
// The whole table in the order the matches were played, one row at a time (for writing it out).
bool QueryEveryMatchOldestFirst(MatchRowCallback callback, void* context);

// The same answers through the plain GROUP BY statements alone: the reference the quick ways are checked against.
bool QueryPairingTotalsByStatement(const RecordFilter& filter);
bool QueryOpponentTotalsByStatement(const RecordFilter& filter, MatchRowCallback callback, void* context);

// The oldest and newest timestamp, when the timestamps are the table's row ids (one whole number per
// match, so that ranges of them split the matches without loss); false otherwise and for an empty table.
bool QueryTimestampRange(int64_t& oldest, int64_t& newest);
