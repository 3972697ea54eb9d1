// The page cache in front of this process's own memory, read through the system as the game's copy of the
// probe reads the game: objects laid against a page that the system refuses.
#include <windows.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "PageCache.h"
#include "ProcessMemory.h"
#include "ScriptLayout.h"
#include "ScriptTableReader.h"

namespace {

bool SystemReads(uint32_t address) {
  uint8_t b;
  SIZE_T got = 0;
  return ReadProcessMemory(GetCurrentProcess(), reinterpret_cast<LPCVOID>((uintptr_t)address), &b, 1, &got) &&
         got == 1;
}

// 64 KB of memory whose next page the system refuses to read: the top of a free region with nothing behind
// it. (Under Wine a process reads even its own no-access and freed pages; only an unmapped address fails.)
class Cliff {
 public:
  static constexpr uint32_t Size = 0x10000;
  Cliff() {
    MEMORY_BASIC_INFORMATION m;
    for (uintptr_t a = 0x10000; a < 0x7FFF0000 && VirtualQuery(reinterpret_cast<void*>(a), &m, sizeof m);
         a = (uintptr_t)m.BaseAddress + m.RegionSize) {
      uintptr_t end = (uintptr_t)m.BaseAddress + m.RegionSize;
      if (m.State != MEM_FREE || m.RegionSize < Size || end % Size || SystemReads((uint32_t)end)) continue;
      memory_ = static_cast<uint8_t*>(VirtualAlloc(reinterpret_cast<void*>(end - Size), Size,
                                                   MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
      if (memory_) return;
    }
  }
  ~Cliff() {
    if (memory_) VirtualFree(memory_, 0, MEM_RELEASE);
  }
  uint8_t* Memory() const { return memory_; }
  uint32_t Base() const { return (uint32_t)(uintptr_t)memory_; }
  uint32_t End() const { return Base() + Size; }

 private:
  uint8_t* memory_ = nullptr;
};

// root{ value:1, keys:<table>, nodes:<table> } at the start of the memory; tests put objects at its end.
struct EdgeWorld {
  Cliff& cliff;
  ScriptArena arena;
  uint32_t vmWord, root;

  explicit EdgeWorld(Cliff& c) : cliff(c), arena(c.Memory(), c.Base(), Cliff::Size) {
    std::memset(c.Memory(), 0, Cliff::Size);
    vmWord = arena.Alloc(4);
    root = WriteTable(arena, 8);
    TableAdd(arena, root, "value", ScriptValue::Int(1));
    arena.Put32(vmWord, WriteVm(arena, root));
  }

  // A string object whose text starts `textBefore` bytes before the end (the rest lies beyond it).
  uint32_t EdgeString(const std::string& text, uint32_t textBefore) {
    uint32_t s = cliff.End() - textBefore - ScriptLayout::StringText;
    arena.Put32(s + ScriptLayout::StringLength, (uint32_t)text.size());
    arena.PutBytes(s + ScriptLayout::StringText, text.data(), textBefore < text.size() ? textBefore : (uint32_t)text.size());
    return s;
  }

  // Direct and cached lookups must agree; returns whether they succeeded.
  bool Resolve(const char* path, uint32_t* value = nullptr) {
    ProcessMemory direct;
    CachedPage pages[2];
    PageCache cached(direct, pages, 2);
    uint32_t t1 = 0, v1 = 0, t2 = 0, v2 = 0;
    bool found = ResolveScriptPath(direct, vmWord, path, &t1, &v1);
    bool viaCache = ResolveScriptPath(cached, vmWord, path, &t2, &v2);
    EXPECT_EQ(found, viaCache) << path;
    EXPECT_EQ(t1, t2) << path;
    EXPECT_EQ(v1, v2) << path;
    if (value) *value = v1;
    return found;
  }

  bool ReadString(uint32_t address, std::string* text = nullptr) {
    ProcessMemory direct;
    CachedPage pages[1];
    PageCache cached(direct, pages, 1);
    char t1[256] = "", t2[256] = "";
    uint32_t n1 = 0, n2 = 0;
    bool read = ReadScriptString(direct, address, t1, &n1);
    EXPECT_EQ(read, ReadScriptString(cached, address, t2, &n2));
    EXPECT_EQ(std::string(t1), std::string(t2));
    if (text) *text = t1;
    return read;
  }
};

TEST(PageCache, ReadsAgainstARefusedPageFailExactlyWhereDirectReadsFail) {
  Cliff cliff;
  ASSERT_NE(nullptr, cliff.Memory()) << "no memory found next to a page the system refuses";
  ASSERT_TRUE(SystemReads(cliff.End() - 1));
  ASSERT_FALSE(SystemReads(cliff.End()));

  {
    // A key whose text runs into the refused page: keys before it are found, the scan past it fails.
    EdgeWorld w(cliff);
    uint32_t keys = WriteTable(w.arena, 3);
    TableAdd(w.arena, w.root, "keys", ScriptValue::Ref(ScriptKind::Table, keys));
    SetTableNode(w.arena, keys, 0, ScriptValue::Ref(ScriptKind::String, WriteString(w.arena, "first")),
                 ScriptValue::Int(10));
    SetTableNode(w.arena, keys, 2, ScriptValue::Ref(ScriptKind::String, WriteString(w.arena, "last")),
                 ScriptValue::Int(12));
    uint32_t value = 0;
    SetTableNode(w.arena, keys, 1, ScriptValue::Ref(ScriptKind::String, w.EdgeString("edgeword", 4)),
                 ScriptValue::Int(11));
    EXPECT_TRUE(w.Resolve("keys/first", &value));
    EXPECT_EQ(10u, value);
    EXPECT_FALSE(w.Resolve("keys/last"));
    EXPECT_FALSE(w.Resolve("keys/edgeword"));
    // The same key ending on the last readable byte is read whole.
    SetTableNode(w.arena, keys, 1, ScriptValue::Ref(ScriptKind::String, w.EdgeString("edge", 4)),
                 ScriptValue::Int(11));
    EXPECT_TRUE(w.Resolve("keys/last", &value));
    EXPECT_EQ(12u, value);
    EXPECT_TRUE(w.Resolve("keys/edge", &value));
    EXPECT_EQ(11u, value);
    EXPECT_TRUE(w.Resolve("value"));
  }
  for (uint32_t lastKeyEnd : {0u, 4u}) {
    // A node array whose last key slot ends on the last readable byte, or runs 4 bytes into the refused page.
    EdgeWorld w(cliff);
    uint32_t table = w.arena.Alloc(ScriptLayout::TableSize);
    w.arena.Put32(table + ScriptLayout::TableNodes,
                  cliff.End() + lastKeyEnd - (2 * ScriptLayout::NodeSize + ScriptLayout::NodeKey + 8));
    w.arena.Put32(table + ScriptLayout::TableNodeCount, 3);
    const char* names[] = {"a", "b", "c"};
    for (uint32_t i = 0; i < 3; ++i)
      SetTableNode(w.arena, table, i, ScriptValue::Ref(ScriptKind::String, WriteString(w.arena, names[i])),
                   ScriptValue::Int((int)i));
    TableAdd(w.arena, w.root, "nodes", ScriptValue::Ref(ScriptKind::Table, table));
    uint32_t value = 99;
    EXPECT_TRUE(w.Resolve("nodes/a", &value));
    EXPECT_EQ(0u, value);
    EXPECT_EQ(lastKeyEnd == 0, w.Resolve("nodes/c", &value)) << lastKeyEnd;
    EXPECT_FALSE(w.Resolve("nodes/missing"));
  }
  {
    // A 255-byte text read up to the last readable byte, and one byte further.
    EdgeWorld w(cliff);
    std::string text(255, 'n'), read;
    EXPECT_TRUE(w.ReadString(w.EdgeString(text, 255), &read));
    EXPECT_EQ(text, read);
    EXPECT_FALSE(w.ReadString(w.EdgeString(text, 254)));
  }
}

TEST(PageCache, ANewRequestReadsWhatTheMemoryHoldsNow) {
  Cliff cliff;
  ASSERT_NE(nullptr, cliff.Memory());
  EdgeWorld w(cliff);
  int node = TableFind(w.arena, w.root, "value");
  ASSERT_GE(node, 0);
  uint32_t slot = TableNodeAddress(w.arena, w.root, (uint32_t)node);
  ProcessMemory direct;
  CachedPage pages[4];
  PageCache cached(direct, pages, 4);
  uint32_t type = 0, value = 0;
  cached.Invalidate();
  ASSERT_TRUE(ResolveScriptPath(cached, w.vmWord, "value", &type, &value));
  EXPECT_EQ(1u, value);
  w.arena.PutSlot(slot, ScriptValue::Int(2));
  TableAdd(w.arena, w.root, "later", ScriptValue::Int(3));
  cached.Invalidate();
  ASSERT_TRUE(ResolveScriptPath(cached, w.vmWord, "value", &type, &value));
  EXPECT_EQ(2u, value);
  ASSERT_TRUE(ResolveScriptPath(cached, w.vmWord, "later", &type, &value));
  EXPECT_EQ(3u, value);
}

}  // namespace
