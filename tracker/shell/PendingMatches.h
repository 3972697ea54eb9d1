// Captured matches that the profile could not take yet (another program holds the file, the disk is full):
// kept in order, retried, mirrored into a recovery file beside the profile, and stored into that profile
// exactly once, however late.
#pragma once
#include <cstddef>
#include <string>
#include "shell/RecoveryFile.h"
#include "store/MatchRecord.h"

// Stores the match after any still waiting, each in its own transaction, journalled and announced to the
// summary once stored. One that cannot be stored now waits; the user hears of it once per episode.
// False only when the profile refuses it for good (its timestamp is already stored).
bool StoreCapturedMatch(const MatchRecord& record);

// Tries the waiting matches again; true when none is left waiting.
bool StorePendingMatches();
size_t PendingMatchCount();

// At exit: a last try, then what still waits stays in its profile's recovery file, to be stored the next
// time that profile is opened. What no file can hold is shown in a box that offers another try or a copy
// as text on the clipboard: a match leaves memory only stored, in a file that was read back, or copied.
void SetPendingMatchesAside();
// After another profile replaced `previousProfile` (tried just before): what still waits stays in the
// recovery file of the profile it was captured for, never in the new one; in memory while none can be written.
void LeavePendingMatchesWith(const std::wstring& previousProfile);
// Right after a profile was opened: the matches of its recovery files are stored (or wait) like captures.
void TakeUpRecoveredMatches();


// How the user is told; the tray balloon unless a test listens instead.
extern bool (*g_pendingAnnouncer)(const std::wstring& title, const std::wstring& text);
