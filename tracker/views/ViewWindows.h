// The windows and dialogs that the summary window (and each other) open.
#pragma once
#include <windows.h>
#include "store/RecordFilter.h"

// Modeless, dialog 115; null filter means no conditions. The window shows itself.
HWND OpenMatchHistoryWindow(HWND owner, const RecordFilter* filter);
// Modeless, dialog 101 with the opponent columns; the window keeps its own copy of the filter.
HWND OpenOpponentProfileWindow(HWND owner, const RecordFilter* filter);
// Modeless, dialog 101, owned by the summary window; takes ownership of `filter` (allocated with new).
// direction: the summary's direction at opening (1 own characters, 0 opponents' characters).
HWND OpenDetailWindow(HWND summary, RecordFilter* filter, int direction);
// Modal, dialog 109: IDOK after writing a complete new filter to `destination`, IDCANCEL leaving it alone.
INT_PTR ShowCustomFilterDialog(HWND owner, RecordFilter* destination);
// Modal, dialog 114: on OK opens a match history window owned by `owner`.
INT_PTR ShowHistoryFilterDialog(HWND owner);

// The detail, opponent and history windows follow the record as the summary does (they listen to the
// record's changes from their creation on). This message asks one to bring itself up to date now, as after
// a read that failed.
constexpr UINT RefreshViewMessage = WM_APP + 41;
// Marks a window as one that takes RefreshViewMessage.
void FollowRecordChanges(HWND window);
// For WM_DESTROY of a marked window.
void StopFollowingRecordChanges(HWND window);
// Posts RefreshViewMessage to every marked window of this thread.
void RefreshFollowingViews();
// The start-up's wiring: the tray's tooltip, the overlay files and the graph follow the record (the summary,
// history, opponent and detail windows listen from their creation on); then all of them are told once.
void ListenToRecordChanges();
