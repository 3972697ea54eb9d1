#include "views/HistoryRows.h"

#include <algorithm>
#include <cstring>

#include "common/CharacterTable.h"
#include "common/TextUtil.h"
#include "common/Timestamp.h"
#include "store/RecordQueries.h"

namespace {
struct Reading {
  NameTable* names;
  HistoryRows* rows;
  uint32_t p1 = UINT32_MAX, p2 = UINT32_MAX;  // each side's last name: the player's own rarely changes
};

uint32_t NameOf(NameTable& names, const char* name, uint32_t& last) {
  if (last == UINT32_MAX || strcmp(names[last], name) != 0) last = names.Add(name);
  return last;
}

void AppendRecord(const MatchRecord& record, void* context) {
  auto* reading = static_cast<Reading*>(context);
  NameTable& names = *reading->names;
  reading->rows->push_back({record.timestamp, NameOf(names, record.p1name, reading->p1),
                            NameOf(names, record.p2name, reading->p2), record.p1id, record.p1win, record.p2id,
                            record.p2win});
}

std::wstring NameText(const char* name) { return AnsiToWide(name).substr(0, 255); }

std::wstring ShortNameText(int id) {
  const CharacterEntry* entry = LookupCharacter(id);
  return entry ? entry->shortName : L"";
}
}  // namespace

bool ReadHistoryRows(const RecordFilter& filter, NameTable& names, HistoryRows& rows) {
  Reading reading{&names, &rows};
  return QueryMatchHistory(filter, AppendRecord, &reading);
}

std::wstring HistoryCellText(const NameTable& names, const HistoryRow& row, int column) {
  switch (column) {
    case 0: {
      SYSTEMTIME t = TimestampToCalendar(row.timestamp);
      return FormatWide(L"%d/%02d/%02d %02d:%02d:%02d", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond);
    }
    case 1: return NameText(names[row.p1name]);
    case 2: return ShortNameText(row.p1id);
    case 3: return FormatWide(L"%d", row.p1win);
    case 4: return NameText(names[row.p2name]);
    case 5: return ShortNameText(row.p2id);
    case 6: return FormatWide(L"%d", row.p2win);
  }
  return L"";
}

size_t IndexOfTimestamp(const HistoryRows& rows, int64_t timestamp) {
  return (size_t)(std::lower_bound(rows.begin(), rows.end(), timestamp,
                                   [](const HistoryRow& row, int64_t t) { return row.timestamp > t; }) -
                  rows.begin());
}

bool ReadHistoryRowAt(const RecordFilter& filter, int64_t timestamp, NameTable& names, HistoryRows& found) {
  RecordFilter one = filter;
  one.flags &= ~FilterLimit;
  int64_t from = (one.flags & FilterFrom) && one.timestampFrom > timestamp ? one.timestampFrom : timestamp;
  int64_t to = (one.flags & FilterTo) && one.timestampTo < timestamp ? one.timestampTo : timestamp;
  if (from > to) return true;
  one.flags |= FilterFrom | FilterTo;
  one.timestampFrom = from;
  one.timestampTo = to;
  return ReadHistoryRows(one, names, found);
}

bool FillUpToLimit(const RecordFilter& filter, NameTable& names, HistoryRows& rows) {
  if (!(filter.flags & FilterLimit) || filter.limit < 0) return true;
  size_t limit = (size_t)filter.limit;
  if (rows.size() > limit) rows.resize(limit);
  if (rows.size() == limit) return true;
  RecordFilter older = filter;
  older.limit = (int32_t)(limit - rows.size());
  if (!rows.empty()) {
    int64_t below = rows.back().timestamp - 1;
    if (!(older.flags & FilterTo) || older.timestampTo > below) older.timestampTo = below;
    older.flags |= FilterTo;
  }
  return ReadHistoryRows(older, names, rows);
}
