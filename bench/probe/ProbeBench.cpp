// Cost of the probe's requests on the stand-in game with its realistic tables: per request on the game's
// GUI thread, per match step as the worker sees it, and the floor of the same number of bare page reads.
// Two kinds of step alternate: nine requests (three status paths and six parameters, one by one) and the
// worker's one snapshot request (the same nine paths and the two names). With --no-cache, the requests read
// the game without the page cache, as they did before it. Run: see FIGURES.md.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "ProbeProcessSupport.h"

namespace {

double Micro(LONGLONG ticks, LONGLONG frequency) { return ticks * 1e6 / (double)frequency; }

struct Summary {
  double median, p99;
};

Summary Summarise(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  size_t n = values.size();
  return {values[n / 2], values[std::min(n - 1, (n * 99) / 100)]};
}

LONGLONG Now() {
  LARGE_INTEGER t;
  QueryPerformanceCounter(&t);
  return t.QuadPart;
}

// The same kind of read the probe makes of the game (one whole page), on this process's own memory.
LONGLONG BareReads(long count) {
  static uint8_t page[4096], into[4096];
  SIZE_T got;
  LONGLONG start = Now();
  for (long i = 0; i < count; ++i) ReadProcessMemory(GetCurrentProcess(), page, into, sizeof into, &got);
  return Now() - start;
}

}  // namespace

int main(int argc, char** argv) {
  int steps = 60;
  bool noCache = false;
  for (int i = 1; i < argc; ++i) {
    if (!strcmp(argv[i], "--no-cache")) noCache = true;
    else steps = atoi(argv[i]);
  }
  if (steps < 1) {
    std::fprintf(stderr, "usage: ProbeBench [match steps] [--no-cache]\n");
    return 2;
  }
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  ScratchFolder folder;
  TestProbe probe(folder.Path());
  StandinGame game;
  if (!probe.Loaded() || !game.Start(folder.Path(), "match host 3 7 x:837e83698367 x:834a8351838d8345\n") ||
      game.Step() != 1 || !probe.Install()) {
    std::fprintf(stderr, "could not start the stand-in game with the probe\n");
    return 1;
  }
  probe.BypassPageCache(noCache);
  const char* const status[] = {"game", "network_inst", "network_is_watch"};
  std::vector<double> requestInGame, requestFloor, stepWorker, stepFloor;
  std::vector<double> walkerReads, systemReads;
  std::vector<double> snapInGame, snapFloor, snapStep, snapSystemReads;
  for (int step = -20; step < steps; ++step) {
    long stepReads = 0;
    struct Cost {
      LONGLONG ticks;
      LONG walker, system;
    };
    std::vector<Cost> costs;
    LONGLONG start = Now();
    for (const char* path : status) {
      DWORD type, value;
      probe.Query(path, &type, &value);
      Cost c;
      probe.LastRequestCost(&c.ticks, &c.walker, &c.system);
      costs.push_back(c);
    }
    for (int id = 0; id <= 5; ++id) {
      probe.GetParam(id);
      Cost c;
      probe.LastRequestCost(&c.ticks, &c.walker, &c.system);
      costs.push_back(c);
    }
    LONGLONG elapsed = Now() - start;
    if (step < 0) continue;  // warm-up
    stepWorker.push_back(Micro(elapsed, frequency.QuadPart));
    for (const Cost& c : costs) {
      requestInGame.push_back(Micro(c.ticks, frequency.QuadPart));
      requestFloor.push_back(Micro(BareReads(c.system), frequency.QuadPart));
      walkerReads.push_back(c.walker);
      systemReads.push_back(c.system);
      stepReads += c.system;
    }
    stepFloor.push_back(Micro(BareReads(stepReads), frequency.QuadPart));

    ScriptSnapshot snapshot;
    start = Now();
    bool read = probe.ReadMatchStep(&snapshot);
    elapsed = Now() - start;
    Cost c;
    probe.LastRequestCost(&c.ticks, &c.walker, &c.system);
    if (!read || !(snapshot.found & 1)) {
      std::fprintf(stderr, "the snapshot request failed\n");
      return 1;
    }
    snapStep.push_back(Micro(elapsed, frequency.QuadPart));
    snapInGame.push_back(Micro(c.ticks, frequency.QuadPart));
    snapFloor.push_back(Micro(BareReads(c.system), frequency.QuadPart));
    snapSystemReads.push_back(c.system);
  }
  Summary inGame = Summarise(requestInGame), floor1 = Summarise(requestFloor);
  Summary step = Summarise(stepWorker), floor9 = Summarise(stepFloor);
  Summary walker = Summarise(walkerReads), system = Summarise(systemReads);
  std::printf("match steps measured: %d (9 requests each)%s\n", steps, noCache ? ", without the page cache" : "");
  std::printf("walker reads per request: median %.0f, p99 %.0f\n", walker.median, walker.p99);
  std::printf("reads through the system per request: median %.0f, p99 %.0f\n", system.median, system.p99);
  std::printf("request on the game's GUI thread: median %.1f us, p99 %.1f us\n", inGame.median, inGame.p99);
  std::printf("  floor (same number of bare 4 KB reads): median %.1f us, p99 %.1f us; ratio %.2f\n", floor1.median,
              floor1.p99, inGame.median / floor1.median);
  std::printf("match step as the worker sees it: median %.1f us, p99 %.1f us\n", step.median, step.p99);
  std::printf("  floor (same number of bare 4 KB reads): median %.1f us, p99 %.1f us; ratio %.2f\n", floor9.median,
              floor9.p99, step.median / floor9.median);
  Summary snapGame = Summarise(snapInGame), snapFloor1 = Summarise(snapFloor), snap = Summarise(snapStep);
  std::printf("snapshot step (9 paths and 2 names in one request), reads through the system: median %.0f\n",
              Summarise(snapSystemReads).median);
  std::printf("snapshot request on the game's GUI thread: median %.1f us, p99 %.1f us\n", snapGame.median,
              snapGame.p99);
  std::printf("  floor (same number of bare 4 KB reads): median %.1f us; ratio %.2f\n", snapFloor1.median,
              snapGame.median / snapFloor1.median);
  std::printf("snapshot step as the worker sees it: median %.1f us, p99 %.1f us; against the nine requests %.2f\n",
              snap.median, snap.p99, snap.median / step.median);
  probe.BypassPageCache(0);
  return 0;
}
