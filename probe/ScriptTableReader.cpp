#include "ScriptTableReader.h"

#include <cstring>

using namespace ScriptReader;

namespace {

bool Read32(MemoryReader& memory, uint32_t address, uint32_t* value) {
  uint8_t b[4];
  if (!memory.Read(address, b, 4)) return false;
  *value = (uint32_t)b[0] | (uint32_t)b[1] << 8 | (uint32_t)b[2] << 16 | (uint32_t)b[3] << 24;
  return true;
}

// Two adjacent words in one read: the request fails if either is unreadable, exactly as with two reads.
bool ReadPair(MemoryReader& memory, uint32_t address, uint32_t* first, uint32_t* second) {
  uint8_t b[8];
  if (!memory.Read(address, b, 8)) return false;
  *first = (uint32_t)b[0] | (uint32_t)b[1] << 8 | (uint32_t)b[2] << 16 | (uint32_t)b[3] << 24;
  *second = (uint32_t)b[4] | (uint32_t)b[5] << 8 | (uint32_t)b[6] << 16 | (uint32_t)b[7] << 24;
  return true;
}

struct Slot {
  uint32_t type, value;
};

bool ReadSlot(MemoryReader& memory, uint32_t address, Slot* slot) {
  return ReadPair(memory, address, &slot->type, &slot->value);
}

enum class Match { No, Yes, Refused };

// Compares a key slot with the component the way lstrcmpA would, up to the first NUL of each.
Match KeyMatches(MemoryReader& memory, const Slot& key, const char* component, char* keyText) {
  if ((key.type & KindMask) != KindString) return Match::No;
  uint32_t length;
  if (!Read32(memory, key.value + 20, &length)) return Match::Refused;
  if (length < 1 || length > MaxText) return Match::No;
  if (!memory.Read(key.value + 28, keyText, length)) return Match::Refused;
  keyText[length] = 0;
  return std::strcmp(keyText, component) == 0 ? Match::Yes : Match::No;
}

// Table lookup by a linear scan over every node, free ones included.
bool LookupTable(MemoryReader& memory, uint32_t table, const char* component, Slot* current) {
  uint32_t nodes, count;
  if (!ReadPair(memory, table + 32, &nodes, &count) || count > MaxTableNodes) return false;
  char keyText[MaxText + 1];
  for (uint32_t i = 0; i < count; ++i) {
    uint32_t node = nodes + 20 * i;
    Slot key;
    if (!ReadSlot(memory, node + 8, &key)) return false;
    Match m = KeyMatches(memory, key, component, keyText);
    if (m == Match::Refused) return false;
    if (m == Match::Yes) return ReadSlot(memory, node, current);
  }
  return false;
}

// Only members marked as fields match; their low 24 bits index the instance's field slots.
bool LookupInstance(MemoryReader& memory, uint32_t instance, const char* component, Slot* current) {
  uint32_t cls, members, count, nodes;
  if (!Read32(memory, instance + 28, &cls) || !Read32(memory, cls + 24, &members) ||
      !ReadPair(memory, members + 32, &nodes, &count) || count > MaxTableNodes)
    return false;
  char keyText[MaxText + 1];
  for (uint32_t i = 0; i < count; ++i) {
    uint32_t node = nodes + 20 * i;
    Slot value;
    if (!ReadSlot(memory, node, &value)) return false;
    if ((value.type & KindMask) != KindInteger || (value.value & 0xFF000000) != 0x02000000) continue;
    Slot key;
    if (!ReadSlot(memory, node + 8, &key)) return false;
    Match m = KeyMatches(memory, key, component, keyText);
    if (m == Match::Refused) return false;
    if (m == Match::Yes) return ReadSlot(memory, instance + 44 + 8 * (value.value & 0x00FFFFFF), current);
  }
  return false;
}

// As StrToIntA: an optional sign, then decimal digits; no leading digit gives 0.
uint32_t ComponentIndex(const char* text, uint32_t length) {
  uint32_t i = 0, value = 0;
  bool negative = false;
  if (i < length && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  for (; i < length && text[i] >= '0' && text[i] <= '9'; ++i) value = value * 10 + (uint32_t)(text[i] - '0');
  return negative ? 0u - value : value;
}

bool LookupArray(MemoryReader& memory, uint32_t array, const char* text, uint32_t length, Slot* current) {
  uint32_t elements, count;
  if (!ReadPair(memory, array + 24, &elements, &count)) return false;
  uint32_t index = ComponentIndex(text, length);
  if (index >= count) return false;
  return ReadSlot(memory, elements + 8 * index, current);
}

}  // namespace

bool ResolveScriptPath(MemoryReader& memory, uint32_t vmWordAddress, const char* path, uint32_t* typeWord,
                       uint32_t* valueWord) {
  uint32_t vm, root;
  if (!Read32(memory, vmWordAddress, &vm) || !Read32(memory, vm + 52, &root)) return false;
  Slot current{KindTable, root};
  char component[MaxText + 1];
  const char* next = path;
  for (;;) {
    const char* start = next;
    const char* end = start;
    while (*end && *end != '/') ++end;
    uint32_t length = (uint32_t)(end - start);
    // A component longer than any key cannot match one; it is cut only for the comparison.
    uint32_t kept = length > MaxText ? MaxText : length;
    std::memcpy(component, start, kept);
    component[kept] = 0;
    bool tooLong = length > MaxText;

    bool found = true;
    switch (current.type & KindMask) {
      case KindTable:
        found = !tooLong && LookupTable(memory, current.value, component, &current);
        break;
      case KindInstance:
        found = !tooLong && LookupInstance(memory, current.value, component, &current);
        break;
      case KindArray:
        found = LookupArray(memory, current.value, start, length, &current);
        break;
      default:
        break;  // components after a value of another kind are ignored
    }
    if (!found) return false;
    if (!*end) break;
    next = end + 1;
  }
  *typeWord = current.type;
  *valueWord = current.value;
  return true;
}

bool ReadScriptString(MemoryReader& memory, uint32_t stringAddress, char* text, uint32_t* length) {
  uint32_t n;
  if (!Read32(memory, stringAddress + 20, &n) || n < 1 || n > MaxText) return false;
  char buffer[MaxText + 1];
  if (!memory.Read(stringAddress + 28, buffer, n)) return false;
  buffer[n] = 0;
  std::memcpy(text, buffer, n + 1);
  *length = n;
  return true;
}
