#pragma once
#include <string>

// "own(char) w-l opp(char)": the copy-mode 2 text, also shown in balloons; names in the code page the game
// gives them in.
std::wstring FormatResultLine(const char* ownName, int ownCharacter, int ownWins, const char* opponentName,
                              int opponentCharacter, int opponentWins);
// For any row with the stored match's fields, p1 being the user's side.
template <typename Row>
std::wstring FormatResultLine(const Row& row) {
  return FormatResultLine(row.p1name, row.p1id, row.p1win, row.p2name, row.p2id, row.p2win);
}
