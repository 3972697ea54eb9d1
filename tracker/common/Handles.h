// Owning, non-copyable wrappers for what we would otherwise close by hand: what one holds is closed when it
// goes out of scope, so no early return leaks it.
#pragma once
#include <windows.h>

#include <sqlite3.h>

template <typename T, typename Traits>
class Owned {
 public:
  Owned() = default;
  explicit Owned(T value) : value_(value) {}
  ~Owned() { Reset(); }
  Owned(Owned&& other) noexcept : value_(other.Release()) {}
  Owned& operator=(Owned&& other) noexcept {
    if (this != &other) Reset(other.Release());
    return *this;
  }
  Owned(const Owned&) = delete;
  Owned& operator=(const Owned&) = delete;

  T Get() const { return value_; }
  explicit operator bool() const { return value_ != Traits::Empty(); }
  T Release() {
    T value = value_;
    value_ = Traits::Empty();
    return value;
  }
  void Reset(T value = Traits::Empty()) {
    if (*this) Traits::Close(value_);
    value_ = value;
  }

 private:
  T value_ = Traits::Empty();
};

struct FileHandleTraits {
  static HANDLE Empty() { return INVALID_HANDLE_VALUE; }
  static void Close(HANDLE handle) { CloseHandle(handle); }
};
// As CreateFileW returns it.
using FileHandle = Owned<HANDLE, FileHandleTraits>;

template <typename T>
struct GdiObjectTraits {
  static T Empty() { return nullptr; }
  static void Close(T object) { DeleteObject(object); }
};
// A pen, brush, font or bitmap of our own, no longer selected into any device context.
template <typename T>
using GdiObject = Owned<T, GdiObjectTraits<T>>;

struct StatementTraits {
  static sqlite3_stmt* Empty() { return nullptr; }
  static void Close(sqlite3_stmt* statement) { sqlite3_finalize(statement); }
};
using StatementHandle = Owned<sqlite3_stmt*, StatementTraits>;
