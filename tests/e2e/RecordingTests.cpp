// The tracker and the stand-in game as real processes: matches played in the game become rows of the
// profile database, read back here with SQLite alone.
#include <gtest/gtest.h>

#include <cwchar>
#include <string>

#include "MirrowControl.h"
#include "TrackerProcess.h"
#include "resources/resource.h"
#include "shell/ProfileShortcuts.h"
#include "views/SummaryWindow.h"

namespace {
void Step(HWND game, int events) {
  for (int i = 0; i < events; ++i) SendMessageW(game, MirrowStepMessage, 0, 0);
}

TEST(Recording, HostAndClientMatchesAreStoredFromTheUsersSideAndAWatchedOneIsNot) {
  ProgramFolderFixture program;
  for (const wchar_t* name : {L"Corvenka.exe", L"MirrowAddr.dll", L"mirrow.exe"}) ASSERT_TRUE(program.Add(name));
  // Side-1 names are the game's own Shift-JIS bytes.
  WriteWholeFile(program.File(L"evening.txt"),
                 "title\nmenu\n"
                 "match host 3 7 x:837e83698367 x:834a8351838d8345\nwin 1\nwin 2\nwin 1\nmenu\n"
                 "match watch 1 2 watcher1 watcher2\nwin 2\nwin 2\nmenu\n"
                 "match client 0 11 rival me\nwin 2\nwin 1\nwin 2\nmenu\n"
                 "quit\n");
  ChildProcess game;
  HWND gameWindow = StartGame(game, program, L"evening.txt");
  ASSERT_NE(nullptr, gameWindow);
  int events = (int)SendMessageW(gameWindow, MirrowEventCountMessage, 0, 0);
  ASSERT_EQ(17, events);

  ChildProcess tracker;
  HWND main = StartTracker(tracker, program);
  ASSERT_NE(nullptr, main);
  // The probe has reached into the game.
  ASSERT_TRUE(WaitUntil([&] { return ProcessHasModule(game.Id(), L"MirrowAddr.dll"); }, 20000));
  ASSERT_TRUE(WaitForPollBeforeMatch(gameWindow));
  std::wstring database = program.File(L"Default.db");

  // The game moves on at a player's pace: the probe checks whether a match is on and reads its counters in
  // separate requests, so each match is left at its end until it is dealt with, and a moment passes in the
  // menu before the next one starts. Nothing announces that a watched match was seen and ignored, so it is
  // given time for many polls.
  const DWORD menuPause = 1500, watchPause = 2500;
  Step(gameWindow, 6);  // title, menu, the host match to its last round
  EXPECT_TRUE(WaitUntil([&] { return CountRows(database) == 1; }, 20000));
  Step(gameWindow, 1);
  Sleep(menuPause);
  Step(gameWindow, 3);  // the watched match to its last round
  Sleep(watchPause);
  Step(gameWindow, 1);
  Sleep(menuPause);
  Step(gameWindow, 4);  // the client match to its last round
  EXPECT_TRUE(WaitUntil([&] { return CountRows(database) == 2; }, 20000));
  Step(gameWindow, 1);  // menu
  Step(gameWindow, 1);  // quit
  EXPECT_EQ(0u, game.WaitExit());

  // The game's end leaves the tracker running: its auto-start is off.
  EXPECT_EQ(STILL_ACTIVE, tracker.WaitExit(500));
  PostMessageW(main, WM_COMMAND, IDM_EXIT, 0);
  EXPECT_EQ(0u, tracker.WaitExit());

  EXPECT_EQ("837E83698367|3|2|834A8351838D8345|7|1\n"
            "6D65|11|2|726976616C|0|1\n",
            StoredRows(database));
}

// The game at its fastest, with each result shown for a single frame before its menu: every played match is
// stored right, and neither a watched match nor one left before its end is stored.
TEST(Recording, AtTheFastestPaceEveryPlayedMatchIsStoredAndNoOther) {
  ProgramFolderFixture program;
  for (const wchar_t* name : {L"Corvenka.exe", L"MirrowAddr.dll", L"mirrow.exe"}) ASSERT_TRUE(program.Add(name));
  WriteWholeFile(program.File(L"evening.txt"),
                 "title\nmenu\n"
                 "match host 3 7 me rival\nwin 1\nwin 2\nwin 1\ndisconnect\nmenu\n"
                 "match client 0 11 foe me\nwin 2\nwin 2\ndisconnect\nmenu\n"
                 "match watch 1 2 watcher1 watcher2\nwin 1\nwin 1\ndisconnect\nmenu\n"
                 "match host 5 9 me quitter\nwin 2\ndisconnect\nmenu\n"
                 "match host 5 13 me ace\nwin 2\nwin 1\nwin 2\ndisconnect\nmenu\n"
                 "match client 12 5 kaede me\nwin 1\nwin 1\ndisconnect\nmenu\n"
                 "match host 5 13 me ace\nwin 1\nwin 1\ndisconnect\nmenu\n"
                 "quit\n");
  ChildProcess tracker;
  HWND main = StartTracker(tracker, program);
  ASSERT_NE(nullptr, main);
  // The game plays once the probe has reached it, one event every 20 ms, and exits.
  ChildProcess game;
  ASSERT_TRUE(game.Start(program.File(L"mirrow.exe"),
                         L"--scenario \"" + program.File(L"evening.txt") + L"\" --auto 20 --fast", program.Path()));
  EXPECT_EQ(0u, game.WaitExit(120000));
  std::wstring database = program.File(L"Default.db");
  EXPECT_TRUE(WaitUntil([&] { return CountRows(database) >= 5; }, 20000));
  PostMessageW(main, WM_COMMAND, IDM_EXIT, 0);
  EXPECT_EQ(0u, tracker.WaitExit());
  EXPECT_EQ("6D65|3|2|726976616C|7|1\n"
            "6D65|11|2|666F65|0|0\n"
            "6D65|5|1|616365|13|2\n"
            "6D65|5|0|6B61656465|12|2\n"
            "6D65|5|2|616365|13|0\n",
            StoredRows(database));
}

TEST(Recording, ASecondStartShowsTheRunningTrackerAndEndsSoEachMatchIsStoredOnce) {
  ProgramFolderFixture program;
  for (const wchar_t* name : {L"Corvenka.exe", L"MirrowAddr.dll", L"mirrow.exe"}) ASSERT_TRUE(program.Add(name));
  WriteWholeFile(program.File(L"evening.txt"), "title\nmenu\nmatch host 3 7 me rival\nwin 1\nwin 1\nmenu\nquit\n");
  const std::string settings = "[WinningRate]\r\nHighPrecision=1\r\n";
  program.Settings(settings);
  // The first one crashes: it leaves nothing that keeps the next from starting.
  ChildProcess crashed;
  ASSERT_TRUE(crashed.Start(program.File(L"Corvenka.exe"), L"", program.Path()));
  ASSERT_NE(nullptr, WaitForTrackerStarted(crashed.Id()));
  crashed.Kill();
  EXPECT_EQ(1u, crashed.WaitExit());
  ChildProcess game;
  HWND gameWindow = StartGame(game, program, L"evening.txt");
  ASSERT_NE(nullptr, gameWindow);
  ChildProcess tracker;
  HWND main = StartTracker(tracker, program);
  ASSERT_NE(nullptr, main);
  ASSERT_TRUE(WaitUntil([&] { return ProcessHasModule(game.Id(), L"MirrowAddr.dll"); }, 20000));
  EXPECT_EQ(nullptr, VisibleWindowOf(tracker.Id()));

  // The running one has noted its open profile, and the crashed one left its note.
  const std::string running = program.SettingsText();
  ChildProcess second;
  ASSERT_TRUE(second.Start(program.File(L"Corvenka.exe"), L"", program.Path()));
  EXPECT_EQ(0u, second.WaitExit());
  EXPECT_TRUE(WaitUntil([&] { return VisibleWindowOf(tracker.Id()) != nullptr; })) << "the summary comes forward";
  EXPECT_EQ(running, program.SettingsText()) << "the second start writes no settings";

  std::wstring database = program.File(L"Default.db");
  Step(gameWindow, 2);  // title, menu
  ASSERT_TRUE(WaitForPollBeforeMatch(gameWindow));
  Step(gameWindow, 3);  // the match to its last round
  EXPECT_TRUE(WaitUntil([&] { return CountRows(database) == 1; }, 20000));
  Step(gameWindow, 2);
  EXPECT_EQ(0u, game.WaitExit());
  PostMessageW(main, WM_COMMAND, IDM_EXIT, 0);
  EXPECT_EQ(0u, tracker.WaitExit());
  EXPECT_EQ("6D65|3|2|726976616C|7|0\n", StoredRows(database));
  EXPECT_EQ(program.File(L"Default.db"), program.Setting(L"General", L"Profile"));
}

TEST(Recording, ATrackerRestartedWhileTheGameShowsAFinishedMatchStoresNothingNew) {
  ProgramFolderFixture program;
  for (const wchar_t* name : {L"Corvenka.exe", L"MirrowAddr.dll", L"mirrow.exe"}) ASSERT_TRUE(program.Add(name));
  WriteWholeFile(program.File(L"match.txt"), "menu\nmatch host 3 7 me rival\nwin 1\nwin 1\n");
  ChildProcess game;
  HWND gameWindow = StartGame(game, program, L"match.txt");
  ASSERT_NE(nullptr, gameWindow);
  std::wstring database = program.File(L"Default.db");
  for (int run = 0; run < 3; ++run) {
    ChildProcess tracker;
    HWND main = StartTracker(tracker, program);
    ASSERT_NE(nullptr, main);
    if (run == 0) {
      ASSERT_TRUE(WaitUntil([&] { return ProcessHasModule(game.Id(), L"MirrowAddr.dll"); }, 20000));
      ASSERT_TRUE(WaitForPollBeforeMatch(gameWindow));
      Step(gameWindow, 4);
      EXPECT_TRUE(WaitUntil([&] { return CountRows(database) == 1; }, 20000));
    }
    // Some polls of the finished match: the probe's first one after an attach sees both counters as they stand.
    int seen = RequestsAnswered(gameWindow);
    ASSERT_TRUE(WaitUntil([&] { return RequestsAnswered(gameWindow) >= seen + 40; }, 20000));
    // Posted behind any capture those polls set off, so the tracker deals with it first.
    PostMessageW(main, WM_COMMAND, IDM_EXIT, 0);
    EXPECT_EQ(0u, tracker.WaitExit());
  }
  EXPECT_EQ("6D65|3|2|726976616C|7|0\n", StoredRows(database));
}

HANDLE OpenGameEvent(const wchar_t* format, DWORD gameId) {
  wchar_t name[64];
  wsprintfW(name, format, gameId);
  HANDLE event = nullptr;
  WaitUntil([&] { return (event = OpenEventW(SYNCHRONIZE | EVENT_MODIFY_STATE, FALSE, name)) != nullptr; });
  return event;
}

// The capture takes the match from what the probe read when the round was decided, so a game that stops
// answering right then does not keep it waiting; a log-off afterwards stores everything and saves the settings.
TEST(Recording, AGameThatStopsAnsweringAfterTheDecidingRoundDoesNotKeepTheCaptureWaiting) {
  ProgramFolderFixture program;
  for (const wchar_t* name : {L"Corvenka.exe", L"MirrowAddr.dll", L"mirrow.exe"}) ASSERT_TRUE(program.Add(name));
  // The game stalls right after answering the request that saw the result (its single frame).
  WriteWholeFile(program.File(L"match.txt"), "menu\nmatch host 3 7 me rival\nwin 1\nwin 1\nstall\nmenu\n");
  ChildProcess game;
  ASSERT_TRUE(game.Start(program.File(L"mirrow.exe"),
                         L"--scenario \"" + program.File(L"match.txt") + L"\" --fast", program.Path()));
  HWND gameWindow = WaitForProcessWindow(game.Id(), L"mirrow");
  ASSERT_NE(nullptr, gameWindow);
  HANDLE stalled = OpenGameEvent(MirrowStalledEventFormat, game.Id());
  HANDLE resume = OpenGameEvent(MirrowResumeEventFormat, game.Id());
  ASSERT_TRUE(stalled && resume);

  ChildProcess tracker;
  HWND main = StartTracker(tracker, program);
  ASSERT_NE(nullptr, main);
  ASSERT_TRUE(WaitUntil([&] { return ProcessHasModule(game.Id(), L"MirrowAddr.dll"); }, 20000));
  ASSERT_TRUE(WaitForPollBeforeMatch(gameWindow));
  PostMessageW(main, WM_COMMAND, IDM_COPY_ALL, 0);
  // Past its start-up and the command: a log-off that comes while the tracker still starts ends it unstarted.
  ASSERT_EQ(0u, WaitForInputIdle(tracker.Handle(), 60000));
  Step(gameWindow, 4);
  ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(stalled, 20000));
  EXPECT_TRUE(WaitUntil([&] { return CountRows(program.File(L"Default.db")) == 1; }, 20000));
  EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(stalled, 0)) << "stored while the game still stands";
  // The tray's shell may itself wait on the stalled game's window, and the tracker on the tray.
  SetEvent(resume);

  DWORD_PTR answer = 0;
  ASSERT_TRUE(SendMessageTimeoutW(main, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, SMTO_BLOCK, 10000, &answer));
  EXPECT_TRUE(answer);
  ASSERT_TRUE(SendMessageTimeoutW(main, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF, SMTO_BLOCK, 10000, &answer));
  // The session may end the tracker from here on: its settings are already written.
  EXPECT_EQ(L"2", program.Setting(L"General", L"InfoTrans"));

  EXPECT_EQ(0u, tracker.WaitExit());
  EXPECT_EQ("6D65|3|2|726976616C|7|0\n", StoredRows(program.File(L"Default.db")));
  EXPECT_EQ(program.File(L"Default.db"), program.Setting(L"General", L"Profile"));
  CloseHandle(stalled);
  CloseHandle(resume);
}

