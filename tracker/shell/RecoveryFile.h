// The recovery file of a profile: the captured matches it could not take yet, one line each, beside the
// profile or, when that cannot be written, in the user's application data.
#pragma once
#include <string>
#include <vector>

#include "store/MatchRecord.h"

// The same match: every stored value equal.
bool SameMatch(const MatchRecord& a, const MatchRecord& b);
void AddMatchOnce(std::vector<MatchRecord>& records, const MatchRecord& record);

// Appends what the file holds; false when it is not there or not a recovery file. A line that cannot be read
// is passed over.
bool ReadRecoveryFile(const std::wstring& path, std::vector<MatchRecord>& records);
// What both recovery files of a profile hold, each match once.
std::vector<MatchRecord> ReadRecoveredMatches(const std::wstring& profilePath);
// Replaces the file by these matches; trusted only once read back whole.
bool WriteRecoveryFile(const std::wstring& path, const std::vector<MatchRecord>& records);
void RemoveRecoveryFile(const std::wstring& path);

// The recovery file of a profile: its path with ".pending" appended.
std::wstring RecoveryFilePath(const std::wstring& profilePath);
// Where it goes when it cannot be written there: the user's application data (%LOCALAPPDATA%\Corvenka),
// named after the profile's full path.
std::wstring FallbackRecoveryFilePath(const std::wstring& profilePath);
