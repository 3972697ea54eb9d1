// What the history and opponent windows share: their fill in turns of the GUI thread, and keeping the
// selection and the rows in view while rows come and go.
#pragma once
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "views/ViewCommon.h"

// What a window reads; the turns are the engine's.
class ListFillJob {
 public:
  virtual ~ListFillJob() = default;
  // Prepares a fill; true when it goes range by range (Step), false when it is read at once (ReadWhole).
  // refresh: after a change of the record, the list keeping its rows until the new ones are complete.
  virtual bool Begin(bool refresh) = 0;
  // One range; false when there is no more.
  virtual bool Step() = 0;
  virtual void ReadWhole() = 0;
  // The fill is over.
  virtual void Finish() = 0;
  // Between two turns of a fill that goes on.
  virtual void BetweenTurns() {}
};

class ListFill {
 public:
  ListFill(HWND window, ListFillJob& job) : window_(window), job_(job) {}
  // A refresh asked for while a fill runs starts once it is over; a fill that is not a refresh starts anew.
  void Start(bool refresh);
  bool Filling() const { return filling_; }
  // For the window procedure: true when the message is the fill's turn.
  bool OnMessage(UINT message, WPARAM wParam);

 private:
  void Continue();
  void End();
  HWND window_;
  ListFillJob& job_;
  bool filling_ = false;
  bool turnPending_ = false;
  bool again_ = false;
};

// The selection and the first row in view of an owner-data list, held by the rows' keys.
struct HeldRows {
  ListSelection selection;
  std::vector<std::pair<int, std::string>> keys;  // old position and its row's key
  int top = -1;
  std::string topKey;
  bool atEnd = false;  // the last row was in view
  int count = 0;
};
HeldRows HoldRows(HWND list, const std::function<std::string(int)>& keyAt);
// The list told of `count` rows, the held rows selected where `find` (key to new position, -1 when gone) puts
// them; the same first row in view, or the last one when it was in view and `followEnd`. The rows from
// `firstChanged` on are drawn again (all of them when rows went away).
void PutRowsBack(HWND list, const HeldRows& held, int count, const std::function<int(const std::string&)>& find,
                 bool followEnd, int firstChanged = 0);
// Scrolls the list by whole rows.
void ScrollListBy(HWND list, int rows);
