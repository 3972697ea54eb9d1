#include "shell/ProfileSwitch.h"

#include <vector>

#include "store/RecordDatabase.h"
#include "shell/AppState.h"
#include "shell/ChangeJournal.h"
#include "shell/PendingMatches.h"
#include "shell/ProfileChoice.h"

namespace {
struct OwnedWindows {
  HWND owner;
  std::vector<HWND> found;
};

BOOL CALLBACK CollectOwned(HWND window, LPARAM context) {
  auto* owned = reinterpret_cast<OwnedWindows*>(context);
  LONG style = GetWindowLongW(window, GWL_STYLE);
  if (GetWindow(window, GW_OWNER) == owned->owner && (style & (WS_POPUP | WS_BORDER | WS_SYSMENU)))
    owned->found.push_back(window);
  return TRUE;
}

// The windows opened on the old profile show its rows and filters: they go with it.
void CloseOwnedWindows(HWND owner) {
  // Collected first: destroying while enumerating would change what is enumerated.
  OwnedWindows owned{owner, {}};
  EnumThreadWindows(GetCurrentThreadId(), CollectOwned, (LPARAM)&owned);
  for (HWND window : owned.found)
    if (IsWindow(window)) DestroyWindow(window);
}
}  // namespace

bool SwitchProfile(HWND summary, const std::wstring& path) {
  std::wstring previous = CurrentDatabasePath();
  // Waiting matches belong to the profile they were captured for: a last try while it is open.
  StorePendingMatches();
  SetDatabasePath(path);
  ProfileProblem problem;
  if (!OpenRecordDatabase(&problem)) {
    SetDatabasePath(previous);
    ShowProfileFailure(summary, path, problem);
    return false;
  }
  LeavePendingMatchesWith(previous);
  ClearJournal();
  TakeUpRecoveredMatches();
  CloseOwnedWindows(summary);
  AnnounceProfileAccess(summary, path);
  SendMessageW(summary, RefreshSummaryMessage, 0, 0);
  return true;
}
