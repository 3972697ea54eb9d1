// Building match tables for the store's tests.
#pragma once
#include <cstring>
#include <string>
#include <vector>

#include "store/RecordDatabase.h"
#include "store/RecordFilter.h"

inline MatchRecord Match(int64_t timestamp, const char* p1, int p1id, int p1win, const char* p2, int p2id, int p2win) {
  MatchRecord r;
  memset(&r, 0, sizeof r);
  r.timestamp = timestamp;
  strcpy(r.p1name, p1);
  r.p1id = p1id;
  r.p1win = p1win;
  strcpy(r.p2name, p2);
  r.p2id = p2id;
  r.p2win = p2win;
  return r;
}

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
