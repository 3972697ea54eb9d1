#include "shell/RecoveryFile.h"

#include <shlobj.h>

#include <cstdio>
#include <cstring>

#include "common/AtomicFile.h"
#include "common/TextUtil.h"

namespace {
const char RecoveryHeader[] = "CorvenkaPendingMatches 1";

std::string Hex(const char* field, size_t size) {
  size_t length = strnlen(field, size);
  if (!length) return "-";
  std::string out;
  char digits[3];
  for (size_t i = 0; i < length; ++i) {
    snprintf(digits, sizeof digits, "%02x", (unsigned char)field[i]);
    out += digits;
  }
  return out;
}

bool Unhex(const char* text, char* field, size_t size) {
  memset(field, 0, size);
  if (strcmp(text, "-") == 0) return true;
  size_t length = strlen(text);
  if (length % 2 || length / 2 >= size) return false;
  for (size_t i = 0; i < length / 2; ++i) {
    unsigned value;
    if (sscanf(text + 2 * i, "%2x", &value) != 1) return false;
    field[i] = (char)value;
  }
  return true;
}

std::string RecoveryText(const std::vector<MatchRecord>& records) {
  std::string text = std::string(RecoveryHeader) + "\r\n";
  char numbers[128];
  for (const MatchRecord& r : records) {
    snprintf(numbers, sizeof numbers, "%lld %d %d %d %d ", (long long)r.timestamp, (int)r.p1id, (int)r.p1win,
             (int)r.p2id, (int)r.p2win);
    text += numbers + Hex(r.p1name, sizeof r.p1name) + " " + Hex(r.p2name, sizeof r.p2name) + "\r\n";
  }
  return text;
}
}  // namespace

bool SameMatch(const MatchRecord& a, const MatchRecord& b) {
  return a.timestamp == b.timestamp && a.p1id == b.p1id && a.p1win == b.p1win && a.p2id == b.p2id &&
         a.p2win == b.p2win && strncmp(a.p1name, b.p1name, sizeof a.p1name) == 0 &&
         strncmp(a.p2name, b.p2name, sizeof a.p2name) == 0;
}

bool ReadRecoveryFile(const std::wstring& path, std::vector<MatchRecord>& records) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  std::string text;
  char buffer[4096];
  DWORD got = 0;
  while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got) text.append(buffer, got);
  CloseHandle(file);
  size_t start = 0;
  bool header = true;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    start = end + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (header) {
      if (line != RecoveryHeader) return false;
      header = false;
      continue;
    }
    if (line.empty()) continue;
    MatchRecord r;
    memset(&r, 0, sizeof r);
    long long timestamp;
    int p1id, p1win, p2id, p2win;
    char name1[600], name2[600];
    if (sscanf(line.c_str(), "%lld %d %d %d %d %599s %599s", &timestamp, &p1id, &p1win, &p2id, &p2win, name1, name2) !=
            7 ||
        !Unhex(name1, r.p1name, sizeof r.p1name) || !Unhex(name2, r.p2name, sizeof r.p2name)) {
      OutputDebugStringW(L"Corvenka: a line of the recovery file cannot be read\n");
      continue;
    }
    r.timestamp = timestamp;
    r.p1id = p1id;
    r.p1win = p1win;
    r.p2id = p2id;
    r.p2win = p2win;
    records.push_back(r);
  }
  return !header;
}

void AddMatchOnce(std::vector<MatchRecord>& records, const MatchRecord& record) {
  for (const MatchRecord& r : records)
    if (SameMatch(r, record)) return;
  records.push_back(record);
}

std::vector<MatchRecord> ReadRecoveredMatches(const std::wstring& profilePath) {
  std::vector<MatchRecord> found, merged;
  ReadRecoveryFile(RecoveryFilePath(profilePath), found);
  ReadRecoveryFile(FallbackRecoveryFilePath(profilePath), found);
  for (const MatchRecord& r : found) AddMatchOnce(merged, r);
  return merged;
}

bool WriteRecoveryFile(const std::wstring& path, const std::vector<MatchRecord>& records) {
  std::string text = RecoveryText(records);
  if (WriteFileAtomically(path, text.data(), text.size(), L".new")) return false;
  std::vector<MatchRecord> back;
  if (!ReadRecoveryFile(path, back) || back.size() != records.size()) return false;
  for (size_t i = 0; i < back.size(); ++i)
    if (!SameMatch(back[i], records[i])) return false;
  return true;
}

void RemoveRecoveryFile(const std::wstring& path) {
  if (GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES) DeleteFileW(path.c_str());
}

std::wstring RecoveryFilePath(const std::wstring& profilePath) { return profilePath + L".pending"; }

std::wstring FallbackRecoveryFilePath(const std::wstring& profilePath) {
  wchar_t folder[MAX_PATH] = L"";
  DWORD length = GetEnvironmentVariableW(L"LOCALAPPDATA", folder, MAX_PATH);
  if (!length || length >= MAX_PATH) {
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA | CSIDL_FLAG_CREATE, nullptr, 0, folder))) folder[0] = 0;
  }
  wchar_t full[1024];
  DWORD fullLength = GetFullPathNameW(profilePath.c_str(), 1024, full, nullptr);
  std::wstring name = fullLength && fullLength < 1024 ? full : profilePath;
  CharLowerBuffW(&name[0], (DWORD)name.size());
  // One name per profile path, readable and never the same for two paths.
  std::wstring escaped;
  for (wchar_t c : name) {
    if (wcschr(L"%\\/:*?\"<>|", c))
      escaped += FormatWide(L"%%%02X", (int)c);
    else
      escaped += c;
  }
  std::wstring path = std::wstring(folder) + L"\\Corvenka\\" + escaped + L".pending";
  // Past MAX_PATH only the long form reaches it.
  if (path.size() >= MAX_PATH - 5 && path.compare(0, 4, L"\\\\?\\") != 0) path = L"\\\\?\\" + path;
  return path;
}
