// A finished match becomes a stored row: read through the probe, checked, turned to the user's side,
// stored in one transaction, journalled, announced to the summary, copied as asked.
#pragma once
#include <windows.h>
#include <string>
#include "../store/MatchRecord.h"
#include "MirrowAddrContract.h"

void CaptureFinishedMatch();

// Reads the finished match twice (again within about 100 ms while the passes disagree), checks it and turns
// it to the user's side; false when the values never agreed, the side was unreadable or the check failed.
bool ReadFinishedMatch(MirrowAddrGetParamFn getParam, MatchRecord* record);

// The check a capture applies before storing anything.
bool IsAcceptableResult(int side1Wins, int side2Wins, int side1Character, int side2Character);

// The copy-mode 2 text: "own(char) w-l opp(char)".
std::wstring FormatResultLine(const MatchRecord& record);

// Puts UTF-16 text on the clipboard; length -1 means up to the NUL.
bool CopyTextToClipboard(const wchar_t* text, int length);
