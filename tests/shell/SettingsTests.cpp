// The settings file on real INI files: the shortcut list's reading and writing, text limits, key names.
#include <gtest/gtest.h>

#include <string>

#include "TestSupport.h"
#include "shell/AppState.h"
#include "shell/ProfileShortcuts.h"
#include "shell/Settings.h"

namespace {
class SettingsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_app.settingsPath = folder.File(L"Corvenka.ini");
    InstallShortcuts(nullptr, 0);
  }
  void TearDown() override { InstallShortcuts(nullptr, 0); }
  void Write(const char* text) { WriteWholeFile(g_app.settingsPath, text); }
  // The raw value of a key, or "<none>" when the file does not hold it.
  std::wstring Raw(const wchar_t* section, const wchar_t* key) {
    wchar_t buffer[2048];
    GetPrivateProfileStringW(section, key, L"<none>", buffer, 2048, g_app.settingsPath.c_str());
    return buffer;
  }
  void InstallNumbered(int count) {
    ProfileShortcut entries[MaxShortcuts] = {};
    for (int i = 0; i < count; ++i) {
      wsprintfW(entries[i].path, L"C:\\profiles\\p%d.db", i);
      entries[i].keyCode = (uint16_t)(KeyCtrl | ('A' + i));
    }
    ASSERT_TRUE(InstallShortcuts(entries, count));
  }
  ScratchFolder folder;
};

TEST_F(SettingsTest, ShortcutListEndsAtFirstMissingKeyOrPath) {
  Write("[Shortcut]\r\nKey0=0\r\nPath0=C:\\a.db\r\nKey1=2113\r\nPath1=C:\\b.db\r\n");
  ReadShortcutList();
  EXPECT_EQ(0, ShortcutCount());
  EXPECT_EQ(nullptr, ShortcutAccelerators());

  Write("[Shortcut]\r\nKey0=2113\r\nPath0=C:\\a.db\r\nKey1=2114\r\nPath1=\r\nKey2=2115\r\nPath2=C:\\c.db\r\n");
  ReadShortcutList();
  ASSERT_EQ(1, ShortcutCount());
  ProfileShortcut entry;
  ASSERT_TRUE(GetShortcut(0, entry));
  EXPECT_STREQ(L"C:\\a.db", entry.path);
  EXPECT_EQ(2113, entry.keyCode);
  EXPECT_NE(nullptr, ShortcutAccelerators());

  Write("[Shortcut]\r\nKey0=1\r\nPath0=a\r\nKey1=2\r\nPath1=b\r\nKey2=3\r\nPath2=c\r\nKey3=0\r\nPath3=d\r\n"
        "Key4=5\r\nPath4=e\r\n");
  ReadShortcutList();
  EXPECT_EQ(3, ShortcutCount());
}

TEST_F(SettingsTest, ShortcutListReadsAtMost32AndKeepsSixteenBits) {
  std::string text = "[Shortcut]\r\n";
  for (int i = 0; i < 40; ++i)
    text += "Key" + std::to_string(i) + "=" + std::to_string(65536 + 0x0800 + 'A' + (i % 26)) + "\r\nPath" +
            std::to_string(i) + "=C:\\p" + std::to_string(i) + ".db\r\n";
  Write(text.c_str());
  ReadShortcutList();
  ASSERT_EQ(MaxShortcuts, ShortcutCount());
  ProfileShortcut entry;
  ASSERT_TRUE(GetShortcut(31, entry));
  EXPECT_STREQ(L"C:\\p31.db", entry.path);
  // 65536 + n is taken as its low 16 bits.
  EXPECT_EQ(0x0800 + 'A' + 5, entry.keyCode);

  // A key whose low 16 bits are zero ends the list like a missing one.
  Write("[Shortcut]\r\nKey0=65536\r\nPath0=C:\\a.db\r\n");
  ReadShortcutList();
  EXPECT_EQ(0, ShortcutCount());
}

TEST_F(SettingsTest, AShortcutPathTooLongToHoldIsMarkedAndWrittenBackWhole) {
  std::string whole = "C:\\" + std::string(1100, 'p') + ".db";
  Write(("[Shortcut]\r\nKey0=2113\r\nPath0=" + whole + "\r\nKey1=2114\r\nPath1=C:\\b.db\r\n").c_str());
  ReadShortcutList();
  ProfileShortcut entry;
  ASSERT_TRUE(GetShortcut(0, entry));
  EXPECT_TRUE(IsCutShortcutPath(entry.path)) << "its cut form would name another file";
  ASSERT_TRUE(GetShortcut(1, entry));
  EXPECT_FALSE(IsCutShortcutPath(entry.path));
  WriteShortcutList();
  wchar_t buffer[2048];
  GetPrivateProfileStringW(L"Shortcut", L"Path0", L"", buffer, 2048, g_app.settingsPath.c_str());
  EXPECT_EQ(std::wstring(whole.begin(), whole.end()), buffer);
}

