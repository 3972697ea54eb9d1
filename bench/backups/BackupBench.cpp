// Backup, import and salvage of a 1 000 000-match profile. Run by bench/backups/run.sh with a scratch folder.
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <functional>
#include <map>
#include <string>
#include <thread>

#include "../BenchSupport.h"
#include "shell/AppState.h"
#include "shell/BackupSchedule.h"
#include "shell/ProfileSwitch.h"
#include "resources/resource.h"
#include "views/SummaryWindow.h"
#include <commctrl.h>
#include "common/TextUtil.h"
#include "store/MatchImport.h"
#include "store/ProfileBackup.h"
#include "store/ProfileSalvage.h"
#include "store/RecordDatabase.h"
#include "store/RecordQueries.h"
#include "views/MatchExport.h"
#include "views/RecordTable.h"

namespace {
constexpr int Matches = 1000000;
std::wstring g_folder;

std::wstring In(const wchar_t* name) { return g_folder + L"\\" + name; }

sqlite3* OpenFile(const std::wstring& path) {
  sqlite3* db = nullptr;
  sqlite3_open(WideToUtf8(path.c_str()).c_str(), &db);
  return db;
}

// The same rows every time: names in the code page, a match every 90 s.
void Insert(sqlite3* db, int count) {
  sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
  sqlite3_stmt* insert = nullptr;
  sqlite3_prepare_v2(db,
                     "INSERT INTO viziriduvozmirrow (timestamp, p1name, p1id, p1win, p2name, p2id, p2win) VALUES "
                     "(?, ?, ?, ?, ?, ?, ?)",
                     -1, &insert, nullptr);
  std::string me = WideToAnsi(L"わたし");
  std::string names[50];
  for (int i = 0; i < 50; ++i) names[i] = WideToAnsi((L"対戦相手" + std::to_wstring(i)).c_str());
  for (int i = 0; i < count; ++i) {
    sqlite3_bind_int64(insert, 1, 132000000000000000LL + i * 900000000LL);
    sqlite3_bind_text(insert, 2, me.c_str(), -1, SQLITE_STATIC);
    sqlite3_bind_int(insert, 3, i % 14);
    sqlite3_bind_int(insert, 4, i % 3 ? 2 : 1);
    sqlite3_bind_text(insert, 5, names[i % 50].c_str(), -1, SQLITE_STATIC);
    sqlite3_bind_int(insert, 6, (i * 5) % 14);
    sqlite3_bind_int(insert, 7, i % 3 ? i % 2 : 2);
    sqlite3_step(insert);
    sqlite3_reset(insert);
  }
  sqlite3_finalize(insert);
  sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
}

void MakeProfile(const std::wstring& path) {
  if (GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES) return;
  SetDatabasePath(path);
  OpenRecordDatabase();
  CloseRecordDatabase();
  sqlite3* db = OpenFile(path);
  Insert(db, Matches);
  sqlite3_close(db);
}

long long ReadFileSize(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return 0;
  return ((long long)data.nFileSizeHigh << 32) | data.nFileSizeLow;
}

void RemoveBackups(const std::wstring& folder, const std::wstring& profile) {
  for (const BackupEntry& entry : ListBackups(folder, profile)) DeleteFileW(entry.path.c_str());
}

// Sends WM_NULL to `window` in a loop from another thread and keeps the longest wait for an answer.
class Responsiveness {
 public:
  explicit Responsiveness(HWND window) : window_(window) {
    thread_ = std::thread([this] {
      while (!stop_) {
        double start = Now();
        DWORD_PTR result;
        if (!SendMessageTimeoutW(window_, WM_NULL, 0, 0, SMTO_NORMAL, 60000, &result)) {
          ++failures_;
          error_ = GetLastError();
        }
        ++sent_;
        double waited = Now() - start;
        if (waited > longest_) longest_ = waited;
        Sleep(1);
      }
      ended_ = true;
    });
  }
  double Stop() {
    stop_ = true;
    // Answers the last message while the watch ends.
    while (!ended_) {
      MSG msg;
      while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
      Sleep(1);
    }
    thread_.join();
    if (failures_ || !sent_)
      printf("  (the watch sent %d to %p, %d failed: %lu; IsWindow %d)\n", (int)sent_, (void*)window_, (int)failures_,
             error_, IsWindow(window_));
    return longest_;
  }

