#include "store/RecentForm.h"

#include <sqlite3.h>

#include <cstring>

#include "common/TextUtil.h"
#include "store/MatchSnapshot.h"
#include "store/RecordDatabase.h"
#include "store/RecordQueries.h"

namespace {
// Nobody else finalizes it: the statement lives only while one walk runs.
struct Statement {
  sqlite3_stmt* handle = nullptr;
  ~Statement() { sqlite3_finalize(handle); }
};

bool CharacterTotals(int id, int& wins, int& losses) {
  wins = losses = 0;
  RecordFilter none;
  memset(&none, 0, sizeof none);
  PairingCell cells[14][14];
  if (id >= 0 && id <= 13 && PairingTotalsFromSnapshot(RecordDatabase(), none, cells)) {
    for (int k = 0; k < 14; ++k) {
      wins += cells[id][k].wins;
      losses += cells[id][k].losses;
    }
    return true;
  }
  // Not the shared pairing statements: their table is what the summary shows.
  Statement count;
  if (sqlite3_prepare_v2(RecordDatabase(),
                         "SELECT total(p1win/2), total(p2win/2) FROM viziriduvozmirrow WHERE p1id = ?", -1,
                         &count.handle, nullptr) != SQLITE_OK)
    return false;
  sqlite3_bind_int(count.handle, 1, id);
  if (sqlite3_step(count.handle) != SQLITE_ROW) return false;
  wins = sqlite3_column_int(count.handle, 0);
  losses = sqlite3_column_int(count.handle, 1);
  return true;
}
}  // namespace

bool QueryRecentForm(int64_t now, RecentForm& form) {
  memset(&form, 0, sizeof form);
  sqlite3* db = RecordDatabase();
  if (!db) return false;
  Statement walk;
  if (sqlite3_prepare_v2(db,
                         "SELECT timestamp, p1id, p2id, p1win, p2win, p1name, p2name FROM viziriduvozmirrow "
                         "ORDER BY timestamp DESC",
                         -1, &walk.handle, nullptr) != SQLITE_OK)
    return false;
  const int64_t startOfToday = StartOfDay(now);
  RecentPlay recent(now);
  int rc;
  while ((rc = sqlite3_step(walk.handle)) == SQLITE_ROW) {
    int64_t timestamp = sqlite3_column_int64(walk.handle, 0);
    if (!form.any) {
      form.any = true;
      form.last.timestamp = timestamp;
      form.last.p1id = sqlite3_column_int(walk.handle, 1);
      form.last.p2id = sqlite3_column_int(walk.handle, 2);
      form.last.p1win = sqlite3_column_int(walk.handle, 3);
      form.last.p2win = sqlite3_column_int(walk.handle, 4);
      CopyToField(form.last.p1name, sqlite3_column_text(walk.handle, 5));
      CopyToField(form.last.p2name, sqlite3_column_text(walk.handle, 6));
    }
    // The rows the summary and the graph count, and only those.
    PlayRow row;
    if (ReadPlayRow(walk.handle, 0, row)) {
      if (timestamp >= startOfToday && timestamp < startOfToday + TimestampUnitsPerDay) {
        form.todayWins += row.p1win / 2;
        form.todayLosses += row.p2win / 2;
      }
      recent.Add(timestamp, MatchOutcome(row.p1win, row.p2win));
    }
    if (!recent.Wants() && timestamp < startOfToday) break;
  }
  if (rc != SQLITE_ROW && rc != SQLITE_DONE) return false;
  SessionTally tally = recent.Tally();
  if (const PlaySession* session = tally.CurrentSession(now)) {
    form.sessionWins = session->wins;
    form.sessionLosses = session->losses;
  }
  form.streak = tally.StreaksOf().current;
  return !form.any || CharacterTotals(form.last.p1id, form.characterWins, form.characterLosses);
}
