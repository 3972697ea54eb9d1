// The graph's figures of one period, kept while the window is open. Our own captures are added to them as
// they are (a new match costs one row); any other change (a deletion, another program's write, a rollback,
// a new period or choice) counts the period again.
#pragma once
#include <cstdint>
#include <climits>
#include <memory>
#include <string>

#include "store/MatchSnapshot.h"
#include "store/PlayStatistics.h"
#include "store/RecordFilter.h"

class PeriodPlay {
 public:
  // Brings the figures to the table's present state for `filter` (its limit keeps the newest) and the
  // chosen rolling span and character; `anew` counts the rows again whatever changed. False when the table
  // cannot be read: the figures are then empty. Runs no transaction of its own.
  bool Update(const RecordFilter& filter, int span, int character, bool anew);

  const PlayTally& Tally() const { return *tally_; }
  const PairingCell (&Cells() const)[14][14] { return cells_; }

 private:
  bool Recount(const RecordFilter& filter);
  bool AddOwnInserts(const ChangeMark& now);

  std::unique_ptr<PlayTally> tally_ = std::make_unique<PlayTally>(50, AllCharacters);
  PairingCell cells_[14][14] = {};
  int span_ = 50, character_ = AllCharacters;
  // What the figures were taken from: the period's clause, the table's state, the newest row counted.
  bool current_ = false;
  std::string clause_;
  ChangeMark mark_{};
  int64_t newest_ = INT64_MIN;
};
