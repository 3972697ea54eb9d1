// Shared test equipment: scratch folders, waiting on windows, answering message boxes and dialogs.
#pragma once
#include <windows.h>
#include <functional>
#include <string>
#include <vector>
#include <thread>
#include <vector>
#include <atomic>

// A fresh, empty folder under the temp folder, removed with its files when the object goes.
class ScratchFolder {
 public:
  ScratchFolder();
  ~ScratchFolder();
  const std::wstring& Path() const { return path_; }
  std::wstring File(const wchar_t* name) const { return path_ + L"\\" + name; }

 private:
  std::wstring path_;
};

bool FileExists(const std::wstring& path);
std::string ReadWholeFile(const std::wstring& path);
void WriteWholeFile(const std::wstring& path, const std::string& bytes);

// The folder holding the running test program (the build puts the binaries under test next to it or above it).
std::wstring ProgramFolder();

// Runs the thread's message queue until the predicate holds or the time is up; true when it held.
bool PumpUntil(const std::function<bool()>& predicate, DWORD timeoutMs = 10000);
// Polls (without pumping) until the predicate holds or the time is up.
bool WaitUntil(const std::function<bool()>& predicate, DWORD timeoutMs = 10000);

// The first visible top-level dialog (class #32770) of the given process other than `except`.
HWND FindDialogOfProcess(DWORD processId, HWND except = nullptr);
std::wstring WindowText(HWND window);
std::wstring ClassNameOf(HWND window);

// Watches from its own thread for the next message box of a process and presses a button on it,
// so that code that blocks in MessageBoxW can run on the test's thread.
class MessageBoxAnswerer {
 public:
  explicit MessageBoxAnswerer(int button = IDOK, DWORD processId = GetCurrentProcessId(), DWORD timeoutMs = 15000);
  ~MessageBoxAnswerer();
  // Waits until the box was answered (or the watch gave up); true when one was answered.
  bool Wait();
  std::wstring Text() { Wait(); return text_; }
  std::wstring Caption() { Wait(); return caption_; }

 private:
  void Run();
  int button_;
  DWORD processId_;
  DWORD timeoutMs_;
  std::wstring text_, caption_;
  std::atomic<bool> answered_{false};
  std::thread thread_;
};

// Runs `action` from a watcher thread on the next dialog of this process that satisfies `accept`.
// Used for dialogs the code under test shows modally.
class DialogDriver {
 public:
  DialogDriver(std::function<bool(HWND)> accept, std::function<void(HWND)> action,
               DWORD processId = GetCurrentProcessId(), DWORD timeoutMs = 15000);
  ~DialogDriver();
  bool Wait();

 private:
  std::atomic<bool> done_{false};
  std::thread thread_;
};

// Fills an open-file dialog's name box and confirms it (or cancels when `path` is empty).
void AnswerFileDialog(HWND dialog, const std::wstring& path);

// Answers, one after another from one watcher thread, the message boxes and file dialogs a process shows,
// for code that shows several in a row. Each step waits for the window before it and for it to go.
class DialogSequence {
 public:
  struct Step {
    bool fileDialog;
    int button;         // a message box's button
    std::wstring path;  // a file dialog's answer; empty cancels
  };
  static Step Box(int button) { return {false, button, L""}; }
  static Step File(const std::wstring& path) { return {true, 0, path}; }

  explicit DialogSequence(std::vector<Step> steps, DWORD processId = GetCurrentProcessId(), DWORD timeoutMs = 15000);
  ~DialogSequence();
  // True when every step was answered.
  bool Wait();
  // What each answered step showed: a box's text, a file dialog's title.
  const std::vector<std::wstring>& Seen() {
    Wait();
    return seen_;
  }

 private:
  std::vector<std::wstring> seen_;
  std::atomic<bool> done_{false};
  std::thread thread_;
};

// A child process with its exit code.
class ChildProcess {
 public:
  ChildProcess() = default;
  ~ChildProcess();
  bool Start(const std::wstring& exe, const std::wstring& arguments = L"", const std::wstring& folder = L"");
  // Exit code, or STILL_ACTIVE when it did not end within the time.
  DWORD WaitExit(DWORD timeoutMs = 30000);
  void Kill();
  DWORD Id() const { return info_.dwProcessId; }
  HANDLE Handle() const { return info_.hProcess; }

 private:
  PROCESS_INFORMATION info_{};
};

// A list view's row count and the text of one cell.
int RowCount(HWND list);
std::wstring Cell(HWND list, int row, int column);

// The clipboard's UTF-16 text, or a marker when it holds none or cannot be opened.
std::wstring ClipboardText();

// Real keyboard input through SendInput: one press or release of a virtual key.
void SendKey(WORD vk, bool up);

// The labels, boxes and buttons of a dialog template whose text, `margin` times as wide as measured in the
// font the dialog gets here, does not fit the control; each as "text: needs N px, has M px".
std::vector<std::string> ClippedTexts(HINSTANCE instance, int templateId, double margin);

// Counts the rows of a table, or returns -1, through the real SQLite library.
long long CountRows(const std::wstring& dbPath, const char* where = "");

// Makes (or changes) a database file with SQLite alone, running `sql`; false when it failed.
bool BuildDatabase(const std::wstring& dbPath, const char* sql);
// Profiles a tracker must refuse, each with the word its message gives as the reason; none is changed by it.
struct UnusableProfile {
  const wchar_t* name;
  const char* sql;      // null: not a database at all
  const wchar_t* reason;
};
extern const UnusableProfile UnusableProfiles[3];
void MakeUnusableProfile(const std::wstring& path, const UnusableProfile& profile);

struct sqlite3;

// Another connection in the middle of reading a database file, as a second program browsing it would be:
// while it lives, nobody can commit a write to the file.
class HeldReadLock {
 public:
  explicit HeldReadLock(const std::wstring& dbPath);
  ~HeldReadLock();
  HeldReadLock(const HeldReadLock&) = delete;
  HeldReadLock& operator=(const HeldReadLock&) = delete;
  bool Held() const { return held_; }
  void Release();

 private:
  sqlite3* db_ = nullptr;
  bool held_ = false;
};

// Another connection in the middle of a write: while it lives, nobody else can write to the file.
class HeldWriteLock {
 public:
  explicit HeldWriteLock(const std::wstring& dbPath);
  ~HeldWriteLock();
  HeldWriteLock(const HeldWriteLock&) = delete;
  HeldWriteLock& operator=(const HeldWriteLock&) = delete;
  bool Held() const { return held_; }
  void Release();

 private:
  sqlite3* db_ = nullptr;
  bool held_ = false;
};
