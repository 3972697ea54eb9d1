// Writes script objects in the game VM's 32-bit memory layout into an arena of bytes that is seen at a
// chosen base address. The stand-in game uses it on real memory; the walker's tests and fuzz target on images.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace ScriptKind {
constexpr uint32_t Null = 0x01;
constexpr uint32_t Integer = 0x02;
constexpr uint32_t Float = 0x04;
constexpr uint32_t Bool = 0x08;
constexpr uint32_t String = 0x10;
constexpr uint32_t Table = 0x20;
constexpr uint32_t Array = 0x40;
constexpr uint32_t Closure = 0x100;
constexpr uint32_t Class = 0x4000;
constexpr uint32_t Instance = 0x8000;
// The VM keeps reference-counting and other flags in the high bits of the type word.
constexpr uint32_t RefCounted = 0x08000000;
constexpr uint32_t CanBeFalse = 0x01000000;
}  // namespace ScriptKind

// Offsets of the object fields the probe reads.
namespace ScriptLayout {
constexpr uint32_t VmRootTable = 52;
constexpr uint32_t TableNodes = 32;
constexpr uint32_t TableNodeCount = 36;
constexpr uint32_t TableSize = 48;
constexpr uint32_t NodeSize = 20;
constexpr uint32_t NodeValue = 0;
constexpr uint32_t NodeKey = 8;
constexpr uint32_t NodeNext = 16;
constexpr uint32_t ArrayElements = 24;
constexpr uint32_t ArrayCount = 28;
constexpr uint32_t ArraySize = 40;
constexpr uint32_t StringLength = 20;
constexpr uint32_t StringText = 28;
constexpr uint32_t InstanceClass = 28;
constexpr uint32_t InstanceFields = 44;
constexpr uint32_t ClassMembers = 24;
constexpr uint32_t ClassSize = 64;
constexpr uint32_t VmSize = 96;
// Member-table values: the high byte tells fields from methods.
constexpr uint32_t MemberField = 0x02000000;
constexpr uint32_t MemberMethod = 0x01000000;
}  // namespace ScriptLayout

struct ScriptValue {
  uint32_t type = ScriptKind::Null;
  uint32_t value = 0;
  static ScriptValue Int(int32_t v) { return {ScriptKind::Integer, (uint32_t)v}; }
  static ScriptValue Boolean(bool v) { return {ScriptKind::Bool | ScriptKind::CanBeFalse, v ? 1u : 0u}; }
  static ScriptValue Ref(uint32_t kind, uint32_t address) { return {kind | ScriptKind::RefCounted, address}; }
  static ScriptValue Nil() { return {ScriptKind::Null, 0}; }
};

// A bump allocator over `size` bytes at `memory`, whose first byte has the address `base`.
class ScriptArena {
 public:
  ScriptArena(uint8_t* memory, uint32_t base, uint32_t size) : memory_(memory), base_(base), size_(size) {}
  // 8-aligned, zero-filled; 0 when the arena is full.
  uint32_t Alloc(uint32_t bytes);
  bool Contains(uint32_t address, uint32_t bytes) const;
  void Put32(uint32_t address, uint32_t value);
  uint32_t Get32(uint32_t address) const;
  void PutBytes(uint32_t address, const void* bytes, uint32_t count);
  void PutSlot(uint32_t address, ScriptValue slot) { Put32(address, slot.type); Put32(address + 4, slot.value); }
  uint8_t* At(uint32_t address) { return memory_ + (address - base_); }
  uint32_t Base() const { return base_; }
  uint32_t Used() const { return used_; }

 private:
  uint8_t* memory_;
  uint32_t base_, size_, used_ = 0;
};

struct ImageBytes {
  std::vector<uint8_t> bytes_;
};

// An arena that owns its bytes, for images built in tests.
class ScriptImage : private ImageBytes, public ScriptArena {
 public:
  ScriptImage(uint32_t base, uint32_t size) : ImageBytes{std::vector<uint8_t>(size)}, ScriptArena(bytes_.data(), base, size) {}
  ScriptImage(const ScriptImage&) = delete;
  ScriptImage& operator=(const ScriptImage&) = delete;
  const std::vector<uint8_t>& Bytes() const { return bytes_; }
  uint8_t* Data() { return bytes_.data(); }
  uint32_t Size() const { return (uint32_t)bytes_.size(); }
};

uint32_t WriteString(ScriptArena& arena, const std::string& text);
// A table whose node array holds `capacity` free nodes.
uint32_t WriteTable(ScriptArena& arena, uint32_t capacity);
uint32_t TableNodeAddress(ScriptArena& arena, uint32_t table, uint32_t index);
void SetTableNode(ScriptArena& arena, uint32_t table, uint32_t index, ScriptValue key, ScriptValue value);
void FreeTableNode(ScriptArena& arena, uint32_t table, uint32_t index);
// Places the pair in a free node chosen by the key's hash (so used and free nodes mix as in a live VM)
// and returns the node index, or -1 when the table is full.
int TableAdd(ScriptArena& arena, uint32_t table, const std::string& key, ScriptValue value);
// The node index of a string key, or -1.
int TableFind(ScriptArena& arena, uint32_t table, const std::string& key);
uint32_t WriteArray(ScriptArena& arena, uint32_t count);
void SetArrayElement(ScriptArena& arena, uint32_t array, uint32_t index, ScriptValue value);
uint32_t ArrayElementAddress(ScriptArena& arena, uint32_t array, uint32_t index);

struct ClassMember {
  std::string name;
  bool field;      // false: a method
  uint32_t index;  // field slot index (or method index)
};
uint32_t WriteClass(ScriptArena& arena, const std::vector<ClassMember>& members);
uint32_t WriteInstance(ScriptArena& arena, uint32_t classAddress, uint32_t fieldCount);
void SetInstanceField(ScriptArena& arena, uint32_t instance, uint32_t index, ScriptValue value);
uint32_t InstanceFieldAddress(uint32_t instance, uint32_t index);
uint32_t WriteVm(ScriptArena& arena, uint32_t rootTable);
