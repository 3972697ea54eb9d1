// Opening a profile in place of another: at start-up and while the tracker runs (the load command, a shortcut
// key), with the salvage of a damaged file offered in both.
#pragma once
#include <windows.h>
#include <string>

#include "store/RecordDatabase.h"

// Opens the profile at the current path as OpenRecordDatabase does. A profile the tracker had open when its last
// run ended without a clean exit is first checked with quick_check; one that fails is refused as damaged
// (ProfileNotDatabase). The profile opened is noted in the settings until the clean exit.
bool OpenProfileChecked(ProfileProblem* problem);
// At a clean exit, once the profile is closed: the next start needs no check (unless a profile found unclean
// was never opened to be checked).
void NoteProfileClosedCleanly();

enum class RefusedProfileStep { Salvaged, ChooseAnother, KeepCurrent };
// After a refused open, with the current path set back as the caller needs it. A damaged profile gets the
// offer: its newest sound backup plus what is still readable in it (the damaged file kept under a new name),
// or another file, or (`canKeepCurrent`, a switch) the profile that is open; Salvaged means a profile was made
// anew at `path`. Any other refusal is told, and leads to another file (start-up) or the open profile.
RefusedProfileStep AnswerRefusedProfile(HWND owner, const std::wstring& path, ProfileProblem problem,
                                        bool canKeepCurrent);

// Opens `path` in place of the current profile. On success the order is fixed: open, take up the new
// profile's recovery file, close the windows of the old one, announce read-only access, refresh the summary
// (which refreshes the windows that follow it). Nothing between the open and the take-up shows a box or pumps
// messages, so a capture can never be queued for the new profile before its recovered matches are; while a box
// about a refused file is up, the old profile is the current one. On failure the old profile stays open and
// current, with a message. The summary reads a big profile in turns after this returns: a match decided
// meanwhile is captured at once and stored in the profile now open.
bool SwitchProfile(HWND summary, const std::wstring& path);
