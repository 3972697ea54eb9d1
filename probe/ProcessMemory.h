// This process's own memory, read through the system so that an unmapped or protected address is refused
// instead of faulting.
#pragma once
#include "ScriptTableReader.h"

class ProcessMemory : public MemoryReader {
 public:
  bool Read(uint32_t address, void* out, uint32_t size) override;
};
