#include "store/PlayStatistics.h"

#include <windows.h>
#include <sqlite3.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

#include "store/RecordDatabase.h"

namespace {
const uint32_t RowFilters = FilterP1Id | FilterP1Win | FilterP2Id | FilterP2Win | FilterLimit;

int8_t SmallRounds(sqlite3_int64 value) { return (int8_t)std::max<sqlite3_int64>(-128, std::min<sqlite3_int64>(127, value)); }

bool IsRosterId(sqlite3_stmt* statement, int column) {
  if (sqlite3_column_type(statement, column) != SQLITE_INTEGER) return false;
  sqlite3_int64 id = sqlite3_column_int64(statement, column);
  return id >= 0 && id <= 13;
}
}  // namespace

void ColumnStore::Clear() {
  timestamp_.clear();
  p1id_.clear();
  p2id_.clear();
  p1win_.clear();
  p2win_.clear();
}

void ColumnStore::Append(const MatchColumns& rows, size_t from, size_t to) {
  to = std::min(to, rows.count);
  if (from >= to) return;
  timestamp_.insert(timestamp_.end(), rows.timestamp + from, rows.timestamp + to);
  p1id_.insert(p1id_.end(), rows.p1id + from, rows.p1id + to);
  p2id_.insert(p2id_.end(), rows.p2id + from, rows.p2id + to);
  p1win_.insert(p1win_.end(), rows.p1win + from, rows.p1win + to);
  p2win_.insert(p2win_.end(), rows.p2win + from, rows.p2win + to);
}

MatchColumns ColumnStore::View() const {
  return {timestamp_.size(), timestamp_.data(), p1id_.data(), p2id_.data(), p1win_.data(), p2win_.data()};
}

bool PlayRows::Load(const RecordFilter& filter) {
  view_ = MatchColumns{};
  sqlite3* db = RecordDatabase();
  if (!db) return false;
  MatchColumns all;
  if (!SnapshotColumnsFor(db, filter, all)) return Read(filter);
  if (!(filter.flags & RowFilters)) {
    view_ = all;
    return true;
  }
  // The conditions the copy leaves to its caller, as the statements apply them: the limit last, on the newest.
  const RecordFilter& f = filter;
  int64_t left = (f.flags & FilterLimit) && f.limit >= 0 ? f.limit : INT64_MAX;
  std::vector<uint32_t> picked;
  for (size_t i = all.count; i > 0 && left > 0; --i) {
    size_t k = i - 1;
    if ((f.flags & FilterP1Id) && all.p1id[k] != f.p1id) continue;
    if ((f.flags & FilterP2Id) && all.p2id[k] != f.p2id) continue;
    if ((f.flags & FilterP1Win) && all.p1win[k] != f.p1win) continue;
    if ((f.flags & FilterP2Win) && all.p2win[k] != f.p2win) continue;
    picked.push_back((uint32_t)k);
    --left;
  }
  own_.Clear();
  for (size_t i = picked.size(); i > 0; --i) own_.Append(all, picked[i - 1], picked[i - 1] + 1);
  view_ = own_.View();
  return true;
}

bool ReadPlayRow(sqlite3_stmt* statement, int first, PlayRow& row) {
  if (!IsRosterId(statement, first + 1) || !IsRosterId(statement, first + 2)) return false;
  row.timestamp = sqlite3_column_int64(statement, first);
  row.p1id = (uint8_t)sqlite3_column_int(statement, first + 1);
  row.p2id = (uint8_t)sqlite3_column_int(statement, first + 2);
  row.p1win = SmallRounds(sqlite3_column_int64(statement, first + 3));
  row.p2win = SmallRounds(sqlite3_column_int64(statement, first + 4));
  return true;
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
  own_.Clear();
  int rc = SQLITE_DONE;
  while (ok && (rc = sqlite3_step(statement)) == SQLITE_ROW) {
    PlayRow r;
    if (ReadPlayRow(statement, 0, r)) own_.Append({1, &r.timestamp, &r.p1id, &r.p2id, &r.p1win, &r.p2win}, 0, 1);
  }
  sqlite3_finalize(statement);
  ok = ok && rc == SQLITE_DONE;
  if (ok) view_ = own_.View();
  return ok;
}

