// A finished match becomes a stored row: read through the probe, checked, turned to the user's side,
// stored in one transaction, journalled, announced to the summary, copied as asked.
#pragma once
#include <windows.h>
#include <string>
#include "store/MatchRecord.h"
#include "MirrowAddrContract.h"

void CaptureFinishedMatch();

enum class MatchReading { Taken, Unreadable, Implausible };

// Reads the finished match twice (again within about 100 ms while the passes disagree), checks it and turns
// it to the user's side. Unreadable: the values never agreed or the side was unreadable; Implausible: the
// check failed.
MatchReading ReadMatch(MirrowAddrGetParamFn getParam, MatchRecord* record);
inline bool ReadFinishedMatch(MirrowAddrGetParamFn getParam, MatchRecord* record) {
  return ReadMatch(getParam, record) == MatchReading::Taken;
}

// Tells the user that a finished match could not be read (the tray balloon; tests put their own here).
extern bool (*g_unreadMatchAnnouncer)(const std::wstring& title, const std::wstring& text);

// The check a capture applies before storing anything.
bool IsAcceptableResult(int side1Wins, int side2Wins, int side1Character, int side2Character);
