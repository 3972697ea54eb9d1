// Matches taken in from another profile file (.db) or from our own CSV or JSON export: a match whose timestamp
// the profile does not hold is added, one with the same timestamp and values is already there, one with the same
// timestamp and other values is a conflict and stays as the profile has it.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "store/ImportSource.h"
#include "store/MatchRecord.h"


// Rows are listed up to this many; the counts are always whole.
constexpr size_t ImportListLimit = 50;

struct ImportCheck {
  int64_t rows = 0;     // readable rows
  int64_t refused = 0;  // rows that cannot be converted or parsed
  std::vector<std::pair<int64_t, std::wstring>> refusedRows;  // line (row number for a profile), why
};

struct ImportCounts {
  int64_t added = 0, already = 0, conflicts = 0, refused = 0;
  std::vector<int64_t> conflictTimestamps;
  std::vector<std::pair<int64_t, std::wstring>> refusedRows;  // line (row number for a profile), why
};

// Reads every row without storing anything. False (with `error`) when the file cannot be read as a whole.
// `progress` (may be null) counts the rows read.
bool CheckImportFile(const std::wstring& path, ImportCheck* check, std::wstring* error, volatile LONG* progress);

// Takes the rows of `source` into the profile at `profilePath`, through a connection of its own, in one
// transaction. A file with refused rows is taken (without them) only with `skipRefused`; otherwise nothing is
// taken, and the result is false with `counts` holding only the refused rows. False (with `error`) when nothing
// was changed.
bool ImportMatches(const std::wstring& source, const std::wstring& profilePath, bool skipRefused,
                   ImportCounts* counts, std::wstring* error, volatile LONG* progress);

// "N 件を取り込みました。M 件は既にありました。K 件は食い違うため取り込みませんでした。"
std::wstring ImportSummaryText(const ImportCounts& counts);
