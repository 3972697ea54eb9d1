#include "views/OpponentRows.h"

#include <algorithm>
#include <climits>

#include "common/TextUtil.h"
#include "shell/AppState.h"
#include "store/RecordDatabase.h"
#include "views/RecordTable.h"

namespace {
// Stray negative round counts must not turn into negative games or rates above 100%.
int Wins(const OpponentRow& row) { return row.wins < 0 ? 0 : row.wins; }
int Losses(const OpponentRow& row) { return row.losses < 0 ? 0 : row.losses; }
}  // namespace

bool OpponentRowBefore(const OpponentRow& a, bool isNull, const std::string& name) {
  if (a.isNull != isNull) return a.isNull;
  return a.name < name;
}

std::string OpponentRowKey(const OpponentRow& row) { return (row.isNull ? "N" : "S") + row.name; }

// Red also without a decided match: the user has not beaten this opponent.
LPARAM OpponentItemData(const OpponentRow& row) { return WithColourKey(0, PerMilleRate(Wins(row), Losses(row)) - 500); }

std::wstring OpponentCellText(const OpponentRow& row, int column) {
  int wins = Wins(row), losses = Losses(row);
  switch (column) {
    case 0: return AnsiToWide(row.name.c_str()).substr(0, 255);
    case 1: return FormatWide(L"%d", wins + losses);
    case 2: return FormatWide(L"%d", wins);
    case 3: return FormatWide(L"%d", losses);
    case 4: return RateText(PerMilleRate(wins, losses), g_app.highPrecision);
  }
  return L"";
}

void WalkedOpponentTotals::Clear() {
  hasNull_ = false;
  nullSums_ = Sums{};
  byName_.clear();
}

void WalkedOpponentTotals::Add(const std::vector<OpponentTotal>& totals) {
  for (const OpponentTotal& total : totals) {
    Sums& sums = total.isNull ? nullSums_ : byName_[total.name];
    hasNull_ = hasNull_ || total.isNull;
    sums.wins += total.wins;
    sums.losses += total.losses;
    sums.matches += total.matches;
  }
}

bool WalkedOpponentTotals::TakeInto(std::vector<OpponentRow>& rows) {
  auto fits = [](const Sums& sums) {
    return sums.wins >= INT32_MIN && sums.wins <= INT32_MAX && sums.losses >= INT32_MIN && sums.losses <= INT32_MAX;
  };
  if (hasNull_) {
    if (!fits(nullSums_)) return false;
    rows.push_back({true, std::string(), (int)nullSums_.wins, (int)nullSums_.losses, nullSums_.matches});
  }
  size_t named = rows.size();
  for (auto& entry : byName_) {
    if (!fits(entry.second)) return false;
    rows.push_back({false, entry.first, (int)entry.second.wins, (int)entry.second.losses, entry.second.matches});
  }
  std::sort(rows.begin() + (ptrdiff_t)named, rows.end(),
            [](const OpponentRow& a, const OpponentRow& b) { return a.name < b.name; });
  byName_.clear();
  return true;
}

bool ChangedOpponentTotals(const RecordFilter& filter, const std::vector<OwnWriteSince>& writes,
                           std::vector<OpponentTotal>& changes) {
  sqlite3* db = RecordDatabase();
  std::vector<int64_t> seen;
  for (const OwnWriteSince& write : writes) {
    if (std::find(seen.begin(), seen.end(), write.timestamp) != seen.end()) continue;
    seen.push_back(write.timestamp);
    // The first write of a timestamp tells what was there before: nothing for an insert, the row it took
    // for a delete.
    OpponentTotal total;
    bool found = false;
    if (!write.insert) {
      if (!write.removed || !TallyOneMatch(db, filter, write.timestamp, write.removed.get(), total, found))
        return false;
      if (found) changes.push_back({total.isNull, total.name, -total.wins, -total.losses, -1});
    }
    if (!TallyOneMatch(db, filter, write.timestamp, nullptr, total, found)) return false;
    if (found) changes.push_back(total);
  }
  return true;
}

void ApplyOpponentTotals(std::vector<OpponentRow>& rows, const std::vector<OpponentTotal>& changes) {
  for (const OpponentTotal& change : changes) {
    auto at = std::lower_bound(rows.begin(), rows.end(), 0, [&](const OpponentRow& row, int) {
      return OpponentRowBefore(row, change.isNull, change.name);
    });
    if (at == rows.end() || at->isNull != change.isNull || at->name != change.name)
      at = rows.insert(at, OpponentRow{change.isNull, change.name, 0, 0, 0});
    at->wins += change.wins;
    at->losses += change.losses;
    at->matches += change.matches;
    if (at->matches <= 0) rows.erase(at);
  }
}