 private:
  HWND window_;
  std::atomic<bool> stop_{false}, ended_{false};
  std::atomic<double> longest_{0};
  std::atomic<int> sent_{0}, failures_{0};
  DWORD error_ = 0;
  std::thread thread_;
};

void Pump(const std::function<bool()>& done) {
  MSG msg;
  while (!done()) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
  }
}

void BenchBackup(HWND window) {
  std::wstring profile = In(L"bench-1m.db");
  MakeProfile(profile);
  std::wstring backups = In(L"Backups");
  std::vector<double> copies;
  for (int i = 0; i < 3; ++i) {
    DeleteFileW(In(L"plain-copy.db").c_str());
    double start = Now();
    CopyFileW(profile.c_str(), In(L"plain-copy.db").c_str(), FALSE);
    copies.push_back(Now() - start);
  }
  DeleteFileW(In(L"plain-copy.db").c_str());
  double copy = Median(copies);

  SetDatabasePath(profile);
  OpenRecordDatabase();
  std::vector<double> stepped, waited, blocking;
  double longest = 0, beforeCommand = 0, unanswered = 0;
  for (int i = 0; i < 3; ++i) {
    RemoveBackups(backups, profile);
    Responsiveness watch(window);
    double start = Now();
    StartDailyBackup();
    Pump([] { return !BackupRunning(); });
    stepped.push_back(Now() - start);
    longest = std::max(longest, watch.Stop());
    RemoveBackups(backups, profile);
    // The copy taken before a restore or an import, which waits for its end while serving the messages.
    Responsiveness before(window);
    start = Now();
    if (!BackupNow()) printf("backup failed\n");
    waited.push_back(Now() - start);
    beforeCommand = std::max(beforeCommand, before.Stop());
    RemoveBackups(backups, profile);
    ProfileBackup job;
    // The same watch on a copy that does not return to the messages: the watch's own check.
    Responsiveness control(window);
    start = Now();
    job.Begin(RecordDatabase(), profile, backups);
    if (job.RunToEnd() != ProfileBackup::Done) printf("backup failed\n");
    blocking.push_back(Now() - start);
    unanswered = std::max(unanswered, control.Stop());
  }
  RemoveBackups(backups, profile);
  CloseRecordDatabase();
  printf("backup of %d matches (%.1f MB)\n", Matches, (double)ReadFileSize(profile) / 1048576);
  printf("  plain file copy                     %8.0f ms\n", copy);
  printf("  backup in timer steps (as at start) %8.0f ms  %5.2f x copy  longest unanswered WM_NULL %.0f ms\n",
         Median(stepped), Median(stepped) / copy, longest);
  printf("  backup before an import or restore  %8.0f ms  %5.2f x copy  longest unanswered WM_NULL %.0f ms\n",
         Median(waited), Median(waited) / copy, beforeCommand);
  printf("  backup run to its end in one piece  %8.0f ms  %5.2f x copy  longest unanswered WM_NULL %.0f ms\n",
         Median(blocking), Median(blocking) / copy, unanswered);
}

