// The walker on memory images built with the stand-in game's layout writer.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "ImageMemory.h"
#include "PageCache.h"
#include "ScriptLayout.h"
#include "ScriptTableReader.h"

namespace {

constexpr uint32_t kBase = 0x00A00000;

// A small world: root{ game{battleState:3}, count:7, list:[10,20,30], player:<instance>, ... }.
struct World {
  ScriptImage image{kBase, 1 << 20};
  uint32_t vmWord = 0;
  uint32_t root = 0, game = 0, list = 0, instance = 0, playerClass = 0;
  uint32_t lastType = 0xDEADBEEF, lastValue = 0xDEADBEEF;

  World() {
    vmWord = image.Alloc(4);
    root = WriteTable(image, 16);
    game = WriteTable(image, 4);
    TableAdd(image, game, "battleState", {ScriptKind::Integer | 0x05000000, 3});
    TableAdd(image, root, "game", ScriptValue::Ref(ScriptKind::Table, game));
    TableAdd(image, root, "count", ScriptValue::Int(7));
    TableAdd(image, root, "nothing", ScriptValue::Nil());
    list = WriteArray(image, 3);
    for (uint32_t i = 0; i < 3; ++i) SetArrayElement(image, list, i, ScriptValue::Int(10 * (i + 1)));
    TableAdd(image, root, "list", ScriptValue::Ref(ScriptKind::Array, list));
    playerClass = WriteClass(image, {{"life", true, 0}, {"Attack", false, 1}, {"name", true, 3}, {"win", true, 2}});
    instance = WriteInstance(image, playerClass, 4);
    SetInstanceField(image, instance, 0, ScriptValue::Int(1000));
    SetInstanceField(image, instance, 1, ScriptValue::Int(111));
    SetInstanceField(image, instance, 2, ScriptValue::Int(2));
    SetInstanceField(image, instance, 3, ScriptValue::Ref(ScriptKind::String, WriteString(image, "Minato")));
    TableAdd(image, root, "player", ScriptValue::Ref(ScriptKind::Instance, instance));
    image.Put32(vmWord, WriteVm(image, root));
  }

