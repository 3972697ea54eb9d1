// A file written beside its target and moved over it only once whole and flushed to disk: a reader, or a
// crash mid-write, meets the old file or the new one, never a part of one.
#pragma once
#include <windows.h>

#include <string>

#include "common/Handles.h"

class AtomicFile {
 public:
  // The temporary is the target's path with `suffix` appended.
  explicit AtomicFile(const std::wstring& target, const wchar_t* suffix = L".tmp");
  // Dropped before Commit, the temporary goes and the target stays as it was.
  ~AtomicFile();
  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;

  // False once anything failed; the rest is then ignored.
  bool Write(const void* bytes, size_t size);
  // Flushes and moves over the target, briefly waiting out a reader that holds it. 0, or the system's code.
  DWORD Commit();
  // The first failure so far, 0 while there is none.
  DWORD Error() const { return error_; }

 private:
  void Fail();
  std::wstring target_, temporary_;
  FileHandle file_;
  DWORD error_ = 0;
};

// The whole file in one call: 0, or the system's code.
DWORD WriteFileAtomically(const std::wstring& target, const void* bytes, size_t size, const wchar_t* suffix = L".tmp");
