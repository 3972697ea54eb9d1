#include "TestSupport.h"

#include <commctrl.h>
#include <shlwapi.h>
#include <sqlite3.h>
#include <cstdio>
#include <vector>

namespace {
std::string ToUtf8(const std::wstring& text) {
  int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string out(n > 0 ? n - 1 : 0, '\0');
  if (n > 1) WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, &out[0], n, nullptr, nullptr);
  return out;
}

void RemoveTree(const std::wstring& path) {
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW((path + L"\\*").c_str(), &data);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      std::wstring name = data.cFileName;
      if (name == L"." || name == L"..") continue;
      std::wstring full = path + L"\\" + name;
      if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        RemoveTree(full);
      else {
        SetFileAttributesW(full.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(full.c_str());
      }
    } while (FindNextFileW(find, &data));
    FindClose(find);
  }
  RemoveDirectoryW(path.c_str());
}
}  // namespace

ScratchFolder::ScratchFolder() {
  static LONG counter = 0;
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  wchar_t name[MAX_PATH + 64];
  wsprintfW(name, L"%scorvenka-test-%lu-%lu-%ld", temp, GetCurrentProcessId(), GetTickCount(),
            InterlockedIncrement(&counter));
  path_ = name;
  if (!path_.empty() && path_.back() == L'\\') path_.pop_back();
  CreateDirectoryW(path_.c_str(), nullptr);
}

ScratchFolder::~ScratchFolder() { RemoveTree(path_); }

bool FileExists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::string ReadWholeFile(const std::wstring& path) {
  std::string bytes;
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                            0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return bytes;
  char buffer[65536];
  DWORD got = 0;
  while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got) bytes.append(buffer, got);
  CloseHandle(file);
  return bytes;
}

void WriteWholeFile(const std::wstring& path, const std::string& bytes) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(file, bytes.data(), (DWORD)bytes.size(), &written, nullptr);
  CloseHandle(file);
}

std::wstring ProgramFolder() {
  wchar_t path[1024];
  GetModuleFileNameW(nullptr, path, 1024);
  PathRemoveFileSpecW(path);
  return path;
}

bool PumpUntil(const std::function<bool()>& predicate, DWORD timeoutMs) {
  DWORD start = GetTickCount();
  for (;;) {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    if (predicate()) return true;
    if (GetTickCount() - start > timeoutMs) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
  }
}

bool WaitUntil(const std::function<bool()>& predicate, DWORD timeoutMs) {
  DWORD start = GetTickCount();
  for (;;) {
    if (predicate()) return true;
    if (GetTickCount() - start > timeoutMs) return false;
    Sleep(10);
  }
}

std::wstring WindowText(HWND window) {
  wchar_t buffer[4096];
  buffer[0] = 0;
  GetWindowTextW(window, buffer, 4096);
  return buffer;
}

std::wstring ClassNameOf(HWND window) {
  wchar_t buffer[256];
  buffer[0] = 0;
  GetClassNameW(window, buffer, 256);
  return buffer;
}

namespace {
struct FindDialogContext {
  DWORD processId;
  HWND except;
  HWND found;
};
BOOL CALLBACK FindDialogProc(HWND window, LPARAM param) {
  auto* context = reinterpret_cast<FindDialogContext*>(param);
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  if (pid == context->processId && window != context->except && IsWindowVisible(window) &&
      ClassNameOf(window) == L"#32770") {
    context->found = window;
    return FALSE;
  }
  return TRUE;
}
}  // namespace

HWND FindDialogOfProcess(DWORD processId, HWND except) {
  FindDialogContext context{processId, except, nullptr};
  EnumWindows(FindDialogProc, reinterpret_cast<LPARAM>(&context));
  return context.found;
}

MessageBoxAnswerer::MessageBoxAnswerer(int button, DWORD processId, DWORD timeoutMs)
    : button_(button), processId_(processId), timeoutMs_(timeoutMs) {
  thread_ = std::thread([this] { Run(); });
}

