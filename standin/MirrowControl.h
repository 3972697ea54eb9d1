// Control messages of the stand-in game's main window (class "mirrow"), for tests and demos.
#pragma once
#include <windows.h>

// Applies the next scenario event; returns the number of events applied so far (unchanged at the end).
constexpr UINT MirrowStepMessage = WM_APP + 0x10;
// Returns the number of events applied so far.
constexpr UINT MirrowStepCountMessage = WM_APP + 0x11;
// Returns the number of events in the scenario.
constexpr UINT MirrowEventCountMessage = WM_APP + 0x12;
// Returns the number of the probe's requests the game has answered so far.
constexpr UINT MirrowRequestCountMessage = WM_APP + 0x13;

// Named events of a stalled game, formatted with its process id: set while the `stall` event holds the
// game's thread, and the one that lets it go on.
constexpr wchar_t MirrowStalledEventFormat[] = L"MirrowStalled.%lu";
constexpr wchar_t MirrowResumeEventFormat[] = L"MirrowResume.%lu";

// Where the game keeps the address of its script VM, from its main module's load address.
constexpr DWORD MirrowVmWordOffset = 0x543FC4;
