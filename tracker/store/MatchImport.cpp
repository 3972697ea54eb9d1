#include "store/MatchImport.h"

#include <shlwapi.h>
#include <sqlite3.h>

#include <cstring>
#include <functional>
#include <unordered_map>

#include "common/TextUtil.h"

namespace {
// One row as read, or why it is refused.
struct SourceRow {
  int64_t line = 0;
  MatchRecord record{};
  std::wstring refusal;
};
using RowSink = std::function<bool(const SourceRow&)>;  // false stops the reading

const char* const ExportFields[] = {"datetime",      "own_name",          "own_character", "own_character_id",
                                    "own_rounds",    "opponent_name",     "opponent_character",
                                    "opponent_character_id", "opponent_rounds", "result"};

// The file mapped whole: an export of a million matches is read in place, not copied.
class MappedFile {
 public:
  explicit MappedFile(const std::wstring& path) {
    file_ = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                        nullptr);
    if (file_ == INVALID_HANDLE_VALUE) return;
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file_, &size) || size.QuadPart > 0x60000000) return;
    size_ = (size_t)size.QuadPart;
    ok_ = true;
    if (size_ == 0) return;
    mapping_ = CreateFileMappingW(file_, nullptr, PAGE_READONLY, 0, 0, nullptr);
    data_ = mapping_ ? static_cast<const char*>(MapViewOfFile(mapping_, FILE_MAP_READ, 0, 0, 0)) : nullptr;
    ok_ = data_ != nullptr;
  }
  ~MappedFile() {
    if (data_) UnmapViewOfFile(data_);
    if (mapping_) CloseHandle(mapping_);
    if (file_ != INVALID_HANDLE_VALUE) CloseHandle(file_);
  }
  bool ok() const { return ok_; }
  const char* data() const { return data_ ? data_ : ""; }
  size_t size() const { return size_; }

 private:
  HANDLE file_ = INVALID_HANDLE_VALUE, mapping_ = nullptr;
  const char* data_ = nullptr;
  size_t size_ = 0;
  bool ok_ = false;
};

// UTF-8 to the code page the profile stores names in; refused when a character has no exact form there.
bool NameFromUtf8(const std::string& utf8, char (&field)[260]) {
  memset(field, 0, sizeof field);
  if (utf8.empty()) return true;
  int units = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), (int)utf8.size(), nullptr, 0);
  if (units <= 0) return false;
  std::wstring wide(units, L'\0');
  MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), (int)utf8.size(), &wide[0], units);
  if (wide.find(L'\0') != std::wstring::npos) return false;
  BOOL lossy = FALSE;
  int bytes = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.c_str(), units, nullptr, 0, nullptr, &lossy);
  if (bytes <= 0 || bytes >= (int)sizeof field || lossy) return false;
  WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.c_str(), units, field, bytes, nullptr, &lossy);
  return !lossy;
}

bool SmallNumber(const std::string& text, int low, int high, int32_t* value) {
  if (text.empty() || text.size() > 3) return false;
  int n = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    n = n * 10 + (c - '0');
  }
  if (n < low || n > high) return false;
  *value = n;
  return true;
}

// "2026-12-08T21:05:03.120+09:00": the local clock as written; the offset only tells the zone it was in.
bool ParseLocalTime(const std::string& text, int64_t* timestamp) {
  // Fixed positions: digits, and the separators between them.
  static const char shape[] = "dddd-dd-ddTdd:dd:dd.ddd";
  if (text.size() < 23) return false;
  for (int i = 0; i < 23; ++i)
    if (shape[i] == 'd' ? !isdigit((unsigned char)text[i]) : text[i] != shape[i]) return false;
  auto number = [&](int at, int digits) {
    int n = 0;
    for (int i = 0; i < digits; ++i) n = n * 10 + (text[at + i] - '0');
    return n;
  };
  int year = number(0, 4), month = number(5, 2), day = number(8, 2), hour = number(11, 2), minute = number(14, 2),
      second = number(17, 2), millisecond = number(20, 3);
  std::string zone = text.substr(23);
  if (!(zone.empty() || zone == "Z" ||
        (zone.size() == 6 && (zone[0] == '+' || zone[0] == '-') && isdigit((unsigned char)zone[1]) &&
         isdigit((unsigned char)zone[2]) && zone[3] == ':' && isdigit((unsigned char)zone[4]) &&
         isdigit((unsigned char)zone[5]))))
    return false;
  SYSTEMTIME at{(WORD)year, (WORD)month, 0, (WORD)day, (WORD)hour, (WORD)minute, (WORD)second, (WORD)millisecond};
  FILETIME ft;
  if (year < 1601 || !SystemTimeToFileTime(&at, &ft)) return false;
  *timestamp = (int64_t)(((uint64_t)ft.dwHighDateTime << 32) | ft.dwLowDateTime);
  return true;
}

