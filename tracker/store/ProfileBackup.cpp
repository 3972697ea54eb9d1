#include "store/ProfileBackup.h"

#include <shlwapi.h>
#include <sqlite3.h>

#include <algorithm>
#include <cwchar>

#include "common/TextUtil.h"
#include "store/MatchRecord.h"

namespace {
constexpr int64_t UnitsPerSecond = 10000000LL;

SYSTEMTIME ToCalendar(int64_t taken) {
  FILETIME ft{(DWORD)(uint64_t)taken, (DWORD)((uint64_t)taken >> 32)};
  SYSTEMTIME at{};
  FileTimeToSystemTime(&ft, &at);
  return at;
}

std::wstring FolderOf(const std::wstring& path) {
  size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? std::wstring(L".") : path.substr(0, slash);
}

std::wstring Join(const std::wstring& folder, const std::wstring& name) {
  if (!folder.empty() && folder.back() != L'\\' && folder.back() != L'/') return folder + L"\\" + name;
  return folder + name;
}

bool Digits(const wchar_t* text, int count) {
  for (int i = 0; i < count; ++i)
    if (text[i] < L'0' || text[i] > L'9') return false;
  return true;
}

int Number(const wchar_t* text, int count) {
  int n = 0;
  for (int i = 0; i < count; ++i) n = n * 10 + (text[i] - L'0');
  return n;
}

// "<base>-YYYYMMDD-HHMMSS.db", nothing else.
bool ParseBackupName(const std::wstring& name, const std::wstring& base, int64_t* taken) {
  const size_t stamp = 1 + 8 + 1 + 6;
  if (name.size() != base.size() + stamp + 3 || CompareStringOrdinal(name.c_str(), (int)base.size(), base.c_str(),
                                                                     (int)base.size(), TRUE) != CSTR_EQUAL)
    return false;
  const wchar_t* s = name.c_str() + base.size();
  if (s[0] != L'-' || !Digits(s + 1, 8) || s[9] != L'-' || !Digits(s + 10, 6) || _wcsicmp(s + 16, L".db") != 0)
    return false;
  SYSTEMTIME at{};
  at.wYear = (WORD)Number(s + 1, 4);
  at.wMonth = (WORD)Number(s + 5, 2);
  at.wDay = (WORD)Number(s + 7, 2);
  at.wHour = (WORD)Number(s + 10, 2);
  at.wMinute = (WORD)Number(s + 12, 2);
  at.wSecond = (WORD)Number(s + 14, 2);
  FILETIME ft;
  if (!SystemTimeToFileTime(&at, &ft)) return false;
  *taken = (int64_t)(((uint64_t)ft.dwHighDateTime << 32) | ft.dwLowDateTime);
  return true;
}

sqlite3* OpenReadOnly(const std::wstring& path) {
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(WideToUtf8(path.c_str()).c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
    sqlite3_close(db);
    return nullptr;
  }
  return db;
}

// A connection of its own to the file of `db`, inside a read transaction begun now; null when it cannot read.
sqlite3* BeginReading(sqlite3* db) {
  const char* file = sqlite3_db_filename(db, "main");
  sqlite3* reader = nullptr;
  if (!file || !*file ||
      sqlite3_open_v2(file, &reader, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK ||
      sqlite3_exec(reader, "BEGIN; SELECT 1 FROM sqlite_master LIMIT 1", nullptr, nullptr, nullptr) != SQLITE_OK) {
    sqlite3_close(reader);
    return nullptr;
  }
  return reader;
}
}  // namespace

std::wstring BackupFolderFor(const std::wstring& profilePath, const std::wstring& folderSetting) {
  if (!folderSetting.empty()) return folderSetting;
  return Join(FolderOf(profilePath), L"Backups");
}

std::wstring ProfileBaseName(const std::wstring& profilePath) {
  std::wstring name = PathFindFileNameW(profilePath.c_str());
  size_t dot = name.find_last_of(L'.');
  return dot == std::wstring::npos || dot == 0 ? name : name.substr(0, dot);
}

std::wstring BackupFileName(const std::wstring& profilePath, int64_t taken) {
  SYSTEMTIME at = ToCalendar(taken);
  return ProfileBaseName(profilePath) + FormatWide(L"-%04d%02d%02d-%02d%02d%02d.db", at.wYear, at.wMonth, at.wDay,
                                                   at.wHour, at.wMinute, at.wSecond);
}

std::vector<BackupEntry> ListBackups(const std::wstring& folder, const std::wstring& profilePath) {
  std::vector<BackupEntry> found;
  std::wstring base = ProfileBaseName(profilePath);
  WIN32_FIND_DATAW data;
  HANDLE search = FindFirstFileW(Join(folder, base + L"-*.db").c_str(), &data);
  if (search == INVALID_HANDLE_VALUE) return found;
  do {
    BackupEntry entry;
    if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || !ParseBackupName(data.cFileName, base, &entry.taken))
      continue;
    entry.path = Join(folder, data.cFileName);
    found.push_back(entry);
  } while (FindNextFileW(search, &data));
  FindClose(search);
  std::sort(found.begin(), found.end(), [](const BackupEntry& a, const BackupEntry& b) { return a.taken > b.taken; });
  return found;
}

