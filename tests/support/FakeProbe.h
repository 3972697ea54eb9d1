// A scripted stand-in for MirrowAddr.dll's entries, installed behind the tracker's binding.
#pragma once
#include <functional>
#include <map>
#include <string>
#include <vector>

struct FakeProbe {
  std::map<int, int> values;          // id -> result; missing ids give -1
  std::map<int, std::string> names;   // ids 7 and 8; missing gives -1
  int state = 0;
  std::vector<int> calls;             // ids asked, in order
  std::function<void(int id)> onCall; // runs at each request before it is answered, as the game moving on
  int startups = 0, cleanups = 0;
  void Install();                     // points g_probe at this fake
  static FakeProbe* current;
};
