// Replacing the open profile by another while the tracker runs (the load command, a shortcut key).
#pragma once
#include <windows.h>
#include <string>

// Opens `path` in place of the current profile. On success the order is fixed: open, take up the new
// profile's recovery file, close the windows of the old one, announce read-only access, refresh the summary
// (which refreshes the windows that follow it). Nothing before the take-up shows a box or pumps messages, so
// a capture can never be queued for the new profile before its recovered matches are. On failure the old
// profile stays open and current, with a message.
bool SwitchProfile(HWND summary, const std::wstring& path);
