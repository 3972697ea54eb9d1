// Who follows the record and how they hear of a change. Everything that changes the record (a capture, a
// change by hand, undo and redo, a profile switch, a restore or an import) ends in DeliverRecordChanges,
// directly or through RefreshSummaryMessage; every window or file that shows the record is a listener.
#pragma once
#include <windows.h>

// Each listener finds out for itself what changed (its own change mark in the store), since each began to
// follow the record at a different moment.
typedef void (*RecordListener)(void* context);

// A listener is told in the order it was added; adding the same one twice adds it once.
void AddRecordListener(RecordListener listener, void* context);
void RemoveRecordListener(RecordListener listener, void* context);

// Once a change is committed: the summary window is sent RefreshSummaryMessage, whose handling delivers.
void RecordChanged();

// Tells every listener now, also when nothing is known to have changed (a listener whose rows depend on
// settings shows them again).
void DeliverRecordChanges();
