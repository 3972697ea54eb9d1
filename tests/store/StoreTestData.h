// Building match tables for the store's tests.
#pragma once
#include <cstring>
#include <string>
#include <vector>

#include "TrackerTestSupport.h"
#include "store/RecordDatabase.h"
#include "store/RecordFilter.h"

inline bool InsertAll(const std::vector<MatchRecord>& records) {
  BeginTransaction();
  for (const MatchRecord& r : records) {
    if (!InsertMatchRecord(r)) {
      EndTransaction(true);
      return false;
    }
  }
  EndTransaction(false);
  return true;
}

inline RecordFilter NoConditions() {
  RecordFilter f;
  memset(&f, 0xCD, sizeof f);  // unflagged fields mean nothing
  f.flags = 0;
  return f;
}

inline void SetName(char (&field)[260], const char* text) {
  memset(field, 0, sizeof field);
  strcpy(field, text);
}
