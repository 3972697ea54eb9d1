// The profile database: one SQLite file, one table, at most one open connection.
#pragma once
#include <string>
#include "store/MatchRecord.h"

struct sqlite3;

extern const char* const MatchTableSchema;
extern const char* const MatchIndexSchema;

bool SetDatabasePath(const std::wstring& path);
const std::wstring& CurrentDatabasePath();
// Why a profile was not opened, for the message that tells the user.
enum ProfileProblem {
  ProfileOpened,
  ProfileNotCreated,     // a new file could not be made (no folder, no rights)
  ProfileCannotRead,     // an existing file could not be opened or read
  ProfileBusy,           // another program is writing it
  ProfileNotDatabase,    // not a database, or a damaged one
  ProfileNoMatchTable,   // a database of something else
  ProfileMissingColumn,  // the match table lacks a column the capture writes
  ProfileRowRefused,     // another column of the match table needs a value the capture does not write
  ProfileTableNotMade,   // an empty database that cannot be written
  ProfilePathTooLong,    // cut by the setting: names another file (never set here)
};

// On failure the previous connection stays open and current, untouched.
bool OpenRecordDatabase(ProfileProblem* problem = nullptr);
// The open profile could only be opened for reading: nothing can be stored in it.
bool RecordDatabaseReadOnly();
// A profile opened for reading whose file can be written now gets a writing connection in its place;
// true when it did. Never inside a transaction.
bool ReopenRecordDatabaseForWriting();
// Matches won and lost by the user in the day starting at `dayStart`, for the tray's tooltip.
bool CountDayResults(int64_t dayStart, int& wins, int& losses);
void CloseRecordDatabase();
// The open connection, or null.
sqlite3* RecordDatabase();

void BeginTransaction();
// True when everything written since BeginTransaction is now committed (or rolled back, as asked).
// A commit that is refused is rolled back, so no transaction is ever left open.
bool EndTransaction(bool rollback);

bool InsertMatchRecord(const MatchRecord& record);
// Whether the row stored at the record's timestamp holds exactly this match; false when none is or it cannot
// be read now.
bool IsMatchStored(const MatchRecord& record);
bool DeleteMatchRecord(int64_t timestamp);

// Why the last refused write or commit was refused. Only a duplicate is refused for good; the others may
// go through later.
enum WriteFailure {
  WriteFailureNoProfile,
  WriteFailureDuplicate,  // a row with that timestamp (or another unique value) is stored
  WriteFailureRefused,    // the table's own rules refused the row (NOT NULL, CHECK, a trigger)
  WriteFailureBusy,       // another program holds the file
  WriteFailureReadOnly,
  WriteFailureFull,
  WriteFailureOther,
};
WriteFailure LastWriteFailure();
// SQLite's own words for the last refused write or commit.
std::wstring LastWriteMessage();

// Whether a transaction of ours is open on the connection.
bool InTransaction();
// How long a statement waits for another program's lock to go (2 s unless changed); the previous value.
int SetBusyWait(int milliseconds);

// ANSI code page text to UTF-8, as the SQL function ansi2utf8 does it.
bool AnsiToUtf8(const char* text, std::string& result);