void BenchImport() {
  std::wstring profile = In(L"bench-1m.db");
  std::wstring csv = In(L"bench-1m.csv");
  if (GetFileAttributesW(csv.c_str()) == INVALID_FILE_ATTRIBUTES) {
    SetDatabasePath(profile);
    OpenRecordDatabase();
    ExportWriter writer(csv, ExportFormat::Csv);
    QueryEveryMatchOldestFirst([](const MatchRecord& r, void* w) { static_cast<ExportWriter*>(w)->Add(r); }, &writer);
    std::wstring error;
    writer.Commit(&error);
    CloseRecordDatabase();
  }
  // The bare pass: the same rows inserted in one transaction into an empty profile.
  std::wstring empty = In(L"bench-empty.db");
  DeleteFileW(empty.c_str());
  SetDatabasePath(empty);
  OpenRecordDatabase();
  CloseRecordDatabase();
  std::wstring bareFile = In(L"bench-bare.db");
  DeleteFileW(bareFile.c_str());
  CopyFileW(empty.c_str(), bareFile.c_str(), FALSE);
  sqlite3* db = OpenFile(bareFile);
  double start = Now();
  Insert(db, Matches);
  double bare = Now() - start;
  sqlite3_close(db);
  DeleteFileW(bareFile.c_str());

  ImportCounts counts;
  std::wstring error;
  volatile LONG progress = 0;
  start = Now();
  ImportCheck check;
  CheckImportFile(csv, &check, &error, &progress);
  double checked = Now() - start;
  start = Now();
  ImportMatches(csv, empty, false, &counts, &error, &progress);
  double intoEmpty = Now() - start;
  printf("import of %d matches from our CSV\n", Matches);
  printf("  bare INSERT pass, one transaction   %8.0f ms\n", bare);
  printf("  reading and checking the file       %8.0f ms  (%lld rows, %lld refused)\n", checked, check.rows,
         check.refused);
  printf("  into an empty profile               %8.0f ms  %5.2f x bare  (added %lld)\n", intoEmpty, intoEmpty / bare,
         counts.added);
  start = Now();
  ImportMatches(csv, empty, false, &counts, &error, &progress);
  double intoFull = Now() - start;
  printf("  into the full profile (all present) %8.0f ms  %5.2f x bare  (already %lld)\n", intoFull, intoFull / bare,
         counts.already);
  DeleteFileW(empty.c_str());
}

void BenchSalvage() {
  std::wstring damaged = In(L"bench-damaged.db");
  CopyFileW(In(L"bench-1m.db").c_str(), damaged.c_str(), FALSE);
  HANDLE file = CreateFileW(damaged.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  DWORD size = GetFileSize(file, nullptr);
  std::string bytes(size, '\0');
  DWORD done = 0;
  ReadFile(file, &bytes[0], size, &done, nullptr);
  int pageSize = ((unsigned char)bytes[16] << 8) | (unsigned char)bytes[17];
  int pages = (int)(size / pageSize);
  // Garbage over 20 pages in the middle of the file and over the first interior page of the table.
  std::map<int, bool> hit;
  for (int k = 0; k < 20; ++k) hit[pages / 2 + k * 7] = true;
  for (int page = 2; page <= pages; ++page)
    if ((unsigned char)bytes[(size_t)(page - 1) * pageSize] == 0x05) {
      hit[page] = true;
      break;
    }
  long long onIntactPages = 0;
  for (int page = 2; page <= pages; ++page) {
    auto* base = reinterpret_cast<const unsigned char*>(bytes.data()) + (size_t)(page - 1) * pageSize;
    if (base[0] == 0x0D && !hit.count(page)) onIntactPages += (base[3] << 8) | base[4];
  }
  for (const auto& page : hit)
    for (int i = 0; i < pageSize; ++i) bytes[(size_t)(page.first - 1) * pageSize + i] = (char)((i * 7919 + page.first) & 0xFF);
  SetFilePointer(file, 0, nullptr, FILE_BEGIN);
  WriteFile(file, bytes.data(), size, &done, nullptr);
  CloseHandle(file);
  SalvageResult result;
  double start = Now();
  bool ok = SalvageProfile(damaged, In(L"NoBackups"), &result);
  double took = Now() - start;
  printf("salvage of a damaged %d-match profile (%d of %d pages overwritten, no backup)\n", Matches, (int)hit.size(),
         pages);
  printf("  %s in %.0f ms: %lld matches back of %lld on intact leaf pages\n", ok ? "done" : "FAILED", took,
         result.salvaged, onIntactPages);
  DeleteFileW(damaged.c_str());
  DeleteFileW(result.keptAs.c_str());
}
}  // namespace

// The longest message handled while waiting: a turn of reading the profile, as a rule.
double g_longestMessage = 0;
UINT g_longestMessageId = 0;

