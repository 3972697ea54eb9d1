// Corvenka.exe started for real from a fresh program folder: what it needs to start, what it asks when the
// profile cannot be opened, and what it leaves in its settings file when it ends.
#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "MirrowControl.h"
#include "TrackerProcess.h"
#include "resources/resource.h"

namespace {
const DWORD StartFailed = (DWORD)-1;

bool IsFileDialog(HWND dialog) { return GetDlgItem(dialog, 0x470) != nullptr; }

size_t Occurrences(const std::string& text, const std::string& what) {
  size_t count = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++count;
  return count;
}

TEST(TrackerStartup, WithoutTheProbeLibraryItSaysWhatWasLookedForWhereAndEnds) {
  ProgramFolderFixture program;
  ASSERT_TRUE(program.Add(L"Corvenka.exe"));
  ChildProcess tracker;
  ASSERT_TRUE(tracker.Start(program.File(L"Corvenka.exe"), L"", program.Path()));
  MessageBoxAnswerer box(IDOK, tracker.Id());
  EXPECT_EQ(0u, box.Text().find(L"MirrowAddr.dll が見つかりません。")) << Ascii(box.Text());
  EXPECT_NE(std::wstring::npos, box.Text().find(L"探した場所: " + program.Path() + L"\n"));
  EXPECT_EQ(StartFailed, tracker.WaitExit());
  EXPECT_FALSE(FileExists(program.File(L"Default.db")));
  EXPECT_FALSE(FileExists(program.File(L"Corvenka.ini")));

  // A library without the four entries is named too.
  program.Settings("[Path]\r\nMirrowAddr=kernel32.dll\r\n");
  ChildProcess again;
  ASSERT_TRUE(again.Start(program.File(L"Corvenka.exe"), L"", program.Path()));
  MessageBoxAnswerer other(IDOK, again.Id());
  EXPECT_EQ(0u, other.Text().find(L"kernel32.dll は Corvenka 用のライブラリではありません")) << Ascii(other.Text());
  EXPECT_EQ(StartFailed, again.WaitExit());
  EXPECT_FALSE(FileExists(program.File(L"Default.db")));
  EXPECT_EQ("[Path]\r\nMirrowAddr=kernel32.dll\r\n", program.SettingsText());
}

TEST(TrackerStartup, EmptyProfileUsesDefaultDbAndTheExitCommandSavesAndEndsWithZero) {
  ProgramFolderFixture program;
  ASSERT_TRUE(program.Add(L"Corvenka.exe"));
  ASSERT_TRUE(program.Add(L"MirrowAddr.dll"));
  program.Settings("[General]\r\nProfile=\r\ninfoTrans=5\r\n");
  ChildProcess tracker;
  HWND main = StartTracker(tracker, program);
  ASSERT_NE(nullptr, main);
  EXPECT_FALSE(IsWindowVisible(main));
  EXPECT_TRUE(FileExists(program.File(L"Default.db")));
  EXPECT_EQ(0, CountRows(program.File(L"Default.db")));
  EXPECT_EQ(nullptr, VisibleWindowOf(tracker.Id()));

  PostMessageW(main, WM_COMMAND, IDM_EXIT, 0);
  EXPECT_EQ(0u, tracker.WaitExit());
  EXPECT_EQ(program.File(L"Default.db"), program.Setting(L"General", L"Profile"));
  EXPECT_EQ(L"0", program.Setting(L"General", L"InfoTrans"));
  EXPECT_EQ(1u, Occurrences(program.SettingsText(), "nfoTrans="));
  EXPECT_EQ(L"1", program.Setting(L"RUZ.Behavior", L"AutoAjustViewRect"));
}

TEST(TrackerStartup, UnopenableProfileAsksForAFileAndCancelEndsTheStart) {
  ProgramFolderFixture program;
  ASSERT_TRUE(program.Add(L"Corvenka.exe"));
  ASSERT_TRUE(program.Add(L"MirrowAddr.dll"));
  const std::string settings = "[General]\r\nProfile=Z:\\no\\such\\folder\\x.db\r\ninfoTrans=1\r\n";
  program.Settings(settings);
  ChildProcess tracker;
  ASSERT_TRUE(tracker.Start(program.File(L"Corvenka.exe"), L"", program.Path()));
  // Asked whether to make it there: yes, which fails for want of the folder.
  DialogSequence answers({DialogSequence::Box(IDYES), DialogSequence::Box(IDOK), DialogSequence::File(L""),
                          DialogSequence::Box(IDOK)},
                         tracker.Id());
  ASSERT_TRUE(answers.Wait());
  EXPECT_NE(std::wstring::npos, answers.Seen()[0].find(L"Z:\\no\\such\\folder\\x.db"));
  EXPECT_EQ(0u, answers.Seen()[1].find(L"プロファイルのマッピングに失敗しました。\n\nZ:\\no\\such\\folder\\x.db\n"));
  EXPECT_EQ(L"記録に使うプロファイル (*.db) を選ぶか、新しい名前を入力してください", answers.Seen()[2]);
  EXPECT_EQ(L"プロファイルが選ばれなかったため、Corvenka を終了します。", answers.Seen()[3]);
  EXPECT_EQ(StartFailed, tracker.WaitExit());
  EXPECT_FALSE(FileExists(program.File(L"Default.db")));
  EXPECT_EQ(settings, program.SettingsText());
}

TEST(TrackerStartup, UnopenableProfileReplacedByANewFile) {
  ProgramFolderFixture program;
  ASSERT_TRUE(program.Add(L"Corvenka.exe"));
  ASSERT_TRUE(program.Add(L"MirrowAddr.dll"));
  ASSERT_TRUE(program.Add(L"mirrow.exe"));
  program.Settings("[General]\r\nProfile=Z:\\no\\such\\folder\\x.db\r\n");
  std::wstring chosen = program.File(L"evening.db");
  WriteWholeFile(program.File(L"match.txt"), "menu\nmatch host 3 7 me rival\nwin 1\nwin 1\n");
  ChildProcess game;
  HWND gameWindow = StartGame(game, program, L"match.txt");
  ASSERT_NE(nullptr, gameWindow);
  ChildProcess tracker;
  ASSERT_TRUE(tracker.Start(program.File(L"Corvenka.exe"), L"", program.Path()));
  // The saved profile is not there: it is not made anew, a file is asked for instead.
  MessageBoxAnswerer missing(IDNO, tracker.Id());
  EXPECT_TRUE(missing.Wait());
  // A match is played to its end while the dialog's own loop runs, and the probe has polled it.
  DialogDriver dialog(IsFileDialog, [&](HWND d) {
    WaitForPollBeforeMatch(gameWindow);
    for (int i = 0; i < 4; ++i) SendMessageW(gameWindow, MirrowStepMessage, 0, 0);
    int sofar = RequestsAnswered(gameWindow);
    WaitUntil([&] { return RequestsAnswered(gameWindow) >= sofar + 40; }, 20000);
    AnswerFileDialog(d, chosen);
  }, tracker.Id());
  EXPECT_TRUE(dialog.Wait());
  MessageBoxAnswerer create(IDYES, tracker.Id());
  EXPECT_TRUE(create.Wait());

  HWND main = WaitForTrackerStarted(tracker.Id());
  ASSERT_NE(nullptr, main);
  EXPECT_TRUE(WaitUntil([&] { return CountRows(chosen) == 1; }, 20000)) << "stored in the profile chosen";
  EXPECT_FALSE(FileExists(program.File(L"Default.db")));
  PostMessageW(main, WM_COMMAND, IDM_EXIT, 0);
  EXPECT_EQ(0u, tracker.WaitExit());
  EXPECT_EQ(chosen, program.Setting(L"General", L"Profile"));
}
}  // namespace