TEST(Recording, TrackerStartsTheGameAndEndsWithItAfterStartingTheReportTool) {
  ProgramFolderFixture program;
  for (const wchar_t* name : {L"Corvenka.exe", L"MirrowAddr.dll", L"mirrow.exe", L"mirrow_report.exe"})
    ASSERT_TRUE(program.Add(name));
  program.Settings(AutorunSettings(program));
  ChildProcess tracker;
  ASSERT_TRUE(tracker.Start(program.File(L"Corvenka.exe"), L"", program.Path()));
  // The game plays its built-in evening at its own pace (an event every 400 ms) and exits; the tracker
  // follows it.
  EXPECT_EQ(0u, tracker.WaitExit(180000));
  // The report tool may have made its log and not yet written it.
  EXPECT_TRUE(WaitUntil([&] { return ReadWholeFile(program.File(L"mirrow_report.log")).find("started ") == 0; }))
      << ReadWholeFile(program.File(L"mirrow_report.log"));
  // The tracker only ends this way on the probe's word that the attached game has gone.
  EXPECT_TRUE(FileExists(program.File(L"Default.db")));
  EXPECT_EQ(program.File(L"Default.db"), program.Setting(L"General", L"Profile"));
  // A probe too slow for that pace reads a match after the game has moved on: wrong sides, characters or
  // counts.
  EXPECT_EQ(BuiltInEveningRows(), StoredRows(program.File(L"Default.db")));
}
// The overlay files follow the record: a capture, an undo from the summary's menu, a shortcut's profile switch.
TEST(Recording, StreamOverlayFilesFollowCapturesUndoAndAProfileSwitch) {
  ProgramFolderFixture program;
  for (const wchar_t* name : {L"Corvenka.exe", L"MirrowAddr.dll", L"mirrow.exe"}) ASSERT_TRUE(program.Add(name));
  std::wstring overlay = program.File(L"overlay");
  CreateDirectoryW(overlay.c_str(), nullptr);
  // Shortcut 0 (Ctrl+F9) switches to the other profile.
  program.Settings("[StreamOverlay]\r\nEnabled=1\r\nFolder=" + Ascii(overlay) + "\r\n[Shortcut]\r\nKey0=632\r\nPath0=" +
                   Ascii(program.File(L"Other.db")) + "\r\n");
  WriteWholeFile(program.File(L"evening.txt"), "menu\nmatch host 3 7 me rival\nwin 1\nwin 2\nwin 1\nmenu\n"
                                               "match host 3 8 me ace\nwin 2\nwin 2\nmenu\nquit\n");
  ChildProcess game;
  HWND gameWindow = StartGame(game, program, L"evening.txt");
  ASSERT_NE(nullptr, gameWindow);
  ChildProcess tracker;
  HWND main = StartTracker(tracker, program);
  ASSERT_NE(nullptr, main);
  HWND summary = SummaryWindowOf(tracker.Id());
  ASSERT_TRUE(WaitUntil([&] { return ProcessHasModule(game.Id(), L"MirrowAddr.dll"); }, 20000));
  auto text = [&](const wchar_t* name) { return ReadWholeFile(overlay + L"\\" + name); };
  // Written at the start, before any match; the empty profile becomes the other one.
  EXPECT_TRUE(WaitUntil([&] { return !text(L"last.txt").empty(); }));
  ASSERT_TRUE(CopyFileW(program.File(L"Default.db").c_str(), program.File(L"Other.db").c_str(), TRUE));
  std::string none = text(L"last.txt");

  ASSERT_TRUE(WaitForPollBeforeMatch(gameWindow));
  Step(gameWindow, 5);
  EXPECT_TRUE(WaitUntil([&] { return text(L"last.txt").find(") 2-1 rival(") != std::string::npos; }, 20000))
      << text(L"last.txt");
  EXPECT_EQ("1\xE9\x80\xA3\xE5\x8B\x9D", text(L"streak.txt"));  // 1連勝
  Step(gameWindow, 1);
  Sleep(1500);
  Step(gameWindow, 3);
  EXPECT_TRUE(WaitUntil([&] { return text(L"last.txt").find(") 0-2 ace(") != std::string::npos; }, 20000));
  EXPECT_EQ("1\xE9\x80\xA3\xE6\x95\x97", text(L"streak.txt"));  // 1連敗

  PostMessageW(summary, WM_SYSCOMMAND, 0xC000, 0);  // 元に戻す
  EXPECT_TRUE(WaitUntil([&] { return text(L"last.txt").find(") 2-1 rival(") != std::string::npos; }));
  PostMessageW(summary, WM_COMMAND, 50000, 0);
  EXPECT_TRUE(WaitUntil([&] { return text(L"last.txt") == none; })) << text(L"last.txt");

  Step(gameWindow, 2);  // menu, quit
  EXPECT_EQ(0u, game.WaitExit());
  PostMessageW(main, WM_COMMAND, IDM_EXIT, 0);
  EXPECT_EQ(0u, tracker.WaitExit());
  EXPECT_EQ(1, CountRows(program.File(L"Default.db")));
  EXPECT_EQ(program.File(L"Other.db"), program.Setting(L"General", L"Profile"));
}
// The summary's figures as its copy command gives them: the "総合" line's three numbers, or "" before any.
std::string SummaryTotals(HWND summary) {
  SendMessageW(summary, WM_SYSCOMMAND, SummaryCopyTable, 0);
  std::wstring text = ClipboardText();
  size_t at = text.find(L"総合");
  if (at == std::wstring::npos) return "<no total row>";
  int games = -1, wins = -1, losses = -1;
  if (swscanf(text.c_str() + at + 2, L"%d %d %d", &games, &wins, &losses) != 3) return "";
  return std::to_string(games) + " " + std::to_string(wins) + " " + std::to_string(losses);
}

