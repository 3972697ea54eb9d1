// The tracker's backups as a player meets them: made at the day's first start and at exit after a change,
// reported once when they cannot be made, a damaged profile rebuilt at start-up, and a backup restored from the
// summary's window menu.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include "../store/StoreTestData.h"
#include "resources/resource.h"
#include "shell/AppState.h"
#include "shell/BackupSchedule.h"
#include "shell/ChangeJournal.h"
#include "MirrowAddrContract.h"
#include "shell/MainWindow.h"
#include "shell/ProfileSwitch.h"
#include "common/TextUtil.h"
#include "store/ProfileBackup.h"
#include "views/BackupCommands.h"

namespace {
class BackupScheduleTest : public TrackerFixture {
 protected:
  void SetUp() override {
    TrackerFixture::SetUp();
    profile = folder.File(L"Default.db");
    backups = folder.File(L"Backups");
  }
  void Capture() {
    Sleep(2);  // a timestamp of its own
    probe.names = {{7, "host"}, {8, "guest"}};
    probe.values = {{4, 2}, {5, 1}, {2, 3}, {3, 7}, {1, 0}, {0, 0}};
    SendMessageW(window, ProbeNotifyMessage, ParamChangedWParam(Side1Wins), 2);
  }
  size_t Copies() { return ListBackups(backups, profile).size(); }
  std::wstring profile, backups;
};

TEST_F(BackupScheduleTest, FirstStartOfTheDayAndExitAfterAChangeMakeCopies) {
  SetDatabasePath(profile);
  ASSERT_TRUE(OpenRecordDatabase());
  std::vector<MatchRecord> rows;
  for (int i = 0; i < 5000; ++i) rows.push_back(Match(100000000000000000LL + i * 10000LL, "me", i % 14, 2, "you", 3, 1));
  ASSERT_TRUE(InsertAll(rows));
  CloseRecordDatabase();

  ASSERT_NE(nullptr, Start());
  // Captures go on while the copy runs in steps.
  Capture();
  ASSERT_TRUE(PumpUntil([&] { return Copies() == 1; }));
  std::wstring first = ListBackups(backups, profile)[0].path;
  EXPECT_GE(CountMatchesInFile(first), 5000);
  Capture();
  EXPECT_EQ(0, Exit());
  ASSERT_EQ(2u, Copies());
  EXPECT_EQ(5002, CountMatchesInFile(ListBackups(backups, profile)[0].path));

  // Today's copy exists and nothing changed: no new one, at start or at exit.
  ASSERT_NE(nullptr, Start());
  PumpUntil([] { return false; }, 300);
  EXPECT_EQ(0, Exit());
  EXPECT_EQ(2u, Copies());

  // Switched off, or elsewhere.
  Settings("[Backup]\r\nEnabled=0\r\n");
  ASSERT_NE(nullptr, Start());
  Capture();
  EXPECT_EQ(0, Exit());
  EXPECT_EQ(2u, Copies());
  std::wstring elsewhere = folder.File(L"elsewhere");
  Settings("[Backup]\r\nFolder=" + Ascii(elsewhere) + "\r\n");
  ASSERT_NE(nullptr, Start());
  ASSERT_TRUE(PumpUntil([&] { return ListBackups(elsewhere, profile).size() == 1; }));
  EXPECT_EQ(5003, CountMatchesInFile(ListBackups(elsewhere, profile)[0].path));
  EXPECT_EQ(0, Exit());
}

TEST_F(BackupScheduleTest, ACopyThatCannotBeMadeIsToldOnceUntilOneSucceeds) {
  static std::vector<std::wstring> told;
  told.clear();
  auto announcer = g_backupAnnouncer;
  g_backupAnnouncer = [](const std::wstring& title, const std::wstring&) {
    told.push_back(title);
    return true;
  };
  std::wstring blocked = folder.File(L"blocked");
  WriteWholeFile(blocked, "not a folder");
  Settings("[Backup]\r\nFolder=" + Ascii(blocked) + "\r\n");
  ASSERT_NE(nullptr, Start());
  ASSERT_TRUE(PumpUntil([&] { return !told.empty(); }));
  Capture();
  EXPECT_EQ(0, Exit());
  EXPECT_EQ(std::vector<std::wstring>{L"バックアップに失敗しました"}, told);
  // Once a copy succeeds, the next failure is told again.
  Settings("");
  ASSERT_NE(nullptr, Start());
  ASSERT_TRUE(PumpUntil([&] { return Copies() == 1; }));
  Settings("[Backup]\r\nFolder=" + Ascii(blocked) + "\r\n");
  Capture();
  EXPECT_EQ(0, Exit());
  EXPECT_EQ(2u, told.size());
  g_backupAnnouncer = announcer;
}

// A damaged profile is offered its backup plus its readable pages: at start-up, after an unclean exit (which
// alone checks the pages), and on a switch, where the open profile can also be kept.
TEST_F(BackupScheduleTest, DamagedProfileIsRebuiltFromItsBackupAndItsReadablePages) {
  SetDatabasePath(profile);
  ASSERT_TRUE(OpenRecordDatabase());
  std::vector<MatchRecord> rows;
  for (int i = 0; i < 3000; ++i) rows.push_back(Match(100000000000000000LL + i * 10000LL, "me", i % 14, 2, "you", 3, 1));
  ASSERT_TRUE(InsertAll(std::vector<MatchRecord>(rows.begin(), rows.begin() + 1000)));
  ProfileBackup job;
  ASSERT_TRUE(job.Begin(RecordDatabase(), profile, backups));
  ASSERT_EQ(ProfileBackup::Done, job.RunToEnd());
  ASSERT_TRUE(InsertAll(std::vector<MatchRecord>(rows.begin() + 1000, rows.end())));
  CloseRecordDatabase();
  std::string sound = ReadWholeFile(profile);
  std::string bytes = sound;
  for (int i = 0; i < 100; ++i) bytes[i] = 0;
  WriteWholeFile(profile, bytes);

  auto expectSalvaged = [&](DialogSequence& answers, const std::wstring& path, int salvaged) {
    ASSERT_TRUE(answers.Wait());
    EXPECT_EQ(0u, answers.Seen()[0].find(L"プロファイルのマッピングに失敗しました。\n\n" + path));
    EXPECT_NE(std::wstring::npos, answers.Seen()[0].find(L"1000 件")) << answers.Seen()[0];
    EXPECT_NE(std::wstring::npos,
              answers.Seen().back().find(FormatWide(L"バックアップから 1000 件、壊れたファイルから %d 件", salvaged)))
        << answers.Seen().back();
    EXPECT_EQ(path, CurrentDatabasePath());
    EXPECT_EQ(1000 + salvaged, CountRows(path));
  };
  {
    DialogSequence answers({DialogSequence::Box(IDYES), DialogSequence::Box(IDOK)});
    ASSERT_NE(nullptr, Start());
    expectSalvaged(answers, profile, 2000);
  }
  EXPECT_EQ(0, Exit());
  EXPECT_EQ(L"<none>", Raw(L"Backup", L"InUse"));
  // The damaged file stays beside the profile, as it was.
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW(folder.File(L"Default-damaged-*.db").c_str(), &found);
  ASSERT_NE(INVALID_HANDLE_VALUE, search);
  FindClose(search);
  EXPECT_EQ(bytes, ReadWholeFile(folder.File(found.cFileName)));

  // The open profile is noted until a clean exit. Pages gone bad behind a sound header are found by the check
  // that follows an unclean exit.
  ASSERT_NE(nullptr, Start());
  EXPECT_EQ(profile, Raw(L"Backup", L"InUse"));
  EXPECT_EQ(0, Exit());
  EXPECT_EQ(L"<none>", Raw(L"Backup", L"InUse"));
  std::string middle = sound;
  size_t page = 4096, at = middle.size() / page / 2 * page;
  for (size_t i = 0; i < page; ++i) middle[at + i] = (char)(i * 7919 & 0xFF);
  WriteWholeFile(profile, middle);
  {
    // What an unclean exit leaves.
    Settings("[Backup]\r\nInUse=" + Ascii(profile) + "\r\n");
    DialogSequence answers({DialogSequence::Box(IDYES), DialogSequence::Box(IDOK)});
    ASSERT_NE(nullptr, Start());
    ASSERT_TRUE(answers.Wait());
    EXPECT_NE(std::wstring::npos, answers.Seen()[1].find(L"バックアップから 1000 件")) << answers.Seen()[1];
  }
  Capture();
  int64_t held = CountRows(profile);

  // A switch to a damaged file: kept as it is, another file chosen instead, or rebuilt.
  std::wstring other = folder.File(L"Other.db"), chosen = folder.File(L"Chosen.db");
  WriteWholeFile(other, bytes);
  {
    DialogSequence answers({DialogSequence::Box(IDCANCEL)});
    EXPECT_FALSE(SwitchProfile(g_app.summaryWindow, other));
    ASSERT_TRUE(answers.Wait());
    EXPECT_NE(std::wstring::npos, answers.Seen()[0].find(L"今のプロファイルのまま")) << answers.Seen()[0];
    EXPECT_EQ(profile, CurrentDatabasePath());
    EXPECT_EQ(bytes, ReadWholeFile(other));
  }
  {
    DialogSequence answers({DialogSequence::Box(IDNO), DialogSequence::File(chosen), DialogSequence::Box(IDYES)});
    EXPECT_TRUE(SwitchProfile(g_app.summaryWindow, other));
    ASSERT_TRUE(answers.Wait());
    EXPECT_EQ(chosen, CurrentDatabasePath());
  }
  {
    // No backup of "Other" exists: every readable match comes from the damaged file.
    DialogSequence answers({DialogSequence::Box(IDYES), DialogSequence::Box(IDOK)});
    EXPECT_TRUE(SwitchProfile(g_app.summaryWindow, other));
    ASSERT_TRUE(answers.Wait());
    EXPECT_NE(std::wstring::npos, answers.Seen()[1].find(L"バックアップから 0 件、壊れたファイルから 3000 件"))
        << answers.Seen()[1];
    EXPECT_EQ(other, CurrentDatabasePath());
  }
  Capture();
  EXPECT_EQ(3001, CountRows(other));
  EXPECT_EQ(held, CountRows(profile));
  EXPECT_EQ(0, CountRows(chosen));
  EXPECT_EQ(0, Exit());
}

TEST_F(BackupScheduleTest, RestoreReplacesTheMatchesAfterBackingUpAndCanItselfBeUndone) {
  ASSERT_NE(nullptr, Start());
  Capture();
  Capture();
  ASSERT_TRUE(PumpUntil([&] { return Copies() == 1; }));
  EXPECT_EQ(2, CountMatchesInFile(ListBackups(backups, profile)[0].path));
  Capture();
  ASSERT_TRUE(CanUndo());

  auto restore = [&](int row, bool captureMeanwhile = false) {
    HWND tracker = window;
    DialogDriver choose([](HWND dialog) { return WindowText(dialog) == L"バックアップから復元"; },
                        [row, captureMeanwhile, tracker](HWND dialog) {
                          // Decided while the player picks a copy: kept, not replaced by the copy's matches.
                          if (captureMeanwhile) PostMessageW(tracker, ProbeNotifyMessage, ParamChangedWParam(Side1Wins), 2);
                          HWND list = GetDlgItem(dialog, IDC_BACKUP_LIST);
                          LVITEMW item{};
                          item.stateMask = LVIS_SELECTED;
                          item.state = LVIS_SELECTED;
                          SendMessageW(list, LVM_SETITEMSTATE, row, (LPARAM)&item);
                          PostMessageW(dialog, WM_COMMAND, IDOK, 0);
                        });
    MessageBoxAnswerer done(IDOK);
    SendMessageW(g_app.summaryWindow, WM_SYSCOMMAND, SummaryRestoreBackup, 0);
    EXPECT_TRUE(choose.Wait());
    return done.Text();
  };
  EXPECT_EQ(L"バックアップから復元しました（2 件）。", restore(0));
  EXPECT_EQ(2, CountRows(profile));
  EXPECT_FALSE(CanUndo());
  // The profile as it was before the restore is now the newest copy: restoring it undoes the restore.
  ASSERT_EQ(2u, Copies());
  EXPECT_EQ(3, CountMatchesInFile(ListBackups(backups, profile)[0].path));
  Sleep(2);
  EXPECT_EQ(L"バックアップから復元しました（4 件）。", restore(0, true));
  EXPECT_EQ(4, CountRows(profile));
  // A capture after a restore is stored as usual.
  Capture();
  EXPECT_EQ(5, CountRows(profile));
  EXPECT_EQ(0, Exit());
}
TEST_F(BackupScheduleTest, ImportWithARefusedRowTakesNothingUnlessConfirmed) {
  ASSERT_NE(nullptr, Start());
  Capture();
  std::wstring csv = folder.File(L"other.csv");
  WriteWholeFile(csv,
                 "datetime,own_name,own_character,own_character_id,own_rounds,opponent_name,opponent_character,"
                 "opponent_character_id,opponent_rounds,result\r\n"
                 "2025-01-02T03:04:05.006+09:00,me,x,1,2,you,y,3,1,win\r\n"
                 "2025-01-02T03:05:05.006+09:00,me,x,1,9,you,y,3,1,win\r\n"
                 "2025-01-02T03:06:05.006+09:00,me,x,1,0,you,y,3,2,loss\r\n");
  {
    DialogSequence answers({DialogSequence::File(csv), DialogSequence::Box(IDNO)});
    SendMessageW(g_app.summaryWindow, WM_SYSCOMMAND, SummaryImportMatches, 0);
    ASSERT_TRUE(answers.Wait());
    EXPECT_NE(std::wstring::npos, answers.Seen()[1].find(L"3 行目")) << answers.Seen()[1];
    EXPECT_EQ(1, CountRows(profile));
  }
  for (int round = 0; round < 2; ++round) {
    if (round) {
      ASSERT_NE(nullptr, Start());
    }
    DialogSequence answers({DialogSequence::File(csv), DialogSequence::Box(IDYES), DialogSequence::Box(IDOK)});
    SendMessageW(g_app.summaryWindow, WM_SYSCOMMAND, SummaryImportMatches, 0);
    ASSERT_TRUE(answers.Wait());
    EXPECT_EQ(round ? L"0 件を取り込みました。2 件は既にありました。0 件は食い違うため取り込みませんでした。"
                    : L"2 件を取り込みました。0 件は既にありました。0 件は食い違うため取り込みませんでした。",
              answers.Seen()[2]);
    EXPECT_EQ(3, CountRows(profile));
    EXPECT_EQ(0, Exit());
  }
  // Before each import a copy (the day's own when it was still running); one at exit after the first import
  // taken, since its matches came through a connection of their own; none at the exit after the second, which
  // added nothing.
  std::vector<BackupEntry> copies = ListBackups(backups, profile);
  ASSERT_GE(copies.size(), 4u);
  EXPECT_EQ(3, CountMatchesInFile(copies[0].path));
  EXPECT_EQ(3, CountMatchesInFile(copies[1].path));
  for (size_t i = 2; i < copies.size(); ++i) EXPECT_EQ(1, CountMatchesInFile(copies[i].path)) << i;
}
}  // namespace
