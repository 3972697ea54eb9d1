// Walks the game VM's script tables (32-bit object layout) through a memory-read interface, so the
// same logic runs on the game's own memory inside the DLL and on built images in tests.
#pragma once
#include <cstdint>

class MemoryReader {
 public:
  // Copies `size` bytes at `address`; false when the memory cannot be read. Never faults.
  virtual bool Read(uint32_t address, void* out, uint32_t size) = 0;

 protected:
  ~MemoryReader() = default;
};

namespace ScriptReader {
constexpr uint32_t KindMask = 0x000FFFFF;
constexpr uint32_t KindInteger = 0x02;
constexpr uint32_t KindBool = 0x08;
constexpr uint32_t KindString = 0x10;
constexpr uint32_t KindTable = 0x20;
constexpr uint32_t KindArray = 0x40;
constexpr uint32_t KindInstance = 0x8000;
constexpr uint32_t MaxText = 255;
// The VM sizes node arrays in powers of two and no table of the game comes near this; a larger count is a
// garbage word, and scanning it would hold the game's thread for as long as memory stays readable.
constexpr uint32_t MaxTableNodes = 1u << 16;
}  // namespace ScriptReader

// `vmWordAddress` holds the address of the VM. On success the slot the path names; on failure the
// outputs are left alone.
bool ResolveScriptPath(MemoryReader& memory, uint32_t vmWordAddress, const char* path, uint32_t* typeWord,
                       uint32_t* valueWord);
// On success `text` (256 bytes) holds 1 to 255 bytes and a NUL.
bool ReadScriptString(MemoryReader& memory, uint32_t stringAddress, char* text, uint32_t* length);
