// When the open profile is backed up: at the first start of a day, at exit when it changed, before a restore
// or an import. The copy runs in steps from a timer, so the GUI thread keeps taking the probe's notifications.
#pragma once
#include <windows.h>
#include <string>

// Section "Backup".
struct BackupSettings {
  bool enabled = true;
  std::wstring folder;  // empty: "Backups" beside the profile
  int keepDaily = 7;
  int keepWeekly = 4;
};
BackupSettings ReadBackupSettings();
// The folder the open profile's copies go to.
std::wstring CurrentBackupFolder();

// After start-up: a backup unless the profile has one of today.
void StartDailyBackup();
// Before the profile is closed at exit: a running backup is finished, and one is made when the profile
// changed since its last one.
void BackupBeforeExit();
// Now (before a restore or an import), in short steps while this thread keeps serving its messages, so that
// captures go on (into the profile and the copy); true when a verified copy was made. The caller keeps its
// own window from taking commands meanwhile.
bool BackupNow();
bool BackupRunning();
// The profile was changed through a connection other than the tracker's own (an import): backed up at exit.
void NoteProfileChangedElsewhere();

// Waits up to `milliseconds` for `object` (null: none) or a message, then hands out this thread's messages (a
// capture is one of them); true when `object` was signalled, with nothing handed out.
bool ServeMessagesUntil(HANDLE object, DWORD milliseconds);

// How a failed backup is told; the tray balloon unless a test listens instead.
extern bool (*g_backupAnnouncer)(const std::wstring& title, const std::wstring& text);