MessageBoxAnswerer::~MessageBoxAnswerer() {
  if (thread_.joinable()) thread_.join();
}

void MessageBoxAnswerer::Run() {
  DWORD start = GetTickCount();
  while (GetTickCount() - start < timeoutMs_) {
    HWND box = FindDialogOfProcess(processId_);
    // A message box carries its text in the static control 0xFFFF.
    if (box && GetDlgItem(box, 0xFFFF)) {
      wchar_t text[4096];
      text[0] = 0;
      GetDlgItemTextW(box, 0xFFFF, text, 4096);
      text_ = text;
      caption_ = WindowText(box);
      HWND buttonWindow = GetDlgItem(box, button_);
      PostMessageW(box, WM_COMMAND, MAKEWPARAM(button_, BN_CLICKED), (LPARAM)buttonWindow);
      answered_ = true;
      return;
    }
    Sleep(20);
  }
}

bool MessageBoxAnswerer::Wait() {
  if (thread_.joinable()) thread_.join();
  return answered_;
}

DialogDriver::DialogDriver(std::function<bool(HWND)> accept, std::function<void(HWND)> action, DWORD processId,
                           DWORD timeoutMs) {
  thread_ = std::thread([this, accept, action, processId, timeoutMs] {
    DWORD start = GetTickCount();
    while (GetTickCount() - start < timeoutMs) {
      HWND dialog = FindDialogOfProcess(processId);
      if (dialog && accept(dialog)) {
        action(dialog);
        done_ = true;
        return;
      }
      Sleep(20);
    }
  });
}

DialogDriver::~DialogDriver() {
  if (thread_.joinable()) thread_.join();
}

bool DialogDriver::Wait() {
  if (thread_.joinable()) thread_.join();
  return done_;
}

DialogSequence::DialogSequence(std::vector<Step> steps, DWORD processId, DWORD timeoutMs) {
  thread_ = std::thread([this, steps, processId, timeoutMs] {
    for (const Step& step : steps) {
      HWND found = nullptr;
      DWORD start = GetTickCount();
      while (!found && GetTickCount() - start < timeoutMs) {
        HWND dialog = FindDialogOfProcess(processId);
        // A message box carries its text in the static control 0xFFFF, a file dialog its type box 0x470.
        if (dialog && GetDlgItem(dialog, step.fileDialog ? 0x470 : 0xFFFF)) found = dialog;
        else Sleep(20);
      }
      if (!found) return;
      if (step.fileDialog) {
        seen_.push_back(WindowText(found));
        // It may stay up under its question whether to create the file.
        AnswerFileDialog(found, step.path);
        continue;
      } else {
        wchar_t text[4096] = L"";
        GetDlgItemTextW(found, 0xFFFF, text, 4096);
        seen_.push_back(text);
        PostMessageW(found, WM_COMMAND, MAKEWPARAM(step.button, BN_CLICKED), (LPARAM)GetDlgItem(found, step.button));
      }
      start = GetTickCount();
      while (IsWindow(found) && IsWindowVisible(found) && GetTickCount() - start < timeoutMs) Sleep(20);
    }
    done_ = true;
  });
}

DialogSequence::~DialogSequence() {
  if (thread_.joinable()) thread_.join();
}

bool DialogSequence::Wait() {
  if (thread_.joinable()) thread_.join();
  return done_;
}

void AnswerFileDialog(HWND dialog, const std::wstring& path) {
  if (path.empty()) {
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), (LPARAM)GetDlgItem(dialog, IDCANCEL));
    return;
  }
  // The explorer-style dialog keeps its name in combo box cmb13 (0x47C), the old style in edt1 (0x480).
  HWND nameBox = GetDlgItem(dialog, 0x47C);
  if (!nameBox) nameBox = GetDlgItem(dialog, 0x480);
  SendMessageW(nameBox, WM_SETTEXT, 0, (LPARAM)path.c_str());
  PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), (LPARAM)GetDlgItem(dialog, IDOK));
}

