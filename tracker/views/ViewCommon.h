// Small pieces the history, opponent profile, detail and filter windows share.
#pragma once
#include <windows.h>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "common/Timestamp.h"
#include "store/RecordFilter.h"

// The module whose resources hold the dialog templates: the program itself.
HINSTANCE ViewResourceInstance();
// For WM_GETMINMAXINFO: the views may be shrunk to nothing.
void AllowAnySize(LPARAM minMaxInfo);
// A dialog procedure's answer to a notification that needs a result.
INT_PTR DialogResult(HWND dialog, LRESULT result);
// What every window around one list answers alike: the list fills the client area, the window takes any
// size and follows a change of DPI. True when `message` was one of these; `result` is the dialog's answer.
bool OnListWindowLayout(HWND window, HWND list, UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result);
// Where a window of this rectangle can be reached: where it is when any part of it is on some monitor's work
// area, else moved into the nearest work area.
POINT ReachablePosition(const RECT& window);
// Moves a window being opened down and to the right while another shown window of this thread has its
// top left corner there, so that windows opened one after another do not hide each other; it stays within
// its work area.
void CascadeFromShownWindows(HWND window);
// Tells the user that a change by hand, an undo or a redo was not made, and why.
void ShowChangeNotDone(HWND owner);

// Walks the matches of a filter newest first in ranges of their timestamps, each sized from how long the
// last one took, so that the GUI thread gets back to its messages between ranges.
class TimestampWalk {
 public:
  // False when the table cannot be walked by ranges (see QueryTimestampRange) or is empty.
  bool Start(const RecordFilter& base);
  // The base filter narrowed to the next range; false when the walk is over.
  bool Next(RecordFilter& range);
  // Milliseconds the range from Next took.
  void Took(double milliseconds);

 private:
  RecordFilter base_{};
  int64_t high_ = 0, low_ = 0, width_ = 0;
  bool done_ = true;
};

// Milliseconds of a steady clock.
double NowMilliseconds();

// The selection of an owner-data list, which holds it by position: rows that move must take it along.
struct ListSelection {
  std::vector<int> selected;
  int focused = -1;
  int mark = -1;
  bool all = false;
};
ListSelection TakeSelection(HWND list);
// Sets the item count, then selects again where `to` (old position to new one) puts each row; a row that
// `to` puts below 0 loses its selection. With `redrawAll` every row in view is drawn again; without, the
// caller draws again the rows that changed.
void PutSelection(HWND list, const ListSelection& selection, int newCount, const std::function<int(int)>& to,
                  bool redrawAll = true);
// The dialog's list control made again with LVS_OWNERDATA (which a list cannot take on later), in the same
// place with the same styles, id and font; the new control.
HWND MakeOwnerDataList(HWND dialog, int id);
// Asks for the next turn of a long job as `message` posted to the window, or as the `timer` when input waits
// (posted messages come before input and painting; what needs painting is painted first).
void ScheduleTurn(HWND window, UINT message, UINT_PTR timer);

// After a refresh: a failed one leaves the rows as they were, marks the title as not current and posts
// RefreshViewMessage again in a few seconds; a successful one takes the mark away.
void MarkViewCurrent(HWND window, bool current);
