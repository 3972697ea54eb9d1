// Small UTF-8 text files for streaming software, rewritten whenever the summary's figures change, when
// switched on in section "StreamOverlay" of the settings (keys "Enabled" and "Folder").
#pragma once
#include <string>

#include "store/RecentForm.h"

// The files by name and their texts for these figures.
struct OverlayFile {
  const wchar_t* name;
  std::wstring text;
};
constexpr int OverlayFileCount = 6;
void OverlayTexts(const RecentForm& form, bool highPrecision, OverlayFile (&files)[OverlayFileCount]);

// Reads the settings at once (they are never cached) and writes the files when switched on. A folder that
// cannot be written is reported once, until a write succeeds again.
void UpdateStreamOverlay();
