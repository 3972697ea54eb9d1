// Control messages of the stand-in game's main window (class "mirrow"), for tests and demos.
#pragma once
#include <windows.h>

// Applies the next scenario event; returns the number of events applied so far (unchanged at the end).
constexpr UINT MirrowStepMessage = WM_APP + 0x10;
// Returns the number of events applied so far.
constexpr UINT MirrowStepCountMessage = WM_APP + 0x11;
// Returns the number of events in the scenario.
constexpr UINT MirrowEventCountMessage = WM_APP + 0x12;

// Where the game keeps the address of its script VM, from its main module's load address.
constexpr DWORD MirrowVmWordOffset = 0x543FC4;
