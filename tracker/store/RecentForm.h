// The figures a stream shows beside the game: today's record, the current session, the streak, the last
// match and its own character's record. Read newest first, stopping as soon as they are known.
#pragma once
#include <cstdint>

#include "store/MatchRecord.h"
#include "store/PlayStatistics.h"

struct RecentForm {
  bool any;  // false: the profile holds no match, and nothing below means anything
  MatchRecord last;
  int todayWins, todayLosses;
  // The matches back from the newest one while the gaps stay under SessionGap; none when even the newest
  // is that long ago.
  int sessionWins, sessionLosses;
  int streak;  // wins in a row when positive, losses when negative; undecided rows are passed over
  int characterWins, characterLosses;  // every match of last.p1id
};

// Today's record counts rounds as the summary does (two on a side); the session and the streak are the graph's.
bool QueryRecentForm(int64_t now, RecentForm& form);