// Pumps this thread's messages until the summary's "総合" row shows figures: the table is complete.
void WaitForSummaryTable() {
  HWND list = GetDlgItem(g_app.summaryWindow, IDC_RECORD_LIST);
  int total = FindRowById(list, TotalRowId);
  for (;;) {
    wchar_t cell[32] = L"";
    LVITEMW item{};
    item.iSubItem = 1;
    item.pszText = cell;
    item.cchTextMax = 32;
    SendMessageW(list, LVM_GETITEMTEXTW, total, (LPARAM)&item);
    if (cell[0]) return;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      double start = Now();
      DispatchMessageW(&msg);
      if (Now() - start > g_longestMessage) {
        g_longestMessage = Now() - start;
        g_longestMessageId = msg.message;
      }
    }
  }
}

// A switch from a small profile to the 1 000 000-match one, through the summary window as the load command
// does it: the open, the first pass of the in-memory copy (in turns) and the summary's figures.
void BenchSwitch(HWND window) {
  std::wstring big = In(L"bench-1m.db"), small = In(L"bench-small.db");
  MakeProfile(big);
  DeleteFileW(small.c_str());
  SetDatabasePath(small);
  OpenRecordDatabase();
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES | ICC_UPDOWN_CLASS | ICC_DATE_CLASSES};
  InitCommonControlsEx(&controls);
  g_app.summaryWindow = CreateDialogParamA(g_app.instance, MAKEINTRESOURCEA(IDD_SUMMARY), nullptr, SummaryDialogProc, 0);
  if (!g_app.summaryWindow) {
    printf("no summary window (error %lu)\n", GetLastError());
    return;
  }
  std::vector<double> returned, shown;
  double longest = 0;
  for (int i = 0; i < 3; ++i) {
    Responsiveness watch(window);
    double start = Now();
    if (!SwitchProfile(g_app.summaryWindow, big)) printf("switch failed\n");
    returned.push_back(Now() - start);
    WaitForSummaryTable();
    shown.push_back(Now() - start);
    longest = std::max(longest, watch.Stop());
    SwitchProfile(g_app.summaryWindow, small);
    WaitForSummaryTable();
  }
  // Where it goes: the open alone, the summary's first turn on it, and the one pass in one piece that a
  // question asked before the last turn costs (what the first refresh held the thread for before turns).
  double start = Now();
  SetDatabasePath(big);
  OpenRecordDatabase();
  double open = Now() - start;
  start = Now();
  RecordFilter none{};
  QueryPairingTotals(none);
  double whole = Now() - start;
  OpenRecordDatabase();  // a new connection, without the copy
  start = Now();
  SendMessageW(g_app.summaryWindow, RefreshSummaryMessage, 0, 0);
  double turn = Now() - start;
  DestroyWindow(g_app.summaryWindow);
  g_app.summaryWindow = nullptr;
  CloseRecordDatabase();
  printf("switch to %d matches (open alone %.0f ms, the summary's first turn %.0f ms, one whole pass %.0f ms)\n",
         Matches, open, turn, whole);
  printf("  switch returns %8.0f ms  until the summary shows it %8.0f ms  longest unanswered WM_NULL %.0f ms\n",
         Median(returned), Median(shown), longest);
  printf("  longest message handled meanwhile %.0f ms (0x%x)\n", g_longestMessage, g_longestMessageId);
}

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) return 2;
  g_folder = argv[1];
  g_app.instance = GetModuleHandleW(nullptr);
  g_app.settingsPath = In(L"bench.ini");
  WNDCLASSW windowClass{};
  windowClass.lpfnWndProc = DefWindowProcW;
  windowClass.hInstance = g_app.instance;
  windowClass.lpszClassName = L"BackupBenchWindow";
  ATOM registered = RegisterClassW(&windowClass);
  HWND window = CreateWindowExW(0, windowClass.lpszClassName, L"bench", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                g_app.instance, nullptr);
  if (!window) {
    printf("no window for the WM_NULL watch (class %u, error %lu)\n", registered, GetLastError());
    return 1;
  }
  std::wstring only = argc > 2 ? argv[2] : L"";
  if (only.empty() || only == L"backup") BenchBackup(window);
  if (only.empty() || only == L"import") BenchImport();
  if (only.empty() || only == L"salvage") BenchSalvage();
  if (only.empty() || only == L"switch") BenchSwitch(window);
  DestroyWindow(window);
  return 0;
}
