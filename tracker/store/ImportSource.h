// Where imported matches come from: another profile file, or our own CSV or JSON export, read row by row.
#pragma once
#include <windows.h>

#include <functional>
#include <string>

#include "store/MatchRecord.h"

struct sqlite3;

enum class ImportFormat { Profile, Csv, Json };
// By the file's extension; anything else is read as a profile.
ImportFormat ImportFormatOf(const std::wstring& path);

// One row as read, or why it is refused.
struct SourceRow {
  int64_t line = 0;
  MatchRecord record{};
  std::wstring refusal;
};
using RowSink = std::function<bool(const SourceRow&)>;  // false stops the reading

// Every row of the file, in its order, to `sink`. False (with `error`) when the file cannot be read as a whole.
bool ReadImportRows(const std::wstring& path, const RowSink& sink, std::wstring* error);
// A connection of its own to a profile file, waiting up to 5 s for another program's lock; null when refused.
sqlite3* OpenProfileFile(const std::wstring& path, int flags);
// The two paths name one file (by its identity where both can be opened).
bool SameFile(const std::wstring& a, const std::wstring& b);
