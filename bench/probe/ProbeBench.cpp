// Cost of the probe's requests on the stand-in game with its realistic tables: per request on the game's
// GUI thread, per match step (three status paths and six parameters) as the worker sees it, and the floor
// of the same number of bare safe reads. Run: see FIGURES.md.
#include <windows.h>

#include <algorithm>
#include <cstdio>
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

// The same kind of read the walker makes, on this process's own memory.
LONGLONG BareReads(long count, const void* address) {
  uint32_t word;
  SIZE_T got;
  LONGLONG start = Now();
  for (long i = 0; i < count; ++i) ReadProcessMemory(GetCurrentProcess(), address, &word, 4, &got);
  return Now() - start;
}

}  // namespace

int main(int argc, char** argv) {
  int steps = argc > 1 ? atoi(argv[1]) : 60;
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
  const char* const status[] = {"game", "network_inst", "network_is_watch"};
  std::vector<double> requestInGame, requestFloor, stepWorker, stepFloor;
  std::vector<double> readsPerRequest;
  static const uint32_t sample = 0x12345678;
  for (int step = -20; step < steps; ++step) {
    long stepReads = 0;
    std::vector<std::pair<LONGLONG, LONG>> costs;
    LONGLONG start = Now();
    for (const char* path : status) {
      DWORD type, value;
      probe.Query(path, &type, &value);
      LONGLONG ticks;
      LONG reads;
      probe.LastRequestCost(&ticks, &reads);
      costs.push_back({ticks, reads});
    }
    for (int id = 0; id <= 5; ++id) {
      probe.GetParam(id);
      LONGLONG ticks;
      LONG reads;
      probe.LastRequestCost(&ticks, &reads);
      costs.push_back({ticks, reads});
    }
    LONGLONG elapsed = Now() - start;
    if (step < 0) continue;  // warm-up
    stepWorker.push_back(Micro(elapsed, frequency.QuadPart));
    for (const auto& c : costs) {
      requestInGame.push_back(Micro(c.first, frequency.QuadPart));
      requestFloor.push_back(Micro(BareReads(c.second, &sample), frequency.QuadPart));
      readsPerRequest.push_back(c.second);
      stepReads += c.second;
    }
    stepFloor.push_back(Micro(BareReads(stepReads, &sample), frequency.QuadPart));
  }
  Summary inGame = Summarise(requestInGame), floor1 = Summarise(requestFloor);
  Summary worker = Summarise(stepWorker), floor9 = Summarise(stepFloor);
  Summary reads = Summarise(readsPerRequest);
  std::printf("match steps measured: %d (9 requests each)\n", steps);
  std::printf("safe reads per request: median %.0f, p99 %.0f\n", reads.median, reads.p99);
  std::printf("request on the game's GUI thread: median %.1f us, p99 %.1f us\n", inGame.median, inGame.p99);
  std::printf("  floor (same number of bare reads): median %.1f us, p99 %.1f us; ratio %.2f\n", floor1.median,
              floor1.p99, inGame.median / floor1.median);
  std::printf("match step as the worker sees it: median %.1f us, p99 %.1f us\n", worker.median, worker.p99);
  std::printf("  floor (same number of bare reads): median %.1f us, p99 %.1f us; ratio %.2f\n", floor9.median,
              floor9.p99, worker.median / floor9.median);
  return 0;
}