// A row of export fields by name into a record; the refusal says which field is wrong.
constexpr size_t FieldCount = sizeof ExportFields / sizeof ExportFields[0];
// The values of one row in the order of ExportFields; a field the row lacks is null.
struct RowFields {
  std::string value[FieldCount];
  bool present[FieldCount] = {};
};

int FieldIndex(const std::string& name) {
  for (size_t i = 0; i < FieldCount; ++i)
    if (name == ExportFields[i]) return (int)i;
  return -1;
}

// Names repeat from match to match; their conversions are kept (a bounded number of them).
class NameCache {
 public:
  bool Convert(const std::string& utf8, char (&field)[260]) {
    auto found = names_.find(utf8);
    if (found != names_.end()) {
      if (!found->second.first) return false;
      memcpy(field, found->second.second.data(), sizeof field);
      return true;
    }
    bool ok = NameFromUtf8(utf8, field);
    if (names_.size() < 20000) names_[utf8] = {ok, std::string(field, sizeof field)};
    return ok;
  }

 private:
  std::unordered_map<std::string, std::pair<bool, std::string>> names_;
};

void FieldsToRow(const RowFields& fields, NameCache& names, SourceRow* row) {
  auto get = [&](const char* name) -> const std::string* {
    int i = FieldIndex(name);
    return i >= 0 && fields.present[i] ? &fields.value[i] : nullptr;
  };
  const std::string* value = get("datetime");
  MatchRecord& r = row->record;
  if (!value || !ParseLocalTime(*value, &r.timestamp)) {
    row->refusal = L"日時が読めません";
  } else if (!(value = get("own_name")) || !names.Convert(*value, r.p1name)) {
    row->refusal = L"自分の名前をこのプロファイルの文字コードに変換できません";
  } else if (!(value = get("opponent_name")) || !names.Convert(*value, r.p2name)) {
    row->refusal = L"相手の名前をこのプロファイルの文字コードに変換できません";
  } else if (!(value = get("own_character_id")) || !SmallNumber(*value, 0, 13, &r.p1id) ||
             !(value = get("opponent_character_id")) || !SmallNumber(*value, 0, 13, &r.p2id)) {
    row->refusal = L"キャラクター番号が読めません";
  } else if (!(value = get("own_rounds")) || !SmallNumber(*value, 0, 2, &r.p1win) ||
             !(value = get("opponent_rounds")) || !SmallNumber(*value, 0, 2, &r.p2win)) {
    row->refusal = L"ラウンド数が読めません";
  }
}

