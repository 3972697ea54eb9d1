// The rows an opponent window holds, one per opponent name of its filter in the order GROUP BY p2name gives,
// with their totals: how the walked ranges add up to them and how our own writes change them.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "store/MatchSnapshot.h"
#include "store/OpponentTally.h"
#include "store/RecordFilter.h"

struct OpponentRow {
  bool isNull;
  std::string name;  // the stored bytes: the shown text is cut and converted, so it need not lead back
  int wins, losses;
  int64_t matches;  // draws included; 0 when read by the statement, which does not count them
};

// In the order GROUP BY p2name gives: NULL first, then by bytes.
bool OpponentRowBefore(const OpponentRow& a, bool isNull, const std::string& name);
std::string OpponentRowKey(const OpponentRow& row);
std::wstring OpponentCellText(const OpponentRow& row, int column);
// The colour and sort key of the row's rate.
LPARAM OpponentItemData(const OpponentRow& row);

// The totals of the ranges walked so far.
class WalkedOpponentTotals {
 public:
  void Clear();
  void Add(const std::vector<OpponentTotal>& totals);
  // Appended in the query's order; false when a sum leaves 32 bits, where only the statement knows what to
  // show.
  bool TakeInto(std::vector<OpponentRow>& rows);

 private:
  struct Sums {
    int64_t wins = 0, losses = 0, matches = 0;
  };
  bool hasNull_ = false;
  Sums nullSums_;
  std::unordered_map<std::string, Sums> byName_;
};

// What our own writes changed, per opponent of the filter: each match as it was before them off, as it is
// now on. False when that cannot be told (a removed row that was not kept, a failed read).
bool ChangedOpponentTotals(const RecordFilter& filter, const std::vector<OwnWriteSince>& writes,
                           std::vector<OpponentTotal>& changes);
void ApplyOpponentTotals(std::vector<OpponentRow>& rows, const std::vector<OpponentTotal>& changes);
