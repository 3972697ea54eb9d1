#include "PlayStatistics.h"

#include <sqlite3.h>

#include <algorithm>
#include <cmath>
#include <string>

#include "RecordDatabase.h"

namespace {
const uint32_t RowFilters = FilterP1Id | FilterP1Win | FilterP2Id | FilterP2Win | FilterLimit;

int8_t SmallRounds(sqlite3_int64 value) { return (int8_t)std::max<sqlite3_int64>(-128, std::min<sqlite3_int64>(127, value)); }

bool IsRosterId(sqlite3_stmt* statement, int column) {
  if (sqlite3_column_type(statement, column) != SQLITE_INTEGER) return false;
  sqlite3_int64 id = sqlite3_column_int64(statement, column);
  return id >= 0 && id <= 13;
}
}  // namespace

bool PlayRows::Load(const RecordFilter& filter) {
  view_ = MatchColumns{};
  sqlite3* db = RecordDatabase();
  if (!db) return false;
  MatchColumns all;
  if (!SnapshotColumnsFor(db, filter, all)) return Read(filter);
  if (filter.flags & RowFilters)
    Select(all, filter);
  else
    view_ = all;
  return true;
}

void PlayRows::PointAtOwn() {
  view_.count = timestamp_.size();
  view_.timestamp = timestamp_.data();
  view_.p1id = p1id_.data();
  view_.p2id = p2id_.data();
  view_.p1win = p1win_.data();
  view_.p2win = p2win_.data();
}

// The conditions the copy leaves to its caller, as the statements apply them: the limit last, on the newest.
void PlayRows::Select(const MatchColumns& all, const RecordFilter& f) {
  timestamp_.clear();
  p1id_.clear();
  p2id_.clear();
  p1win_.clear();
  p2win_.clear();
  int64_t left = (f.flags & FilterLimit) && f.limit >= 0 ? f.limit : INT64_MAX;
  size_t i = all.count;
  for (; i > 0 && left > 0; --i) {
    size_t k = i - 1;
    if ((f.flags & FilterP1Id) && all.p1id[k] != f.p1id) continue;
    if ((f.flags & FilterP2Id) && all.p2id[k] != f.p2id) continue;
    if ((f.flags & FilterP1Win) && all.p1win[k] != f.p1win) continue;
    if ((f.flags & FilterP2Win) && all.p2win[k] != f.p2win) continue;
    timestamp_.push_back(all.timestamp[k]);
    p1id_.push_back(all.p1id[k]);
    p2id_.push_back(all.p2id[k]);
    p1win_.push_back(all.p1win[k]);
    p2win_.push_back(all.p2win[k]);
    --left;
  }
  std::reverse(timestamp_.begin(), timestamp_.end());
  std::reverse(p1id_.begin(), p1id_.end());
  std::reverse(p2id_.begin(), p2id_.end());
  std::reverse(p1win_.begin(), p1win_.end());
  std::reverse(p2win_.begin(), p2win_.end());
  PointAtOwn();
}

// One statement over the filtered rows, for a table the copy cannot hold.
bool PlayRows::Read(const RecordFilter& filter) {
  std::string where;
  BuildWhereClause(filter, where);
  char* sql = (filter.flags & FilterLimit)
                  ? sqlite3_mprintf("SELECT * FROM (SELECT timestamp, p1id, p2id, p1win, p2win FROM viziriduvozmirrow%s "
                                    "ORDER BY timestamp DESC LIMIT %d) ORDER BY timestamp",
                                    where.c_str(), (int)filter.limit)
                  : sqlite3_mprintf("SELECT timestamp, p1id, p2id, p1win, p2win FROM viziriduvozmirrow%s ORDER BY timestamp",
                                    where.c_str());
  if (!sql) return false;
  sqlite3_stmt* statement = nullptr;
  bool ok = sqlite3_prepare_v2(RecordDatabase(), sql, -1, &statement, nullptr) == SQLITE_OK;
  sqlite3_free(sql);
  timestamp_.clear();
  p1id_.clear();
  p2id_.clear();
  p1win_.clear();
  p2win_.clear();
  int rc = SQLITE_DONE;
  while (ok && (rc = sqlite3_step(statement)) == SQLITE_ROW) {
    // Not a character of the roster: left out, as the summary's totals do not count it either.
    if (!IsRosterId(statement, 1) || !IsRosterId(statement, 2)) continue;
    timestamp_.push_back(sqlite3_column_int64(statement, 0));
    p1id_.push_back((uint8_t)sqlite3_column_int(statement, 1));
    p2id_.push_back((uint8_t)sqlite3_column_int(statement, 2));
    p1win_.push_back(SmallRounds(sqlite3_column_int64(statement, 3)));
    p2win_.push_back(SmallRounds(sqlite3_column_int64(statement, 4)));
  }
  sqlite3_finalize(statement);
  ok = ok && rc == SQLITE_DONE;
  PointAtOwn();
  if (!ok) view_ = MatchColumns{};
  return ok;
}

