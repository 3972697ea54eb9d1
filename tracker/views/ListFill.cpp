#include "views/ListFill.h"

#include <commctrl.h>

#include <algorithm>

namespace {
constexpr UINT ContinueFillMessage = WM_APP + 40;
constexpr UINT_PTR ContinueFillTimer = 1;
// How long one turn of a fill may keep the thread from its other messages.
constexpr double FillTurnMilliseconds = 30;
}  // namespace

void ListFill::Start(bool refresh) {
  if (filling_ && refresh) {
    again_ = true;
    return;
  }
  again_ = false;
  if (job_.Begin(refresh)) {
    filling_ = true;
    // A turn already asked for carries the new fill on.
    if (!turnPending_) Continue();
    return;
  }
  filling_ = true;
  job_.ReadWhole();
  End();
}

void ListFill::End() {
  filling_ = false;
  job_.Finish();
  if (again_) {
    again_ = false;
    Start(true);
  }
}

void ListFill::Continue() {
  if (!filling_) return;
  double start = NowMilliseconds();
  bool more = true;
  while (more && NowMilliseconds() - start < FillTurnMilliseconds) more = job_.Step();
  if (!more) {
    End();
    return;
  }
  job_.BetweenTurns();
  turnPending_ = true;
  ScheduleTurn(window_, ContinueFillMessage, ContinueFillTimer);
}

bool ListFill::OnMessage(UINT message, WPARAM wParam) {
  if (message != ContinueFillMessage && !(message == WM_TIMER && wParam == ContinueFillTimer)) return false;
  KillTimer(window_, ContinueFillTimer);
  turnPending_ = false;
  Continue();
  return true;
}

namespace {
// The rows in view from `position` down are drawn again: a list is slow to paint, and a new match at its end
// changes one row.
void InvalidateRowsFrom(HWND list, int position) {
  RECT rows;
  if (position >= (int)SendMessageW(list, LVM_GETITEMCOUNT, 0, 0) || !GetClientRect(list, &rows)) return;
  RECT item{};
  item.left = LVIR_BOUNDS;
  int top = (int)SendMessageW(list, LVM_GETTOPINDEX, 0, 0);
  // A row above the view changed the rows in view; below it, from its top edge.
  if (position > top && SendMessageW(list, LVM_GETITEMRECT, (WPARAM)position, (LPARAM)&item)) {
    if (item.top >= rows.bottom) return;
    rows.top = std::max(rows.top, item.top);
  }
  InvalidateRect(list, &rows, FALSE);
}
}  // namespace

void ScrollListBy(HWND list, int rows) {
  RECT row{};
  row.left = LVIR_BOUNDS;
  if (rows && SendMessageW(list, LVM_GETITEMRECT, 0, (LPARAM)&row))
    SendMessageW(list, LVM_SCROLL, 0, (LPARAM)(rows * (row.bottom - row.top)));
}

HeldRows HoldRows(HWND list, const std::function<std::string(int)>& keyAt) {
  HeldRows held;
  int count = (int)SendMessageW(list, LVM_GETITEMCOUNT, 0, 0);
  held.count = count;
  held.selection = TakeSelection(list);
  auto hold = [&](int position) {
    if (position >= 0 && position < count) held.keys.emplace_back(position, keyAt(position));
  };
  if (held.selection.all) hold(0);
  for (int position : held.selection.selected) hold(position);
  hold(held.selection.focused);
  hold(held.selection.mark);
  held.top = (int)SendMessageW(list, LVM_GETTOPINDEX, 0, 0);
  if (held.top >= 0 && held.top < count) held.topKey = keyAt(held.top);
  else held.top = -1;
  int perPage = (int)SendMessageW(list, LVM_GETCOUNTPERPAGE, 0, 0);
  held.atEnd = count == 0 || held.top + perPage >= count;
  return held;
}

void PutRowsBack(HWND list, const HeldRows& held, int count, const std::function<int(const std::string&)>& find,
                 bool followEnd, int firstChanged) {
  auto to = [&](int position) {
    for (const auto& key : held.keys)
      if (key.first == position) return find(key.second);
    return -1;
  };
  // Fewer rows may move the view without a scroll of what it shows.
  if (count < held.count) firstChanged = 0;
  PutSelection(list, held.selection, count, to, firstChanged == 0);
  if (count == 0) return;
  // Scrolled first: the scroll moves what is drawn, the rows from the change on are then drawn anew.
  int topBefore = (int)SendMessageW(list, LVM_GETTOPINDEX, 0, 0);
  if (followEnd && held.atEnd) {
    SendMessageW(list, LVM_ENSUREVISIBLE, (WPARAM)(count - 1), FALSE);
  } else {
    int wanted = held.top < 0 ? 0 : find(held.topKey);
    if (wanted < 0) wanted = std::min(held.top, count - 1);
    ScrollListBy(list, wanted - topBefore);
  }
  if (firstChanged <= 0) return;
  InvalidateRowsFrom(list, firstChanged);
  // Above the first whole row the list shows the edge of the row before it, which a scroll does not move.
  int top = (int)SendMessageW(list, LVM_GETTOPINDEX, 0, 0);
  RECT row{};
  row.left = LVIR_BOUNDS;
  if (top != topBefore && SendMessageW(list, LVM_GETITEMRECT, (WPARAM)top, (LPARAM)&row)) {
    row.top = 0;
    InvalidateRect(list, &row, FALSE);
  }
}
