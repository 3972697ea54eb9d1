#include "shell/ProfileSwitch.h"

#include <shlwapi.h>

#include <vector>

#include "common/TextUtil.h"
#include "store/ProfileBackup.h"
#include "store/ProfileSalvage.h"
#include "shell/AppState.h"
#include "shell/BackupSchedule.h"
#include "shell/ChangeJournal.h"
#include "shell/PendingMatches.h"
#include "shell/ProfileChoice.h"
#include "shell/Settings.h"

namespace {
// The profile open when a run ended without a clean exit, until it has passed a check: "InUse" in section
// "Backup" names the profile open now, and is cleared at a clean exit.
struct UncleanExit {
  bool read = false;
  bool noted = false;  // this run wrote the marker, so a clean exit may clear it
  std::wstring unchecked;
} g_unclean;

bool SamePath(const std::wstring& a, const std::wstring& b) { return lstrcmpiW(a.c_str(), b.c_str()) == 0; }

// Tests without a settings file leave the marker alone.
bool HasSettingsFile() { return !g_app.settingsPath.empty(); }

void ReadUncleanExitOnce() {
  if (g_unclean.read || !HasSettingsFile()) return;
  g_unclean.read = true;
  g_unclean.unchecked = ReadSettingText(L"Backup", L"InUse", L"");
}

void NoteProfileInUse(const std::wstring& path) {
  if (!HasSettingsFile()) return;
  WriteSettingText(L"Backup", L"InUse", path.c_str());
  g_unclean.noted = true;
}

bool ProfileLooksDamaged(const std::wstring& path) {
  return LooksLikeDamagedProfile(path, BackupFolderFor(path, ReadBackupSettings().folder));
}

RefusedProfileStep OfferSalvage(HWND owner, const std::wstring& path, bool canKeepCurrent) {
  RefusedProfileStep declined = canKeepCurrent ? RefusedProfileStep::KeepCurrent : RefusedProfileStep::ChooseAnother;
  std::wstring folder = BackupFolderFor(path, ReadBackupSettings().folder);
  std::wstring backup = NewestSoundBackup(folder, path);
  std::wstring offer = backup.empty() ? std::wstring(L"バックアップはありません。")
                                      : FormatWide(L"最新のバックアップ: %s（%d 件）", PathFindFileNameW(backup.c_str()),
                                                   (int)CountMatchesInFile(backup));
  std::wstring text = FormatWide(
      L"プロファイルのマッピングに失敗しました。\n\n%s\n\nデータベースファイルが壊れています。\n\n%s\n\n"
      L"「はい」: 最新のバックアップから復元し、壊れたファイルからまだ読める対戦のうちバックアップにないものを加えます。"
      L"壊れたファイルは名前を変えてそのまま残します。\n「いいえ」: 別のファイルを選びます。",
      path.c_str(), offer.c_str());
  if (canKeepCurrent) text += L"\n「キャンセル」: 今のプロファイルのままにします。";
  int answer = MessageBoxW(owner, text.c_str(), nullptr, MB_ICONERROR | (canKeepCurrent ? MB_YESNOCANCEL : MB_YESNO));
  if (answer == IDNO) return RefusedProfileStep::ChooseAnother;
  if (answer != IDYES) return declined;
  SalvageResult result;
  if (!SalvageProfile(path, folder, &result)) {
    MessageBoxW(owner, L"プロファイルを復元できませんでした。壊れたファイルは元の場所に残っています。", nullptr,
                MB_ICONERROR);
    return declined;
  }
  // A new file: nothing left of the unclean exit to check.
  if (SamePath(path, g_unclean.unchecked)) g_unclean.unchecked.clear();
  MessageBoxW(owner,
              FormatWide(L"プロファイルを復元しました。\n\nバックアップから %d 件、壊れたファイルから %d 件の対戦を取り戻しました。\n"
                         L"壊れたファイルは次の名前で残しています。\n%s",
                         (int)result.fromBackup, (int)result.salvaged, result.keptAs.c_str())
                  .c_str(),
              nullptr, MB_ICONINFORMATION);
  return RefusedProfileStep::Salvaged;
}

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

bool OpenProfileChecked(ProfileProblem* problem) {
  ReadUncleanExitOnce();
  std::wstring path = CurrentDatabasePath();
  if (!g_unclean.unchecked.empty() && SamePath(path, g_unclean.unchecked) && PathFileExistsW(path.c_str())) {
    FileCheck check = QuickCheckProfileFile(path);
    if (check == FileCheck::Damaged) {
      *problem = ProfileNotDatabase;
      return false;
    }
    if (check == FileCheck::Sound) g_unclean.unchecked.clear();
  }
  if (!OpenRecordDatabase(problem)) return false;
  NoteProfileInUse(path);
  return true;
}

void NoteProfileClosedCleanly() {
  // A profile found unclean and never opened since stays named, to be checked when it is.
  if (g_unclean.noted && HasSettingsFile())
    WriteSettingText(L"Backup", L"InUse", g_unclean.unchecked.empty() ? nullptr : g_unclean.unchecked.c_str());
  g_unclean = UncleanExit();
}

RefusedProfileStep AnswerRefusedProfile(HWND owner, const std::wstring& path, ProfileProblem problem,
                                        bool canKeepCurrent) {
  if (problem == ProfileNotDatabase && ProfileLooksDamaged(path)) return OfferSalvage(owner, path, canKeepCurrent);
  // ProfileOpened: the user declined to make a missing one, which needs no message.
  if (problem != ProfileOpened) ShowProfileFailure(owner, path, problem);
  return canKeepCurrent ? RefusedProfileStep::KeepCurrent : RefusedProfileStep::ChooseAnother;
}

bool SwitchProfile(HWND summary, const std::wstring& requested) {
  std::wstring previous = CurrentDatabasePath();
  std::wstring path = requested;
  // Waiting matches belong to the profile they were captured for: a last try while it is open.
  StorePendingMatches();
  for (;;) {
    SetDatabasePath(path);
    ProfileProblem problem;
    if (OpenProfileChecked(&problem)) break;
    // Captures while the boxes are up go to the profile still open, and so must every path that names it.
    SetDatabasePath(previous);
    RefusedProfileStep step = AnswerRefusedProfile(summary, path, problem, true);
    if (step == RefusedProfileStep::KeepCurrent) return false;
    if (step == RefusedProfileStep::ChooseAnother && !AskProfileToOpen(summary, nullptr, L"", &path)) return false;
  }
  LeavePendingMatchesWith(previous);
  ClearJournal();
  TakeUpRecoveredMatches();
  CloseOwnedWindows(summary);
  AnnounceProfileAccess(summary, path);
  SendMessageW(summary, RefreshSummaryMessage, 0, 0);
  return true;
}