// A switch to a big profile reads it in turns: a match decided meanwhile is captured at once into it, once,
// and the summary shows no figures until it can show the big profile's own.
TEST(Recording, AMatchDecidedDuringASwitchToABigProfileIsStoredOnceInIt) {
  ProgramFolderFixture program;
  for (const wchar_t* name : {L"Corvenka.exe", L"MirrowAddr.dll", L"mirrow.exe"}) ASSERT_TRUE(program.Add(name));
  std::wstring big = program.File(L"Big.db"), first = program.File(L"Default.db");
  program.Settings("[Shortcut]\r\nKey0=632\r\nPath0=" + Ascii(big) + "\r\n");
  WriteWholeFile(program.File(L"match.txt"), "menu\nmatch host 3 7 me rival\nwin 1\nwin 1\nmenu\nquit\n");
  ChildProcess game;
  HWND gameWindow = StartGame(game, program, L"match.txt");
  ASSERT_NE(nullptr, gameWindow);
  ChildProcess tracker;
  HWND main = StartTracker(tracker, program);
  ASSERT_NE(nullptr, main);
  HWND summary = SummaryWindowOf(tracker.Id());
  ASSERT_TRUE(WaitUntil([&] { return ProcessHasModule(game.Id(), L"MirrowAddr.dll"); }, 20000));
  // The tracker's own empty file, then years of matches (every 90 s, long before today).
  ASSERT_TRUE(CopyFileW(first.c_str(), big.c_str(), TRUE));
  const int matches = 600000;
  ASSERT_TRUE(BuildDatabase(big,
                            "WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < 599999) "
                            "INSERT INTO viziriduvozmirrow SELECT 132000000000000000 + i * 900000000, 'me', i % 14, "
                            "2 * (i % 3 > 0), 'foe' || (i % 50), (i * 5) % 14, 2 * (i % 3 = 0) FROM n"));
  ASSERT_EQ(matches, CountRows(big));
  ASSERT_TRUE(WaitForPollBeforeMatch(gameWindow));
  Step(gameWindow, 3);  // to the last round but one

  // Sent: the switch has opened the big profile when it returns, and its first turn is done.
  SendMessageW(summary, WM_COMMAND, FirstShortcutCommand, 0);
  Step(gameWindow, 1);  // the deciding round
  wchar_t title[128] = L"";
  GetWindowTextW(summary, title, 128);
  EXPECT_NE(nullptr, wcsstr(title, L"Big")) << "the new name at once";
  EXPECT_EQ("", SummaryTotals(summary)) << "no figures while the profile is read";

  EXPECT_TRUE(WaitUntil([&] { return CountRows(big) == matches + 1; }, 20000));
  // Wins are rounds / 2: of 600 000 generated matches, 400 000 won and 200 000 lost; the capture is won.
  EXPECT_TRUE(WaitUntil([&] { return SummaryTotals(summary) == "600001 400001 200000"; }, 20000))
      << SummaryTotals(summary);
  Step(gameWindow, 2);
  EXPECT_EQ(0u, game.WaitExit());
  PostMessageW(main, WM_COMMAND, IDM_EXIT, 0);
  EXPECT_EQ(0u, tracker.WaitExit());
  EXPECT_EQ(0, CountRows(first));
  EXPECT_EQ(matches + 1, CountRows(big));
  EXPECT_EQ(1, CountRows(big, "WHERE p2name = 'rival' AND p1id = 3 AND p1win = 2 AND p2id = 7 AND p2win = 0"));
}

