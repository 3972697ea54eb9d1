#include "views/StreamOverlay.h"

#include <windows.h>

#include "views/RecordTable.h"
#include "common/AtomicFile.h"
#include "shell/AppState.h"
#include "common/CharacterTable.h"
#include "common/ResultLine.h"
#include "shell/Settings.h"
#include "common/TextUtil.h"
#include "shell/TrayMenu.h"
#include "store/RecordDatabase.h"

namespace {
const wchar_t* const OverlaySection = L"StreamOverlay";
bool g_failureReported = false;

std::wstring Record(const wchar_t* label, int wins, int losses, bool highPrecision) {
  std::wstring text = FormatWide(L"%s%d勝%d敗", label, wins, losses);
  if (wins + losses) text += L" " + RateText(PerMilleRate(wins, losses), highPrecision);
  return text;
}
}  // namespace

void OverlayTexts(const RecentForm& form, bool highPrecision, OverlayFile (&files)[OverlayFileCount]) {
  files[0] = {L"today.txt", Record(L"今日 ", form.todayWins, form.todayLosses, highPrecision)};
  files[1] = {L"session.txt", Record(L"セッション ", form.sessionWins, form.sessionLosses, highPrecision)};
  std::wstring streak = L"連勝なし";
  if (form.streak > 0) streak = FormatWide(L"%d連勝", form.streak);
  if (form.streak < 0) streak = FormatWide(L"%d連敗", -form.streak);
  files[2] = {L"streak.txt", streak};
  files[3] = {L"last.txt", form.any ? FormatResultLine(form.last) : std::wstring(L"対戦なし")};
  const CharacterEntry* own = form.any ? LookupCharacter(form.last.p1id) : nullptr;
  files[4] = {L"character.txt",
              own ? Record((std::wstring(own->fullName) + L" ").c_str(), form.characterWins, form.characterLosses,
                           highPrecision)
                  : std::wstring(L"対戦なし")};
  // For streaming software to colour by: empty when no match or an undecided one is the last.
  int won = form.last.p1win / 2, lost = form.last.p2win / 2;
  files[5] = {L"result.txt", !form.any || won == lost ? L"" : won > lost ? L"WIN" : L"LOSE"};
}

void UpdateStreamOverlay() {
  if (ReadSettingInt(OverlaySection, L"Enabled", 0) == 0) return;
  std::wstring folder = ReadSettingText(OverlaySection, L"Folder", L"");
  if (folder.empty()) return;
  RecentForm form;
  if (!QueryRecentForm(CurrentTimestamp(), form)) return;
  OverlayFile files[OverlayFileCount];
  OverlayTexts(form, g_app.highPrecision, files);
  DWORD failure = 0;
  // The folder the user named, one level: a missing parent is an error to tell, not a tree to make.
  if (!CreateDirectoryW(folder.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) failure = GetLastError();
  for (const OverlayFile& file : files) {
    std::string bytes = WideToUtf8(file.text.c_str());
    DWORD code = WriteFileAtomically(folder + L"\\" + file.name, bytes.data(), bytes.size());
    if (code && !failure) failure = code;
  }
  if (!failure) {
    g_failureReported = false;
    return;
  }
  if (g_failureReported) return;
  g_failureReported = true;
  ShowTrayBalloon(L"配信用ファイルを書き込めません",
                  folder + L"\n" + SystemErrorText(failure));
}
