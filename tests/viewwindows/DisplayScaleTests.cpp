// The windows at 100 %, 125 %, 150 % and 200 % display scale. Wine reads the screen's DPI once, when a
// process starts, so each scale is looked at by a child process of this program started after the setting.
#include <gtest/gtest.h>

#include <cstdlib>

#include "ViewTestSupport.h"
#include "common/Dpi.h"
#include "resources/resource.h"
#include "common/TextUtil.h"
#include "shell/AppState.h"
#include "views/GraphWindow.h"
#include "views/RecordTable.h"
#include "views/SortableList.h"
#include "views/SummaryWindow.h"
#include "views/ViewWindows.h"

namespace {

const wchar_t DesktopKey[] = L"Control Panel\\Desktop";
// Set for the child: the DPI it must find, and the file for its clipboard table.
const char ExpectedDpiVariable[] = "CORVENKA_TEST_DPI";
const char TableFileVariable[] = "CORVENKA_TEST_TABLE";

// Sets the screen's DPI for processes started later; the earlier setting comes back at the end.
class ScreenDpiSetting {
 public:
  ScreenDpiSetting() {
    DWORD size = sizeof old_;
    had_ = RegGetValueW(HKEY_CURRENT_USER, DesktopKey, L"LogPixels", RRF_RT_REG_DWORD, nullptr, &old_, &size) ==
           ERROR_SUCCESS;
  }
  ~ScreenDpiSetting() {
    if (had_)
      Set(old_);
    else
      RegDeleteKeyValueW(HKEY_CURRENT_USER, DesktopKey, L"LogPixels");
  }
  bool Set(DWORD dpi) {
    return RegSetKeyValueW(HKEY_CURRENT_USER, DesktopKey, L"LogPixels", REG_DWORD, &dpi, sizeof dpi) == ERROR_SUCCESS;
  }

