#include "views/MatchExport.h"

#include <commdlg.h>
#include <shlwapi.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "views/ViewCommon.h"
#include "common/CharacterTable.h"
#include "common/FileDialog.h"
#include "common/TextUtil.h"
#include "shell/TrayMenu.h"
#include "store/RecordDatabase.h"

namespace {
const char* const Fields[] = {"datetime",      "own_name",          "own_character", "own_character_id",
                              "own_rounds",    "opponent_name",     "opponent_character",
                              "opponent_character_id", "opponent_rounds", "result"};

std::string NameUtf8(const char* ansi) {
  std::wstring wide = AnsiToWide(ansi);
  return WideToUtf8(wide.c_str());
}

std::string CharacterUtf8(int id) {
  const CharacterEntry* entry = LookupCharacter(id);
  return entry ? WideToUtf8(entry->fullName) : std::string();
}

// The values of one row in field order; numbers are marked so that JSON leaves them unquoted, and the names,
// which strangers choose, so that CSV never hands a spreadsheet a formula.
struct Value {
  std::string text;
  bool number;
  bool name;
};

// The rule every figure uses: a side wins when its rounds divided by 2 is 1; a row that does not decide
// exactly one winner that way has no result.
const char* ResultOf(const MatchRecord& r) {
  bool won = r.p1win / 2 == 1, lost = r.p2win / 2 == 1;
  if (won == lost) return "";
  return won ? "win" : "loss";
}

std::vector<Value> RowValues(const MatchRecord& r) {
  auto number = [](int n) { return Value{std::to_string(n), true, false}; };
  auto text = [](std::string s) { return Value{std::move(s), false, false}; };
  auto name = [](const char* ansi) { return Value{NameUtf8(ansi), false, true}; };
  return {text(IsoLocalTime(r.timestamp)), name(r.p1name), text(CharacterUtf8(r.p1id)),
          number(r.p1id), number(r.p1win), name(r.p2name), text(CharacterUtf8(r.p2id)),
          number(r.p2id), number(r.p2win), text(ResultOf(r))};
}

// A spreadsheet evaluates a cell that begins like a formula; an apostrophe in front makes it text.
bool LooksLikeFormula(const std::string& text) {
  return !text.empty() && text[0] && strchr("=+-@\t\r", text[0]);
}

std::string CsvField(const std::string& text, bool name) {
  bool formula = name && LooksLikeFormula(text);
  if (!formula && text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string quoted = formula ? "\"'" : "\"";
  for (char c : text) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
  return quoted + "\"";
}

std::string JsonString(const std::string& text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += (char)c;
    } else if (c < 0x20) {
      char escape[8];
      snprintf(escape, sizeof escape, "\\u%04x", c);
      out += escape;
    } else {
      out += (char)c;
    }
  }
  return out + "\"";
}

}  // namespace

std::string IsoLocalTime(int64_t timestamp) {
  SYSTEMTIME local = TimestampToCalendar(timestamp);
  // The offset in force at that moment, daylight saving included.
  SYSTEMTIME utc;
  FILETIME utcTime;
  int offsetMinutes = 0;
  if (TzSpecificLocalTimeToSystemTime(nullptr, &local, &utc) && SystemTimeToFileTime(&utc, &utcTime)) {
    int64_t utcUnits = ((int64_t)utcTime.dwHighDateTime << 32) | utcTime.dwLowDateTime;
    offsetMinutes = (int)((timestamp - utcUnits) / 600000000LL);
  }
  int magnitude = offsetMinutes < 0 ? -offsetMinutes : offsetMinutes;
  char text[48];
  snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03d%c%02d:%02d", local.wYear, local.wMonth, local.wDay,
           local.wHour, local.wMinute, local.wSecond, local.wMilliseconds, offsetMinutes < 0 ? '-' : '+',
           magnitude / 60, magnitude % 60);
  return text;
}

ExportWriter::ExportWriter(const std::wstring& path, ExportFormat format) : file_(path), format_(format) {
  if (format_ == ExportFormat::Csv) {
    buffer_ = "\xEF\xBB\xBF";
    for (size_t i = 0; i < ARRAYSIZE(Fields); ++i) buffer_ += std::string(i ? "," : "") + Fields[i];
    buffer_ += "\r\n";
  } else {
    buffer_ = "[";
  }
}

void ExportWriter::Add(const MatchRecord& record) {
  if (file_.Error()) return;
  std::vector<Value> values = RowValues(record);
  if (format_ == ExportFormat::Csv) {
    for (size_t i = 0; i < values.size(); ++i) buffer_ += (i ? "," : "") + CsvField(values[i].text, values[i].name);
    buffer_ += "\r\n";
  } else {
    buffer_ += rows_ ? ",\n  {" : "\n  {";
    for (size_t i = 0; i < values.size(); ++i)
      buffer_ += (i ? ", " : "") + JsonString(Fields[i]) + ": " +
                 (values[i].number ? values[i].text : JsonString(values[i].text));
    buffer_ += "}";
  }
  ++rows_;
  if (buffer_.size() >= 1 << 16) Flush();
}

void ExportWriter::Flush() {
  if (file_.Write(buffer_.data(), buffer_.size())) buffer_.clear();
}

bool ExportWriter::Commit(std::wstring* error) {
  if (format_ == ExportFormat::Json) buffer_ += rows_ ? "\n]\n" : "]\n";
  Flush();
  DWORD code = file_.Commit();
  if (!code) return true;
  *error = SystemErrorText(code);
  return false;
}

bool ChooseExportFile(HWND owner, ExportFormat format, std::wstring* path) {
  bool csv = format == ExportFormat::Csv;
  wchar_t file[MAX_PATH] = L"";
  lstrcpynW(file, PathFindFileNameW(CurrentDatabasePath().c_str()), MAX_PATH);
  PathRemoveExtensionW(file);
  PathAddExtensionW(file, csv ? L".csv" : L".json");
  *path = file;
  return ChooseFileName(owner, true, csv ? L"CSVファイル (*.csv)\0*.csv\0" : L"JSONファイル (*.json)\0*.json\0",
                        csv ? L"csv" : L"json", OFN_OVERWRITEPROMPT | OFN_NOCHANGEDIR | OFN_PATHMUSTEXIST, *path,
                        csv ? L"CSVに書き出す" : L"JSONに書き出す");
}

void AnnounceExport(const std::wstring& path, size_t rows) {
  ShowTrayBalloon(L"書き出しました", FormatWide(L"%s に %d 件の対戦を書き出しました。", PathFindFileNameW(path.c_str()), (int)rows));
}

void ReportExportFailure(HWND owner, const std::wstring& path, const std::wstring& reason) {
  MessageBoxW(owner, FormatWide(L"書き出しに失敗しました。\n%s\n%s", path.c_str(), reason.c_str()).c_str(), nullptr,
              MB_ICONERROR);
}
