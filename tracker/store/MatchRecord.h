#pragma once
#include <cstdint>

#include "common/Timestamp.h"

// One stored match. p1 is always the user's own side.
struct MatchRecord {
  int64_t timestamp;  // local wall clock, 100 ns units since 1601-01-01, millisecond resolution
  char p1name[260];   // ANSI code page bytes, as the game gave them
  int32_t p1id;
  int32_t p1win;
  char p2name[260];
  int32_t p2id;
  int32_t p2win;
};
