// Copies of a profile in a folder of backups: "<profile name>-YYYYMMDD-HHMMSS.db", made with SQLite's backup
// in small steps, checked on a thread of its own before they take their name, and thinned out to a number of
// daily and weekly copies.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

struct sqlite3;
struct sqlite3_backup;

struct BackupEntry {
  std::wstring path;
  int64_t taken = 0;  // local clock, as a stored timestamp, from the name
};

// `folderSetting` empty: "Backups" beside the profile.
std::wstring BackupFolderFor(const std::wstring& profilePath, const std::wstring& folderSetting);
// The profile's file name without its folder and extension.
std::wstring ProfileBaseName(const std::wstring& profilePath);
std::wstring BackupFileName(const std::wstring& profilePath, int64_t taken);
// The verified copies of this profile in `folder`, newest first.
std::vector<BackupEntry> ListBackups(const std::wstring& folder, const std::wstring& profilePath);
// Which of `newestFirst` go: per day the newest copy of the `keepDaily` newest days (every copy of the newest
// day, so that the copy taken before a restore survives the one taken at exit), then the newest copy of each
// of the `keepWeekly` newest weeks before those. The newest copy always stays.
std::vector<size_t> BackupsToRemove(const std::vector<BackupEntry>& newestFirst, int keepDaily, int keepWeekly);
// Removes what BackupsToRemove names; the number removed.
int RotateBackups(const std::wstring& folder, const std::wstring& profilePath, int keepDaily, int keepWeekly);

// Matches in the match table of `schema` ("main" or an attached name); -1 when it cannot be read.
int64_t CountMatches(sqlite3* db, const char* schema = "main");
// The file passes quick_check and holds exactly `expectedMatches` matches.
bool VerifyBackupFile(const std::wstring& path, int64_t expectedMatches);
enum class FileCheck { Sound, Damaged, Unknown };
// quick_check on a profile file before it is used. Opened for writing when it can be, so that a journal left
// by a crash is rolled back first; Unknown when it could not be read now (another program holds it).
FileCheck QuickCheckProfileFile(const std::wstring& path);
// Matches in a profile file, opened read-only; -1 when it cannot be read.
int64_t CountMatchesInFile(const std::wstring& path);

// One backup of the open connection. Writes through the same connection while it runs reach the copy too.
class ProfileBackup {
 public:
  enum State { Idle, Copying, Verifying, Done, Failed };
  ProfileBackup() = default;
  ~ProfileBackup();
  ProfileBackup(const ProfileBackup&) = delete;
  ProfileBackup& operator=(const ProfileBackup&) = delete;

  bool Begin(sqlite3* source, const std::wstring& profilePath, const std::wstring& folder);
  // Copies up to `pages` pages, or looks whether the check has ended; never waits for the check.
  State Step(int pages);
  // Steps until done or failed, waiting for the check.
  State RunToEnd();
  // Gives up: nothing is left behind but older copies.
  void Abandon();
  State state() const { return state_; }
  sqlite3* source() const { return source_; }
  const std::wstring& finishedPath() const { return final_; }
  const std::wstring& folder() const { return folder_; }
  // Known once the copy is done.
  int64_t matches() const { return matches_; }

 private:
  void Fail();
  static DWORD WINAPI VerifyThread(void* self);
  State state_ = Idle;
  sqlite3* source_ = nullptr;
  sqlite3* target_ = nullptr;
  sqlite3* counter_ = nullptr;  // holds the state the copy was taken of, until the check thread counted it
  sqlite3_backup* backup_ = nullptr;
  std::wstring folder_, final_, temporary_;
  int64_t matches_ = 0;
  HANDLE thread_ = nullptr;
  volatile LONG verified_ = 0;
};