bool ReadCsv(const MappedFile& file, const RowSink& sink, std::wstring* error) {
  const char* p = file.data();
  const char* end = p + file.size();
  if (file.size() >= 3 && memcmp(p, "\xEF\xBB\xBF", 3) == 0) p += 3;
  int64_t line = 1;
  // One record; fields may hold quoted line breaks.
  auto record = [&](std::vector<std::string>& fields, bool* bad) {
    fields.assign(1, std::string());
    *bad = false;
    while (p < end) {
      char c = *p;
      if (c == '"' && fields.back().empty()) {
        ++p;
        for (;;) {
          if (p >= end) {
            *bad = true;
            return;
          }
          if (*p == '"') {
            if (p + 1 < end && p[1] == '"') {
              fields.back() += '"';
              p += 2;
              continue;
            }
            ++p;
            break;
          }
          if (*p == '\n') ++line;
          fields.back() += *p++;
        }
        if (p < end && *p != ',' && *p != '\r' && *p != '\n') *bad = true;
        continue;
      }
      if (c != ',' && c != '\n' && c != '\r') {
        const char* start = p;
        while (p < end && *p != ',' && *p != '\n' && *p != '\r') ++p;
        fields.back().append(start, p);
        continue;
      }
      ++p;
      if (c == ',') {
        fields.emplace_back();
      } else if (c == '\n') {
        ++line;
        break;
      }
    }
  };
  std::vector<std::string> header;
  bool bad = false;
  record(header, &bad);
  std::vector<int> target(header.size());
  size_t found = 0;
  for (size_t i = 0; i < header.size(); ++i) {
    target[i] = FieldIndex(header[i]);
    if (target[i] >= 0) ++found;
  }
  if (bad || found < FieldCount) {
    *error = L"Corvenka が書き出した CSV ファイルではありません（1 行目の見出しが違います）。";
    return false;
  }
  std::vector<std::string> fields;
  NameCache names;
  RowFields rowFields;
  while (p < end) {
    SourceRow row;
    row.line = line;
    record(fields, &bad);
    if (fields.size() == 1 && fields[0].empty() && !bad) continue;  // an empty line
    if (bad || fields.size() != header.size()) {
      row.refusal = L"列の数が見出しと合いません";
    } else {
      for (size_t i = 0; i < fields.size(); ++i) {
        if (target[i] < 0) continue;
        rowFields.value[target[i]].swap(fields[i]);
        rowFields.present[target[i]] = true;
      }
      FieldsToRow(rowFields, names, &row);
    }
    if (!sink(row)) break;
  }
  return true;
}

// Our JSON export: an array of flat objects of strings and numbers.
class JsonReader {
 public:
  JsonReader(const char* p, const char* end) : p_(p), end_(end) {}
  bool Read(const RowSink& sink, std::wstring* error) {
    Space();
    if (!Take('[')) return Refuse(error, line_);
    Space();
    if (Take(']')) return true;
    for (;;) {
      Space();
      SourceRow row;
      row.line = line_;
      RowFields fields;
      if (!Object(fields)) return Refuse(error, row.line);
      FieldsToRow(fields, names_, &row);
      if (!sink(row)) return true;
      Space();
      if (Take(']')) return true;
      if (!Take(',')) return Refuse(error, line_);
    }
  }

