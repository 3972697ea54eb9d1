// The page cache in front of this process's own memory, read through the system as the game's copy of the
// probe reads the game: objects laid against pages that the system refuses.
#include <windows.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

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

// 64 KB read through the system whose previous page the system refuses: the first readable page above the
// pages no Windows process maps at address 0. Natively that is our own allocation at 64 KB; under an emulated
// CPU the emulator refuses only page 0 and reads everything else, also no-access and freed pages (as Wine does
// natively), so only this edge exists in both. The bytes are put there through the system as well, since the
// emulator's pages above page 0 cannot be allocated.
class Cliff {
 public:
  static constexpr uint32_t Size = 0x10000;
  Cliff() : bytes_(Size) {
    allocation_ = VirtualAlloc(reinterpret_cast<void*>((uintptr_t)0x10000), Size, MEM_RESERVE | MEM_COMMIT,
                               PAGE_READWRITE);
    for (uint32_t a = 0x1000; a <= 0x10000 && !base_; a += 0x1000)
      if (!SystemReads(a - 1) && SystemReads(a)) base_ = a;
    if (base_ && !Publish()) base_ = 0;
  }
  ~Cliff() {
    if (allocation_) VirtualFree(allocation_, 0, MEM_RELEASE);
  }
  // Where the world is built; Publish puts it at Base().
  uint8_t* Memory() { return bytes_.data(); }
  uint32_t Base() const { return base_; }
  bool Publish() {
    SIZE_T written = 0;
    return WriteProcessMemory(GetCurrentProcess(), reinterpret_cast<void*>((uintptr_t)base_), bytes_.data(), Size,
                              &written) &&
           written == Size;
  }

 private:
  std::vector<uint8_t> bytes_;
  void* allocation_ = nullptr;
  uint32_t base_ = 0;
};

// root{ value:1, keys:<table>, nodes:<table> } after some room at the start of the memory, where tests lay
// objects that begin on or below the edge.
struct EdgeWorld {
  static constexpr uint32_t HeadRoom = 512;
  Cliff& cliff;
  ScriptArena arena;
  uint32_t vmWord, root;

  explicit EdgeWorld(Cliff& c) : cliff(c), arena(c.Memory(), c.Base(), Cliff::Size) {
    std::memset(c.Memory(), 0, Cliff::Size);
    arena.Alloc(HeadRoom);
    vmWord = arena.Alloc(4);
    root = WriteTable(arena, 8);
    TableAdd(arena, root, "value", ScriptValue::Int(1));
    arena.Put32(vmWord, WriteVm(arena, root));
  }

