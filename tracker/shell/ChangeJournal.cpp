#include "shell/ChangeJournal.h"

#include "store/RecordDatabase.h"
#include "common/RecordArray.h"

namespace {
RecordArray<JournalEntry> g_undo;
RecordArray<JournalEntry> g_redo;

// Applies an entry forwards (redo) or backwards (undo); the stack decides the direction.
bool Apply(const JournalEntry& entry, bool forwards) {
  bool insert = (entry.kind == ChangeInserted) == forwards;
  return insert ? InsertMatchRecord(entry.record) : DeleteMatchRecord(entry.record.timestamp);
}

bool Move(RecordArray<JournalEntry>& from, RecordArray<JournalEntry>& to, bool forwards) {
  if (from.Empty()) return false;
  BeginTransaction();
  const JournalEntry entry = from.Top();
  if (!Apply(entry, forwards)) {
    EndTransaction(true);
    return false;
  }
  // Only a committed step moves the entry, so the stacks always tell what the file holds.
  if (!EndTransaction(false)) return false;
  to.Push(entry);
  from.Pop();
  return true;
}
}  // namespace

void RecordChange(int32_t kind, const MatchRecord& record) {
  g_redo.Clear();
  g_undo.Push(JournalEntry{kind, record});
}

bool UndoChange() { return Move(g_undo, g_redo, false); }
bool RedoChange() { return Move(g_redo, g_undo, true); }

void ClearJournal() {
  g_undo.Clear();
  g_redo.Clear();
}

bool CanUndo() { return !g_undo.Empty(); }
bool CanRedo() { return !g_redo.Empty(); }