Trend ComputeTrend(const MatchColumns& rows, int span, int character) {
  Trend trend;
  trend.span = span < 1 ? 1 : span;
  std::vector<int8_t> outcomes;  // of the points, for the window's tail
  outcomes.reserve(rows.count);
  trend.rate.reserve(rows.count);
  int inWindow = 0;  // wins among the last `span` points
  for (size_t i = 0; i < rows.count; ++i) {
    if (character != AllCharacters && rows.p1id[i] != character) continue;
    int outcome = MatchOutcome(rows, i);
    if (!outcome) continue;
    size_t point = outcomes.size();
    outcomes.push_back((int8_t)outcome);
    if (outcome > 0) {
      ++inWindow;
      ++trend.wins;
    } else {
      ++trend.losses;
    }
    if (point >= (size_t)trend.span && outcomes[point - trend.span] > 0) --inWindow;
    int games = (int)std::min(point + 1, (size_t)trend.span);
    trend.rate.push_back((uint16_t)((inWindow * 2000 + games) / (2 * games)));  // halves up
    int64_t day = rows.timestamp[i] / TimestampDay;
    if (trend.days.empty() || trend.days.back().day != day) trend.days.push_back({day, (uint32_t)point, 0});
    ++trend.days.back().count;
  }
  return trend;
}

void ComputeMatchups(const MatchColumns& rows, PairingCell (&cells)[14][14]) {
  int64_t sums[14][14][2] = {};
  for (size_t i = 0; i < rows.count; ++i) {
    if (rows.p1id[i] > 13 || rows.p2id[i] > 13) continue;
    int64_t* cell = sums[rows.p1id[i]][rows.p2id[i]];
    cell[0] += rows.p1win[i] / 2;
    cell[1] += rows.p2win[i] / 2;
  }
  for (int a = 0; a < 14; ++a)
    for (int b = 0; b < 14; ++b) {
      cells[a][b].wins = sums[a][b][0] < 0 ? 0 : (int32_t)std::min<int64_t>(sums[a][b][0], INT32_MAX);
      cells[a][b].losses = sums[a][b][1] < 0 ? 0 : (int32_t)std::min<int64_t>(sums[a][b][1], INT32_MAX);
    }
}

RateInterval WilsonInterval(int wins, int games) {
  if (games <= 0) return {0.0, 1.0};
  const double z = 1.959963984540054;
  double n = games, p = (double)wins / n, z2 = z * z;
  double centre = (p + z2 / (2 * n)) / (1 + z2 / n);
  double half = z * std::sqrt(p * (1 - p) / n + z2 / (4 * n * n)) / (1 + z2 / n);
  return {std::max(0.0, centre - half), std::min(1.0, centre + half)};
}

Streaks ComputeStreaks(const MatchColumns& rows) {
  Streaks streaks;
  int run = 0;
  for (size_t i = 0; i < rows.count; ++i) {
    int outcome = MatchOutcome(rows, i);
    if (outcome > 0)
      run = run > 0 ? run + 1 : 1;
    else if (outcome < 0)
      run = run < 0 ? run - 1 : -1;
    else
      continue;  // a match nobody won neither extends nor breaks a run
    streaks.longestWins = std::max(streaks.longestWins, run);
    streaks.longestLosses = std::max(streaks.longestLosses, -run);
  }
  streaks.current = run;
  return streaks;
}

std::vector<PlaySession> ComputeSessions(const MatchColumns& rows) {
  std::vector<PlaySession> sessions;
  for (size_t i = 0; i < rows.count; ++i) {
    int64_t t = rows.timestamp[i];
    if (sessions.empty() || t - sessions.back().end >= SessionGap) sessions.push_back({t, t, 0, 0, 0});
    PlaySession& s = sessions.back();
    s.end = t;
    ++s.matches;
    int outcome = MatchOutcome(rows, i);
    if (outcome > 0) ++s.wins;
    if (outcome < 0) ++s.losses;
  }
  std::reverse(sessions.begin(), sessions.end());
  return sessions;
}
