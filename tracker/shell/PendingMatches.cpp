#include "shell/PendingMatches.h"

#include <windows.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "common/AtomicFile.h"
#include "store/RecordDatabase.h"
#include "shell/AppState.h"
#include "shell/ChangeJournal.h"
#include "common/Clipboard.h"
#include "common/ResultLine.h"
#include "shell/ProfileChoice.h"
#include "shell/RecoveryFile.h"
#include "common/TextUtil.h"
#include "shell/RecordEvents.h"
#include "shell/TrayMenu.h"

bool (*g_pendingAnnouncer)(const std::wstring& title, const std::wstring& text) = ShowTrayBalloon;

namespace {
constexpr UINT RetryIntervalMilliseconds = 3000;
// The timer's retries must not freeze the GUI for the whole busy wait every few seconds.
constexpr int RetryBusyWaitMilliseconds = 250;
constexpr UINT_PTR RetryTimerId = 0x5045;

struct PendingMatch {
  MatchRecord record;
  std::wstring profile;  // the profile it was captured for; stored into no other
  bool recovered;        // read from a recovery file at the profile's opening
  bool waited;           // the user was told it waits, or it was recovered
  bool safe;             // a recovery file that was read back holds it
};

struct Episode {
  bool told = false;  // the user has heard that matches wait
  int stored = 0;
  int recovered = 0;
};

std::vector<PendingMatch> g_waiting;
Episode g_episode;
bool g_stale = false;  // the current profile's recovery file may hold matches stored since it was written
bool g_storing = false;
HWND g_timerWindow = nullptr;
UINT_PTR g_timer = 0;

enum class Outcome { Stored, Waiting, Duplicate };

bool SameProfile(const std::wstring& a, const std::wstring& b) { return lstrcmpiW(a.c_str(), b.c_str()) == 0; }

// Only the same match already stored at its timestamp is a duplicate; any other refusal keeps it waiting.
Outcome StoreOne(const MatchRecord& record, WriteFailure* failure, std::wstring* message) {
  BeginTransaction();
  bool ok = InsertMatchRecord(record);
  if (!ok) EndTransaction(true);
  if (ok && EndTransaction(false)) return Outcome::Stored;
  *failure = LastWriteFailure();
  *message = LastWriteMessage();
  if (*failure == WriteFailureDuplicate) {
    if (IsMatchStored(record)) return Outcome::Duplicate;
    *failure = WriteFailureRefused;
  }
  return Outcome::Waiting;
}

const wchar_t* ReasonText(WriteFailure failure) {
  switch (failure) {
    case WriteFailureNoProfile: return L"プロファイルが開かれていません";
    case WriteFailureBusy: return L"ほかのプログラムがプロファイルを使用中です";
    case WriteFailureReadOnly: return L"プロファイルに書き込めません";
    case WriteFailureFull: return L"ディスクの空きが足りません";
    default: return L"プロファイルへの書き込みに失敗しました";
  }
}

void Announce(const std::wstring& title, const std::wstring& text) {
  if (g_pendingAnnouncer) g_pendingAnnouncer(title, text);
}

// The recovery files of a profile hold what waits for it, merged with what they already held and is not
// stored yet: a rewrite never drops a match it has not read. Beside the profile, else in the user's
// application data. True when the profile's waiting matches are safe in a file.
bool MirrorWaiting(const std::wstring& profilePath) {
  bool open = SameProfile(profilePath, CurrentDatabasePath());
  std::vector<MatchRecord> keep;
  for (const PendingMatch& m : g_waiting)
    if (SameProfile(m.profile, profilePath)) AddMatchOnce(keep, m.record);
  for (const MatchRecord& r : ReadRecoveredMatches(profilePath)) {
    bool known = false;
    for (const MatchRecord& k : keep) known = known || SameMatch(k, r);
    // One committed since the file was written goes; one that cannot be checked now stays.
    if (!known && !(open && IsMatchStored(r))) keep.push_back(r);
  }
  if (open) g_stale = false;
  bool safe;
  std::wstring beside = RecoveryFilePath(profilePath), fallback = FallbackRecoveryFilePath(profilePath);
  if (keep.empty()) {
    RemoveRecoveryFile(beside);
    RemoveRecoveryFile(fallback);
    safe = true;
  } else if (WriteRecoveryFile(beside, keep)) {
    RemoveRecoveryFile(fallback);
    safe = true;
  } else {
    CreateDirectoryW(fallback.substr(0, fallback.find_last_of(L'\\')).c_str(), nullptr);
    safe = WriteRecoveryFile(fallback, keep);
    if (!safe) OutputDebugStringW(L"Corvenka: no recovery file can be written; the matches stay in memory\n");
  }
  for (PendingMatch& m : g_waiting)
    if (SameProfile(m.profile, profilePath)) m.safe = safe;
  return safe;
}

bool HasUnsafe(const std::wstring& profilePath) {
  for (const PendingMatch& m : g_waiting)
    if (!m.safe && SameProfile(m.profile, profilePath)) return true;
  return false;
}

// Matches of profiles no longer open leave memory once a file holds them.
void SetAsideOthers() {
  std::vector<std::wstring> profiles;
  for (const PendingMatch& m : g_waiting)
    if (!m.safe && !SameProfile(m.profile, CurrentDatabasePath())) {
      bool listed = false;
      for (const std::wstring& p : profiles) listed = listed || SameProfile(p, m.profile);
      if (!listed) profiles.push_back(m.profile);
    }
  for (const std::wstring& profile : profiles) MirrorWaiting(profile);
  std::vector<PendingMatch> left;
  for (PendingMatch& m : g_waiting)
    if (!m.safe || SameProfile(m.profile, CurrentDatabasePath())) left.push_back(std::move(m));
  g_waiting.swap(left);
}

void CALLBACK OnRetryTimer(HWND, UINT, UINT_PTR, DWORD);

void KeepRetrying(bool on) {
  if (on && !g_timer) {
    g_timerWindow = g_app.mainWindow;
    g_timer = SetTimer(g_timerWindow, RetryTimerId, RetryIntervalMilliseconds, OnRetryTimer);
  } else if (!on && g_timer) {
    KillTimer(g_timerWindow, g_timer);
    g_timer = 0;
  }
}

void TellStored() {
  std::wstring text;
  int captured = g_episode.stored - g_episode.recovered;
  if (g_episode.recovered && captured)
    text = FormatWide(L"前回保存できなかった対戦 %d 件と、保存待ちの対戦 %d 件をプロファイルに保存しました。",
                      g_episode.recovered, captured);
  else if (g_episode.recovered)
    text = FormatWide(L"前回保存できなかった対戦 %d 件をプロファイルに保存しました。", g_episode.recovered);
  else if (captured)
    text = FormatWide(L"保存待ちの対戦 %d 件をプロファイルに保存しました。", captured);
  else
    text = L"保存待ちの対戦はすでにプロファイルに保存されていました。";
  Announce(L"対戦結果を保存しました", text);
}

void TellWaiting(const MatchRecord& first, WriteFailure failure, const std::wstring& message) {
  std::wstring line = FormatResultLine(first);
  // The table's own rule is told in SQLite's words: the user or the other program's author can act on them.
  std::wstring reason = failure == WriteFailureRefused && !message.empty() ? message : ReasonText(failure);
  Announce(L"対戦結果を保存できません",
           FormatWide(L"%s を保存できませんでした（%s）。数秒ごとに保存をやり直します。", line.c_str(),
                      reason.c_str()));
}

size_t CountFor(const std::wstring& profilePath) {
  size_t count = 0;
  for (const PendingMatch& m : g_waiting) count += SameProfile(m.profile, profilePath) ? 1 : 0;
  return count;
}

// Stores the open profile's matches from the oldest on and stops at the first that must wait, so that the
// order is kept. `newestDropped` tells whether the last entry was refused as a duplicate.
void Flush(bool* newestDropped = nullptr) {
  if (g_storing || g_waiting.empty()) return;
  SetAsideOthers();
  const std::wstring profile = CurrentDatabasePath();
  // A transaction left open (a dialog inside a refresh) must not take our rows into it: later.
  if (InTransaction()) {
    if (HasUnsafe(profile)) MirrorWaiting(profile);
    KeepRetrying(true);
    return;
  }
  // A profile opened for reading may have been made writable meanwhile.
  ReopenProfileForWriting();
  g_storing = true;
  std::vector<PendingMatch> left;
  size_t handled = 0;
  int stored = 0;
  bool blocked = false;
  WriteFailure failure = WriteFailureOther;
  std::wstring message;
  const MatchRecord* firstWaiting = nullptr;
  size_t last = g_waiting.size() - 1;
  for (size_t i = 0; i < g_waiting.size(); ++i) {
    PendingMatch& match = g_waiting[i];
    if (blocked || !SameProfile(match.profile, profile)) {
      left.push_back(match);
      continue;
    }
    Outcome outcome = StoreOne(match.record, &failure, &message);
    if (outcome == Outcome::Waiting) {
      blocked = true;
      left.push_back(match);
      continue;
    }
    if (outcome == Outcome::Stored) {
      RecordChange(ChangeInserted, match.record);
      // A match stored as it was captured gets its result balloon; those that waited are told of together.
      if (!match.waited && !match.recovered) AnnounceRecordedMatch(match.record);
      ++stored;
      if (match.waited) ++g_episode.stored;
      if (match.recovered) ++g_episode.recovered;
    } else {
      OutputDebugStringW(L"Corvenka: a waiting match is already stored; it is not stored twice\n");
      if (i == last && newestDropped) *newestDropped = true;
    }
    ++handled;
  }
  g_waiting.swap(left);
  g_storing = false;
  if (handled) g_stale = true;
  if (stored) RecordChanged();
  if (g_stale || HasUnsafe(profile)) MirrorWaiting(profile);
  for (PendingMatch& match : g_waiting) {
    match.waited = true;
    if (!firstWaiting && SameProfile(match.profile, profile)) firstWaiting = &match.record;
  }
  if (!firstWaiting) {
    if (g_episode.told || g_episode.recovered) TellStored();
    g_episode = Episode();
    KeepRetrying(!g_waiting.empty());
    return;
  }
  if (!g_episode.told) {
    TellWaiting(*firstWaiting, failure, message);
    g_episode.told = true;
  }
  KeepRetrying(true);
}

void CALLBACK OnRetryTimer(HWND, UINT, UINT_PTR, DWORD) {
  int previous = SetBusyWait(RetryBusyWaitMilliseconds);
  Flush();
  SetBusyWait(previous);
}

std::wstring MatchListText(size_t limit) {
  std::wstring text;
  size_t shown = 0;
  for (const PendingMatch& m : g_waiting) {
    if (shown++ == limit) {
      text += FormatWide(L"…ほか %d 件\r\n", (int)(g_waiting.size() - limit));
      break;
    }
    FILETIME local{(DWORD)m.record.timestamp, (DWORD)((uint64_t)m.record.timestamp >> 32)};
    SYSTEMTIME t{};
    FileTimeToSystemTime(&local, &t);
    text += FormatWide(L"%04d/%02d/%02d %02d:%02d:%02d  %s  (%s)\r\n", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute,
                       t.wSecond, FormatResultLine(m.record).c_str(), m.profile.c_str());
  }
  return text;
}

// Every match still waiting for any profile is written to a recovery file, or stays in memory.
void SetEverythingAside() {
  Flush();
  const std::wstring profile = CurrentDatabasePath();
  if (g_stale || HasUnsafe(profile)) MirrorWaiting(profile);
  std::vector<PendingMatch> left;
  for (PendingMatch& m : g_waiting)
    if (!m.safe) left.push_back(std::move(m));
  g_waiting.swap(left);
  SetAsideOthers();
}
}  // namespace