  // Without a reader of its own, the lookup is also made through a page cache, which must agree.
  bool Resolve(const std::string& path, ImageMemory* memory = nullptr) {
    if (memory) return ResolveScriptPath(*memory, vmWord, path.c_str(), &lastType, &lastValue);
    ImageMemory plain(image), source(image);
    CachedPage pages[2];
    PageCache cached(source, pages, 2);
    uint32_t type = lastType, value = lastValue;
    bool viaCache = ResolveScriptPath(cached, vmWord, path.c_str(), &type, &value);
    bool found = ResolveScriptPath(plain, vmWord, path.c_str(), &lastType, &lastValue);
    EXPECT_EQ(found, viaCache) << path;
    EXPECT_EQ(lastType, type) << path;
    EXPECT_EQ(lastValue, value) << path;
    return found;
  }
};

TEST(ScriptTableReader, FollowsTablesArraysAndFieldsAndPassesTheTypeWordWhole) {
  World w;
  ASSERT_TRUE(w.Resolve("game/battleState"));
  EXPECT_EQ(0x05000002u, w.lastType);
  EXPECT_EQ(3u, w.lastValue);
  ASSERT_TRUE(w.Resolve("list/2"));
  EXPECT_EQ(30u, w.lastValue);
  ASSERT_TRUE(w.Resolve("player/win"));
  EXPECT_EQ(2u, w.lastValue);
  ASSERT_TRUE(w.Resolve("game"));
  EXPECT_EQ(ScriptKind::Table, w.lastType & ScriptReader::KindMask);
  EXPECT_EQ(w.game, w.lastValue);
}

TEST(ScriptTableReader, EmptyComponentsNeverMatch) {
  World w;
  EXPECT_FALSE(w.Resolve(""));
  EXPECT_FALSE(w.Resolve("game//battleState"));
  EXPECT_FALSE(w.Resolve("game/"));
  EXPECT_FALSE(w.Resolve("/game"));
  EXPECT_EQ(0xDEADBEEFu, w.lastType) << "a failed lookup must not touch its outputs";
  EXPECT_EQ(0xDEADBEEFu, w.lastValue);
}

TEST(ScriptTableReader, ComponentsAfterAValueOfAnotherKindAreIgnored) {
  World w;
  ASSERT_TRUE(w.Resolve("count/anything/else"));
  EXPECT_EQ(7u, w.lastValue);
  ASSERT_TRUE(w.Resolve("game/battleState/x/"));
  EXPECT_EQ(3u, w.lastValue);
  ASSERT_TRUE(w.Resolve("nothing/at/all"));
  EXPECT_EQ(ScriptKind::Null, w.lastType);
}

TEST(ScriptTableReader, ArrayIndicesConvertLikeStrToInt) {
  World w;
  ASSERT_TRUE(w.Resolve("list/abc"));  // no leading digit: index 0
  EXPECT_EQ(10u, w.lastValue);
  ASSERT_TRUE(w.Resolve("list/1xyz"));
  EXPECT_EQ(20u, w.lastValue);
  ASSERT_TRUE(w.Resolve("list/+2"));
  EXPECT_EQ(30u, w.lastValue);
  ASSERT_TRUE(w.Resolve("list/4294967297"));  // wraps to 1 in 32 bits
  EXPECT_EQ(20u, w.lastValue);
  EXPECT_FALSE(w.Resolve("list/3"));
  EXPECT_FALSE(w.Resolve("list/-1"));
  EXPECT_FALSE(w.Resolve("list/-2"));
}

TEST(ScriptTableReader, TablesWithOnlyFreeNodesOrNoNodesFail) {
  World w;
  uint32_t empty = WriteTable(w.image, 8);
  uint32_t none = WriteTable(w.image, 0);
  TableAdd(w.image, w.root, "empty", ScriptValue::Ref(ScriptKind::Table, empty));
  TableAdd(w.image, w.root, "none", ScriptValue::Ref(ScriptKind::Table, none));
  // A free node that still carries an old value must not be mistaken for a key.
  SetTableNode(w.image, empty, 3, ScriptValue::Nil(), ScriptValue::Int(5));
  EXPECT_FALSE(w.Resolve("empty/x"));
  EXPECT_FALSE(w.Resolve("empty/"));
  EXPECT_FALSE(w.Resolve("none/x"));
  ASSERT_TRUE(w.Resolve("empty"));
}

TEST(ScriptTableReader, KeysUpTo255BytesMatchExactlyAndCaseSensitively) {
  World w;
  std::string key255(255, 'k'), key256(256, 'k');
  TableAdd(w.image, w.root, key255, ScriptValue::Int(255));
  TableAdd(w.image, w.root, key256, ScriptValue::Int(256));
  TableAdd(w.image, w.root, "Game", ScriptValue::Int(99));
  ASSERT_TRUE(w.Resolve(key255));
  EXPECT_EQ(255u, w.lastValue);
  EXPECT_FALSE(w.Resolve(key256));
  EXPECT_FALSE(w.Resolve(std::string(254, 'k')));
  ASSERT_TRUE(w.Resolve("Game"));
  EXPECT_EQ(99u, w.lastValue);
  EXPECT_FALSE(w.Resolve("GAME"));
  EXPECT_FALSE(w.Resolve("battlestate"));
}

TEST(ScriptTableReader, InstanceMembersMatchOnlyWhenMarkedAsFields) {
  World w;
  EXPECT_FALSE(w.Resolve("player/Attack")) << "a method must never match";
  ASSERT_TRUE(w.Resolve("player/name"));
  // Field 3 lies at +68 (type word) and +72 (value word).
  EXPECT_EQ(w.image.Get32(w.instance + 68), w.lastType);
  EXPECT_EQ(w.image.Get32(w.instance + 72), w.lastValue);
  // Flags in the high bits of the member value's type word do not hide a field.
  uint32_t members = w.image.Get32(w.playerClass + ScriptLayout::ClassMembers);
  int life = TableFind(w.image, members, "life");
  ASSERT_GE(life, 0);
  uint32_t node = TableNodeAddress(w.image, members, (uint32_t)life);
  w.image.Put32(node, ScriptKind::Integer | 0x08000000);
  ASSERT_TRUE(w.Resolve("player/life"));
  EXPECT_EQ(1000u, w.lastValue);
  // A member value of another high byte, or of another kind, is not a field.
  w.image.Put32(node + 4, 0x03000000);
  EXPECT_FALSE(w.Resolve("player/life"));
  w.image.Put32(node, ScriptKind::Float);
  w.image.Put32(node + 4, 0x02000000);
  EXPECT_FALSE(w.Resolve("player/life"));
}

TEST(ScriptTableReader, StringsOf1To255BytesAreRead) {
  World w;
  ImageMemory memory(w.image);
  char text[256];
  uint32_t length = 0;
  std::string sjis = "\x83\x7e\x83\x69\x83\x67";
  std::string long255 = std::string(249, 'a') + sjis;
  EXPECT_TRUE(ReadScriptString(memory, WriteString(w.image, long255), text, &length));
  EXPECT_EQ(255u, length);
  EXPECT_EQ(long255, std::string(text));
  EXPECT_TRUE(ReadScriptString(memory, WriteString(w.image, "x"), text, &length));
  EXPECT_EQ(1u, length);
  EXPECT_FALSE(ReadScriptString(memory, WriteString(w.image, std::string(256, 'a')), text, &length));
  EXPECT_FALSE(ReadScriptString(memory, WriteString(w.image, ""), text, &length));
  EXPECT_FALSE(ReadScriptString(memory, kBase - 64, text, &length));
}

TEST(ScriptTableReader, ARefusedReadAtAnyStepFailsTheLookup) {
  World w;
  auto refusing = [&](uint32_t address, uint32_t size) {
    auto* memory = new ImageMemory(w.image);
    memory->Refuse(address, size);
    return std::unique_ptr<ImageMemory>(memory);
  };
  uint32_t vm = w.image.Get32(w.vmWord);
  uint32_t rootNodes = w.image.Get32(w.root + ScriptLayout::TableNodes);
  int gameNode = TableFind(w.image, w.root, "game");
  uint32_t gameKey = w.image.Get32(TableNodeAddress(w.image, w.root, (uint32_t)gameNode) + 12);
  uint32_t elements = w.image.Get32(w.list + ScriptLayout::ArrayElements);
  uint32_t members = w.image.Get32(w.playerClass + ScriptLayout::ClassMembers);

  EXPECT_FALSE(w.Resolve("game", refusing(w.vmWord, 4).get())) << "root word";
  EXPECT_FALSE(w.Resolve("game", refusing(vm + 52, 4).get())) << "VM";
  EXPECT_FALSE(w.Resolve("game", refusing(rootNodes, 20 * 16).get())) << "node array";
  EXPECT_FALSE(w.Resolve("game", refusing(gameKey + 28, 4).get())) << "key text";
  EXPECT_FALSE(w.Resolve("list/1", refusing(elements + 8, 8).get())) << "element";
  EXPECT_FALSE(w.Resolve("player/win", refusing(w.instance + 28, 4).get())) << "instance class";
  EXPECT_FALSE(w.Resolve("player/win", refusing(w.image.Get32(members + 32), 4).get())) << "member nodes";
  // Only what the lookup needs is read: a refused list does not stop a lookup of "game".
  EXPECT_TRUE(w.Resolve("game/battleState", refusing(elements, 24).get()));
  // A world with no VM yet.
  World unset;
  unset.image.Put32(unset.vmWord, 0);
  EXPECT_FALSE(unset.Resolve("game"));
}

// A node count that is really a garbage word (a wrong VM offset, a VM of another layout) must not keep the
// game's thread scanning megabytes of readable memory; a table of any size a game holds is still scanned.
TEST(ScriptTableReader, GarbageNodeCountsAreNotScannedButLargeTablesAre) {
  ScriptImage image(kBase, 16 << 20);
  uint32_t vmWord = image.Alloc(4);
  uint32_t root = WriteTable(image, 4);
  image.Put32(vmWord, WriteVm(image, root));
  uint32_t big = WriteTable(image, 1 << 16);
  TableAdd(image, root, "big", ScriptValue::Ref(ScriptKind::Table, big));
  SetTableNode(image, big, (1 << 16) - 1, ScriptValue::Ref(ScriptKind::String, WriteString(image, "last")),
               ScriptValue::Int(42));
  uint32_t cls = WriteClass(image, {{"win", true, 0}});
  uint32_t instance = WriteInstance(image, cls, 1);
  SetInstanceField(image, instance, 0, ScriptValue::Int(2));
  TableAdd(image, root, "p1", ScriptValue::Ref(ScriptKind::Instance, instance));
  uint32_t type = 0, value = 0;
  {
    ImageMemory memory(image);
    ASSERT_TRUE(ResolveScriptPath(memory, vmWord, "big/last", &type, &value));
    EXPECT_EQ(42u, value);
    ASSERT_TRUE(ResolveScriptPath(memory, vmWord, "p1/win", &type, &value));
    EXPECT_EQ(2u, value);
  }
  // The rest of the image is zeros: free nodes as far as the scan would go.
  uint32_t members = image.Get32(cls + ScriptLayout::ClassMembers);
  image.Put32(big + ScriptLayout::TableNodeCount, (1 << 16) + 1);
  image.Put32(members + ScriptLayout::TableNodeCount, 0x7FFFFFFF);
  ImageMemory memory(image);
  EXPECT_FALSE(ResolveScriptPath(memory, vmWord, "big/nothing", &type, &value));
  EXPECT_FALSE(ResolveScriptPath(memory, vmWord, "p1/lose", &type, &value));
  EXPECT_LT(memory.Reads(), 200u);
  image.Put32(root + ScriptLayout::TableNodeCount, 0xFFFFFFFF);
  EXPECT_FALSE(ResolveScriptPath(memory, vmWord, "big", &type, &value));
  EXPECT_LT(memory.Reads(), 250u);
}

// Random object graphs with garbage words: the walker must end without faulting, whatever it meets, and
// read the same through a page cache of a few pages as directly, with some pages refused as the system
// refuses them (whole pages).
TEST(ScriptTableReader, SurvivesRandomGraphsAndGarbageAndReadsTheSameThroughAPageCache) {
  std::mt19937 random(20261207);
  const char* const components[] = {"a", "b", "name", "0", "1", "-1", "x", "", "win", "2"};
  unsigned long successes = 0, lookups = 0;
  for (int round = 0; round < 300; ++round) {
    ScriptImage image(kBase, 64 * 1024);
    std::vector<uint32_t> objects, tables;
    uint32_t vmWord = image.Alloc(4);
    uint32_t root = WriteTable(image, 1 + random() % 16);
    objects.push_back(root);
    tables.push_back(root);
    for (int i = 0; i < 40; ++i) {
      uint32_t object = 0;
      switch (random() % 5) {
        case 0:
          object = WriteTable(image, random() % 8);
          if (object) tables.push_back(object);
          break;
        case 1: object = WriteArray(image, random() % 5); break;
        case 2: object = WriteString(image, components[random() % 10]); break;
        case 3: object = WriteInstance(image, WriteClass(image, {{"a", true, random() % 6}, {"b", false, 0},
                                                                  {"name", true, random() % 3}}), random() % 4);
          break;
        default: object = image.Alloc(64); break;
      }
      if (object) objects.push_back(object);
    }
    const uint32_t kinds[] = {ScriptKind::Table, ScriptKind::Array, ScriptKind::Instance, ScriptKind::String,
                              ScriptKind::Integer, ScriptKind::Null};
    auto randomWord = [&]() -> uint32_t {
      switch (random() % 4) {
        case 0: return objects[random() % objects.size()];
        case 1: return objects[random() % objects.size()] + random() % 64;
        case 2: return kBase + random() % (64 * 1024 + 64);
        default: return (uint32_t)random();
      }
    };
    image.Put32(vmWord, WriteVm(image, root));
    // Link the tables to objects under the kinds they really are, then spoil some words.
    for (uint32_t table : tables)
      for (int k = 0; k < 4; ++k) {
        uint32_t target = objects[random() % objects.size()];
        ScriptValue link = random() % 3 == 0 ? ScriptValue::Int((int)(random() % 4))
                                             : ScriptValue::Ref(kinds[random() % 3], target);
        TableAdd(image, table, components[random() % 10], link);
      }
    for (uint32_t object : objects)
      for (int i = 0; i < 3; ++i) {
        if (random() % 2)
          image.Put32(object + 4 * (random() % 12), random() % 2 ? kinds[random() % 6] : randomWord());
        else
          image.Put32(object + 4 * (random() % 12), randomWord());
      }
    for (int i = 0; i < 20; ++i) image.Put32(kBase + 4 * (random() % (16 * 1024)), randomWord());
    ImageMemory memory(image), source(image);
    for (int refused = random() % 3; refused > 0; --refused) {
      uint32_t page = kBase + CachedPage::Size * (random() % 16);
      memory.Refuse(page, CachedPage::Size);
      source.Refuse(page, CachedPage::Size);
    }
    CachedPage pages[4];
    PageCache cached(source, pages, 1 + round % 4);
    for (int lookup = 0; lookup < 40; ++lookup) {
      std::string path;
      int parts = 1 + random() % 5;
      for (int p = 0; p < parts; ++p) path += (p ? "/" : "") + std::string(components[random() % 10]);
      uint32_t type = 0xDEADBEEF, value = 0xDEADBEEF, cachedType = 0xDEADBEEF, cachedValue = 0xDEADBEEF;
      ++lookups;
      cached.Invalidate();
      bool viaCache = ResolveScriptPath(cached, vmWord, path.c_str(), &cachedType, &cachedValue);
      bool found = ResolveScriptPath(memory, vmWord, path.c_str(), &type, &value);
      ASSERT_EQ(found, viaCache) << path;
      ASSERT_EQ(type, cachedType) << path;
      ASSERT_EQ(value, cachedValue) << path;
      if (found) {
        ++successes;
        char text[256], cachedText[256];
        uint32_t length = 0, cachedLength = 0;
        cached.Invalidate();
        bool cachedRead = ReadScriptString(cached, value, cachedText, &cachedLength);
        bool read = ReadScriptString(memory, value, text, &length);
        ASSERT_EQ(read, cachedRead);
        if (read) {
          ASSERT_GE(length, 1u);
          ASSERT_LE(length, 255u);
          ASSERT_EQ(0, text[length]);
          ASSERT_EQ(std::string(text), std::string(cachedText));
        }
      } else {
        ASSERT_EQ(0xDEADBEEFu, type);
        ASSERT_EQ(0xDEADBEEFu, value);
      }
    }
  }
  // The graphs must be meaningful enough that some lookups succeed, else the test explores nothing.
  EXPECT_GT(successes, lookups / 20);
  EXPECT_LT(successes, lookups);
}

}  // namespace