TEST_F(SettingsTest, ShorterListDeletesOnlyThePairBehindIt) {
  InstallNumbered(5);
  WriteShortcutList();
  EXPECT_EQ(L"C:\\profiles\\p4.db", Raw(L"Shortcut", L"Path4"));
  EXPECT_EQ(std::to_wstring(KeyCtrl | 'E'), Raw(L"Shortcut", L"Key4"));

  InstallNumbered(3);
  WriteShortcutList();
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(std::to_wstring(KeyCtrl | ('A' + i)), Raw(L"Shortcut", (L"Key" + std::to_wstring(i)).c_str()));
    EXPECT_EQ(L"C:\\profiles\\p" + std::to_wstring(i) + L".db",
              Raw(L"Shortcut", (L"Path" + std::to_wstring(i)).c_str()));
  }
  EXPECT_EQ(L"<none>", Raw(L"Shortcut", L"Key3"));
  EXPECT_EQ(L"<none>", Raw(L"Shortcut", L"Path3"));
  // Left behind, and never read again because of the gap.
  EXPECT_EQ(L"C:\\profiles\\p4.db", Raw(L"Shortcut", L"Path4"));

  InstallShortcuts(nullptr, 0);
  ReadShortcutList();
  EXPECT_EQ(3, ShortcutCount());

  InstallShortcuts(nullptr, 0);
  WriteShortcutList();
  EXPECT_EQ(L"<none>", Raw(L"Shortcut", L"Key0"));
  EXPECT_EQ(L"<none>", Raw(L"Shortcut", L"Path0"));
  EXPECT_EQ(L"2114", Raw(L"Shortcut", L"Key1"));
}

TEST_F(SettingsTest, ValuesKindsAndLimits) {
  Write("[General]\r\ninfoTrans=-1\r\nJunk=abc\r\n[RUZDlg.Display]\r\nX=-2147483648\r\n");
  EXPECT_EQ(-1, ReadSettingInt(L"General", L"INFOTRANS", 0));
  EXPECT_EQ(0, ReadSettingInt(L"General", L"Junk", 7));
  EXPECT_EQ(7, ReadSettingInt(L"General", L"Missing", 7));
  EXPECT_EQ((int)0x80000000, ReadSettingInt(L"RUZDlg.Display", L"X", 0));

  std::wstring longText(1100, L'x');
  WriteSettingText(L"General", L"Profile", longText.c_str());
  EXPECT_EQ(1024u, ReadSettingText(L"General", L"Profile", L"").size());
  EXPECT_EQ(L"dflt", ReadSettingText(L"General", L"Nothing", L"dflt"));
  WriteSettingText(L"General", L"Profile", nullptr);
  EXPECT_EQ(L"<none>", Raw(L"General", L"Profile"));

  WriteSettingInt(L"General", L"InfoTrans", -5);
  EXPECT_EQ(L"-5", Raw(L"General", L"infotrans"));
  // Written over the small-i key rather than beside it.
  std::string file = ReadWholeFile(g_app.settingsPath);
  EXPECT_EQ(std::string::npos, file.find("-1"));

  EXPECT_EQ(L"GameProgram.Enabled", AutorunKeyName(L"GameProgram", L"Enabled"));
  EXPECT_EQ(255u, AutorunKeyName(std::wstring(300, L'w').c_str(), L"FileName").size());
}
TEST_F(SettingsTest, TextsOutsideTheCodePageAreKeptWithEveryOtherValue) {
  // "プロ" in the ANSI code page, as the profile functions write it.
  Write("[General]\r\ninfoTrans=2\r\n[Shortcut]\r\nKey0=2113\r\nPath0=C:\\\x83\x76\x83\x8d.db\r\n");
  WriteSettingText(L"General", L"Profile", L"C:\\plain.db");
  // What the code page can hold leaves the file in its form.
  EXPECT_EQ(0u, ReadWholeFile(g_app.settingsPath).find("[General]"));

  const std::wstring path = L"C:\\Zo\u00eb\\\uD55C\u56fd.db";
  WriteSettingText(L"General", L"Profile", path.c_str());
  EXPECT_EQ(path, ReadSettingText(L"General", L"Profile", L""));
  EXPECT_EQ(2, ReadSettingInt(L"General", L"infoTrans", 0));
  EXPECT_EQ(L"C:\\\u30d7\u30ed.db", Raw(L"Shortcut", L"Path0"));
  EXPECT_EQ(2113, ReadSettingInt(L"Shortcut", L"Key0", 0));
  WriteSettingInt(L"General", L"InfoTrans", 1);
  EXPECT_EQ(path, ReadSettingText(L"General", L"Profile", L""));
  EXPECT_EQ(1, ReadSettingInt(L"General", L"infoTrans", 0));

  // A file that does not exist yet.
  DeleteFileW(g_app.settingsPath.c_str());
  WriteSettingText(L"Autorun", L"GameProgram.FileName", path.c_str());
  EXPECT_EQ(path, Raw(L"Autorun", L"GameProgram.FileName"));
}
}  // namespace