ChildProcess::~ChildProcess() {
  if (info_.hProcess) {
    if (WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT) TerminateProcess(info_.hProcess, 1);
    CloseHandle(info_.hProcess);
    CloseHandle(info_.hThread);
  }
}

bool ChildProcess::Start(const std::wstring& exe, const std::wstring& arguments, const std::wstring& folder) {
  std::wstring commandLine = L"\"" + exe + L"\"";
  if (!arguments.empty()) commandLine += L" " + arguments;
  std::vector<wchar_t> line(commandLine.begin(), commandLine.end());
  line.push_back(0);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  return CreateProcessW(exe.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        folder.empty() ? nullptr : folder.c_str(), &startup, &info_) != 0;
}

DWORD ChildProcess::WaitExit(DWORD timeoutMs) {
  if (!info_.hProcess) return STILL_ACTIVE;
  if (WaitForSingleObject(info_.hProcess, timeoutMs) != WAIT_OBJECT_0) return STILL_ACTIVE;
  DWORD code = STILL_ACTIVE;
  GetExitCodeProcess(info_.hProcess, &code);
  return code;
}

void ChildProcess::Kill() {
  if (info_.hProcess) TerminateProcess(info_.hProcess, 1);
}

int RowCount(HWND list) { return (int)SendMessageW(list, LVM_GETITEMCOUNT, 0, 0); }

std::wstring Cell(HWND list, int row, int column) {
  wchar_t buffer[2048];
  buffer[0] = 0;
  LVITEMW item{};
  item.iSubItem = column;
  item.pszText = buffer;
  item.cchTextMax = 2048;
  SendMessageW(list, LVM_GETITEMTEXTW, row, (LPARAM)&item);
  return buffer;
}

std::wstring ClipboardText() {
  std::wstring text = L"<no text>";
  if (!OpenClipboard(nullptr)) return L"<not opened>";
  if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
    text = static_cast<const wchar_t*>(GlobalLock(data));
    GlobalUnlock(data);
  }
  CloseClipboard();
  return text;
}

void SendKey(WORD vk, bool up) {
  INPUT input{};
  input.type = INPUT_KEYBOARD;
  input.ki.wVk = vk;
  input.ki.wScan = (WORD)MapVirtualKeyW(vk, MAPVK_VK_TO_VSC);
  input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
  SendInput(1, &input, sizeof input);
}

long long CountRows(const std::wstring& dbPath, const char* where) {
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(ToUtf8(dbPath).c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
    sqlite3_close(db);
    return -1;
  }
  std::string sql = std::string("SELECT count(*) FROM viziriduvozmirrow ") + where;
  sqlite3_stmt* statement = nullptr;
  long long count = -1;
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, &statement, nullptr) == SQLITE_OK &&
      sqlite3_step(statement) == SQLITE_ROW)
    count = sqlite3_column_int64(statement, 0);
  sqlite3_finalize(statement);
  sqlite3_close(db);
  return count;
}

HeldReadLock::HeldReadLock(const std::wstring& dbPath) {
  if (sqlite3_open_v2(ToUtf8(dbPath).c_str(), &db_, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) return;
  // An explicit transaction keeps the shared lock after the read has finished.
  held_ = sqlite3_exec(db_, "BEGIN; SELECT count(*) FROM sqlite_master;", nullptr, nullptr, nullptr) == SQLITE_OK;
}

void HeldReadLock::Release() {
  if (held_) sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr);
  held_ = false;
}

HeldReadLock::~HeldReadLock() {
  Release();
  sqlite3_close(db_);
}