void SessionTally::Add(int64_t t, int outcome) {
  if (sessions_.empty() || t - sessions_.back().end >= SessionGap) sessions_.push_back({t, t, 0, 0, 0});
  PlaySession& session = sessions_.back();
  session.end = t;
  ++session.matches;
  if (!outcome) return;  // a match nobody won is not part of a run
  (outcome > 0 ? session.wins : session.losses)++;
  int& run = streaks_.current;
  run = outcome > 0 ? (run > 0 ? run + 1 : 1) : (run < 0 ? run - 1 : -1);
  streaks_.longestWins = std::max(streaks_.longestWins, run);
  streaks_.longestLosses = std::max(streaks_.longestLosses, -run);
}

const PlaySession* SessionTally::CurrentSession(int64_t now) const {
  if (sessions_.empty() || now - sessions_.back().end >= SessionGap) return nullptr;
  return &sessions_.back();
}

// Newest first as far as the current session and streak reach, and one match beyond, which ends them.
void RecentPlay::Add(int64_t timestamp, int outcome) {
  if (!Wants()) return;
  walked_.emplace_back(timestamp, outcome);
  if (inSession_ && previous_ - timestamp >= SessionGap) inSession_ = false;
  previous_ = timestamp;
  if (inStreak_ && outcome) {
    if (streak_ == 0 || (streak_ > 0) == (outcome > 0)) streak_ += outcome;
    else inStreak_ = false;
  }
}

SessionTally RecentPlay::Tally() const {
  SessionTally tally;
  for (auto at = walked_.rbegin(); at != walked_.rend(); ++at) tally.Add(at->first, at->second);
  return tally;
}

PlayTally::PlayTally(int span, int character) : character_(character) { trend_.span = span < 1 ? 1 : span; }

void PlayTally::Add(const MatchColumns& rows, size_t from, size_t to) {
  for (size_t i = from; i < to && i < rows.count; ++i) {
    ++matches_;
    int outcome = MatchOutcome(rows, i);
    int64_t t = rows.timestamp[i];
    uint8_t own = rows.p1id[i], opponent = rows.p2id[i];
    if (own <= 13 && opponent <= 13) {
      sums_[own][opponent][0] += rows.p1win[i] / 2;
      sums_[own][opponent][1] += rows.p2win[i] / 2;
    }
    sessions_.Add(t, outcome);
    if (!outcome) continue;  // a match nobody won is neither a point nor part of a run

    if (character_ != AllCharacters && own != character_) continue;
    size_t point = outcomes_.size();
    outcomes_.push_back((int8_t)outcome);
    if (outcome > 0) {
      ++inWindow_;
      ++trend_.wins;
    } else {
      ++trend_.losses;
    }
    size_t span = (size_t)trend_.span;
    if (point >= span && outcomes_[point - span] > 0) --inWindow_;
    int games = (int)std::min(point + 1, span);
    uint16_t rate = (uint16_t)((inWindow_ * 2000 + games) / (2 * games));  // halves up
    trend_.rate.push_back(rate);
    int64_t day = TimestampDayOf(t);
    if (trend_.days.empty() || trend_.days.back().day != day) trend_.days.push_back({day, (uint32_t)point, 0, 0});
    TrendDay& today = trend_.days.back();
    ++today.count;
    if (outcome > 0) ++today.wins;
    Stretch(point, rate, today);
  }
}

