#include "common/NameTable.h"

#include <cstring>

namespace {
uint32_t Hash(const char* text, size_t length) {
  uint32_t hash = 2166136261u;
  for (size_t i = 0; i < length; ++i) hash = (hash ^ (unsigned char)text[i]) * 16777619u;
  return hash;
}
}  // namespace

bool NameTable::Same(uint32_t id, const char* text, size_t length) const {
  return Length(id) == length && memcmp(&bytes_[offsets_[id]], text, length) == 0;
}

uint32_t NameTable::Add(const char* text) { return Add(text, strlen(text)); }

uint32_t NameTable::Add(const char* text, size_t length) {
  if (last_ != UINT32_MAX && Same(last_, text, length)) return last_;
  if (slots_.empty()) slots_.assign(64, 0);
  size_t mask = slots_.size() - 1;
  size_t at = Hash(text, length) & mask;
  for (; slots_[at]; at = (at + 1) & mask)
    if (Same(slots_[at] - 1, text, length)) return last_ = slots_[at] - 1;
  uint32_t id = (uint32_t)Size();
  bytes_.insert(bytes_.end(), text, text + length);
  bytes_.push_back('\0');
  offsets_.push_back((uint32_t)bytes_.size());
  slots_[at] = id + 1;
  // Kept at most half full, so that a search ends soon.
  if (Size() * 2 > slots_.size()) Grow();
  return last_ = id;
}

void NameTable::Grow() {
  std::vector<uint32_t> slots(slots_.size() * 2, 0);
  size_t mask = slots.size() - 1;
  for (uint32_t id = 0; id < Size(); ++id) {
    size_t at = Hash((*this)[id], Length(id)) & mask;
    while (slots[at]) at = (at + 1) & mask;
    slots[at] = id + 1;
  }
  slots_.swap(slots);
}