std::vector<size_t> BackupsToRemove(const std::vector<BackupEntry>& newestFirst, int keepDaily, int keepWeekly) {
  std::vector<bool> keep(newestFirst.size(), false);
  if (newestFirst.empty()) return {};
  keep[0] = true;
  // 1601-01-01 was a Monday, so whole weeks since then start on Mondays.
  auto day = [&](size_t i) { return newestFirst[i].taken / TimestampUnitsPerDay; };
  int64_t newestDay = day(0);
  int days = 0;
  int64_t lastDay = -1;
  size_t i = 0;
  for (; i < newestFirst.size(); ++i) {
    if (day(i) == newestDay) {
      keep[i] = true;
      continue;
    }
    if (day(i) != lastDay) {
      if (days + 1 >= keepDaily) break;  // the newest day counts as one
      ++days;
      lastDay = day(i);
      keep[i] = true;
    }
  }
  int weeks = 0;
  int64_t lastWeek = -1;
  if (i < newestFirst.size() && i > 0) lastWeek = day(i - 1) / 7;
  for (; i < newestFirst.size() && weeks < keepWeekly; ++i) {
    int64_t week = day(i) / 7;
    if (week == lastWeek) continue;
    lastWeek = week;
    ++weeks;
    keep[i] = true;
  }
  std::vector<size_t> removed;
  for (size_t k = 0; k < keep.size(); ++k)
    if (!keep[k]) removed.push_back(k);
  return removed;
}

int RotateBackups(const std::wstring& folder, const std::wstring& profilePath, int keepDaily, int keepWeekly) {
  std::vector<BackupEntry> entries = ListBackups(folder, profilePath);
  int removed = 0;
  for (size_t index : BackupsToRemove(entries, keepDaily, keepWeekly))
    if (DeleteFileW(entries[index].path.c_str())) ++removed;
  return removed;
}

int64_t CountMatches(sqlite3* db, const char* schema) {
  char* sql = sqlite3_mprintf("SELECT count(*) FROM \"%w\".viziriduvozmirrow", schema);
  sqlite3_stmt* statement = nullptr;
  int64_t count = -1;
  if (sql && sqlite3_prepare_v2(db, sql, -1, &statement, nullptr) == SQLITE_OK && sqlite3_step(statement) == SQLITE_ROW)
    count = sqlite3_column_int64(statement, 0);
  sqlite3_finalize(statement);
  sqlite3_free(sql);
  return count;
}

int64_t CountMatchesInFile(const std::wstring& path) {
  sqlite3* db = OpenReadOnly(path);
  if (!db) return -1;
  int64_t count = CountMatches(db);
  sqlite3_close(db);
  return count;
}

namespace {
// SQLITE_OK with "ok" as the only row, SQLITE_CORRUPT (or another code) otherwise.
int QuickCheck(sqlite3* db) {
  sqlite3_stmt* statement = nullptr;
  int rc = sqlite3_prepare_v2(db, "PRAGMA quick_check", -1, &statement, nullptr);
  if (rc == SQLITE_OK) rc = sqlite3_step(statement);
  if (rc == SQLITE_ROW) {
    const unsigned char* first = sqlite3_column_text(statement, 0);
    rc = first && strcmp((const char*)first, "ok") == 0 && sqlite3_step(statement) == SQLITE_DONE ? SQLITE_OK
                                                                                                   : SQLITE_CORRUPT;
  }
  sqlite3_finalize(statement);
  return rc;
}
}  // namespace

bool VerifyBackupFile(const std::wstring& path, int64_t expectedMatches) {
  sqlite3* db = OpenReadOnly(path);
  if (!db) return false;
  bool complete = QuickCheck(db) == SQLITE_OK && CountMatches(db) == expectedMatches;
  sqlite3_close(db);
  return complete;
}