bool StoreCapturedMatch(const MatchRecord& record) {
  g_waiting.push_back(PendingMatch{record, CurrentDatabasePath(), false, false, false});
  // A match that arrives while the file is already refusing waits without a second announcement.
  bool dropped = false;
  Flush(&dropped);
  return !dropped;
}

bool StorePendingMatches() {
  Flush();
  return CountFor(CurrentDatabasePath()) == 0;
}

size_t PendingMatchCount() { return g_waiting.size(); }

void SetPendingMatchesAside() {
  SetEverythingAside();
  while (!g_waiting.empty()) {
    std::wstring text = FormatWide(L"保存できなかった対戦が %d 件あります。", (int)g_waiting.size()) +
                        L"プロファイルにも、保存待ちのファイルにも書き込めませんでした。\n\n" + MatchListText(10) +
                        L"\n「はい」でもう一度保存を試します。\n「いいえ」で対戦をテキストとしてクリップボードにコピーして"
                        L"終了します（コピーしたテキストのほかには残りません）。";
    // No owner: at exit the main window is already being destroyed and nothing else is shown.
    if (MessageBoxW(nullptr, text.c_str(), L"Corvenka", MB_ICONWARNING | MB_YESNO | MB_SETFOREGROUND | MB_TOPMOST) ==
        IDYES) {
      SetEverythingAside();
      continue;
    }
    std::wstring list = MatchListText(g_waiting.size());
    CopyTextToClipboard(list.c_str(), -1);
    g_waiting.clear();
  }
  g_stale = false;
  g_episode = Episode();
  KeepRetrying(false);
}

