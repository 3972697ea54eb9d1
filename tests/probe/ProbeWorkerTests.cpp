// The exports and the worker, each case in a process of its own (MirrowAddrStartup works once per process).
#include <windows.h>
#include <tlhelp32.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "MirrowControl.h"
#include "ProbeProcessSupport.h"
#include "shell/MatchCapture.h"

namespace {

using Notification = std::pair<WPARAM, LPARAM>;
const Notification kAttached{0x00010000, 0};
const Notification kDetached{0, 0};
Notification Changed(int id, int value) { return {(WPARAM)(id * 65536 + 1), (LPARAM)value}; }

std::string Describe(const std::vector<Notification>& list) {
  std::string out;
  char item[48];
  for (const auto& n : list) {
    wsprintfA(item, "(%#x,%d) ", (unsigned)n.first, (int)n.second);
    out += item;
  }
  return out;
}

int ThreadCount() {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  THREADENTRY32 entry{};
  entry.dwSize = sizeof entry;
  int count = 0;
  for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
    if (entry.th32OwnerProcessID == GetCurrentProcessId()) ++count;
  CloseHandle(snapshot);
  return count;
}

// Lets the worker run at least two full steps, whatever its state, while notifications are pumped in.
void Settle(TestProbe& probe) {
  LONG start = probe.Count().requestsSent;
  EXPECT_TRUE(PumpUntil([&] { return probe.Count().requestsSent >= start + 20; }, 20000));
}

bool WaitState(TestProbe& probe, int state) {
  return PumpUntil([&] { return probe.GetState() == state; }, 20000);
}

#define CHILD_TEST(suite, name)                                                        \
  TEST(suite, name) { EXPECT_TRUE(RunChildTest(#suite "Child.DISABLED_" #name)); } \
  TEST(suite##Child, DISABLED_##name)

// What arrived since the last look, compared with what a game event should cause. Within one worker
// step the order may vary (the game may change between two of its requests), so each batch is compared
// as a set; the batches themselves are in order.
class Batches {
 public:
  explicit Batches(const std::vector<Notification>& seen) : seen_(seen) {}
  testing::AssertionResult Next(std::vector<Notification> expected) {
    std::vector<Notification> got(seen_.begin() + (long)taken_, seen_.end());
    taken_ = seen_.size();
    std::vector<Notification> sortedGot = got, sortedExpected = expected;
    std::sort(sortedGot.begin(), sortedGot.end());
    std::sort(sortedExpected.begin(), sortedExpected.end());
    if (sortedGot == sortedExpected) return testing::AssertionSuccess();
    return testing::AssertionFailure() << "expected " << Describe(expected) << "got " << Describe(got);
  }

 private:
  const std::vector<Notification>& seen_;
  size_t taken_ = 0;
};

CHILD_TEST(ProbeWorker, PostsAttachChangesAndDetachInOrder) {
  ScratchFolder folder;
  TestProbe probe(folder.Path());
  ASSERT_TRUE(probe.Loaded());
  auto game = std::make_unique<StandinGame>();
  ASSERT_TRUE(game->Start(folder.Path(),
                          "menu\n"
                          "match host 3 7 minato kagerou\n"
                          "win 1\n"
                          "win 1\n"
                          "wins -1 0\n"
                          "wins 0 0\n"
                          "wins 1 0\n"
                          "disconnect\n"
                          "match watch 4 5 sakuya hayate\n"
                          "quit\n"));
  NotificationRecorder recorder;
  Batches batches(recorder.Seen());
  ASSERT_EQ(1, probe.Startup(1, recorder.Window(), ProbeNotifyMessage));
  ASSERT_TRUE(WaitState(probe, Attached));
  Settle(probe);
  EXPECT_EQ(Attached, probe.GetState()) << "title screen";
  EXPECT_TRUE(batches.Next({kAttached}));

  game->Step();  // menu: no network instance
  Settle(probe);
  EXPECT_EQ(Attached, probe.GetState());
  EXPECT_TRUE(batches.Next({}));

  game->Step();  // a match as host; values of 0 equal the cleared last-seen values
  ASSERT_TRUE(WaitState(probe, InMatch));
  Settle(probe);
  EXPECT_TRUE(batches.Next({Changed(0, 1), Changed(2, 3), Changed(3, 7)}));

  game->Step();
  Settle(probe);
  EXPECT_TRUE(batches.Next({Changed(0, 2), Changed(4, 1)}));
  game->Step();  // side 1 reaches 2: posted once, wParam (4 x 65536) + 1
  Settle(probe);
  EXPECT_TRUE(batches.Next({Changed(0, 3), {(WPARAM)(4 * 65536 + 1), 2}}));
  Settle(probe);
  EXPECT_TRUE(batches.Next({}));

  game->Step();  // -1 cannot be told from failure: last-seen goes back to 0
  Settle(probe);
  EXPECT_TRUE(batches.Next({}));
  game->Step();  // so 0 after -1 posts nothing
  Settle(probe);
  EXPECT_TRUE(batches.Next({}));
  game->Step();
  Settle(probe);
  EXPECT_TRUE(batches.Next({Changed(4, 1)}));

  game->Step();  // the session ends before anything else changes
  ASSERT_TRUE(WaitState(probe, Attached));
  game->Step();  // watching: stays in state 1, nothing posted for the watched players
  Settle(probe);
  EXPECT_EQ(Attached, probe.GetState());
  EXPECT_TRUE(batches.Next({}));

  game->Step();  // the game exits
  EXPECT_EQ(0u, game->WaitExit());
  ASSERT_TRUE(WaitState(probe, Detached));
  PumpUntil([] { return true; });  // posted before the state changed: already queued
  EXPECT_TRUE(batches.Next({kDetached}));

  // A new game: attached again, and the last-seen values start from 0, so equal characters post again.
  game = std::make_unique<StandinGame>();
  ASSERT_TRUE(game->Start(folder.Path(), "match host 3 7 minato tokiwa\n"));
  game->Step();
  ASSERT_TRUE(WaitState(probe, InMatch));
  Settle(probe);
  EXPECT_TRUE(batches.Next({kAttached, Changed(0, 1), Changed(2, 3), Changed(3, 7)}));

  EXPECT_EQ(0, probe.Cleanup());
  EXPECT_EQ(InMatch, probe.GetState()) << "the last state the worker set";
  EXPECT_EQ("tokiwa", TestProbe::Text(probe.GetParam(Side2ProfileName))) << "requests work after the worker ended";
}

CHILD_TEST(ProbeWorker, StartupAndCleanupActOnceEach) {
  ScratchFolder folder;
  TestProbe probe(folder.Path());
  ASSERT_TRUE(probe.Loaded());
  NotificationRecorder recorder;
  int threads = ThreadCount();
  EXPECT_EQ(0, probe.Cleanup()) << "before any start";
  EXPECT_EQ(0, probe.Startup(2, recorder.Window(), ProbeNotifyMessage));
  EXPECT_EQ(threads, ThreadCount()) << "version 2 starts nothing";
  EXPECT_EQ(Detached, probe.GetState());

  EXPECT_EQ(1, probe.Startup(1, recorder.Window(), ProbeNotifyMessage));
  EXPECT_EQ(threads + 1, ThreadCount());
  EXPECT_EQ(0, probe.Startup(1, recorder.Window(), ProbeNotifyMessage));
  EXPECT_EQ(threads + 1, ThreadCount());
  // Straight after the start, before the worker may have a message queue.
  EXPECT_EQ(0, probe.Cleanup());
  EXPECT_EQ(threads, ThreadCount());
  EXPECT_EQ(0, probe.Cleanup());
  EXPECT_EQ(0, probe.Startup(1, recorder.Window(), ProbeNotifyMessage)) << "once in the life of the process";
  EXPECT_EQ(threads, ThreadCount());
  PumpUntil([] { return false; }, 200);
  EXPECT_TRUE(recorder.Seen().empty()) << "no game: nothing posted";
}

// The library that ships, with nothing but its four exports, attached beside a match that is already decided.
CHILD_TEST(ProbeWorker, ShippedLibraryReportsAMatchAsClientButNotOneDecidedBeforeItCame) {
  ScratchFolder folder;
  std::wstring path = folder.File(L"MirrowAddr.dll");
  ASSERT_TRUE(CopyFileW(ShippedProbePath().c_str(), path.c_str(), FALSE));
  HMODULE module = LoadLibraryW(path.c_str());
  ASSERT_NE(nullptr, module);
  auto startup = reinterpret_cast<MirrowAddrStartupFn>(GetProcAddress(module, "MirrowAddrStartup"));
  auto cleanup = reinterpret_cast<MirrowAddrCleanupFn>(GetProcAddress(module, "MirrowAddrCleanup"));
  auto getState = reinterpret_cast<MirrowAddrGetStateFn>(GetProcAddress(module, "MirrowAddrGetState"));
  auto getParam = reinterpret_cast<MirrowAddrGetParamFn>(GetProcAddress(module, "MirrowAddrGetParam"));
  ASSERT_TRUE(startup && cleanup && getState && getParam);
  EXPECT_EQ(nullptr, GetProcAddress(module, "TestInstallProbe"));

  StandinGame game;
  ASSERT_TRUE(game.Start(folder.Path(), "match client 5 9 rival minato\nwin 2\nwin 2\nwins 0 1\nwin 2\n"));
  for (int i = 0; i < 3; ++i) game.Step();
  NotificationRecorder recorder;
  ASSERT_EQ(1, startup(1, recorder.Window(), ProbeNotifyMessage));
  ASSERT_TRUE(recorder.WaitFor(1));
  EXPECT_EQ(kAttached, recorder.Seen()[0]);
  auto answered = [&] { return (int)SendMessageW(game.Window(), MirrowRequestCountMessage, 0, 0); };
  auto seen = [&](Notification wanted) {
    return PumpUntil([&] {
      for (const auto& n : recorder.Seen())
        if (n == wanted) return true;
      return false;
    }, 20000);
  };
  // The first poll reports the match, but not its counters as rounds just won.
  ASSERT_TRUE(seen(Changed(Side2Character, 9))) << Describe(recorder.Seen());
  int sofar = answered();
  ASSERT_TRUE(PumpUntil([&] { return answered() >= sofar + 20; }, 20000));
  EXPECT_EQ((std::vector<Notification>{kAttached, Changed(0, 3), Changed(1, 1), Changed(2, 5), Changed(3, 9)}),
            recorder.Seen()) << Describe(recorder.Seen());

  game.Step();
  ASSERT_TRUE(seen(Changed(Side2Wins, 1))) << Describe(recorder.Seen());
  game.Step();
  ASSERT_TRUE(seen(Changed(Side2Wins, 2))) << Describe(recorder.Seen());
  EXPECT_EQ(1, getParam(IsClient));
  EXPECT_EQ(9, getParam(Side2Character));
  EXPECT_EQ("minato", TestProbe::Text(getParam(Side2ProfileName)));
  EXPECT_EQ(0, cleanup());
}

// The game shows each result for one frame and is at its menu by the time the tracker's thread, busy for a
// while after the deciding notification, reads the match; a second match is decided meanwhile. Each capture
// takes the match of its own notification, as the step that posted it saw it.
CHILD_TEST(ProbeWorker, ALateCaptureTakesTheMatchAsItWasDecided) {
  ScratchFolder folder;
  TestProbe probe(folder.Path());
  ASSERT_TRUE(probe.Loaded());
  StandinGame game;
  ASSERT_TRUE(game.Start(folder.Path(),
                         "menu\n"
                         "match client 3 7 rival me\nwin 2\nwin 1\nwin 2\ndisconnect\nmenu\n"
                         "match host 5 9 me other\nwin 1\nwin 1\ndisconnect\nmenu\n",
                         L"--fast"));
  auto stepsApplied = [&] { return (int)SendMessageW(game.Window(), MirrowStepCountMessage, 0, 0); };
  NotificationRecorder recorder;
  std::vector<std::string> captured;
  recorder.onNotify = [&](WPARAM wParam, LPARAM lParam) {
    int id = NotificationDetail(wParam);
    if (NotificationKind(wParam) != ParamChanged || (id != Side1Wins && id != Side2Wins) || lParam != 2) return;
    if (captured.empty()) {
      EXPECT_TRUE(WaitUntil([&] { return stepsApplied() == 7; })) << "the game goes on to its menu";
      // The thread stays busy while the next match is played and decided.
      std::thread player([&] {
        for (int i = 0; i < 3; ++i) game.Step();
      });
      EXPECT_TRUE(WaitUntil([&] { return stepsApplied() == 12; }, 20000));
      player.join();
      Sleep(1000);
    }
    MatchRecord record{};
    captured.push_back(ReadFinishedMatch(probe.GetParam, &record)
                           ? std::string(record.p1name) + "|" + std::to_string(record.p1id) + "|" +
                                 std::to_string(record.p1win) + "|" + record.p2name + "|" +
                                 std::to_string(record.p2id) + "|" + std::to_string(record.p2win)
                           : "nothing");
  };
  ASSERT_EQ(1, probe.Startup(1, recorder.Window(), ProbeNotifyMessage));
  ASSERT_TRUE(WaitState(probe, Attached));
  game.Step();
  Settle(probe);
  for (int i = 0; i < 4; ++i) game.Step();
  ASSERT_TRUE(PumpUntil([&] { return captured.size() == 2; }, 30000)) << Describe(recorder.Seen());
  EXPECT_EQ("me|7|2|rival|3|1", captured[0]);
  EXPECT_EQ("me|5|2|other|9|0", captured[1]);
  PumpUntil([] { return false; }, 100);
  EXPECT_EQ(0, probe.GetParam(Side1Wins)) << "after its capture, the game as it stands";
  EXPECT_EQ(0, probe.Cleanup());
}

}  // namespace

int main(int argc, char** argv) { return ProbeTestMain(argc, argv); }
