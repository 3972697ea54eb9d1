// Matches written out for spreadsheets and scripts: CSV (UTF-8 with a byte-order mark, RFC 4180) or a JSON
// array, with local times in ISO 8601 with their UTC offset and names converted to UTF-8.
#pragma once
#include <windows.h>

#include <string>

#include "common/AtomicFile.h"
#include "store/MatchRecord.h"

enum class ExportFormat { Csv, Json };

// "2026-12-08T21:05:03.120+09:00" for a local-clock timestamp.
std::string IsoLocalTime(int64_t timestamp);

// Rows go to a file beside the target, which replaces the target only when Commit succeeds: a failure, or a
// writer dropped before Commit, leaves an older file as it was. Rows stream through, so a profile of
// millions of matches is never held in memory.
class ExportWriter {
 public:
  ExportWriter(const std::wstring& path, ExportFormat format);
  void Add(const MatchRecord& record);
  // On failure, `error` says why in the user's words.
  bool Commit(std::wstring* error);
  size_t Rows() const { return rows_; }

 private:
  void Flush();
  AtomicFile file_;
  ExportFormat format_;
  std::string buffer_;
  size_t rows_ = 0;
};

// The save dialog (default name: the profile's); true when the user chose a file, whose path is given.
bool ChooseExportFile(HWND owner, ExportFormat format, std::wstring* path);
// The balloon at the tray icon after an export: the file and the number of matches written.
void AnnounceExport(const std::wstring& path, size_t rows);
// The message box for a failed export.
void ReportExportFailure(HWND owner, const std::wstring& path, const std::wstring& reason);
