// Serves the walker's reads of one request from whole pages, each read once through the source. The system
// grants or refuses reads page by page, so a read through the cache succeeds exactly when it would succeed
// directly, and a refused page fails only the reads that touch it.
#pragma once
#include <cstdint>

#include "ScriptTableReader.h"

struct CachedPage {
  static constexpr uint32_t Size = 4096;
  uint32_t number;  // address / Size
  uint32_t lastUse;
  uint8_t bytes[Size];
};

class PageCache : public MemoryReader {
 public:
  // `pages` (at least one) is the caller's storage, so that the cache itself never allocates.
  constexpr PageCache(MemoryReader& source, CachedPage* pages, uint32_t capacity)
      : source_(source), pages_(pages), capacity_(capacity) {}
  // The game changes its tables between requests: each request starts with nothing cached.
  void Invalidate() { used_ = 0; clock_ = 0; }
  bool Read(uint32_t address, void* out, uint32_t size) override;

 private:
  const CachedPage* Fetch(uint32_t number);

  MemoryReader& source_;
  CachedPage* pages_;
  uint32_t capacity_;
  uint32_t used_ = 0, clock_ = 0, last_ = 0;
};
