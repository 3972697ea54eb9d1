#include "PageCache.h"

#include <cstring>

namespace {
// No address maps to this page number, so a slot that holds it is empty.
constexpr uint32_t NoPage = 0xFFFFFFFF;
}  // namespace

bool PageCache::Read(uint32_t address, void* out, uint32_t size) {
  // A range that runs past the top of the address space is not split into pages: the source decides.
  if (size == 0 || (uint64_t)address + size > 0x100000000ull) return source_.Read(address, out, size);
  auto* to = static_cast<uint8_t*>(out);
  while (size) {
    uint32_t offset = address % CachedPage::Size;
    uint32_t n = CachedPage::Size - offset < size ? CachedPage::Size - offset : size;
    const CachedPage* page = Fetch(address / CachedPage::Size);
    if (!page) return false;
    std::memcpy(to, page->bytes + offset, n);
    to += n;
    address += n;
    size -= n;
  }
  return true;
}

// Least recently used page goes when the storage is full.
const CachedPage* PageCache::Fetch(uint32_t number) {
  ++clock_;
  if (last_ < used_ && pages_[last_].number == number) {
    pages_[last_].lastUse = clock_;
    return &pages_[last_];
  }
  uint32_t victim = 0;
  for (uint32_t i = 0; i < used_; ++i) {
    if (pages_[i].number == number) {
      pages_[i].lastUse = clock_;
      last_ = i;
      return &pages_[i];
    }
    if (pages_[i].lastUse < pages_[victim].lastUse) victim = i;
  }
  if (used_ < capacity_) victim = used_;
  CachedPage& page = pages_[victim];
  if (!source_.Read(number * CachedPage::Size, page.bytes, CachedPage::Size)) {
    // A refused read may have overwritten part of the bytes.
    page.number = NoPage;
    return nullptr;
  }
  page.number = number;
  page.lastUse = clock_;
  if (victim == used_) ++used_;
  last_ = victim;
  return &page;
}