 private:
  bool Refuse(std::wstring* error, int64_t line) {
    *error = FormatWide(L"Corvenka が書き出した JSON ファイルとして読めません（%d 行目）。", (int)line);
    return false;
  }
  void Space() {
    while (p_ < end_ && (*p_ == ' ' || *p_ == '\t' || *p_ == '\r' || *p_ == '\n' || *p_ == '\xEF' || *p_ == '\xBB' ||
                         *p_ == '\xBF')) {
      if (*p_ == '\n') ++line_;
      ++p_;
    }
  }
  bool Take(char c) {
    if (p_ < end_ && *p_ == c) {
      ++p_;
      return true;
    }
    return false;
  }
  static void Utf8(unsigned code, std::string& out) {
    if (code < 0x80) {
      out += (char)code;
    } else if (code < 0x800) {
      out += (char)(0xC0 | (code >> 6));
      out += (char)(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
      out += (char)(0xE0 | (code >> 12));
      out += (char)(0x80 | ((code >> 6) & 0x3F));
      out += (char)(0x80 | (code & 0x3F));
    } else {
      out += (char)(0xF0 | (code >> 18));
      out += (char)(0x80 | ((code >> 12) & 0x3F));
      out += (char)(0x80 | ((code >> 6) & 0x3F));
      out += (char)(0x80 | (code & 0x3F));
    }
  }
  bool Hex4(unsigned* code) {
    if (end_ - p_ < 4) return false;
    *code = 0;
    for (int i = 0; i < 4; ++i) {
      char c = *p_++;
      int digit = isdigit((unsigned char)c) ? c - '0' : (c >= 'a' && c <= 'f') ? c - 'a' + 10
                                                       : (c >= 'A' && c <= 'F') ? c - 'A' + 10 : -1;
      if (digit < 0) return false;
      *code = *code * 16 + digit;
    }
    return true;
  }
  bool String(std::string& out) {
    if (!Take('"')) return false;
    while (p_ < end_ && *p_ != '"') {
      char c = *p_++;
      if (c == '\n') return false;
      if (c != '\\') {
        out += c;
        continue;
      }
      if (p_ >= end_) return false;
      char e = *p_++;
      unsigned code;
      switch (e) {
        case '"': case '\\': case '/': out += e; break;
        case 'b': out += '\b'; break;
        case 'f': out += '\f'; break;
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        case 't': out += '\t'; break;
        case 'u':
          if (!Hex4(&code)) return false;
          if (code >= 0xD800 && code < 0xDC00) {
            unsigned low;
            if (!Take('\\') || !Take('u') || !Hex4(&low) || low < 0xDC00 || low > 0xDFFF) return false;
            code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
          }
          Utf8(code, out);
          break;
        default: return false;
      }
    }
    return Take('"');
  }
  bool Object(RowFields& fields) {
    if (!Take('{')) return false;
    Space();
    if (Take('}')) return true;
    for (;;) {
      Space();
      std::string key, value;
      if (!String(key)) return false;
      Space();
      if (!Take(':')) return false;
      Space();
      if (p_ < end_ && *p_ == '"') {
        if (!String(value)) return false;
      } else {
        while (p_ < end_ && (isalnum((unsigned char)*p_) || *p_ == '-' || *p_ == '.' || *p_ == '+')) value += *p_++;
        if (value.empty()) return false;
      }
      int index = FieldIndex(key);
      if (index >= 0) {
        fields.value[index] = value;
        fields.present[index] = true;
      }
      Space();
      if (Take('}')) return true;
      if (!Take(',')) return false;
    }
  }
  const char* p_;
  const char* end_;
  int64_t line_ = 1;
  NameCache names_;
};

sqlite3* OpenProfileFile(const std::wstring& path, int flags) {
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(WideToUtf8(path.c_str()).c_str(), &db, flags, nullptr) != SQLITE_OK) {
    sqlite3_close(db);
    return nullptr;
  }
  sqlite3_busy_timeout(db, 5000);
  return db;
}

bool ReadProfile(const std::wstring& path, const RowSink& sink, std::wstring* error) {
  sqlite3* db = OpenProfileFile(path, SQLITE_OPEN_READONLY);
  sqlite3_stmt* statement = nullptr;
  if (!db || sqlite3_prepare_v2(db,
                                "SELECT timestamp, p1name, p1id, p1win, p2name, p2id, p2win FROM viziriduvozmirrow "
                                "ORDER BY timestamp",
                                -1, &statement, nullptr) != SQLITE_OK) {
    sqlite3_close(db);
    *error = L"対戦記録のプロファイルとして読めません。";
    return false;
  }
  int64_t number = 0;
  int rc;
  while ((rc = sqlite3_step(statement)) == SQLITE_ROW) {
    SourceRow row;
    row.line = ++number;
    MatchRecord& r = row.record;
    auto integer = [&](int column, int low, int high, int32_t* out) {
      if (sqlite3_column_type(statement, column) != SQLITE_INTEGER) return false;
      sqlite3_int64 v = sqlite3_column_int64(statement, column);
      *out = (int32_t)v;
      return v >= low && v <= high;
    };
    auto name = [&](int column, char (&field)[260]) {
      memset(field, 0, sizeof field);
      int type = sqlite3_column_type(statement, column);
      if (type == SQLITE_NULL) return true;
      const unsigned char* text = sqlite3_column_text(statement, column);
      int bytes = sqlite3_column_bytes(statement, column);
      if (type != SQLITE_TEXT || bytes >= (int)sizeof field || memchr(text, 0, bytes)) return false;
      memcpy(field, text, bytes);
      return true;
    };
    r.timestamp = sqlite3_column_int64(statement, 0);
    if (!name(1, r.p1name) || !name(4, r.p2name))
      row.refusal = L"名前が記録できる形ではありません";
    else if (!integer(2, 0, 13, &r.p1id) || !integer(5, 0, 13, &r.p2id))
      row.refusal = L"キャラクター番号が範囲外です";
    else if (!integer(3, 0, 2, &r.p1win) || !integer(6, 0, 2, &r.p2win))
      row.refusal = L"ラウンド数が範囲外です";
    if (!sink(row)) break;
  }
  bool ok = rc == SQLITE_ROW || rc == SQLITE_DONE;
  sqlite3_finalize(statement);
  sqlite3_close(db);
  if (!ok) *error = L"プロファイルを最後まで読めませんでした。";
  return ok;
}

