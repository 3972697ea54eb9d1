// The figures of the graph window, from a period's matches in time order: the rolling win rate and the
// matches per day, the matchup totals with their intervals, the streaks and the sessions.
#pragma once
#include <cstdint>
#include <utility>
#include <vector>

#include "common/Timestamp.h"
#include "store/MatchSnapshot.h"
#include "store/RecordFilter.h"
#include "store/RecordQueries.h"

constexpr int AllCharacters = -1;

struct sqlite3_stmt;

// One match as the figures count it.
struct PlayRow {
  int64_t timestamp;
  uint8_t p1id, p2id;
  int8_t p1win, p2win;
};
// Reads the columns timestamp, p1id, p2id, p1win, p2win from `first` on. False for a row the figures leave
// out: a character outside the roster, which the summary's totals do not count either.
bool ReadPlayRow(sqlite3_stmt* statement, int first, PlayRow& row);

// Columns held in vectors of one's own.
class ColumnStore {
 public:
  void Clear();
  void Append(const MatchColumns& rows, size_t from, size_t to);
  MatchColumns View() const;

 private:
  std::vector<int64_t> timestamp_;
  std::vector<uint8_t> p1id_, p2id_;
  std::vector<int8_t> p1win_, p2win_;
};

// The matches of a filter (its limit keeps the newest), oldest first. Taken from the summary's in-memory copy
// when it has them, else read with one statement; rows with ids outside the roster are left out.
class PlayRows {
 public:
  // False when the table cannot be read. Runs no transaction of its own.
  bool Load(const RecordFilter& filter);
  const MatchColumns& Columns() const { return view_; }

 private:
  bool Read(const RecordFilter& filter);

  MatchColumns view_;
  ColumnStore own_;
};

// +1 won, -1 lost, 0 neither, as the totals count rounds: the side whose rounds / 2 is larger.
inline int MatchOutcome(int p1win, int p2win) {
  int won = p1win / 2, lost = p2win / 2;
  return won > lost ? 1 : won < lost ? -1 : 0;
}
inline int MatchOutcome(const MatchColumns& rows, size_t i) { return MatchOutcome(rows.p1win[i], rows.p2win[i]); }

struct TrendDay {
  int64_t day;     // TimestampDayOf(timestamp)
  uint32_t first;  // index of the day's first point
  uint32_t count;  // its points
  uint32_t wins;   // of them
};

// Consecutive points summed up, so that a long trend is drawn in as many steps as there are pixels.
struct TrendStretch {
  uint16_t first, last, low, high;  // rates
  uint32_t dayMost;                 // the most points of a day that starts here, 0: none starts here
  int64_t firstDay;                 // the first day that starts here, when dayMost > 0
};
constexpr size_t MaxTrendStretches = 2048;

// One point per decided match of the chosen character (AllCharacters: every one), in order.
struct Trend {
  int span = 0;
  // Per mille of the last `span` points up to each; the first span - 1 cover fewer than `span`.
  std::vector<uint16_t> rate;
  std::vector<TrendDay> days;
  // Points [k * stretchLength, (k + 1) * stretchLength) in stretch k; the length doubles as the points grow.
  std::vector<TrendStretch> stretches;
  size_t stretchLength = 1;
  int wins = 0, losses = 0;
  bool Partial(size_t point) const { return point + 1 < (size_t)span; }
};

// How the trend is drawn: the rolling rate while its points can be told apart, and over a long period the
// rate of each day, or of each week (Monday to Sunday) over more than PerDayDaysMost days.
enum class TrendForm { Rolling, PerDay, PerWeek };
constexpr size_t RollingPointsMost = 1000;
constexpr int64_t PerDayDaysMost = 120;
TrendForm ChooseTrendForm(const Trend& trend);

// The decided matches of one day or week, oldest first; days or weeks without any are left out.
struct RatePoint {
  int64_t firstDay;  // TimestampDayOf of its first day (a Monday for weeks)
  int wins, losses;
};
std::vector<RatePoint> RatePerPeriod(const Trend& trend, TrendForm form);

// The first day of each month from the month of `firstDay` to that of `lastDay`, every one of them.
struct MonthMark {
  int64_t day;
  int year, month;
};
std::vector<MonthMark> MonthMarks(int64_t firstDay, int64_t lastDay);

// The 95% Wilson score interval of a rate, as fractions; 0..1 without games.
struct RateInterval {
  double low, high;
};
RateInterval WilsonInterval(int wins, int games);

struct Streaks {
  int current = 0;  // > 0 wins in a row up to the newest decided match, < 0 losses
  int longestWins = 0, longestLosses = 0;
};

struct PlaySession {
  int64_t start, end;  // first and last match
  uint32_t matches;
  int wins, losses;
};

// Sessions and streaks of matches taken oldest first: the graph and the stream overlay count them so, here.
class SessionTally {
 public:
  void Add(int64_t timestamp, int outcome);
  const Streaks& StreaksOf() const { return streaks_; }
  const std::vector<PlaySession>& Sessions() const { return sessions_; }
  // The session still going at `now`: the last one, unless its last match is SessionGap or more ago.
  const PlaySession* CurrentSession(int64_t now) const;

 private:
  Streaks streaks_;
  std::vector<PlaySession> sessions_;
};

// The session still going and the streak up to the newest match, over all matches, for a reader that goes
// newest first: it says when older matches can no longer change them, then counts what it was given
// oldest first, as the graph does.
class RecentPlay {
 public:
  explicit RecentPlay(int64_t now) : previous_(now) {}
  bool Wants() const { return inSession_ || inStreak_; }
  // Newest first.
  void Add(int64_t timestamp, int outcome);
  SessionTally Tally() const;

 private:
  bool inSession_ = true, inStreak_ = true;
  int streak_ = 0;
  int64_t previous_;
  std::vector<std::pair<int64_t, int>> walked_;  // timestamp, outcome
};

// Every figure of the graph, folded over the rows in time order: adding rows [from, to) to a tally of rows
// [0, from) gives what one pass over [0, to) gives, so a new match costs one step, not a pass.
class PlayTally {
 public:
  PlayTally(int span, int character);
  void Add(const MatchColumns& rows, size_t from, size_t to);

  const Trend& TrendOf() const { return trend_; }
  // [own][opponent] sums of rounds / 2, negative sums shown as none, as the summary counts them.
  void Matchups(PairingCell (&cells)[14][14]) const;
  const Streaks& StreaksOf() const { return sessions_.StreaksOf(); }
  // Oldest first.
  const std::vector<PlaySession>& Sessions() const { return sessions_.Sessions(); }
  size_t Matches() const { return matches_; }

 private:
  void Stretch(size_t point, uint16_t rate, const TrendDay& day);

  Trend trend_;
  int character_;
  std::vector<int8_t> outcomes_;  // of the trend's points
  int inWindow_ = 0;              // wins among the last `span` points
  int64_t sums_[14][14][2] = {};
  SessionTally sessions_;
  size_t matches_ = 0;
};
