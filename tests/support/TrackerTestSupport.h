// Equipment for tests that link the tracker's own code: match records, and the tracker's hidden window
// in this process with a scripted probe.
#pragma once
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>

#include "FakeProbe.h"
#include "TestSupport.h"
#include "store/MatchRecord.h"

// Scratch paths are plain ASCII, so they pass into 8-bit settings texts unchanged.
std::string Ascii(const std::wstring& path);

// The tracker's own binding step with the fake probe in place of the library.
bool ScriptedBind(HWND window);

MatchRecord Match(int64_t timestamp, const char* p1, int p1id, int p1win, const char* p2, int p2id, int p2win);

// Runs the tracker's own message loop on this thread while `type` gives real input from another thread; the
// loop ends once `done` holds (checked on that thread while the loop still runs) or the time is up.
// True when it held.
bool LoopWithInput(const std::function<void()>& type, const std::function<bool()>& done, DWORD timeoutMs = 10000);
// A press and release of one key, with the modifier held around it when one is given.
void PressKey(WORD vk, WORD modifier = 0);
// The keyboard focus of a thread's windows, readable from any thread.
HWND FocusOf(DWORD threadId);

// A scratch program folder and settings file, the fake probe behind the tracker's binding and the main
// window class registered; the window, once started, is destroyed at the end.
class TrackerFixture : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  HWND Start();
  // Ends the tracker from its menu and runs the loop to its end; the loop's result.
  int Exit();
  void Settings(const std::string& text);
  // A settings value as the file holds it, "<none>" when missing.
  std::wstring Raw(const wchar_t* section, const wchar_t* key);
  // Drops quit messages left in this thread's queue; one left behind would end the next loop at once.
  void DrainQuit();

  ScratchFolder folder;
  FakeProbe probe;
  HWND window = nullptr;
};
