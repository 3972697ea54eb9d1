#include "MatchCapture.h"

#include <cstring>
#include <string>

#include "../store/RecordDatabase.h"
#include "AppState.h"
#include "CharacterTable.h"
#include "PendingMatches.h"
#include "ProbeBinding.h"
#include "TextUtil.h"
#include "TrayMenu.h"

namespace {
// The library hands ids 7 and 8 back in one buffer that the next request overwrites: copy at once.
std::string ReadProfileName(int id) {
  int result = g_probe.getParam(id);
  if (result == ProbeParamFailed) return std::string();
  return std::string(reinterpret_cast<const char*>((INT_PTR)result));
}

const wchar_t* ShortNameOf(int id) {
  const CharacterEntry* entry = LookupCharacter(id);
  return entry ? entry->shortName : L"?";
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

std::wstring FormatResultLine(const MatchRecord& record) {
  std::wstring own = AnsiToWide(record.p1name);
  std::wstring opponent = AnsiToWide(record.p2name);
  return FormatWide(L"%s(%s) %d-%d %s(%s)", own.c_str(), ShortNameOf(record.p1id), record.p1win, record.p2win,
                    opponent.c_str(), ShortNameOf(record.p2id));
}

void CaptureFinishedMatch() {
  std::string side1Name = ReadProfileName(Side1ProfileName);
  std::string side2Name = ReadProfileName(Side2ProfileName);
  int side1Wins = g_probe.getParam(Side1Wins);
  int side2Wins = g_probe.getParam(Side2Wins);
  int side1Character = g_probe.getParam(Side1Character);
  int side2Character = g_probe.getParam(Side2Character);
  if (!IsAcceptableResult(side1Wins, side2Wins, side1Character, side2Character)) return;

  MatchRecord record;
  memset(&record, 0, sizeof record);
  record.timestamp = CurrentTimestamp();
  // Anything but a clear "host" (including a failed read) means the user played side 2.
  if (g_probe.getParam(IsClient) == 0) {
    CopyToField(record.p1name, sizeof record.p1name, side1Name.c_str());
    record.p1id = side1Character;
    record.p1win = side1Wins;
    CopyToField(record.p2name, sizeof record.p2name, side2Name.c_str());
    record.p2id = side2Character;
    record.p2win = side2Wins;
  } else {
    CopyToField(record.p1name, sizeof record.p1name, side2Name.c_str());
    record.p1id = side2Character;
    record.p1win = side2Wins;
    CopyToField(record.p2name, sizeof record.p2name, side1Name.c_str());
    record.p2id = side1Character;
    record.p2win = side1Wins;
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

bool CopyTextToClipboard(const wchar_t* text, int length) {
  if (!OpenClipboard(nullptr)) return false;
  if (length == -1) length = lstrlenW(text);
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, (SIZE_T)(length + 1) * sizeof(wchar_t));
  if (!block) {
    CloseClipboard();
    return false;
  }
  wchar_t* target = static_cast<wchar_t*>(GlobalLock(block));
  if (length) memcpy(target, text, (size_t)length * sizeof(wchar_t));
  target[length] = L'\0';
  GlobalUnlock(block);
  EmptyClipboard();
  if (!SetClipboardData(CF_UNICODETEXT, block)) GlobalFree(block);
  CloseClipboard();
  return true;
}
