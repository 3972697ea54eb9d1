// The rows a history window holds and how they are read: newest first, each name kept once, so that a
// million of them fit in 32 bytes each.
#pragma once
#include <cstdint>
#include <deque>
#include <string>

#include "common/NameTable.h"
#include "store/RecordFilter.h"

struct HistoryRow {
  int64_t timestamp;
  uint32_t p1name, p2name;  // in the window's name table
  int32_t p1id, p1win, p2id, p2win;
};
// Newest first, the list showing them the other way round; a new match goes in front without moving the rest.
typedef std::deque<HistoryRow> HistoryRows;

// The filter's matches, newest first, after those `rows` holds.
bool ReadHistoryRows(const RecordFilter& filter, NameTable& names, HistoryRows& rows);
// The filter's match at one timestamp, if there is one (its limit not applied).
bool ReadHistoryRowAt(const RecordFilter& filter, int64_t timestamp, NameTable& names, HistoryRows& found);
// A limit holds the newest N: rows beyond it go, and after removals the next older rows move up into it.
bool FillUpToLimit(const RecordFilter& filter, NameTable& names, HistoryRows& rows);
// Index of the row with this timestamp, or of the next older one.
size_t IndexOfTimestamp(const HistoryRows& rows, int64_t timestamp);

std::wstring HistoryCellText(const NameTable& names, const HistoryRow& row, int column);