bool ReadRows(const std::wstring& path, const RowSink& sink, std::wstring* error) {
  ImportFormat format = ImportFormatOf(path);
  if (format == ImportFormat::Profile) return ReadProfile(path, sink, error);
  MappedFile file(path);
  if (!file.ok()) {
    *error = L"ファイルを読めませんでした。";
    return false;
  }
  if (format == ImportFormat::Csv) return ReadCsv(file, sink, error);
  return JsonReader(file.data(), file.data() + file.size()).Read(sink, error);
}

bool SameFile(const std::wstring& a, const std::wstring& b) {
  auto identity = [](const std::wstring& path, BY_HANDLE_FILE_INFORMATION* info) {
    HANDLE file = CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    bool ok = GetFileInformationByHandle(file, info) != FALSE;
    CloseHandle(file);
    return ok;
  };
  BY_HANDLE_FILE_INFORMATION x{}, y{};
  if (!identity(a, &x) || !identity(b, &y)) return _wcsicmp(a.c_str(), b.c_str()) == 0;
  return x.dwVolumeSerialNumber == y.dwVolumeSerialNumber && x.nFileIndexHigh == y.nFileIndexHigh &&
         x.nFileIndexLow == y.nFileIndexLow;
}

bool Execute(sqlite3* db, const char* sql) { return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK; }
}  // namespace

ImportFormat ImportFormatOf(const std::wstring& path) {
  const wchar_t* extension = PathFindExtensionW(path.c_str());
  if (_wcsicmp(extension, L".csv") == 0) return ImportFormat::Csv;
  if (_wcsicmp(extension, L".json") == 0) return ImportFormat::Json;
  return ImportFormat::Profile;
}

bool CheckImportFile(const std::wstring& path, ImportCheck* check, std::wstring* error, volatile LONG* progress) {
  *check = ImportCheck();
  return ReadRows(
      path,
      [&](const SourceRow& row) {
        if (progress) InterlockedIncrement(progress);
        if (row.refusal.empty()) {
          ++check->rows;
        } else {
          ++check->refused;
          if (check->refusedRows.size() < ImportListLimit) check->refusedRows.emplace_back(row.line, row.refusal);
        }
        return true;
      },
      error);
}

