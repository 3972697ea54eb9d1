#include "PendingMatches.h"

#include <windows.h>
#include <shlwapi.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "../store/RecordDatabase.h"
#include "AppState.h"
#include "ChangeJournal.h"
#include "MatchCapture.h"
#include "ProfileChoice.h"
#include "TextUtil.h"
#include "TrayMenu.h"

bool (*g_pendingAnnouncer)(const std::wstring& title, const std::wstring& text) = ShowTrayBalloon;

namespace {
constexpr UINT RetryIntervalMilliseconds = 3000;
// The timer's retries must not freeze the GUI for the whole busy wait every few seconds.
constexpr int RetryBusyWaitMilliseconds = 250;
constexpr UINT_PTR RetryTimerId = 0x5045;
const char RecoveryHeader[] = "CorvenkaPendingMatches 1";

struct PendingMatch {
  MatchRecord record;
  bool recovered;  // read from the recovery file at the profile's opening
  bool waited;     // the user was told it waits, or it was recovered
};

struct Episode {
  bool told = false;  // the user has heard that matches wait
  int stored = 0;
  int recovered = 0;
};

std::vector<PendingMatch> g_waiting;
Episode g_episode;
bool g_mirrored = false;  // the recovery file exists and holds what waited when it was written
bool g_unsaved = false;   // something waits that the recovery file does not hold yet
bool g_storing = false;
HWND g_timerWindow = nullptr;
UINT_PTR g_timer = 0;

enum class Outcome { Stored, Waiting, Duplicate };

Outcome StoreOne(const MatchRecord& record) {
  BeginTransaction();
  bool ok = InsertMatchRecord(record);
  if (!ok) EndTransaction(true);
  if (ok && EndTransaction(false)) return Outcome::Stored;
  return LastWriteFailure() == WriteFailureDuplicate ? Outcome::Duplicate : Outcome::Waiting;
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

std::string Hex(const char* field, size_t size) {
  size_t length = strnlen(field, size);
  if (!length) return "-";
  std::string out;
  char digits[3];
  for (size_t i = 0; i < length; ++i) {
    snprintf(digits, sizeof digits, "%02x", (unsigned char)field[i]);
    out += digits;
  }
  return out;
}

bool Unhex(const char* text, char* field, size_t size) {
  memset(field, 0, size);
  if (strcmp(text, "-") == 0) return true;
  size_t length = strlen(text);
  if (length % 2 || length / 2 >= size) return false;
  for (size_t i = 0; i < length / 2; ++i) {
    unsigned value;
    if (sscanf(text + 2 * i, "%2x", &value) != 1) return false;
    field[i] = (char)value;
  }
  return true;
}

std::string RecoveryText(const std::vector<PendingMatch>& matches) {
  std::string text = std::string(RecoveryHeader) + "\r\n";
  char numbers[128];
  for (const PendingMatch& m : matches) {
    const MatchRecord& r = m.record;
    snprintf(numbers, sizeof numbers, "%lld %d %d %d %d ", (long long)r.timestamp, (int)r.p1id, (int)r.p1win,
             (int)r.p2id, (int)r.p2win);
    text += numbers + Hex(r.p1name, sizeof r.p1name) + " " + Hex(r.p2name, sizeof r.p2name) + "\r\n";
  }
  return text;
}

// Written beside and then moved over, so that a crash mid-write leaves the previous file whole.
bool WriteRecoveryFile(const std::wstring& path, const std::string& text) {
  std::wstring temporary = path + L".new";
  HANDLE file = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  bool ok = WriteFile(file, text.data(), (DWORD)text.size(), &written, nullptr) && written == text.size() &&
            FlushFileBuffers(file);
  CloseHandle(file);
  if (ok) ok = MoveFileExW(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
  if (!ok) DeleteFileW(temporary.c_str());
  return ok;
}

bool ReadRecoveryFile(const std::wstring& path, std::vector<MatchRecord>& records) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  std::string text;
  char buffer[4096];
  DWORD got = 0;
  while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got) text.append(buffer, got);
  CloseHandle(file);
  size_t start = 0;
  bool header = true;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    start = end + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (header) {
      if (line != RecoveryHeader) return false;
      header = false;
      continue;
    }
    if (line.empty()) continue;
    MatchRecord r;
    memset(&r, 0, sizeof r);
    long long timestamp;
    int p1id, p1win, p2id, p2win;
    char name1[600], name2[600];
    if (sscanf(line.c_str(), "%lld %d %d %d %d %599s %599s", &timestamp, &p1id, &p1win, &p2id, &p2win, name1, name2) !=
            7 ||
        !Unhex(name1, r.p1name, sizeof r.p1name) || !Unhex(name2, r.p2name, sizeof r.p2name)) {
      OutputDebugStringW(L"Corvenka: a line of the recovery file cannot be read\n");
      continue;
    }
    r.timestamp = timestamp;
    r.p1id = p1id;
    r.p1win = p1win;
    r.p2id = p2id;
    r.p2win = p2win;
    records.push_back(r);
  }
  return !header;
}

