// libFuzzer target: the walker over an arbitrary memory image, directly and through a page cache that must
// read the same. Input: one byte of path length, the path, then the image (seen at kBase; its first word is
// the VM word). Built natively with AddressSanitizer by run.sh; with MAKE_SEEDS it is instead a program that
// writes well-formed seed inputs.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "ImageMemory.h"
#include "PageCache.h"
#include "ScriptLayout.h"
#include "ScriptTableReader.h"

namespace {
constexpr uint32_t kBase = 0x00010000;

void Walk(const uint8_t* data, size_t size) {
  if (size < 1) return;
  size_t pathLength = data[0] % 64;
  if (size < 1 + pathLength) return;
  std::string path(reinterpret_cast<const char*>(data + 1), pathLength);
  path = path.c_str();  // as the IPC window sees it: up to the first NUL
  const uint8_t* image = data + 1 + pathLength;
  uint32_t imageSize = (uint32_t)(size - 1 - pathLength);
  // The system grants whole pages, so the image is read as whole pages, the last one padded with zeros.
  std::vector<uint8_t> paged((imageSize + CachedPage::Size - 1) / CachedPage::Size * CachedPage::Size);
  if (imageSize) std::memcpy(paged.data(), image, imageSize);
  ImageMemory memory(paged.data(), kBase, (uint32_t)paged.size());
  CachedPage pages[2];
  PageCache cached(memory, pages, 2);
  const char* paths[] = {path.c_str(), "game/battleState", "load_data/profile/0/name", "a/0/b"};
  for (const char* p : paths) {
    uint32_t type = 0, value = 0, cachedType = 0, cachedValue = 0;
    cached.Invalidate();
    bool found = ResolveScriptPath(memory, kBase, p, &type, &value);
    if (found != ResolveScriptPath(cached, kBase, p, &cachedType, &cachedValue) || type != cachedType ||
        value != cachedValue)
      __builtin_trap();
    if (found) {
      char text[256], cachedText[256];
      uint32_t length = 0, cachedLength = 0;
      cached.Invalidate();
      bool read = ReadScriptString(memory, value, text, &length);
      if (read != ReadScriptString(cached, value, cachedText, &cachedLength)) __builtin_trap();
      if (read && (length < 1 || length > 255 || text[length] != 0 || length != cachedLength ||
                   std::memcmp(text, cachedText, length + 1) != 0))
        __builtin_trap();
    }
  }
}
}  // namespace

#ifndef MAKE_SEEDS
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Walk(data, size);
  return 0;
}
#else
// Seeds: small worlds in the real layout, so the fuzzer starts from inputs that reach deep.
int main(int argc, char** argv) {
  const char* folder = argc > 1 ? argv[1] : ".";
  const char* paths[] = {"game/battleState", "load_data/profile/0/name", "a/0/b", "load_data/player/1"};
  for (int n = 0; n < 4; ++n) {
    ScriptImage image(kBase, 4096);
    uint32_t vmWord = image.Alloc(4);
    uint32_t root = WriteTable(image, 6);
    uint32_t game = WriteTable(image, 2);
    TableAdd(image, game, "battleState", ScriptValue::Int(3));
    TableAdd(image, root, "game", ScriptValue::Ref(ScriptKind::Table, game));
    uint32_t cls = WriteClass(image, {{"name", true, 1}, {"Go", false, 0}});
    uint32_t inst = WriteInstance(image, cls, 2);
    SetInstanceField(image, inst, 1, ScriptValue::Ref(ScriptKind::String, WriteString(image, "minato")));
    uint32_t profiles = WriteArray(image, 2);
    SetArrayElement(image, profiles, 0, ScriptValue::Ref(ScriptKind::Instance, inst));
    uint32_t players = WriteArray(image, 2);
    SetArrayElement(image, players, 1, ScriptValue::Int(7));
    uint32_t load = WriteTable(image, 4);
    TableAdd(image, load, "profile", ScriptValue::Ref(ScriptKind::Array, profiles));
    TableAdd(image, load, "player", ScriptValue::Ref(ScriptKind::Array, players));
    TableAdd(image, root, "load_data", ScriptValue::Ref(ScriptKind::Table, load));
    uint32_t a = WriteArray(image, 1);
    uint32_t inner = WriteTable(image, 2);
    TableAdd(image, inner, "b", ScriptValue::Ref(ScriptKind::String, WriteString(image, "bee")));
    SetArrayElement(image, a, 0, ScriptValue::Ref(ScriptKind::Table, inner));
    TableAdd(image, root, "a", ScriptValue::Ref(ScriptKind::Array, a));
    image.Put32(vmWord, WriteVm(image, root));
    std::string input(1, (char)std::strlen(paths[n]));
    input += paths[n];
    input.append(reinterpret_cast<const char*>(image.Data()), image.Used());
    std::string name = std::string(folder) + "/seed" + std::to_string(n);
    FILE* file = std::fopen(name.c_str(), "wb");
    if (!file) return 1;
    std::fwrite(input.data(), 1, input.size(), file);
    std::fclose(file);
  }
  return 0;
}
#endif
