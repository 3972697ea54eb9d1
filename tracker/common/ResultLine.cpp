#include "common/ResultLine.h"

#include "common/CharacterTable.h"
#include "common/TextUtil.h"

namespace {
const wchar_t* ShortNameOf(int id) {
  const CharacterEntry* entry = LookupCharacter(id);
  return entry ? entry->shortName : L"?";
}
}  // namespace

std::wstring FormatResultLine(const char* ownName, int ownCharacter, int ownWins, const char* opponentName,
                              int opponentCharacter, int opponentWins) {
  return FormatWide(L"%s(%s) %d-%d %s(%s)", AnsiToWide(ownName).c_str(), ShortNameOf(ownCharacter), ownWins,
                    opponentWins, AnsiToWide(opponentName).c_str(), ShortNameOf(opponentCharacter));
}
