// A MemoryReader over a built image: addresses outside it, and ranges a test refuses, cannot be read.
#pragma once
#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

#include "ScriptLayout.h"
#include "ScriptTableReader.h"

class ImageMemory : public MemoryReader {
 public:
  ImageMemory(const uint8_t* bytes, uint32_t base, uint32_t size) : bytes_(bytes), base_(base), size_(size) {}
  explicit ImageMemory(ScriptImage& image) : ImageMemory(image.Data(), image.Base(), image.Size()) {}

  bool Read(uint32_t address, void* out, uint32_t size) override {
    ++reads_;
    if (address < base_ || address - base_ > size_ || size > size_ - (address - base_)) return false;
    for (const auto& r : refused_)
      if (address < r.first + r.second && r.first < address + size) return false;
    std::memcpy(out, bytes_ + (address - base_), size);
    return true;
  }
  void Refuse(uint32_t address, uint32_t size) { refused_.push_back({address, size}); }
  unsigned long Reads() const { return reads_; }

 private:
  const uint8_t* bytes_;
  uint32_t base_, size_;
  std::vector<std::pair<uint32_t, uint32_t>> refused_;
  unsigned long reads_ = 0;
};
