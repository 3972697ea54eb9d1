// The custom period dialog (109) and the history filter dialog (114): tick conditions, OK builds the filter.
#include <windows.h>
#include <commctrl.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <cwchar>

#include "views/ViewWindows.h"
#include "views/ViewCommon.h"
#include "resources/resource.h"
#include "common/CharacterTable.h"
#include "common/TextUtil.h"
#include "common/WindowState.h"

namespace {
const wchar_t FilterResultProperty[] = L"filterResult";

struct FilterDialogState {
  bool history;               // dialog 114
  HWND owner;                 // the history window's owner
  RecordFilter* destination;  // dialog 109's, kept as its "filterResult" property
};

struct Dependency {
  int box;
  int dependents[2];
};
// A control that a dialog does not have is simply not found.
const Dependency Dependencies[] = {
    {IDC_P1_CHECK, {IDC_P1_NAME, IDC_P1_WILDCARD}},   {IDC_P2_CHECK, {IDC_P2_NAME, IDC_P2_WILDCARD}},
    {IDC_P1_CHAR_CHECK, {IDC_P1_CHAR, 0}},            {IDC_P2_CHAR_CHECK, {IDC_P2_CHAR, 0}},
    {IDC_FROM_CHECK, {IDC_FROM_DATE, 0}},             {IDC_TO_CHECK, {IDC_TO_DATE, 0}},
    {IDC_LIMIT_CHECK, {IDC_LIMIT_COUNT, 0}},
};

bool Ticked(HWND dialog, int box) { return IsDlgButtonChecked(dialog, box) == BST_CHECKED; }

void UpdateEnabling(HWND dialog) {
  for (const Dependency& d : Dependencies) {
    bool on = Ticked(dialog, d.box);
    for (int id : d.dependents)
      if (id) EnableWindow(GetDlgItem(dialog, id), on);
  }
}

void Warn(HWND dialog, const wchar_t* text) { MessageBoxW(dialog, text, nullptr, MB_OK | MB_ICONWARNING); }

void ReadName(HWND dialog, int edit, char (&field)[260]) {
  wchar_t text[260];
  text[0] = 0;
  GetDlgItemTextW(dialog, edit, text, 260);
  CopyToField(field, WideToAnsi(text).c_str());
}

// False after a warning.
bool ReadCharacter(HWND dialog, int list, int32_t& id) {
  id = (int)SendDlgItemMessageW(dialog, list, CB_GETCURSEL, 0, 0);
  if (LookupCharacter(id)) return true;
  Warn(dialog, L"キャラクター指定が正しくありません");
  return false;
}

int64_t DateAt(HWND dialog, int picker, WORD hour, WORD minute, WORD second, WORD milliseconds) {
  SYSTEMTIME date{};
  SendDlgItemMessageW(dialog, picker, DTM_GETSYSTEMTIME, 0, (LPARAM)&date);
  return TimestampOnDay(date, hour, minute, second, milliseconds);
}

// As many digits as the count box shows; a larger count can still be typed.
constexpr int MaxSpinCount = 9999;

// The up-down control flags anything outside its range as an error; a whole number typed beyond that
// range is still a count, any other text is none (0).
int ReadCount(HWND dialog) {
  LRESULT position = SendDlgItemMessageW(dialog, IDC_COUNT_SPIN, UDM_GETPOS, 0, 0);
  if (!HIWORD(position)) return (short)LOWORD(position);
  wchar_t text[32] = L"";
  GetDlgItemTextW(dialog, IDC_LIMIT_COUNT, text, 32);
  wchar_t* end = nullptr;
  errno = 0;
  long value = wcstol(text, &end, 10);
  while (end && *end == L' ') ++end;
  if (end == text || !end || *end || errno == ERANGE || value > INT32_MAX) return 0;
  return (int)value;
}

// False when a warning was shown; the dialog then stays open as the user left it.
bool BuildFilter(HWND dialog, bool history, RecordFilter& filter) {
  memset(&filter, 0, sizeof filter);
  if (Ticked(dialog, IDC_P1_CHECK)) {
    filter.flags |= Ticked(dialog, IDC_P1_WILDCARD) ? FilterP1NameLike : FilterP1Name;
    ReadName(dialog, IDC_P1_NAME, filter.p1name);
  }
  if (Ticked(dialog, IDC_P2_CHECK)) {
    filter.flags |= Ticked(dialog, IDC_P2_WILDCARD) ? FilterP2NameLike : FilterP2Name;
    ReadName(dialog, IDC_P2_NAME, filter.p2name);
  }
  if (history && Ticked(dialog, IDC_P1_CHAR_CHECK)) {
    filter.flags |= FilterP1Id;
    if (!ReadCharacter(dialog, IDC_P1_CHAR, filter.p1id)) return false;
  }
  if (history && Ticked(dialog, IDC_P2_CHAR_CHECK)) {
    filter.flags |= FilterP2Id;
    if (!ReadCharacter(dialog, IDC_P2_CHAR, filter.p2id)) return false;
  }
  if (Ticked(dialog, IDC_FROM_CHECK)) {
    filter.flags |= FilterFrom;
    filter.timestampFrom = DateAt(dialog, IDC_FROM_DATE, 0, 0, 0, 0);
  }
  if (Ticked(dialog, IDC_TO_CHECK)) {
    filter.flags |= FilterTo;
    filter.timestampTo = DateAt(dialog, IDC_TO_DATE, 23, 59, 59, 999);
    if ((filter.flags & FilterFrom) && filter.timestampFrom > filter.timestampTo) {
      Warn(dialog, L"始点は終点より前にしてください");
      return false;
    }
  }
  if (history && Ticked(dialog, IDC_LIMIT_CHECK)) {
    filter.flags |= FilterLimit;
    filter.limit = ReadCount(dialog);
    if (filter.limit < 1) {
      Warn(dialog, L"件数は１件以上にしてください");
      return false;
    }
  }
  return true;
}

void OnInit(HWND dialog, const FilterDialogState& setup) {
  FilterDialogState* state = AttachState(dialog, std::make_unique<FilterDialogState>(setup));
  if (!state->history) {
    SendDlgItemMessageW(dialog, IDC_P1_NAME, EM_LIMITTEXT, 16, 0);
    SendDlgItemMessageW(dialog, IDC_P2_NAME, EM_LIMITTEXT, 16, 0);
    SetPropW(dialog, FilterResultProperty, state->destination);
  } else {
    for (int list : {IDC_P1_CHAR, IDC_P2_CHAR}) {
      for (const CharacterEntry& entry : CharacterTable)
        SendDlgItemMessageW(dialog, list, CB_ADDSTRING, 0, (LPARAM)entry.fullName);
      SendDlgItemMessageW(dialog, list, CB_SETCURSEL, 0, 0);
    }
    // Without a range the control counts down with its upper arrow.
    SendDlgItemMessageW(dialog, IDC_COUNT_SPIN, UDM_SETRANGE32, 1, MaxSpinCount);
  }
}

void OnOk(HWND dialog, FilterDialogState* state) {
  RecordFilter filter;
  if (!BuildFilter(dialog, state->history, filter)) return;
  if (state->history) {
    OpenMatchHistoryWindow(state->owner, &filter);
  } else {
    auto* destination = static_cast<RecordFilter*>(GetPropW(dialog, FilterResultProperty));
    if (destination) *destination = filter;
  }
  EndDialog(dialog, IDOK);
}

INT_PTR CALLBACK FilterDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* state = StateOf<FilterDialogState>(dialog);
  switch (message) {
    case WM_INITDIALOG:
      OnInit(dialog, *reinterpret_cast<const FilterDialogState*>(lParam));
      return TRUE;
    case WM_COMMAND:
      if (!state) return FALSE;
      if (LOWORD(wParam) == IDOK) {
        OnOk(dialog, state);
      } else if (LOWORD(wParam) == IDCANCEL) {
        EndDialog(dialog, IDCANCEL);
      } else if (HIWORD(wParam) == BN_CLICKED) {
        UpdateEnabling(dialog);
      }
      return TRUE;
    case WM_DESTROY:
      RemovePropW(dialog, FilterResultProperty);
      DetachState<FilterDialogState>(dialog);
      return FALSE;
  }
  return FALSE;
}

INT_PTR ShowFilterDialog(HWND owner, int resource, bool history, RecordFilter* destination) {
  FilterDialogState setup{history, owner, destination};
  return DialogBoxParamW(ViewResourceInstance(), MAKEINTRESOURCEW(resource), owner, FilterDialogProc,
                         (LPARAM)&setup);
}
}  // namespace

INT_PTR ShowCustomFilterDialog(HWND owner, RecordFilter* destination) {
  return ShowFilterDialog(owner, IDD_CUSTOM_FILTER, false, destination);
}

INT_PTR ShowHistoryFilterDialog(HWND owner) { return ShowFilterDialog(owner, IDD_HISTORY_FILTER, true, nullptr); }