TEST(Recording, AMatchCapturedWhileAnotherProgramHoldsTheFileIsStoredOnceItIsFree) {
  ProgramFolderFixture program;
  for (const wchar_t* name : {L"Corvenka.exe", L"MirrowAddr.dll", L"mirrow.exe"}) ASSERT_TRUE(program.Add(name));
  WriteWholeFile(program.File(L"evening.txt"),
                 "title\nmenu\n"
                 "match host 3 7 me foe\nwin 1\nwin 1\nmenu\n"
                 "match client 0 11 rival me\nwin 2\nwin 2\nmenu\n"
                 "quit\n");
  ChildProcess game;
  HWND gameWindow = StartGame(game, program, L"evening.txt");
  ASSERT_NE(nullptr, gameWindow);
  ChildProcess tracker;
  HWND main = StartTracker(tracker, program);
  ASSERT_NE(nullptr, main);
  HWND summary = WaitForProcessWindow(tracker.Id(), L"#32770");
  ASSERT_TRUE(WaitUntil([&] { return ProcessHasModule(game.Id(), L"MirrowAddr.dll"); }, 20000));
  std::wstring database = program.File(L"Default.db");
  std::wstring recovery = database + L".pending";
  const std::string first = "6D65|3|2|666F65|7|0\n", second = "6D65|11|2|726976616C|0|0\n";

  {
    // Another program writes for longer than the tracker waits: the match waits, and a crash would not lose it.
    HeldWriteLock writer(database);
    ASSERT_TRUE(writer.Held());
    ASSERT_TRUE(WaitForPollBeforeMatch(gameWindow));
    Step(gameWindow, 5);
    EXPECT_TRUE(WaitUntil([&] { return FileExists(recovery); }, 20000));
    EXPECT_EQ(0, CountRows(database));
  }
  // Retried on its own once the file is free, and stored once.
  EXPECT_TRUE(WaitUntil([&] { return CountRows(database) == 1; }, 20000));
  EXPECT_TRUE(WaitUntil([&] { return !FileExists(recovery); }, 5000));
  SendMessageW(summary, WM_SYSCOMMAND, 0xC000, 0);  // undo
  EXPECT_EQ(0, CountRows(database));
  SendMessageW(summary, WM_SYSCOMMAND, 0xC001, 0);  // redo
  EXPECT_EQ(first, StoredRows(database));

  {
    // Quitting while the next match waits keeps it beside the profile.
    HeldReadLock reader(database);
    ASSERT_TRUE(reader.Held());
    Step(gameWindow, 1);
    Sleep(1500);
    Step(gameWindow, 3);
    EXPECT_TRUE(WaitUntil([&] { return FileExists(recovery); }, 20000));
    PostMessageW(main, WM_COMMAND, IDM_EXIT, 0);
    EXPECT_EQ(0u, tracker.WaitExit());
  }
  EXPECT_EQ(first, StoredRows(database));
  EXPECT_TRUE(FileExists(recovery));
  Step(gameWindow, 2);
  EXPECT_EQ(0u, game.WaitExit());

  // The next start stores it, once, and removes the file.
  ChildProcess again;
  ASSERT_TRUE(again.Start(program.File(L"Corvenka.exe"), L"", program.Path()));
  HWND mainAgain = WaitForTrackerStarted(again.Id());
  ASSERT_NE(nullptr, mainAgain);
  EXPECT_TRUE(WaitUntil([&] { return !FileExists(recovery); }, 20000));
  PostMessageW(mainAgain, WM_COMMAND, IDM_EXIT, 0);
  EXPECT_EQ(0u, again.WaitExit());
  EXPECT_EQ(first + second, StoredRows(database));
}
}  // namespace
