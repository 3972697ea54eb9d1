#include "store/ImportSource.h"

#include <shlwapi.h>
#include <sqlite3.h>

#include "common/TextUtil.h"
#include "store/ExportTextReader.h"

ImportFormat ImportFormatOf(const std::wstring& path) {
  const wchar_t* extension = PathFindExtensionW(path.c_str());
  if (_wcsicmp(extension, L".csv") == 0) return ImportFormat::Csv;
  if (_wcsicmp(extension, L".json") == 0) return ImportFormat::Json;
  return ImportFormat::Profile;
}

sqlite3* OpenProfileFile(const std::wstring& path, int flags) {
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(WideToUtf8(path.c_str()).c_str(), &db, flags, nullptr) != SQLITE_OK) {
    sqlite3_close(db);
    return nullptr;
  }
  sqlite3_busy_timeout(db, 5000);
  return db;
}

namespace {
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

}  // namespace


bool ReadImportRows(const std::wstring& path, const RowSink& sink, std::wstring* error) {
  ImportFormat format = ImportFormatOf(path);
  if (format == ImportFormat::Profile) return ReadProfile(path, sink, error);
  MappedFile file(path);
  if (!file.ok()) {
    *error = L"ファイルを読めませんでした。";
    return false;
  }
  return ReadExportText(file.data(), file.size(), format == ImportFormat::Csv, sink, error);
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