void PlayTally::Stretch(size_t point, uint16_t rate, const TrendDay& day) {
  std::vector<TrendStretch>& all = trend_.stretches;
  if (point % trend_.stretchLength == 0) {
    if (all.size() == MaxTrendStretches) {
      for (size_t k = 0; k < all.size() / 2; ++k) {
        const TrendStretch &a = all[2 * k], &b = all[2 * k + 1];
        TrendStretch both{a.first, b.last, std::min(a.low, b.low), std::max(a.high, b.high),
                          std::max(a.dayMost, b.dayMost), a.dayMost ? a.firstDay : b.firstDay};
        all[k] = both;
      }
      all.resize(all.size() / 2);
      trend_.stretchLength *= 2;
    }
    if (point % trend_.stretchLength == 0) all.push_back({rate, rate, rate, rate, 0, 0});
  }
  TrendStretch& last = all.back();
  last.last = rate;
  last.low = std::min(last.low, rate);
  last.high = std::max(last.high, rate);
  TrendStretch& start = all[day.first / trend_.stretchLength];
  if (!start.dayMost) start.firstDay = day.day;
  start.dayMost = std::max(start.dayMost, day.count);
}

void PlayTally::Matchups(PairingCell (&cells)[14][14]) const {
  for (int a = 0; a < 14; ++a)
    for (int b = 0; b < 14; ++b) {
      const int64_t* sum = sums_[a][b];
      cells[a][b].wins = sum[0] < 0 ? 0 : (int32_t)std::min<int64_t>(sum[0], INT32_MAX);
      cells[a][b].losses = sum[1] < 0 ? 0 : (int32_t)std::min<int64_t>(sum[1], INT32_MAX);
    }
}

TrendForm ChooseTrendForm(const Trend& trend) {
  if (trend.rate.size() <= RollingPointsMost || trend.days.empty()) return TrendForm::Rolling;
  return trend.days.back().day - trend.days.front().day < PerDayDaysMost ? TrendForm::PerDay : TrendForm::PerWeek;
}

std::vector<RatePoint> RatePerPeriod(const Trend& trend, TrendForm form) {
  // Day 0, 1601-01-01, was a Monday.
  int64_t length = form == TrendForm::PerWeek ? 7 : 1;
  std::vector<RatePoint> points;
  for (const TrendDay& day : trend.days) {
    int64_t first = day.day - ((day.day % length) + length) % length;
    if (points.empty() || points.back().firstDay != first) points.push_back({first, 0, 0});
    points.back().wins += (int)day.wins;
    points.back().losses += (int)(day.count - day.wins);
  }
  return points;
}

namespace {
SYSTEMTIME CalendarOfDay(int64_t day) { return TimestampToCalendar(day * TimestampUnitsPerDay); }

int64_t DayOfMonthStart(int year, int month) {
  SYSTEMTIME calendar{};
  calendar.wYear = (WORD)year;
  calendar.wMonth = (WORD)month;
  calendar.wDay = 1;
  return TimestampDayOf(CalendarToTimestamp(calendar));
}
}  // namespace

std::vector<MonthMark> MonthMarks(int64_t firstDay, int64_t lastDay) {
  std::vector<MonthMark> marks;
  SYSTEMTIME first = CalendarOfDay(firstDay), last = CalendarOfDay(lastDay);
  for (int year = first.wYear, month = first.wMonth; year < last.wYear || (year == last.wYear && month <= last.wMonth);) {
    marks.push_back({DayOfMonthStart(year, month), year, month});
    if (++month > 12) month = 1, ++year;
  }
  return marks;
}

RateInterval WilsonInterval(int wins, int games) {
  if (games <= 0) return {0.0, 1.0};
  const double z = 1.959963984540054;
  double n = games, p = (double)wins / n, z2 = z * z;
  double centre = (p + z2 / (2 * n)) / (1 + z2 / n);
  double half = z * std::sqrt(p * (1 - p) / n + z2 / (4 * n * n)) / (1 + z2 / n);
  return {std::max(0.0, centre - half), std::min(1.0, centre + half)};
}
