#include "store/ExportTextReader.h"

#include <cstring>
#include <unordered_map>

#include "common/TextUtil.h"

namespace {
const char* const ExportFields[] = {"datetime",      "own_name",          "own_character", "own_character_id",
                                    "own_rounds",    "opponent_name",     "opponent_character",
                                    "opponent_character_id", "opponent_rounds", "result"};


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

bool ReadCsv(const char* data, size_t size, const RowSink& sink, std::wstring* error) {
  const char* p = data;
  const char* end = p + size;
  if (size >= 3 && memcmp(p, "\xEF\xBB\xBF", 3) == 0) p += 3;
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

}  // namespace

bool ReadExportText(const char* data, size_t size, bool csv, const RowSink& sink, std::wstring* error) {
  if (csv) return ReadCsv(data, size, sink, error);
  return JsonReader(data, data + size).Read(sink, error);
}
