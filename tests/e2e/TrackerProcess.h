// A fresh program folder holding copies of the real binaries, and the tracker run from it.
#pragma once
#include <windows.h>

#include <string>

#include "TestSupport.h"

class ProgramFolderFixture {
 public:
  // Copies the named build outputs ("Corvenka.exe", "MirrowAddr.dll", "mirrow.exe", "mirrow_report.exe").
  bool Add(const wchar_t* name);
  // Copies a file of that name from another folder (a release unpacked, say).
  bool AddFrom(const std::wstring& folder, const wchar_t* name);
  std::wstring File(const wchar_t* name) const { return folder_.File(name); }
  const std::wstring& Path() const { return folder_.Path(); }
  void Settings(const std::string& text) { WriteWholeFile(File(L"Corvenka.ini"), text); }
  // A key's value in Corvenka.ini, or "<none>".
  std::wstring Setting(const wchar_t* section, const wchar_t* key) const;
  std::string SettingsText() const { return ReadWholeFile(File(L"Corvenka.ini")); }

 private:
  ScratchFolder folder_;
};

// The folder's stand-in game playing the scenario file of that name: its window once it has one, or null.
HWND StartGame(ChildProcess& game, const ProgramFolderFixture& program, const wchar_t* scenario);
// The folder's tracker: its main window once its start-up has finished, or null.
HWND StartTracker(ChildProcess& tracker, const ProgramFolderFixture& program);

// The top-level window of the given class that belongs to the process, waiting for it to appear.
HWND WaitForProcessWindow(DWORD processId, const wchar_t* className, DWORD timeoutMs = 20000);
// The tracker's main window once its start-up has finished (its summary window exists), or null.
HWND WaitForTrackerStarted(DWORD processId, DWORD timeoutMs = 20000);
// The tracker's summary window (hidden or not), or null.
HWND SummaryWindowOf(DWORD processId);
// Any visible top-level window of the process.
HWND VisibleWindowOf(DWORD processId);
// Whether the process has loaded a module of that file name.
bool ProcessHasModule(DWORD processId, const wchar_t* moduleName);

// The stored rows as "p1name(hex)|p1id|p1win|p2name(hex)|p2id|p2win", oldest first, read with SQLite alone.
std::string StoredRows(const std::wstring& database);
// Settings that let the tracker start the stand-in game and its report tool from the program folder.
std::string AutorunSettings(const ProgramFolderFixture& program);
// The rows that the stand-in game's built-in evening leaves, as StoredRows gives them.
std::string BuiltInEveningRows();
// The number of the probe's requests the stand-in game has answered.
int RequestsAnswered(HWND game);
// Waits until the probe has polled the game outside a match: only then does a match played at once count as
// one it saw begin.
bool WaitForPollBeforeMatch(HWND game);

// Paths in settings files: the scratch folders have plain ASCII names.
std::string Ascii(const std::wstring& text);
