// The binaries from the release zip, as a player unpacks them: their version resources, and the tracker
// recording the stand-in game's evening with them.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "TrackerProcess.h"

namespace {
std::wstring UnpackedRelease() {
  return ProgramFolder() + L"\\release\\unpacked\\Corvenka-" + CORVENKA_VERSION;
}

std::wstring VersionString(const std::wstring& file, const wchar_t* name) {
  DWORD ignored = 0;
  DWORD size = GetFileVersionInfoSizeW(file.c_str(), &ignored);
  if (!size) return L"<no version resource>";
  std::wstring block(size / sizeof(wchar_t) + 1, L'\0');
  if (!GetFileVersionInfoW(file.c_str(), 0, size, &block[0])) return L"<unreadable>";
  void* value = nullptr;
  UINT length = 0;
  std::wstring path = std::wstring(L"\\StringFileInfo\\041104b0\\") + name;
  if (!VerQueryValueW(&block[0], path.c_str(), &value, &length) || !length) return L"<none>";
  return static_cast<const wchar_t*>(value);
}

TEST(ReleasePackage, BothBinariesCarryTheProjectsVersion) {
  for (const wchar_t* name : {L"Corvenka.exe", L"MirrowAddr.dll"}) {
    std::wstring file = UnpackedRelease() + L"\\" + name;
    SCOPED_TRACE(Ascii(name));
    EXPECT_EQ(L"Corvenka", VersionString(file, L"ProductName"));
    EXPECT_EQ(CORVENKA_VERSION, VersionString(file, L"FileVersion"));
    EXPECT_EQ(name, VersionString(file, L"OriginalFilename"));
    EXPECT_NE(L"<none>", VersionString(file, L"FileDescription"));
  }
}

TEST(ReleasePackage, TheZippedTrackerRecordsTheEvening) {
  ProgramFolderFixture program;
  for (const wchar_t* name : {L"Corvenka.exe", L"MirrowAddr.dll"}) ASSERT_TRUE(program.AddFrom(UnpackedRelease(), name));
  for (const wchar_t* name : {L"mirrow.exe", L"mirrow_report.exe"}) ASSERT_TRUE(program.Add(name));
  program.Settings(AutorunSettings(program));
  ChildProcess tracker;
  ASSERT_TRUE(tracker.Start(program.File(L"Corvenka.exe"), L"", program.Path()));
  EXPECT_EQ(0u, tracker.WaitExit(180000));
  EXPECT_EQ(BuiltInEveningRows(), StoredRows(program.File(L"Default.db")));
}
}  // namespace