namespace {
INT_PTR CALLBACK PlainDialogProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

// What a control keeps of its width for something else than its text.
int ReservedWidth(HWND control, const std::wstring& className) {
  if (className != L"Button") return 0;
  switch (GetWindowLongW(control, GWL_STYLE) & BS_TYPEMASK) {
    case BS_CHECKBOX:
    case BS_AUTOCHECKBOX:
    case BS_3STATE:
    case BS_AUTO3STATE:
    case BS_RADIOBUTTON:
    case BS_AUTORADIOBUTTON:
      return GetSystemMetrics(SM_CXMENUCHECK) + 6;
    case BS_GROUPBOX:
      return 16;
    default:
      return 8;
  }
}
}  // namespace

std::vector<std::string> ClippedTexts(HINSTANCE instance, int templateId, double margin) {
  HWND dialog = CreateDialogParamW(instance, MAKEINTRESOURCEW(templateId), nullptr, PlainDialogProc, 0);
  if (!dialog) return {"<no dialog>"};
  std::vector<std::string> clipped;
  for (HWND control = GetWindow(dialog, GW_CHILD); control; control = GetWindow(control, GW_HWNDNEXT)) {
    std::wstring className = ClassNameOf(control), text = WindowText(control);
    if (text.empty() || (className != L"Button" && className != L"Static")) continue;
    HDC dc = GetDC(control);
    HGDIOBJ old = SelectObject(dc, (HFONT)SendMessageW(control, WM_GETFONT, 0, 0));
    RECT measured{0, 0, 0, 0};
    DrawTextW(dc, text.c_str(), -1, &measured, DT_CALCRECT | DT_SINGLELINE);
    RECT client;
    GetClientRect(control, &client);
    int needs = (int)(measured.right * margin + 0.5), has = client.right - ReservedWidth(control, className);
    // A label of several lines wraps its text: it must hold the lines the text takes at its width less the margin.
    LONG type = GetWindowLongW(control, GWL_STYLE) & SS_TYPEMASK;
    bool wraps = className == L"Static" && type <= SS_RIGHT && client.bottom >= 2 * measured.bottom;
    if (wraps) {
      RECT lines{0, 0, (LONG)(has / margin), 0};
      DrawTextW(dc, text.c_str(), -1, &lines, DT_CALCRECT | DT_WORDBREAK);
      needs = lines.bottom;
      has = client.bottom;
    }
    SelectObject(dc, old);
    ReleaseDC(control, dc);
    if (needs > has)
      clipped.push_back(ToUtf8(text) + ": needs " + std::to_string(needs) + " px, has " + std::to_string(has) + " px" +
                        (wraps ? " of height" : ""));
  }
  DestroyWindow(dialog);
  return clipped;
}

bool BuildDatabase(const std::wstring& dbPath, const char* sql) {
  sqlite3* db = nullptr;
  bool ok = sqlite3_open(ToUtf8(dbPath).c_str(), &db) == SQLITE_OK &&
            sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
  sqlite3_close(db);
  return ok;
}

const UnusableProfile UnusableProfiles[3] = {
    {L"other.db", "CREATE TABLE notes(x); INSERT INTO notes VALUES (1);", L"対戦記録の表がない"},
    {L"old.db",
     "CREATE TABLE viziriduvozmirrow(timestamp INTEGER PRIMARY KEY, p1name TEXT, p1id INTEGER, p1win INTEGER, "
     "p2name TEXT, p2id INTEGER);",
     L"列が足りません"},
    {L"notes.db", nullptr, L"データベースファイルではない"},
};

void MakeUnusableProfile(const std::wstring& path, const UnusableProfile& profile) {
  if (profile.sql)
    BuildDatabase(path, profile.sql);
  else
    WriteWholeFile(path, std::string(4096, 'x'));
}

HeldWriteLock::HeldWriteLock(const std::wstring& dbPath) {
  if (sqlite3_open(ToUtf8(dbPath).c_str(), &db_) != SQLITE_OK) return;
  held_ = sqlite3_exec(db_, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) == SQLITE_OK;
}

void HeldWriteLock::Release() {
  if (held_) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
  held_ = false;
}

HeldWriteLock::~HeldWriteLock() {
  Release();
  sqlite3_close(db_);
}
