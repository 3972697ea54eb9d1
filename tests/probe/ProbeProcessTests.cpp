// The probe across real processes: the stand-in game, the hook, the IPC window, the requesters.
#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "MirrowControl.h"
#include "ProbeProcessSupport.h"
#include "shell/MatchCapture.h"

namespace {

std::string Hex(const std::string& bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string out = "x:";
  for (unsigned char c : bytes) {
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out;
}

const std::string kMinato = "\x83\x7e\x83\x69\x83\x67";  // Shift-JIS
const std::string kKagerou = "\x83\x4a\x83\x51\x83\x8d\x83\x45";

uint32_t Kind(DWORD type) { return type & 0xFFFFF; }

// A game on the title screen with the probe installed into it from this process.
struct InstalledGame {
  ScratchFolder folder;
  StandinGame game;
  std::unique_ptr<TestProbe> probe;

  explicit InstalledGame(const std::string& scenario, const std::string& ini = "") {
    if (!ini.empty()) WriteWholeFile(folder.File(L"MirrowAddr.ini"), ini);
    probe.reset(new TestProbe(folder.Path()));
    if (!probe->Loaded() || !game.Start(folder.Path(), scenario)) return;
    installed = probe->Install() == 1;
  }
  bool installed = false;
};

TEST(ProbeInstall, GoesThroughAHookThatIsRemovedAgainAndPinsTheLibrary) {
  InstalledGame g("menu\n");
  ASSERT_TRUE(g.installed);
  ProbeCounters counters = g.probe->Count();
  EXPECT_EQ(1, counters.hooksSet);
  EXPECT_EQ(1, counters.hooksRemoved);
  EXPECT_EQ(nullptr, g.probe->SharedHook());

  std::vector<HWND> ipc = IpcWindows();
  ASSERT_EQ(1u, ipc.size());
  DWORD pid = 0;
  DWORD thread = GetWindowThreadProcessId(ipc[0], &pid);
  EXPECT_EQ(g.game.Id(), pid);
  EXPECT_EQ(GetWindowThreadProcessId(g.game.Window(), nullptr), thread) << "requests must run on the game's GUI thread";
  EXPECT_FALSE(IsWindowVisible(ipc[0]));
  EXPECT_EQ(L"", WindowText(ipc[0]));
  EXPECT_TRUE(ProcessHasModule(g.game.Id(), g.probe->Path())) << "the library stays in the game without the hook";

  // Installed already: no second hook and no second window.
  EXPECT_EQ(1, g.probe->Install());
  EXPECT_EQ(1, g.probe->Count().hooksSet);
  EXPECT_EQ(1u, IpcWindows().size());
  // Messages after the hook is gone still reach the game, and requests are answered.
  EXPECT_EQ(1, g.game.Step());
  DWORD type = 0, value = 0;
  ASSERT_TRUE(g.probe->Query("game/battleState", &type, &value));
  EXPECT_EQ(0x02u, Kind(type));

  // A second tracker-side process finds the window and installs nothing.
  EXPECT_TRUE(RunChildTest("ProbeInstallChild.DISABLED_SecondProcessFindsTheIpcWindowWithoutHooking",
                           g.folder.Path()));
  EXPECT_EQ(1u, IpcWindows().size());
}

TEST(ProbeInstallChild, DISABLED_SecondProcessFindsTheIpcWindowWithoutHooking) {
  wchar_t folder[1024] = L"";
  GetEnvironmentVariableW(L"PROBE_TEST_FOLDER", folder, 1024);
  HMODULE module = LoadLibraryW((std::wstring(folder) + L"\\MirrowAddrTestProbe.dll").c_str());
  ASSERT_NE(nullptr, module);
  auto install = reinterpret_cast<int (*)()>(GetProcAddress(module, "TestInstallProbe"));
  auto counters = reinterpret_cast<void (*)(ProbeCounters*)>(GetProcAddress(module, "TestCounters"));
  auto getParam = reinterpret_cast<MirrowAddrGetParamFn>(GetProcAddress(module, "MirrowAddrGetParam"));
  EXPECT_EQ(1, install());
  ProbeCounters seen{};
  counters(&seen);
  EXPECT_EQ(0, seen.hooksSet);
  EXPECT_EQ(0, getParam(BattleState));
}

// A hidden window can still be closed or destroyed in the game; the next installation must make a new one
// instead of waiting out its time-out on every attempt until the game restarts.
TEST(ProbeInstall, AnIpcWindowDestroyedInTheGameIsMadeAgain) {
  InstalledGame g("menu\n");
  ASSERT_TRUE(g.installed);
  std::vector<HWND> ipc = IpcWindows();
  ASSERT_EQ(1u, ipc.size());
  SendMessageW(ipc[0], WM_CLOSE, 0, 0);
  ASSERT_FALSE(IsWindow(ipc[0]));
  EXPECT_EQ(1, g.probe->Install());
  EXPECT_EQ(1u, IpcWindows().size());
  EXPECT_EQ(nullptr, g.probe->SharedHook());
  ASSERT_EQ(1, g.game.Step());
  EXPECT_EQ(0, g.probe->GetParam(BattleState));
}

// An object of another kind under a mutex's name makes that mutex impossible to take: then nothing may be
// put into the shared block or hooked without it.
TEST(ProbeInstall, WithoutItsMutexNothingIsInstalledOrRequested) {
  ScratchFolder folder;
  StandinGame game;
  TestProbe probe(folder.Path());
  ASSERT_TRUE(probe.Loaded());
  ASSERT_TRUE(game.Start(folder.Path(), "match host 3 7 a b\n"));
  HANDLE squatter = CreateEventW(nullptr, TRUE, FALSE, L"MirrowAddrInstallMutex");
  ASSERT_NE(nullptr, squatter);
  EXPECT_EQ(0, probe.Install());
  EXPECT_EQ(0, probe.Count().hooksSet);
  EXPECT_TRUE(IpcWindows().empty());
  CloseHandle(squatter);
  ASSERT_EQ(1, probe.Install());
  ASSERT_EQ(1, game.Step());

  squatter = CreateEventW(nullptr, TRUE, FALSE, L"MirrowAddrIPCMutex");
  ASSERT_NE(nullptr, squatter);
  LONG sent = probe.Count().requestsSent;
  DWORD type = 0, value = 0;
  EXPECT_FALSE(probe.Query("load_data/player/0", &type, &value));
  EXPECT_EQ(ProbeParamFailed, probe.GetParam(Side1Character));
  EXPECT_EQ(sent, probe.Count().requestsSent);
  CloseHandle(squatter);
  EXPECT_EQ(3, probe.GetParam(Side1Character));
}

TEST(ProbeInstall, FailsAtOnceWhenTheGameIsNotRunning) {
  ASSERT_EQ(nullptr, FindWindowW(L"mirrow", L"Mirrow ver1.02b"));
  ScratchFolder folder;
  TestProbe probe(folder.Path());
  ASSERT_TRUE(probe.Loaded());
  EXPECT_EQ(0, probe.Install());
  EXPECT_EQ(0, probe.Count().hooksSet);
  EXPECT_EQ(nullptr, OpenMutexW(SYNCHRONIZE, FALSE, L"MirrowAddrInstallMutex"));
  EXPECT_EQ(nullptr, OpenEventW(SYNCHRONIZE, FALSE, L"MirrowAddrInstalledEvent"));
  EXPECT_EQ(ProbeParamFailed, probe.GetParam(BattleState));
  EXPECT_EQ(0, probe.Count().requestsSent) << "no IPC window: no request";
}

TEST(ProbeRequests, PathsOf254CharactersAreSentAndLongerOnesAreNot) {
  InstalledGame g("match host 3 7 a b\n");
  ASSERT_TRUE(g.installed);
  ASSERT_EQ(1, g.game.Step());
  // Components after an integer are ignored, so a long path can still succeed.
  std::string path = "game/battleState/";
  path += std::string(254 - path.size(), 'z');
  ASSERT_EQ(254u, path.size());
  DWORD type = 0, value = 0;
  LONG sent = g.probe->Count().requestsSent;
  ASSERT_TRUE(g.probe->Query(path.c_str(), &type, &value));
  EXPECT_EQ(0x02u, Kind(type));
  EXPECT_EQ(1u, value);
  EXPECT_EQ(sent + 1, g.probe->Count().requestsSent);
  EXPECT_FALSE(g.probe->Query((path + "z").c_str(), &type, &value));
  EXPECT_EQ(sent + 1, g.probe->Count().requestsSent) << "a 255-character path must not be sent";
  EXPECT_FALSE(g.probe->Query("game/nothing", &type, &value));
}

TEST(ProbeRequests, ProfileNamesOf255BytesComeBackWholeAndLongerOnesFail) {
  std::string name255;
  while (name255.size() + kMinato.size() <= 255) name255 += kMinato;
  name255 += std::string(255 - name255.size(), '7');
  std::string name256 = name255 + "8";
  InstalledGame g("match host 3 7 " + Hex(name255) + " " + Hex(name256) + "\nname 2 " + Hex(kKagerou) + "\n");
  ASSERT_TRUE(g.installed);
  ASSERT_EQ(1, g.game.Step());
  int first = g.probe->GetParam(Side1ProfileName);
  ASSERT_NE(ProbeParamFailed, first);
  EXPECT_EQ(name255, TestProbe::Text(first));
  EXPECT_EQ(ProbeParamFailed, g.probe->GetParam(Side2ProfileName));
  // The worker's step reads both in its one request, with the same bounds.
  ScriptSnapshot step{};
  LONG sent = g.probe->Count().requestsSent;
  ASSERT_TRUE(g.probe->ReadMatchStep(&step));
  EXPECT_EQ(sent + 1, g.probe->Count().requestsSent);
  EXPECT_EQ(name255, std::string(step.texts[0], step.textLengths[0]));
  EXPECT_EQ(0u, step.textLengths[1]);
  ASSERT_EQ(2, g.game.Step());
  int second = g.probe->GetParam(Side2ProfileName);
  ASSERT_NE(ProbeParamFailed, second);
  EXPECT_EQ(first, second) << "both names come back in the one result buffer";
  EXPECT_EQ(kKagerou, TestProbe::Text(second));
}

TEST(ProbeRequests, EveryParameterIdReadsItsPathWithItsKind) {
  InstalledGame g("match host 3 7 " + Hex(kMinato) + " " + Hex(kKagerou) +
                  "\nwin 1\nmatch client 12 5 rival_01 " + Hex(kMinato) + "\nclientkind int\ntitle\n");
  ASSERT_TRUE(g.installed);
  // Title screen: no "game" key.
  EXPECT_EQ(ProbeParamFailed, g.probe->GetParam(BattleState));
  EXPECT_EQ(0, g.probe->GetParam(IsClient));

  ASSERT_EQ(1, g.game.Step());
  EXPECT_EQ(1, g.probe->GetParam(BattleState));
  EXPECT_EQ(0, g.probe->GetParam(IsClient));
  EXPECT_EQ(3, g.probe->GetParam(Side1Character));
  EXPECT_EQ(7, g.probe->GetParam(Side2Character));
  EXPECT_EQ(0, g.probe->GetParam(Side1Wins));
  EXPECT_EQ(0, g.probe->GetParam(Side2Wins));
  EXPECT_EQ(kMinato, TestProbe::Text(g.probe->GetParam(Side1ProfileName)));
  EXPECT_EQ(kKagerou, TestProbe::Text(g.probe->GetParam(Side2ProfileName)));

  ASSERT_EQ(2, g.game.Step());
  EXPECT_EQ(2, g.probe->GetParam(BattleState));
  EXPECT_EQ(1, g.probe->GetParam(Side1Wins));
  EXPECT_EQ(0, g.probe->GetParam(Side2Wins));

  ASSERT_EQ(3, g.game.Step());
  EXPECT_EQ(1, g.probe->GetParam(IsClient));
  EXPECT_EQ(12, g.probe->GetParam(Side1Character));
  EXPECT_EQ("rival_01", TestProbe::Text(g.probe->GetParam(Side1ProfileName)));
  ASSERT_EQ(4, g.game.Step());
  EXPECT_EQ(ProbeParamFailed, g.probe->GetParam(IsClient)) << "an integer where a bool belongs";

  LONG sent = g.probe->Count().requestsSent;
  for (int id : {6, 9, -1, INT_MIN, 100}) EXPECT_EQ(ProbeParamFailed, g.probe->GetParam(id)) << id;
  EXPECT_EQ(sent, g.probe->Count().requestsSent) << "ids without a path send nothing";

  ASSERT_EQ(5, g.game.Step());
  EXPECT_EQ(ProbeParamFailed, g.probe->GetParam(BattleState));
  EXPECT_EQ(ProbeParamFailed, g.probe->GetParam(Side1ProfileName)) << "an empty name is refused";
}

std::string Row(const MatchRecord& r) {
  return std::string(r.p1name) + "|" + std::to_string(r.p1id) + "|" + std::to_string(r.p1win) + "|" + r.p2name +
         "|" + std::to_string(r.p2id) + "|" + std::to_string(r.p2win);
}

// The capture's reading, through this probe, of a finished match that the game leaves after the k-th request
// of the reading, for every k: the next match's menu (the side and everything else reset), or only the score
// reset. Whatever k, the reading gives the whole match or nothing, never the side or score of another
// moment; one that ended before the change gives the match.
TEST(CaptureReading, AGameMovingOnDuringTheReadingGivesTheWholeMatchOrNothing) {
  const int kLast = 24;
  std::string scenario;
  for (int k = 1; k <= kLast; ++k) {
    scenario += "match client 3 7 rival me\nwin 2\nwin 1\nwin 2\nafter request " + std::to_string(k) + " menu\n";
    scenario += "match host 5 9 me rival\nwin 1\nwin 2\nwin 1\nafter request " + std::to_string(k) + " wins 0 0\n";
  }
  InstalledGame g(scenario);
  ASSERT_TRUE(g.installed);
  auto requests = [&] { return (int)SendMessageW(g.game.Window(), MirrowRequestCountMessage, 0, 0); };
  int whole = 0;
  for (int k = 1; k <= kLast; ++k) {
    for (const char* expected : {"me|7|2|rival|3|1", "me|5|2|rival|9|1"}) {
      for (int i = 0; i < 5; ++i) g.game.Step();
      int before = requests();
      MatchRecord record{};
      bool stored = ReadFinishedMatch(g.probe->GetParam, &record);
      EXPECT_EQ(stored ? expected : "", stored ? Row(record) : "") << "k=" << k;
      bool movedOnAfter = requests() - before <= k;
      EXPECT_TRUE(stored || !movedOnAfter) << "k=" << k << ": the game moved on after the reading";
      whole += stored;
    }
  }
  EXPECT_GT(whole, 0);
  EXPECT_LT(whole, 2 * kLast) << "a change inside the reading must sometimes leave nothing to store";
}

TEST(CaptureReading, ASideThatDoesNotReadAsABoolStoresNothing) {
  InstalledGame g("match host 3 7 me rival\nwin 1\nwin 1\nclientkind int\n");
  ASSERT_TRUE(g.installed);
  for (int i = 0; i < 3; ++i) g.game.Step();
  MatchRecord record{};
  ASSERT_TRUE(ReadFinishedMatch(g.probe->GetParam, &record));
  EXPECT_EQ("me|3|2|rival|7|0", Row(record));
  g.game.Step();
  ASSERT_EQ(ProbeParamFailed, g.probe->GetParam(IsClient));
  EXPECT_FALSE(ReadFinishedMatch(g.probe->GetParam, &record)) << "taken as the client, the sides would be swapped";
}

TEST(ProbeSettings, DefaultsWithoutAFileAndTheFileBesideTheLibrary) {
  wchar_t windowClass[256], caption[256];
  DWORD coreBase = 0;
  {
    ScratchFolder folder;
    TestProbe probe(folder.Path());
    // A settings file next to the program must not count.
    WriteWholeFile(ProgramFolder() + L"\\MirrowAddr.ini", "[Mirrow]\r\nWindowClass=wrong\r\n");
    ASSERT_TRUE(probe.WindowSettings(windowClass, caption));
    DeleteFileW((ProgramFolder() + L"\\MirrowAddr.ini").c_str());
    EXPECT_STREQ(L"mirrow", windowClass);
    EXPECT_STREQ(L"Mirrow ver1.02b", caption);
    ASSERT_TRUE(probe.AddressSetting(&coreBase));
    EXPECT_EQ(0x543FC4u, coreBase);
  }
  struct Case {
    const char* value;
    DWORD expected;
  } cases[] = {{"5521348", 0x543FC4}, {"0x543FC4", 0x543FC4}, {"0x10", 16}, {"1234", 1234},
               {"none", 0x543FC4}, {"", 0x543FC4}};
  for (const Case& c : cases) {
    ScratchFolder folder;
    WriteWholeFile(folder.File(L"MirrowAddr.ini"), std::string("[Address]\r\nCoreBase=") + c.value + "\r\n");
    TestProbe probe(folder.Path());
    ASSERT_TRUE(probe.AddressSetting(&coreBase));
    EXPECT_EQ(c.expected, coreBase) << c.value;
  }
  ScratchFolder folder;
  std::string longCaption = "Mirrow ver1.02b " + std::string(300, 'c');
  WriteWholeFile(folder.File(L"MirrowAddr.ini"),
                 "[Mirrow]\r\nWindowClass=other\r\nWindowCaption=" + longCaption + "\r\n");
  TestProbe probe(folder.Path());
  ASSERT_TRUE(probe.WindowSettings(windowClass, caption));
  EXPECT_STREQ(L"other", windowClass);
  EXPECT_EQ(255, lstrlenW(caption));
  EXPECT_EQ(std::wstring(longCaption.begin(), longCaption.begin() + 255), std::wstring(caption));
}

TEST(ProbeSettings, TheGamesCopyReadsCoreBase) {
  {
    InstalledGame g("menu\n", "[Address]\r\nCoreBase=5521348\r\n");
    ASSERT_TRUE(g.installed);
    ASSERT_EQ(1, g.game.Step());
    EXPECT_EQ(0, g.probe->GetParam(BattleState));
  }
  {
    InstalledGame g("menu\n", "[Address]\r\nCoreBase=0x10\r\n");
    ASSERT_TRUE(g.installed) << "a wrong CoreBase does not keep the in-game part from being created";
    ASSERT_EQ(1, g.game.Step());
    EXPECT_EQ(ProbeParamFailed, g.probe->GetParam(BattleState));
    DWORD type, value;
    EXPECT_FALSE(g.probe->Query("game", &type, &value));
  }
}

// Makes the game's copy fault in a request, answers the crash message and waits for the game's end.
void CrashTheGame(const std::wstring& folder, int withoutFolder) {
  StandinGame game;
  TestProbe probe(folder);
  ASSERT_TRUE(game.Start(folder, "menu\n"));
  ASSERT_EQ(1, probe.Install());
  MessageBoxAnswerer answer(IDOK, game.Id(), 30000);
  EXPECT_EQ(0, probe.RequestFault(withoutFolder));
  ASSERT_TRUE(answer.Wait());
  EXPECT_EQ(L"予期しないエラーが発生しました。OKボタンを押すとゲームを終了します。", answer.Text());
  EXPECT_EQ(L"MirrowAddr", answer.Caption());
  EXPECT_EQ(0u, game.WaitExit());
  EXPECT_TRUE(IpcWindows().empty());
}

TEST(ProbeCrashReport, WritesADumpShowsTheMessageAndEndsTheGame) {
  ScratchFolder folder;
  std::wstring dump = folder.File(L"MirrowAddr.dmp");
  size_t paddedSize = 0;
  for (int round = 0; round < 2; ++round) {
    ASSERT_NO_FATAL_FAILURE(CrashTheGame(folder.Path(), 0));
    std::string bytes = ReadWholeFile(dump);
    ASSERT_GE(bytes.size(), 32u);
    EXPECT_EQ("MDMP", bytes.substr(0, 4));
    if (round == 0) {
      // Pretend the older dump was larger.
      bytes += std::string(65536, '\xCC');
      WriteWholeFile(dump, bytes);
      paddedSize = bytes.size();
    } else {
      EXPECT_LT(bytes.size(), paddedSize);
      EXPECT_EQ(std::string::npos, bytes.find(std::string(4096, '\xCC'))) << "stale tail of the older dump";
    }
  }
}

TEST(ProbeCrashReport, WithoutTheLibrarysFolderTheDumpGoesToTheRootOfC) {
  ScratchFolder folder;
  const wchar_t* rootDump = L"C:\\MirrowAddr.dmp";
  DeleteFileW(rootDump);
  ASSERT_NO_FATAL_FAILURE(CrashTheGame(folder.Path(), 1));
  EXPECT_EQ("MDMP", ReadWholeFile(rootDump).substr(0, 4));
  EXPECT_FALSE(FileExists(folder.File(L"MirrowAddr.dmp")));
  DeleteFileW(rootDump);
}

}  // namespace

int main(int argc, char** argv) { return ProbeTestMain(argc, argv); }
