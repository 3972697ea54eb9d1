// Undo and redo of record changes: two stacks of whole record copies, for the current profile only.
#pragma once
#include <cstdint>
#include "store/MatchRecord.h"

enum ChangeKind : int32_t {
  ChangeInserted = 0,
  ChangeDeleted = 1,  // and every other value
};

struct JournalEntry {
  int32_t kind;
  MatchRecord record;
};

void RecordChange(int32_t kind, const MatchRecord& record);
bool UndoChange();
bool RedoChange();
void ClearJournal();
bool CanUndo();
bool CanRedo();
