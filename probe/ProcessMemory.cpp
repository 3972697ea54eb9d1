#include "ProcessMemory.h"

#include <windows.h>

bool ProcessMemory::Read(uint32_t address, void* out, uint32_t size) {
  SIZE_T got = 0;
  return ReadProcessMemory(GetCurrentProcess(), reinterpret_cast<LPCVOID>((uintptr_t)address), out, size, &got) &&
         got == size;
}