bool ImportMatches(const std::wstring& source, const std::wstring& profilePath, bool skipRefused,
                   ImportCounts* counts, std::wstring* error, volatile LONG* progress) {
  *counts = ImportCounts();
  sqlite3* db = OpenProfileFile(profilePath, SQLITE_OPEN_READWRITE);
  if (!db) {
    *error = L"プロファイルを開けませんでした。";
    return false;
  }
  // The profile taken into itself: every readable row is already there.
  bool itself = SameFile(source, profilePath);
  sqlite3_stmt* find = nullptr;
  sqlite3_stmt* insert = nullptr;
  bool ok = itself || (Execute(db, "PRAGMA cache_size = -65536") && Execute(db, "BEGIN IMMEDIATE") &&
                       sqlite3_prepare_v2(db,
                                          "SELECT p1name, p1id, p1win, p2name, p2id, p2win FROM viziriduvozmirrow "
                                          "WHERE timestamp = ?",
                                          -1, &find, nullptr) == SQLITE_OK &&
                       sqlite3_prepare_v2(db,
                                          "INSERT OR IGNORE INTO viziriduvozmirrow (timestamp, p1name, p1id, p1win, p2name, "
                                          "p2id, p2win) VALUES (?, ?, ?, ?, ?, ?, ?)",
                                          -1, &insert, nullptr) == SQLITE_OK);
  if (!ok) *error = L"プロファイルに書き込めませんでした。ほかのプログラムが使っていないか確かめてください。";
  auto sameName = [](const unsigned char* stored, const char* name) {
    return strcmp(stored ? (const char*)stored : "", name) == 0;
  };
  bool failed = false;
  if (ok) {
    ok = ReadRows(
        source,
        [&](const SourceRow& row) {
          if (progress) InterlockedIncrement(progress);
          if (!row.refusal.empty()) {
            ++counts->refused;
            if (counts->refusedRows.size() < ImportListLimit) counts->refusedRows.emplace_back(row.line, row.refusal);
            return true;
          }
          // Once a row is refused, nothing is taken: the rest is only read for its refused rows.
          if (itself || (counts->refused && !skipRefused)) {
            ++counts->already;
            return true;
          }
          const MatchRecord& r = row.record;
          // Most rows of a merge are new: insert first, and compare only a row the profile already holds.
          sqlite3_bind_int64(insert, 1, r.timestamp);
          sqlite3_bind_text(insert, 2, r.p1name, -1, SQLITE_STATIC);
          sqlite3_bind_int(insert, 3, r.p1id);
          sqlite3_bind_int(insert, 4, r.p1win);
          sqlite3_bind_text(insert, 5, r.p2name, -1, SQLITE_STATIC);
          sqlite3_bind_int(insert, 6, r.p2id);
          sqlite3_bind_int(insert, 7, r.p2win);
          int rc = sqlite3_step(insert);
          sqlite3_reset(insert);
          if (rc != SQLITE_DONE) {
            failed = true;
            return false;
          }
          if (sqlite3_changes(db) == 1) {
            ++counts->added;
            return true;
          }
          sqlite3_bind_int64(find, 1, r.timestamp);
          rc = sqlite3_step(find);
          if (rc != SQLITE_ROW) {
            sqlite3_reset(find);
            failed = true;
            return false;
          }
          bool same = sameName(sqlite3_column_text(find, 0), r.p1name) && sqlite3_column_type(find, 1) == SQLITE_INTEGER &&
                      sqlite3_column_int64(find, 1) == r.p1id && sqlite3_column_int64(find, 2) == r.p1win &&
                      sameName(sqlite3_column_text(find, 3), r.p2name) && sqlite3_column_int64(find, 4) == r.p2id &&
                      sqlite3_column_int64(find, 5) == r.p2win;
          sqlite3_reset(find);
          if (same) {
            ++counts->already;
          } else {
            ++counts->conflicts;
            if (counts->conflictTimestamps.size() < ImportListLimit) counts->conflictTimestamps.push_back(r.timestamp);
          }
          return true;
        },
        error);
    if (ok && failed) {
      ok = false;
      *error = L"プロファイルに書き込めませんでした。";
    }
  }
  bool refused = ok && counts->refused && !skipRefused;
  if (refused) {
    ok = false;
    *error = L"読み取れない行があります。";
  }
  sqlite3_finalize(find);
  sqlite3_finalize(insert);
  if (ok && !itself && !Execute(db, "COMMIT")) {
    ok = false;
    *error = L"取り込んだ対戦を保存できませんでした。";
  }
  if (!sqlite3_get_autocommit(db)) Execute(db, "ROLLBACK");
  sqlite3_close(db);
  if (!ok) {
    ImportCounts none;
    if (refused) none.refusedRows.swap(counts->refusedRows), none.refused = counts->refused;
    *counts = none;
  }
  return ok;
}

std::wstring ImportSummaryText(const ImportCounts& counts) {
  return FormatWide(L"%d 件を取り込みました。%d 件は既にありました。%d 件は食い違うため取り込みませんでした。",
                    (int)counts.added, (int)counts.already, (int)counts.conflicts);
}