 private:
  DWORD old_ = 96;
  bool had_ = false;
};

// Runs the child's checks in a new process of this program; its exit code.
DWORD RunChild(UINT dpi, const std::wstring& tableFile) {
  wchar_t self[MAX_PATH];
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring command = L"\"" + std::wstring(self) + L"\" --gtest_filter=AtOneScale.*";
  SetEnvironmentVariableW(L"CORVENKA_TEST_DPI", std::to_wstring(dpi).c_str());
  SetEnvironmentVariableW(L"CORVENKA_TEST_TABLE", tableFile.c_str());
  STARTUPINFOW start{};
  start.cb = sizeof start;
  PROCESS_INFORMATION process{};
  BOOL started = CreateProcessW(self, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &start, &process);
  SetEnvironmentVariableW(L"CORVENKA_TEST_DPI", nullptr);
  SetEnvironmentVariableW(L"CORVENKA_TEST_TABLE", nullptr);
  if (!started) return (DWORD)-1;
  DWORD code = (DWORD)-2;
  if (WaitForSingleObject(process.hProcess, 300000) == WAIT_OBJECT_0) GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return code;
}

TEST(DisplayScale, EveryScaleFitsItsTextsAndCopiesTheSameTable) {
  ScratchFolder folder;
  std::string tables[4];
  const UINT scales[4] = {96, 120, 144, 192};
  {
    ScreenDpiSetting setting;
    for (int i = 0; i < 4; ++i) {
      ASSERT_TRUE(setting.Set(scales[i]));
      std::wstring file = folder.File((std::to_wstring(scales[i]) + L".txt").c_str());
      EXPECT_EQ(0u, RunChild(scales[i], file)) << "at " << scales[i] << " DPI";
      tables[i] = ReadWholeFile(file);
    }
  }
  EXPECT_FALSE(tables[0].empty());
  for (int i = 1; i < 4; ++i) EXPECT_EQ(tables[0], tables[i]) << "clipboard table at " << scales[i] << " DPI";
}

// The width and height in a PNG file's header.
SIZE PngSize(const std::string& bytes) {
  if (bytes.size() < 24) return {0, 0};
  auto at = [&](size_t i) {
    return (LONG)((unsigned char)bytes[i] << 24 | (unsigned char)bytes[i + 1] << 16 | (unsigned char)bytes[i + 2] << 8 |
                  (unsigned char)bytes[i + 3]);
  };
  return {at(16), at(20)};
}

// What the child looks at, at the DPI its parent set.
TEST(AtOneScale, TextsFitAndListsScale) {
  const char* expected = std::getenv(ExpectedDpiVariable);
  const char* tableFile = std::getenv(TableFileVariable);
  if (!expected || !tableFile) GTEST_SKIP() << "run by DisplayScale in a process of its own";
  UINT dpi = (UINT)std::atoi(expected);
  ScratchProfile profile;
  Store(Match(At(2024, 5, 1), "me", 1, 2, "you", 3, 1));

  for (int id : {IDD_SUMMARY, IDD_CUSTOM_FILTER, IDD_SHORTCUT_LIST, IDD_SHORTCUT_KEY, IDD_HISTORY_FILTER, IDD_HISTORY,
                 IDD_RESTORE_BACKUP})
    EXPECT_EQ(std::vector<std::string>{}, ClippedTexts(GetModuleHandleW(nullptr), id, 1.2)) << "dialog " << id;

  HWND summary = CreateDialogParamW(g_app.instance, MAKEINTRESOURCEW(IDD_SUMMARY), nullptr, SummaryDialogProc, 0);
  ASSERT_NE(nullptr, summary);
  g_app.summaryWindow = summary;
  // A program that did not declare itself DPI aware would be told 96 here, and drawn stretched.
  EXPECT_EQ(dpi, WindowDpi(summary));
  HWND list = GetDlgItem(summary, IDC_RECORD_LIST);
  for (int i = 0; i < RecordColumnCount; ++i)
    EXPECT_EQ(ScaleForDpi(RecordColumns[i].width, dpi), (int)SendMessageW(list, LVM_GETCOLUMNWIDTH, i, 0)) << i;
  std::wstring table = RecordTableText(list, RecordColumns, RecordColumnCount);
  WriteWholeFile(Utf8ToWide(tableFile), WideToUtf8(table.c_str()));
  // Moved to a screen of twice the DPI: the suggested rectangle, and columns twice as wide.
  RECT suggested{10, 20, 710, 620};
  SendMessageW(summary, WM_DPICHANGED, MAKEWPARAM(dpi * 2, dpi * 2), (LPARAM)&suggested);
  EXPECT_EQ(ScaleForDpi(RecordColumns[0].width, dpi * 2), (int)SendMessageW(list, LVM_GETCOLUMNWIDTH, 0, 0));
  RECT now{};
  GetWindowRect(summary, &now);
  EXPECT_EQ(700, now.right - now.left);
  EXPECT_EQ(600, now.bottom - now.top);

  HWND history = OpenMatchHistoryWindow(nullptr, nullptr);
  ASSERT_NE(nullptr, history);
  EXPECT_EQ(ScaleForDpi(130, dpi), (int)SendMessageW(GetDlgItem(history, IDC_HISTORY_LIST), LVM_GETCOLUMNWIDTH, 0, 0));
  DestroyWindow(history);

  // The graph: its headers fit in the window's fonts, and its picture has the window's pixels.
  SendMessageW(summary, WM_SYSCOMMAND, IDM_SHOW_GRAPH, 0);
  HWND graph = GraphWindow();
  ASSERT_NE(nullptr, graph);
  // At its first size. A screen at 200 % has the pixels for it; the test's screen, of 1280 x 1024, leaves it
  // too small a grid then, which says nothing of the graph.
  SetWindowPos(graph, nullptr, 0, 0, ScaleForDpi(980, dpi), ScaleForDpi(720, dpi), SWP_NOZORDER | SWP_NOACTIVATE);
  RECT frame{};
  GetWindowRect(graph, &frame);
  if (dpi <= 144 || frame.bottom - frame.top == ScaleForDpi(720, dpi)) {
    HDC dc = GetDC(graph);
    for (int k = 0; k < 14; ++k)
      for (bool column : {false, true}) {
        GraphText header = GraphGridHeader(k, column);
        SIZE size{};
        HGDIOBJ old = SelectObject(dc, header.font);
        GetTextExtentPoint32W(dc, header.text.c_str(), (int)header.text.size(), &size);
        SelectObject(dc, old);
        EXPECT_LE(size.cx, header.room) << k << (column ? " column" : " row");
        EXPECT_LE(size.cy, header.across) << k << (column ? " column" : " row");
      }
    ReleaseDC(graph, dc);
  }
  RECT client{};
  GetClientRect(graph, &client);
  std::wstring png = profile.folder.File(L"graph.png");
  ASSERT_TRUE(SaveGraphPicture(graph, png));
  SIZE picture = PngSize(ReadWholeFile(png));
  EXPECT_EQ(client.right, picture.cx);
  EXPECT_EQ(client.bottom, picture.cy);
  DestroyWindow(graph);
  DestroyWindow(summary);
  g_app.summaryWindow = nullptr;
}

}  // namespace
