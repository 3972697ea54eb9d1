#include "shell/MatchCapture.h"

#include <cstring>
#include <string>

#include "common/Clipboard.h"
#include "common/ResultLine.h"
#include "store/RecordDatabase.h"
#include "shell/AppState.h"
#include "common/CharacterTable.h"
#include "shell/PendingMatches.h"
#include "shell/ProbeBinding.h"
#include "common/TextUtil.h"
#include "shell/TrayMenu.h"

bool (*g_unreadMatchAnnouncer)(const std::wstring& title, const std::wstring& text) = ShowTrayBalloon;

namespace {
// The library hands ids 7 and 8 back in one buffer that the next request overwrites: copy at once.
std::string ReadProfileName(MirrowAddrGetParamFn getParam, int id) {
  int result = getParam(id);
  if (result == ProbeParamFailed) return std::string();
  return std::string(reinterpret_cast<const char*>((INT_PTR)result));
}

// Every value a row needs, from one pass of requests.
struct MatchValues {
  int side;
  std::string names[2];
  int wins[2];
  int characters[2];
  bool operator==(const MatchValues& o) const {
    return side == o.side && names[0] == o.names[0] && names[1] == o.names[1] && wins[0] == o.wins[0] &&
           wins[1] == o.wins[1] && characters[0] == o.characters[0] && characters[1] == o.characters[1];
  }
};

// The side first, nearest the round that set off the capture: read last, it was the value most often
// taken from the game's next moment.
MatchValues ReadMatchValues(MirrowAddrGetParamFn getParam) {
  MatchValues v;
  v.side = getParam(IsClient);
  v.names[0] = ReadProfileName(getParam, Side1ProfileName);
  v.names[1] = ReadProfileName(getParam, Side2ProfileName);
  v.wins[0] = getParam(Side1Wins);
  v.wins[1] = getParam(Side2Wins);
  v.characters[0] = getParam(Side1Character);
  v.characters[1] = getParam(Side2Character);
  return v;
}

// Two passes that agree are one moment of the game; a game that moves on in between would give a row with
// the sides or the score of two different moments.
constexpr int MaxReadPasses = 5;
constexpr DWORD ReadWindowMs = 100;
constexpr DWORD RetryPauseMs = 10;

bool ReadAgreeingValues(MirrowAddrGetParamFn getParam, MatchValues* values) {
  DWORD start = GetTickCount();
  MatchValues last = ReadMatchValues(getParam);
  for (int pass = 1; pass < MaxReadPasses; ++pass) {
    MatchValues next = ReadMatchValues(getParam);
    if (next == last) {
      *values = next;
      return true;
    }
    last = next;
    if (GetTickCount() - start >= ReadWindowMs) break;
    Sleep(RetryPauseMs);
  }
  return false;
}

void FillSide(const MatchValues& v, int side, char* name, size_t size, int* id, int* win) {
  CopyToField(name, size, v.names[side].c_str());
  *id = v.characters[side];
  *win = v.wins[side];
}
}  // namespace

bool IsAcceptableResult(int side1Wins, int side2Wins, int side1Character, int side2Character) {
  // Both sides bounded on both ends: a failed read (-1) or a stray id would otherwise be stored
  // and break every pairing query on that row.
  if (side1Wins < 0 || side1Wins > 2 || side2Wins < 0 || side2Wins > 2) return false;
  if (side1Wins != 2 && side2Wins != 2) return false;
  return side1Character >= 0 && side1Character < CharacterCount && side2Character >= 0 &&
         side2Character < CharacterCount;
}

MatchReading ReadMatch(MirrowAddrGetParamFn getParam, MatchRecord* record) {
  MatchValues v;
  if (!ReadAgreeingValues(getParam, &v)) {
    OutputDebugStringW(L"Corvenka: the match values changed every time they were read; nothing stored\n");
    return MatchReading::Unreadable;
  }
  // A failed read of the side (-1) is no side: taken as either, it may store the opponent's result as ours.
  if (v.side != 0 && v.side != 1) {
    OutputDebugStringW(L"Corvenka: the side the user played could not be read; nothing stored\n");
    return MatchReading::Unreadable;
  }
  if (!IsAcceptableResult(v.wins[0], v.wins[1], v.characters[0], v.characters[1])) return MatchReading::Implausible;

  memset(record, 0, sizeof *record);
  record->timestamp = CurrentTimestamp();
  int own = v.side;  // the client plays side 2
  FillSide(v, own, record->p1name, sizeof record->p1name, &record->p1id, &record->p1win);
  FillSide(v, 1 - own, record->p2name, sizeof record->p2name, &record->p2id, &record->p2win);
  return MatchReading::Taken;
}

void CaptureFinishedMatch() {
  MatchRecord record;
  switch (ReadMatch(g_probe.getParam, &record)) {
    case MatchReading::Taken:
      break;
    case MatchReading::Unreadable: {
      // A match was played and is not in the record: the user must hear of it, or it is lost unnoticed.
      SYSTEMTIME now;
      GetLocalTime(&now);
      g_unreadMatchAnnouncer(L"対戦を読み取れませんでした",
                             FormatWide(L"%02d:%02d:%02d に終わった対戦の結果を読み取れず、記録していません。",
                                        now.wHour, now.wMinute, now.wSecond));
      return;
    }
    default:
      return;
  }

  // Stored now, or kept until the file takes it; only a timestamp already stored turns it away.
  if (!StoreCapturedMatch(record)) return;

  switch (g_app.copyMode) {
    case CopyOpponentName: {
      std::wstring name = AnsiToWide(record.p2name);
      CopyTextToClipboard(name.c_str(), -1);
      break;
    }
    case CopyAll: {
      std::wstring line = FormatResultLine(record);
      CopyTextToClipboard(line.c_str(), -1);
      break;
    }
    default:
      break;
  }
}