// The recovery file always holds what waits, so that not even a crash loses a match.
void MirrorWaiting(const std::wstring& profilePath) {
  std::wstring path = RecoveryFilePath(profilePath);
  if (!g_waiting.empty()) {
    if (WriteRecoveryFile(path, RecoveryText(g_waiting))) {
      g_mirrored = true;
      g_unsaved = false;
    } else {
      OutputDebugStringW(L"Corvenka: the recovery file cannot be written\n");
    }
    return;
  }
  g_unsaved = false;
  if (g_mirrored) {
    // Only now that every match of it is committed.
    if (DeleteFileW(path.c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND) g_mirrored = false;
  }
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

void TellWaiting(WriteFailure failure) {
  std::wstring line = FormatResultLine(g_waiting.front().record);
  Announce(L"対戦結果を保存できません",
           FormatWide(L"%s を保存できませんでした（%s）。数秒ごとに保存をやり直します。", line.c_str(),
                      ReasonText(failure)));
}

// Stores from the oldest on and stops at the first that must wait, so that the order is kept.
// `newestDropped` tells whether the last entry was refused as a duplicate.
void Flush(bool* newestDropped = nullptr) {
  if (g_storing || g_waiting.empty()) return;
  // A transaction left open (a dialog inside a refresh) must not take our rows into it: later.
  if (InTransaction()) {
    if (g_unsaved) MirrorWaiting(CurrentDatabasePath());
    KeepRetrying(true);
    return;
  }
  // A profile opened for reading may have been made writable meanwhile.
  ReopenProfileForWriting();
  g_storing = true;
  size_t count = g_waiting.size();
  size_t handled = 0;
  int stored = 0;
  WriteFailure failure = WriteFailureOther;
  while (handled < count) {
    const PendingMatch& match = g_waiting[handled];
    Outcome outcome = StoreOne(match.record);
    if (outcome == Outcome::Waiting) {
      failure = LastWriteFailure();
      break;
    }
    if (outcome == Outcome::Stored) {
      RecordChange(ChangeInserted, match.record);
      // A match stored as it was captured gets its result balloon; those that waited are told of together.
      if (!match.waited && !match.recovered) AnnounceRecordedMatch(match.record);
      ++stored;
      if (match.waited) ++g_episode.stored;
      if (match.recovered) ++g_episode.recovered;
    } else {
      OutputDebugStringW(L"Corvenka: a waiting match's timestamp is already stored; it is not stored twice\n");
      if (handled == count - 1 && newestDropped) *newestDropped = true;
    }
    ++handled;
  }
  g_waiting.erase(g_waiting.begin(), g_waiting.begin() + (ptrdiff_t)handled);
  g_storing = false;
  if (stored && g_app.summaryWindow) PostMessageW(g_app.summaryWindow, RefreshSummaryMessage, 0, 0);
  if (handled || g_unsaved) MirrorWaiting(CurrentDatabasePath());
  for (PendingMatch& match : g_waiting) match.waited = true;
  if (g_waiting.empty()) {
    if (g_episode.told || g_episode.recovered) TellStored();
    g_episode = Episode();
    KeepRetrying(false);
    return;
  }
  if (!g_episode.told) {
    TellWaiting(failure);
    g_episode.told = true;
  }
  KeepRetrying(true);
}

void CALLBACK OnRetryTimer(HWND, UINT, UINT_PTR, DWORD) {
  int previous = SetBusyWait(RetryBusyWaitMilliseconds);
  Flush();
  SetBusyWait(previous);
}
}  // namespace

std::wstring RecoveryFilePath(const std::wstring& profilePath) { return profilePath + L".pending"; }

bool StoreCapturedMatch(const MatchRecord& record) {
  g_waiting.push_back(PendingMatch{record, false, false});
  g_unsaved = true;
  // A match that arrives while the file is already refusing waits without a second announcement.
  bool dropped = false;
  Flush(&dropped);
  return !dropped;
}

bool StorePendingMatches() {
  Flush();
  return g_waiting.empty();
}

size_t PendingMatchCount() { return g_waiting.size(); }

namespace {
void Forget(const std::wstring& profilePath) {
  if (g_unsaved) MirrorWaiting(profilePath);
  if (g_unsaved) OutputDebugStringW(L"Corvenka: matches that could not be stored are lost: no recovery file\n");
  g_waiting.clear();
  g_mirrored = false;
  g_unsaved = false;
  g_episode = Episode();
  KeepRetrying(false);
}
}  // namespace

void SetPendingMatchesAside() {
  Flush();
  Forget(CurrentDatabasePath());
}

void LeavePendingMatchesWith(const std::wstring& previousProfile) {
  int count = (int)g_waiting.size();
  Forget(previousProfile);
  if (count)
    Announce(L"対戦結果の保存待ち",
             FormatWide(L"保存待ちの対戦 %d 件は、次に %s を開いたときに保存します。", count,
                        PathFindFileNameW(previousProfile.c_str())));
}

void TakeUpRecoveredMatches() {
  std::vector<MatchRecord> records;
  if (!ReadRecoveryFile(RecoveryFilePath(CurrentDatabasePath()), records)) return;
  g_mirrored = true;
  for (const MatchRecord& record : records) g_waiting.push_back(PendingMatch{record, true, true});
  if (g_waiting.empty()) {
    MirrorWaiting(CurrentDatabasePath());
    return;
  }
  Flush();
}
