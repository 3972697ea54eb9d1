#include "ScriptLayout.h"

#include <cstring>

using namespace ScriptLayout;

uint32_t ScriptArena::Alloc(uint32_t bytes) {
  uint32_t start = (used_ + 7) & ~7u;
  if (start > size_ || bytes > size_ - start) return 0;
  used_ = start + bytes;
  std::memset(memory_ + start, 0, bytes);
  return base_ + start;
}

bool ScriptArena::Contains(uint32_t address, uint32_t bytes) const {
  return address >= base_ && address - base_ <= size_ && bytes <= size_ - (address - base_);
}

void ScriptArena::Put32(uint32_t address, uint32_t value) {
  if (!Contains(address, 4)) return;
  uint8_t* p = memory_ + (address - base_);
  for (int i = 0; i < 4; ++i) p[i] = (uint8_t)(value >> (8 * i));
}

uint32_t ScriptArena::Get32(uint32_t address) const {
  if (!Contains(address, 4)) return 0;
  const uint8_t* p = memory_ + (address - base_);
  return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;
}

void ScriptArena::PutBytes(uint32_t address, const void* bytes, uint32_t count) {
  if (count && Contains(address, count)) std::memcpy(memory_ + (address - base_), bytes, count);
}

uint32_t WriteString(ScriptArena& arena, const std::string& text) {
  uint32_t s = arena.Alloc(StringText + (uint32_t)text.size() + 1);
  if (!s) return 0;
  arena.Put32(s + StringLength, (uint32_t)text.size());
  arena.PutBytes(s + StringText, text.data(), (uint32_t)text.size());
  return s;
}

uint32_t WriteTable(ScriptArena& arena, uint32_t capacity) {
  uint32_t t = arena.Alloc(TableSize);
  uint32_t nodes = capacity ? arena.Alloc(capacity * NodeSize) : 0;
  if (!t || (capacity && !nodes)) return 0;
  arena.Put32(t + TableNodes, nodes);
  arena.Put32(t + TableNodeCount, capacity);
  for (uint32_t i = 0; i < capacity; ++i) FreeTableNode(arena, t, i);
  return t;
}

uint32_t TableNodeAddress(ScriptArena& arena, uint32_t table, uint32_t index) {
  return arena.Get32(table + TableNodes) + index * NodeSize;
}

void SetTableNode(ScriptArena& arena, uint32_t table, uint32_t index, ScriptValue key, ScriptValue value) {
  uint32_t node = TableNodeAddress(arena, table, index);
  arena.PutSlot(node + NodeValue, value);
  arena.PutSlot(node + NodeKey, key);
}

void FreeTableNode(ScriptArena& arena, uint32_t table, uint32_t index) {
  uint32_t node = TableNodeAddress(arena, table, index);
  arena.PutSlot(node + NodeValue, ScriptValue::Nil());
  arena.PutSlot(node + NodeKey, ScriptValue::Nil());
  arena.Put32(node + NodeNext, 0);
}

static uint32_t HashKey(const std::string& key) {
  uint32_t h = (uint32_t)key.size();
  for (unsigned char c : key) h = h ^ ((h << 5) + (h >> 2) + c);
  return h;
}

static bool KeyEquals(ScriptArena& arena, uint32_t node, const std::string& key) {
  if ((arena.Get32(node + NodeKey) & 0xFFFFF) != ScriptKind::String) return false;
  uint32_t s = arena.Get32(node + NodeKey + 4);
  uint32_t length = arena.Get32(s + StringLength);
  return length == key.size() && arena.Contains(s + StringText, length) &&
         std::memcmp(arena.At(s + StringText), key.data(), length) == 0;
}

int TableAdd(ScriptArena& arena, uint32_t table, const std::string& key, ScriptValue value) {
  uint32_t count = arena.Get32(table + TableNodeCount);
  if (!count) return -1;
  uint32_t start = HashKey(key) % count;
  for (uint32_t probe = 0; probe < count; ++probe) {
    uint32_t index = (start + probe) % count;
    uint32_t node = TableNodeAddress(arena, table, index);
    if ((arena.Get32(node + NodeKey) & 0xFFFFF) == ScriptKind::Null) {
      SetTableNode(arena, table, index, ScriptValue::Ref(ScriptKind::String, WriteString(arena, key)), value);
      return (int)index;
    }
  }
  return -1;
}

int TableFind(ScriptArena& arena, uint32_t table, const std::string& key) {
  uint32_t count = arena.Get32(table + TableNodeCount);
  for (uint32_t i = 0; i < count; ++i)
    if (KeyEquals(arena, TableNodeAddress(arena, table, i), key)) return (int)i;
  return -1;
}

uint32_t WriteArray(ScriptArena& arena, uint32_t count) {
  uint32_t a = arena.Alloc(ArraySize);
  uint32_t elements = count ? arena.Alloc(count * 8) : 0;
  if (!a || (count && !elements)) return 0;
  arena.Put32(a + ArrayElements, elements);
  arena.Put32(a + ArrayCount, count);
  for (uint32_t i = 0; i < count; ++i) arena.PutSlot(elements + 8 * i, ScriptValue::Nil());
  return a;
}

uint32_t ArrayElementAddress(ScriptArena& arena, uint32_t array, uint32_t index) {
  return arena.Get32(array + ArrayElements) + 8 * index;
}

void SetArrayElement(ScriptArena& arena, uint32_t array, uint32_t index, ScriptValue value) {
  arena.PutSlot(ArrayElementAddress(arena, array, index), value);
}

uint32_t WriteClass(ScriptArena& arena, const std::vector<ClassMember>& members) {
  uint32_t c = arena.Alloc(ClassSize);
  uint32_t table = WriteTable(arena, (uint32_t)members.size() * 2 + 2);
  if (!c || !table) return 0;
  arena.Put32(c + ClassMembers, table);
  for (const ClassMember& m : members)
    TableAdd(arena, table, m.name,
             ScriptValue::Int((int32_t)((m.field ? MemberField : MemberMethod) | (m.index & 0x00FFFFFF))));
  return c;
}

uint32_t WriteInstance(ScriptArena& arena, uint32_t classAddress, uint32_t fieldCount) {
  uint32_t i = arena.Alloc(InstanceFields + 8 * fieldCount);
  if (!i) return 0;
  arena.Put32(i + InstanceClass, classAddress);
  for (uint32_t f = 0; f < fieldCount; ++f) arena.PutSlot(InstanceFieldAddress(i, f), ScriptValue::Nil());
  return i;
}

uint32_t InstanceFieldAddress(uint32_t instance, uint32_t index) { return instance + InstanceFields + 8 * index; }

void SetInstanceField(ScriptArena& arena, uint32_t instance, uint32_t index, ScriptValue value) {
  arena.PutSlot(InstanceFieldAddress(instance, index), value);
}

uint32_t WriteVm(ScriptArena& arena, uint32_t rootTable) {
  uint32_t vm = arena.Alloc(VmSize);
  if (!vm) return 0;
  arena.PutSlot(vm + VmRootTable - 4, ScriptValue::Ref(ScriptKind::Table, rootTable));
  return vm;
}
