#include "common/CharacterTable.h"

// In the order of the game's own character ids.
const CharacterEntry CharacterTable[CharacterCount] = {
    {L"天城ハヤテ", L"ハヤテ"}, {L"白百合ミオ", L"ミオ"},   {L"鬼塚ゴウ", L"ゴウ"},     {L"月影サヨ", L"サヨ"},
    {L"風間リク", L"リク"},     {L"雪代ユキ", L"ユキ"},     {L"黒鉄ジン", L"ジン"},     {L"桜井ハナ", L"ハナ"},
    {L"雷堂タケル", L"タケル"}, {L"水無瀬ナギ", L"ナギ"},   {L"紅蓮アカネ", L"アカネ"}, {L"藤波シオン", L"シオン"},
    {L"霧島カゲロウ", L"カゲロウ"}, {L"星野ツバサ", L"ツバサ"},
};

const CharacterEntry* LookupCharacter(int id) {
  if (id < 0 || id >= CharacterCount) return nullptr;
  return &CharacterTable[id];
}
