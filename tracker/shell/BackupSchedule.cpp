#include "shell/BackupSchedule.h"

#include <windows.h>
#include <shlwapi.h>
#include <sqlite3.h>

#include "store/ProfileBackup.h"
#include "store/RecordDatabase.h"
#include "shell/TrayMenu.h"
#include "shell/Settings.h"
#include "common/TextUtil.h"
#include "common/Timestamp.h"

bool (*g_backupAnnouncer)(const std::wstring& title, const std::wstring& text) = ShowTrayBalloon;

namespace {
ProfileBackup g_job;
std::wstring g_jobProfile;
UINT_PTR g_timer = 0;
int g_pagesPerStep = 64;
bool g_failureTold = false;
// The connection and its count of changed rows when its last backup began: what "changed since" compares with.
sqlite3* g_backedUp = nullptr;
sqlite3_int64 g_changesAtBackup = 0;
bool g_changedElsewhere = false;

bool Begin();

void StopTimer() {
  if (g_timer) KillTimer(nullptr, g_timer);
  g_timer = 0;
}

void Finished() {
  StopTimer();
  BackupSettings settings = ReadBackupSettings();
  if (g_job.state() == ProfileBackup::Done) {
    g_failureTold = false;
    RotateBackups(g_job.folder(), g_jobProfile, settings.keepDaily, settings.keepWeekly);
  } else if (!g_failureTold) {
    // Once, until a backup succeeds again.
    g_failureTold = true;
    g_backupAnnouncer(L"バックアップに失敗しました",
                       FormatWide(L"プロファイルのバックアップを作成できませんでした。\n%s\n保存先のフォルダーと空き容量を確かめてください。",
                                  g_job.folder().c_str()));
  }
}

// The copy of one step is held short: fewer pages after a slow step, more after a quick one.
ProfileBackup::State StepHeldShort() {
  DWORD started = GetTickCount();
  ProfileBackup::State state = g_job.Step(g_pagesPerStep);
  DWORD took = GetTickCount() - started;
  if (took > 40 && g_pagesPerStep > 8) g_pagesPerStep /= 2;
  else if (took < 10 && g_pagesPerStep < 1024) g_pagesPerStep *= 2;
  return state;
}

void CALLBACK OnBackupTimer(HWND, UINT, UINT_PTR, DWORD) {
  if (g_job.source() != RecordDatabase()) {
    // The profile was switched: its connection stayed open for the copy (a close with a backup running is
    // refused), and is closed here.
    sqlite3* orphan = g_job.source();
    g_job.Abandon();
    if (orphan && orphan != RecordDatabase()) sqlite3_close(orphan);
    StopTimer();
    return;
  }
  if (InTransaction()) return;
  ProfileBackup::State state = StepHeldShort();
  if (state == ProfileBackup::Done || state == ProfileBackup::Failed) Finished();
}

// The job to its end in short steps, serving messages between them; captures meanwhile reach the copy too.
bool RunServingMessages() {
  while (BackupRunning() && g_job.source() == RecordDatabase()) {
    if (!InTransaction()) StepHeldShort();
    if (BackupRunning()) ServeMessagesUntil(nullptr, g_job.state() == ProfileBackup::Verifying ? 20 : 0);
  }
  if (BackupRunning()) OnBackupTimer(nullptr, 0, 0, 0);  // its profile went meanwhile
  Finished();
  return g_job.state() == ProfileBackup::Done;
}

// At exit: in one piece, nothing is left to serve.
bool BackupInOnePiece() {
  if (!Begin()) {
    Finished();
    return false;
  }
  g_job.RunToEnd();
  Finished();
  return g_job.state() == ProfileBackup::Done;
}

bool Begin() {
  if (!RecordDatabase()) return false;
  g_jobProfile = CurrentDatabasePath();
  g_backedUp = RecordDatabase();
  g_changesAtBackup = sqlite3_total_changes64(g_backedUp);
  g_changedElsewhere = false;
  return g_job.Begin(RecordDatabase(), g_jobProfile, CurrentBackupFolder());
}

bool HasBackupOfToday() {
  std::vector<BackupEntry> entries = ListBackups(CurrentBackupFolder(), CurrentDatabasePath());
  return !entries.empty() && TimestampDayOf(entries[0].taken) == TimestampDayOf(CurrentTimestamp());
}

bool ChangedSinceBackup() {
  sqlite3* db = RecordDatabase();
  if (!db) return false;
  if (g_changedElsewhere) return true;
  return sqlite3_total_changes64(db) > (db == g_backedUp ? g_changesAtBackup : 0);
}
}  // namespace

BackupSettings ReadBackupSettings() {
  BackupSettings settings;
  settings.enabled = ReadSettingInt(L"Backup", L"Enabled", 1) != 0;
  settings.folder = ReadSettingText(L"Backup", L"Folder", L"");
  settings.keepDaily = ReadSettingInt(L"Backup", L"KeepDaily", 7);
  settings.keepWeekly = ReadSettingInt(L"Backup", L"KeepWeekly", 4);
  if (settings.keepDaily < 1) settings.keepDaily = 1;
  if (settings.keepWeekly < 0) settings.keepWeekly = 0;
  return settings;
}

std::wstring CurrentBackupFolder() { return BackupFolderFor(CurrentDatabasePath(), ReadBackupSettings().folder); }

void StartDailyBackup() {
  if (!ReadBackupSettings().enabled || BackupRunning() || !RecordDatabase() || HasBackupOfToday()) return;
  if (!Begin()) {
    Finished();
    return;
  }
  g_pagesPerStep = 64;
  g_timer = SetTimer(nullptr, 0, 10, OnBackupTimer);
}

bool BackupRunning() {
  return g_job.state() == ProfileBackup::Copying || g_job.state() == ProfileBackup::Verifying;
}

bool BackupNow() {
  StopTimer();
  // A copy begun a moment ago does for this one too, once it has ended.
  if (BackupRunning() && g_job.source() == RecordDatabase() && RunServingMessages()) return true;
  if (BackupRunning()) OnBackupTimer(nullptr, 0, 0, 0);
  if (!Begin()) {
    Finished();
    return false;
  }
  g_pagesPerStep = 64;
  return RunServingMessages();
}

void BackupBeforeExit() {
  bool changed = ChangedSinceBackup();
  if (BackupRunning()) {
    StopTimer();
    if (g_job.source() == RecordDatabase()) {
      g_job.RunToEnd();
      Finished();
      changed = ChangedSinceBackup();
    } else {
      OnBackupTimer(nullptr, 0, 0, 0);
    }
  }
  if (changed && ReadBackupSettings().enabled) BackupInOnePiece();
}

void NoteProfileChangedElsewhere() { g_changedElsewhere = true; }

bool ServeMessagesUntil(HANDLE object, DWORD milliseconds) {
  if (MsgWaitForMultipleObjects(object ? 1 : 0, &object, FALSE, milliseconds, QS_ALLINPUT) == WAIT_OBJECT_0 && object)
    return true;
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      // For the loop that ends the program.
      PostQuitMessage((int)msg.wParam);
      break;
    }
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  return false;
}
