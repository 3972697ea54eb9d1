// Equipment for the view window tests: a scratch profile, list reading, finding owned windows, dialog scripting.
#pragma once
#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

#include "TrackerTestSupport.h"

// Common controls, a scratch settings file and a fresh profile database; closes it again at the end.
class ScratchProfile {
 public:
  ScratchProfile();
  ~ScratchProfile();
  const std::wstring& Path() const { return path_; }
  ScratchFolder folder;

 private:
  std::wstring path_;
};

// A local wall-clock time as a stored timestamp.
int64_t At(int year, int month, int day, int hour = 12, int minute = 0, int second = 0, int ms = 0);
void Store(const MatchRecord& record);

LPARAM ItemData(HWND list, int row);
// The header texts in order.
std::vector<std::wstring> Headers(HWND list);

// Visible or hidden top-level windows of this thread owned by `owner` (optionally with this caption).
std::vector<HWND> OwnedWindows(HWND owner, const wchar_t* caption = nullptr);
// A plain hidden top-level window standing in as an owner.
HWND MakeOwnerWindow();

// Asks the window's list handler how it colours a row (the background it sets at the item stage).
COLORREF RowBackground(HWND dialog, int listId, int row);

// Waits for a message box of this process other than `except`, reads its text and presses OK on it.
// `icon` gets MB_ICONWARNING, MB_ICONERROR or 0, `owner` the box's owner.
std::wstring AnswerWarning(HWND except, UINT* icon = nullptr, HWND* owner = nullptr);

// Real mouse input through SendInput at a screen point: `clicks` presses of the left or right button.
void MouseClicks(POINT screen, int clicks, bool right = false);
// The screen point at the middle of a list cell (the row must be visible).
POINT CellCentre(HWND list, int row, int column);
// A real click on a list's column header, waiting until the list has reported it. Successive clicks land
// on alternating spots so that two of them never make a double click.
void ClickHeader(HWND list, int column);
// Brings a window to the front so that real input reaches it.
void Foreground(HWND window);

// Counts list notifications of one code that reach windows of this thread, so that a test knows when a
// real click has arrived even if it must change nothing.
class NotificationCounter {
 public:
  explicit NotificationCounter(UINT code);
  ~NotificationCounter();
  int Count() const { return count_; }
  // Pumps until one more than `before` has arrived.
  bool WaitPast(int before);

 private:
  static LRESULT CALLBACK Watch(int code, WPARAM wParam, LPARAM lParam);
  static NotificationCounter* current_;
  UINT code_;
  int count_ = 0;
  HHOOK hook_;
};

// Sends a window-menu command as the menu would.
void SystemCommand(HWND window, UINT command);
