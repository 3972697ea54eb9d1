// Getting a profile's matches back: from a backup into the open profile, and from a damaged file (the newest
// sound backup plus what SQLite's recovery can still read from the damaged pages).
#pragma once
#include <cstdint>
#include <string>

// Replaces every match of the profile at `profilePath` with the matches of `backupPath`, through a connection of
// its own, in one transaction; matches from `keepFrom` on (captured since the restore began) stay. The profile's
// schema stays as it is. `matches`: how many it holds now.
bool ReplaceMatchesFromBackup(const std::wstring& profilePath, const std::wstring& backupPath, int64_t keepFrom,
                              int64_t* matches);

// The newest copy in `backupFolder` that passes quick_check; empty when there is none.
std::wstring NewestSoundBackup(const std::wstring& backupFolder, const std::wstring& profilePath);

// A file refused as no database that still looks like a profile gone bad (SQLite's header, a header wiped to
// zeros on a file of whole pages, or backups of it), not some other file chosen by mistake.
bool LooksLikeDamagedProfile(const std::wstring& profilePath, const std::wstring& backupFolder);

struct SalvageResult {
  std::wstring keptAs;      // where the damaged file now is
  std::wstring backupUsed;  // empty: none, the profile starts empty
  int64_t fromBackup = 0;
  int64_t salvaged = 0;     // matches read from the damaged file that the backup did not hold
};
// The damaged profile is moved aside ("<name>-damaged-YYYYMMDD-HHMMSS.db" beside it, never deleted), a new
// profile is made at its path from the newest sound backup, and every match the recovery reads from the damaged
// file that the backup does not hold is added, if it is one a capture could have stored. The profile must not be
// open. False when nothing was changed (the damaged file could not be moved, or no new profile could be made:
// then the damaged file is back at its path).
bool SalvageProfile(const std::wstring& profilePath, const std::wstring& backupFolder, SalvageResult* result);
