#pragma once

struct CharacterEntry {
  const wchar_t* fullName;
  const wchar_t* shortName;
};

constexpr int CharacterCount = 14;
extern const CharacterEntry CharacterTable[CharacterCount];

// Null for every id outside 0..13.
const CharacterEntry* LookupCharacter(int id);