void LeavePendingMatchesWith(const std::wstring& previousProfile) {
  size_t count = CountFor(previousProfile);
  g_stale = false;
  g_episode = Episode();
  if (!count) return;
  if (MirrorWaiting(previousProfile)) {
    SetAsideOthers();
    Announce(L"対戦結果の保存待ち",
             FormatWide(L"保存待ちの対戦 %d 件は、次に %s を開いたときに保存します。", (int)count,
                        PathFindFileNameW(previousProfile.c_str())));
    return;
  }
  // Said as it is: nothing on disk holds them yet.
  Announce(L"対戦結果を保存できません",
           FormatWide(L"保存待ちの対戦 %d 件を保存待ちのファイルにも書き込めず、Corvenka の中にだけあります。"
                      L"書き込みを数秒ごとにやり直し、%s を開き直せば保存します。",
                      (int)count, PathFindFileNameW(previousProfile.c_str())));
  KeepRetrying(true);
}

void TakeUpRecoveredMatches() {
  const std::wstring profile = CurrentDatabasePath();
  std::vector<MatchRecord> records = ReadRecoveredMatches(profile);
  if (records.empty() && !CountFor(profile)) return;
  for (const MatchRecord& record : records) {
    bool known = false;
    for (const PendingMatch& m : g_waiting) known = known || (SameProfile(m.profile, profile) && SameMatch(m.record, record));
    if (!known) g_waiting.push_back(PendingMatch{record, profile, true, true, true});
  }
  g_stale = true;
  Flush();
}