FileCheck QuickCheckProfileFile(const std::wstring& path) {
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(WideToUtf8(path.c_str()).c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
    sqlite3_close(db);
    db = OpenReadOnly(path);
    if (!db) return FileCheck::Unknown;
  }
  int rc = QuickCheck(db);
  sqlite3_close(db);
  if (rc == SQLITE_OK) return FileCheck::Sound;
  return (rc & 0xFF) == SQLITE_CORRUPT || (rc & 0xFF) == SQLITE_NOTADB ? FileCheck::Damaged : FileCheck::Unknown;
}

ProfileBackup::~ProfileBackup() { Abandon(); }

bool ProfileBackup::Begin(sqlite3* source, const std::wstring& profilePath, const std::wstring& folder) {
  Abandon();
  state_ = Failed;
  if (!source) return false;
  folder_ = folder;
  if (!PathIsDirectoryW(folder.c_str())) CreateDirectoryW(folder.c_str(), nullptr);
  SYSTEMTIME now;
  GetLocalTime(&now);
  FILETIME ft;
  SystemTimeToFileTime(&now, &ft);
  int64_t taken = (int64_t)(((uint64_t)ft.dwHighDateTime << 32) | ft.dwLowDateTime);
  // Two copies within one second (before a restore, then at exit) must not share a name.
  do {
    final_ = Join(folder, BackupFileName(profilePath, taken));
    taken += UnitsPerSecond;
  } while (PathFileExistsW(final_.c_str()));
  temporary_ = final_ + L".tmp";
  DeleteFileW(temporary_.c_str());
  if (sqlite3_open(WideToUtf8(temporary_.c_str()).c_str(), &target_) != SQLITE_OK) {
    Fail();
    return false;
  }
  backup_ = sqlite3_backup_init(target_, "main", source, "main");
  if (!backup_) {
    Fail();
    return false;
  }
  source_ = source;
  state_ = Copying;
  return true;
}

ProfileBackup::State ProfileBackup::Step(int pages) {
  if (state_ == Copying) {
    int rc = sqlite3_backup_step(backup_, pages);
    if (rc == SQLITE_OK || rc == SQLITE_BUSY || rc == SQLITE_LOCKED) return state_;
    sqlite3_backup_finish(backup_);
    backup_ = nullptr;
    bool closed = sqlite3_close(target_) == SQLITE_OK;
    target_ = nullptr;
    // The copy holds the profile as it is at this moment: a reader of its own holds that state for the check
    // thread to count, which takes long on a big profile. Our next commit waits for that count.
    matches_ = -1;
    counter_ = rc == SQLITE_DONE ? BeginReading(source_) : nullptr;
    if (rc != SQLITE_DONE || !counter_ || !closed) {
      Fail();
      return state_;
    }
    verified_ = 0;
    thread_ = CreateThread(nullptr, 0, VerifyThread, this, 0, nullptr);
    if (!thread_) {
      Fail();
      return state_;
    }
    state_ = Verifying;
    return state_;
  }
  if (state_ == Verifying && WaitForSingleObject(thread_, 0) == WAIT_OBJECT_0) {
    CloseHandle(thread_);
    thread_ = nullptr;
    if (verified_ && MoveFileExW(temporary_.c_str(), final_.c_str(), MOVEFILE_WRITE_THROUGH)) {
      state_ = Done;
    } else {
      Fail();
    }
  }
  return state_;
}

ProfileBackup::State ProfileBackup::RunToEnd() {
  while (state_ == Copying || state_ == Verifying) {
    if (state_ == Verifying) WaitForSingleObject(thread_, INFINITE);
    Step(4096);
  }
  return state_;
}

DWORD WINAPI ProfileBackup::VerifyThread(void* self) {
  auto* job = static_cast<ProfileBackup*>(self);
  job->matches_ = CountMatches(job->counter_);
  sqlite3_close(job->counter_);
  job->counter_ = nullptr;
  InterlockedExchange(&job->verified_, job->matches_ >= 0 && VerifyBackupFile(job->temporary_, job->matches_) ? 1 : 0);
  return 0;
}

void ProfileBackup::Fail() {
  if (backup_) sqlite3_backup_finish(backup_);
  backup_ = nullptr;
  if (target_) sqlite3_close(target_);
  target_ = nullptr;
  if (thread_) {
    WaitForSingleObject(thread_, INFINITE);
    CloseHandle(thread_);
    thread_ = nullptr;
  }
  if (counter_) sqlite3_close(counter_);
  counter_ = nullptr;
  if (!temporary_.empty()) DeleteFileW(temporary_.c_str());
  state_ = Failed;
}

void ProfileBackup::Abandon() {
  if (state_ == Copying || state_ == Verifying) Fail();
  state_ = Idle;
  source_ = nullptr;
}
