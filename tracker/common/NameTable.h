// Distinct names, each kept once and numbered, found again without building a string: a history of a million
// matches names the same few hundred players again and again.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

class NameTable {
 public:
  // The number of these bytes (0 for the first name added); the name may hold any byte.
  uint32_t Add(const char* text, size_t length);
  uint32_t Add(const char* text);
  // The name's bytes, followed by a NUL.
  const char* operator[](uint32_t id) const { return &bytes_[offsets_[id]]; }
  size_t Length(uint32_t id) const { return offsets_[id + 1] - offsets_[id] - 1; }
  size_t Size() const { return offsets_.size() - 1; }

 private:
  bool Same(uint32_t id, const char* text, size_t length) const;
  void Grow();
  std::vector<char> bytes_;
  std::vector<uint32_t> offsets_{0};  // where each name starts, and where the next would
  std::vector<uint32_t> slots_;       // open addressing by hash: number + 1, 0 when free
  uint32_t last_ = UINT32_MAX;        // rows come in runs of the same name
};