  // A string object whose length word begins `refused` bytes below the edge (those bytes cannot be written).
  uint32_t EdgeString(const std::string& text, uint32_t refused) {
    uint32_t s = cliff.Base() - refused - ScriptLayout::StringLength;
    arena.Put32(s + ScriptLayout::StringLength, (uint32_t)text.size());
    arena.PutBytes(s + ScriptLayout::StringText, text.data(), (uint32_t)text.size());
    return s;
  }

// Direct and cached lookups must agree; returns whether they succeeded.
  bool Resolve(const char* path, uint32_t* value = nullptr) {
    EXPECT_TRUE(cliff.Publish());
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
    EXPECT_TRUE(cliff.Publish());
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
  ASSERT_NE(0u, cliff.Base()) << "no memory found next to the pages the system refuses at address 0";
  ASSERT_TRUE(SystemReads(cliff.Base()));
  ASSERT_FALSE(SystemReads(cliff.Base() - 1));

  {
    // A key whose length runs from the refused page: keys before it are found, the scan past it fails.
    EdgeWorld w(cliff);
    uint32_t keys = WriteTable(w.arena, 3);
    TableAdd(w.arena, w.root, "keys", ScriptValue::Ref(ScriptKind::Table, keys));
    SetTableNode(w.arena, keys, 0, ScriptValue::Ref(ScriptKind::String, WriteString(w.arena, "first")),
                 ScriptValue::Int(10));
    SetTableNode(w.arena, keys, 2, ScriptValue::Ref(ScriptKind::String, WriteString(w.arena, "last")),
                 ScriptValue::Int(12));
    uint32_t value = 0;
    SetTableNode(w.arena, keys, 1, ScriptValue::Ref(ScriptKind::String, w.EdgeString("edgeword", 2)),
                 ScriptValue::Int(11));
    EXPECT_TRUE(w.Resolve("keys/first", &value));
    EXPECT_EQ(10u, value);
    EXPECT_FALSE(w.Resolve("keys/last"));
    EXPECT_FALSE(w.Resolve("keys/edgeword"));
    // The same key beginning on the first readable byte is read whole.
    SetTableNode(w.arena, keys, 1, ScriptValue::Ref(ScriptKind::String, w.EdgeString("edge", 0)),
                 ScriptValue::Int(11));
    EXPECT_TRUE(w.Resolve("keys/last", &value));
    EXPECT_EQ(12u, value);
    EXPECT_TRUE(w.Resolve("keys/edge", &value));
    EXPECT_EQ(11u, value);
    EXPECT_TRUE(w.Resolve("value"));
  }
  for (uint32_t firstKeyBelow : {0u, 4u}) {
    // A node array whose first key slot begins on the first readable byte, or 4 bytes into the refused page;
    // the first node's value lies in the refused page either way.
    EdgeWorld w(cliff);
    uint32_t table = w.arena.Alloc(ScriptLayout::TableSize);
    w.arena.Put32(table + ScriptLayout::TableNodes, cliff.Base() - firstKeyBelow - ScriptLayout::NodeKey);
    w.arena.Put32(table + ScriptLayout::TableNodeCount, 3);
    const char* names[] = {"a", "b", "c"};
    for (uint32_t i = 0; i < 3; ++i)
      SetTableNode(w.arena, table, i, ScriptValue::Ref(ScriptKind::String, WriteString(w.arena, names[i])),
                   ScriptValue::Int((int)i));
    TableAdd(w.arena, w.root, "nodes", ScriptValue::Ref(ScriptKind::Table, table));
    uint32_t value = 99;
    EXPECT_FALSE(w.Resolve("nodes/a"));
    EXPECT_EQ(firstKeyBelow == 0, w.Resolve("nodes/c", &value)) << firstKeyBelow;
    if (firstKeyBelow == 0) {
      EXPECT_EQ(2u, value);
    }
    EXPECT_FALSE(w.Resolve("nodes/missing"));
  }
  {
    // A 255-byte text whose length begins on the first readable byte, and one byte lower.
    EdgeWorld w(cliff);
    std::string text(255, 'n'), read;
    EXPECT_TRUE(w.ReadString(w.EdgeString(text, 0), &read));
    EXPECT_EQ(text, read);
    EXPECT_FALSE(w.ReadString(w.EdgeString(text, 1)));
  }
}

TEST(PageCache, ANewRequestReadsWhatTheMemoryHoldsNow) {
  Cliff cliff;
  ASSERT_NE(0u, cliff.Base());
  EdgeWorld w(cliff);
  int node = TableFind(w.arena, w.root, "value");
  ASSERT_GE(node, 0);
  uint32_t slot = TableNodeAddress(w.arena, w.root, (uint32_t)node);
  ProcessMemory direct;
  CachedPage pages[4];
  PageCache cached(direct, pages, 4);
  uint32_t type = 0, value = 0;
  ASSERT_TRUE(cliff.Publish());
  cached.Invalidate();
  ASSERT_TRUE(ResolveScriptPath(cached, w.vmWord, "value", &type, &value));
  EXPECT_EQ(1u, value);
  w.arena.PutSlot(slot, ScriptValue::Int(2));
  TableAdd(w.arena, w.root, "later", ScriptValue::Int(3));
  ASSERT_TRUE(cliff.Publish());
  cached.Invalidate();
  ASSERT_TRUE(ResolveScriptPath(cached, w.vmWord, "value", &type, &value));
  EXPECT_EQ(2u, value);
  ASSERT_TRUE(ResolveScriptPath(cached, w.vmWord, "later", &type, &value));
  EXPECT_EQ(3u, value);
}

}  // namespace
