// The tracker and the stand-in game as real processes: matches played in the game become rows of the
// profile database, read back here with SQLite alone.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <string>

#include "MirrowControl.h"
#include "TrackerProcess.h"
#include "resources/resource.h"

namespace {
// The rows as "p1name(hex)|p1id|p1win|p2name(hex)|p2id|p2win", oldest first.
std::string StoredRows(const std::wstring& database) {
  std::string rows;
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(Ascii(database).c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
    sqlite3_exec(
        db, "SELECT hex(p1name), p1id, p1win, hex(p2name), p2id, p2win FROM viziriduvozmirrow ORDER BY timestamp",
        [](void* out, int n, char** values, char**) {
          auto* text = static_cast<std::string*>(out);
          for (int i = 0; i < n; ++i) *text += std::string(i ? "|" : "") + (values[i] ? values[i] : "NULL");
          *text += "\n";
          return 0;
        },
        &rows, nullptr);
  }
  sqlite3_close(db);
  return rows;
}

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
  ASSERT_TRUE(game.Start(program.File(L"mirrow.exe"), L"--scenario \"" + program.File(L"evening.txt") + L"\"",
                         program.Path()));
  HWND gameWindow = WaitForProcessWindow(game.Id(), L"mirrow");
  ASSERT_NE(nullptr, gameWindow);
  int events = (int)SendMessageW(gameWindow, MirrowEventCountMessage, 0, 0);
  ASSERT_EQ(17, events);

  ChildProcess tracker;
  ASSERT_TRUE(tracker.Start(program.File(L"Corvenka.exe"), L"", program.Path()));
  HWND main = WaitForTrackerStarted(tracker.Id());
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

TEST(Recording, ATrackerRestartedWhileTheGameShowsAFinishedMatchStoresNothingNew) {
  ProgramFolderFixture program;
  for (const wchar_t* name : {L"Corvenka.exe", L"MirrowAddr.dll", L"mirrow.exe"}) ASSERT_TRUE(program.Add(name));
  WriteWholeFile(program.File(L"match.txt"), "menu\nmatch host 3 7 me rival\nwin 1\nwin 1\n");
  ChildProcess game;
  ASSERT_TRUE(game.Start(program.File(L"mirrow.exe"), L"--scenario \"" + program.File(L"match.txt") + L"\"",
                         program.Path()));
  HWND gameWindow = WaitForProcessWindow(game.Id(), L"mirrow");
  ASSERT_NE(nullptr, gameWindow);
  std::wstring database = program.File(L"Default.db");
  for (int run = 0; run < 3; ++run) {
    ChildProcess tracker;
    ASSERT_TRUE(tracker.Start(program.File(L"Corvenka.exe"), L"", program.Path()));
    HWND main = WaitForTrackerStarted(tracker.Id());
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

TEST(Recording, ALogOffWhileACaptureWaitsForTheGameStoresTheMatchAndSavesTheSettings) {
  ProgramFolderFixture program;
  for (const wchar_t* name : {L"Corvenka.exe", L"MirrowAddr.dll", L"mirrow.exe"}) ASSERT_TRUE(program.Add(name));
  // The game stops answering right after the capture's first name read.
  WriteWholeFile(program.File(L"match.txt"), "menu\nmatch host 3 7 me rival\nwin 1\nafter text 1 stall\nwin 1\n");
  ChildProcess game;
  ASSERT_TRUE(game.Start(program.File(L"mirrow.exe"), L"--scenario \"" + program.File(L"match.txt") + L"\"",
                         program.Path()));
  HWND gameWindow = WaitForProcessWindow(game.Id(), L"mirrow");
  ASSERT_NE(nullptr, gameWindow);
  HANDLE stalled = OpenGameEvent(MirrowStalledEventFormat, game.Id());
  HANDLE resume = OpenGameEvent(MirrowResumeEventFormat, game.Id());
  ASSERT_TRUE(stalled && resume);

  ChildProcess tracker;
  ASSERT_TRUE(tracker.Start(program.File(L"Corvenka.exe"), L"", program.Path()));
  HWND main = WaitForTrackerStarted(tracker.Id());
  ASSERT_NE(nullptr, main);
  ASSERT_TRUE(WaitUntil([&] { return ProcessHasModule(game.Id(), L"MirrowAddr.dll"); }, 20000));
  ASSERT_TRUE(WaitForPollBeforeMatch(gameWindow));
  PostMessageW(main, WM_COMMAND, IDM_COPY_ALL, 0);
  Step(gameWindow, 5);
  ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(stalled, 20000));

  // The tracker's thread waits inside the request, where the session's messages reach it.
  DWORD_PTR answer = 0;
  ASSERT_TRUE(SendMessageTimeoutW(main, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, SMTO_BLOCK, 10000, &answer));
  EXPECT_TRUE(answer);
  ASSERT_TRUE(SendMessageTimeoutW(main, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF, SMTO_BLOCK, 10000, &answer));
  // The session may end the tracker from here on: its settings are already written.
  EXPECT_EQ(L"2", program.Setting(L"General", L"InfoTrans"));

  SetEvent(resume);
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
  program.Settings("[Autorun]\r\nGameProgram.Enabled=1\r\nGameProgram.FileName=" + Ascii(program.File(L"mirrow.exe")) +
                   "\r\nReportTool.Enabled=1\r\nReportTool.FileName=" + Ascii(program.File(L"mirrow_report.exe")) +
                   "\r\n");
  ChildProcess tracker;
  ASSERT_TRUE(tracker.Start(program.File(L"Corvenka.exe"), L"", program.Path()));
  // The game plays its built-in evening at its own pace (an event every 400 ms) and exits; the tracker
  // follows it.
  EXPECT_EQ(0u, tracker.WaitExit(180000));
  EXPECT_TRUE(WaitUntil([&] { return FileExists(program.File(L"mirrow_report.log")); }));
  EXPECT_EQ(0u, ReadWholeFile(program.File(L"mirrow_report.log")).find("started "));
  // The tracker only ends this way on the probe's word that the attached game has gone.
  EXPECT_TRUE(FileExists(program.File(L"Default.db")));
  EXPECT_EQ(program.File(L"Default.db"), program.Setting(L"General", L"Profile"));
  // Every played match of the evening, from the user's side (the watched one is not there). A probe too slow
  // for that pace reads a match after the game has moved on: wrong sides, characters or counts.
  const std::string me = "837E83698367";
  EXPECT_EQ(me + "|3|2|834A8351838D8345|7|1\n" +
                me + "|3|0|82B582B882AD8ADB|11|2\n" +
                me + "|3|2|8367834C838F|0|1\n" +
                me + "|5|1|83888343837D8360|12|2\n" +
                me + "|5|2|83638380834D|9|0\n" +
                me + "|5|1|6E6167695F32303236|13|2\n" +
                me + "|4|0|8352836E838B|8|2\n" +
                me + "|4|2|8386834C8356838D|6|1\n" +
                me + "|4|2|8341834A8363834C|10|0\n" +
                me + "|2|1|83718372834C|10|2\n" +
                me + "|4|2|834A8351838D8345|0|0\n" +
                me + "|4|1|834A8351838D8345|7|2\n",
            StoredRows(program.File(L"Default.db")));
}
}  // namespace
