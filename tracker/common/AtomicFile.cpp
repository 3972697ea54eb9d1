#include "common/AtomicFile.h"

AtomicFile::AtomicFile(const std::wstring& target, const wchar_t* suffix)
    : target_(target), temporary_(target + suffix) {
  file_.Reset(CreateFileW(temporary_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file_) Fail();
}

AtomicFile::~AtomicFile() {
  if (!file_) return;  // never made, or Commit saw to it
  file_.Reset();
  DeleteFileW(temporary_.c_str());
}

void AtomicFile::Fail() {
  // A call that failed without a code must still read as a failure.
  if (!error_) error_ = GetLastError() ? GetLastError() : ERROR_WRITE_FAULT;
}

bool AtomicFile::Write(const void* bytes, size_t size) {
  if (error_) return false;
  DWORD written = 0;
  if (size && (!WriteFile(file_.Get(), bytes, (DWORD)size, &written, nullptr) || written != size)) Fail();
  return !error_;
}

DWORD AtomicFile::Commit() {
  if (!error_ && !FlushFileBuffers(file_.Get())) Fail();
  bool created = (bool)file_;
  file_.Reset();
  for (int attempt = 0; !error_; ++attempt) {
    if (MoveFileExW(temporary_.c_str(), target_.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
      return 0;
    if (attempt == 2)
      Fail();
    else
      Sleep(15);
  }
  if (created) DeleteFileW(temporary_.c_str());
  return error_;
}

DWORD WriteFileAtomically(const std::wstring& target, const void* bytes, size_t size, const wchar_t* suffix) {
  AtomicFile file(target, suffix);
  file.Write(bytes, size);
  return file.Commit();
}
