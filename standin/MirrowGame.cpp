// The stand-in game: a window of class "mirrow" whose state lives in script tables laid out as the
// game VM lays them out, changed only on this GUI thread between messages. See README.md.
#include <windows.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "MirrowControl.h"
#include "ScriptLayout.h"

namespace {

// Zero-filled image space that covers main module + MirrowVmWordOffset, where the VM word must be.
uint32_t g_imageReserve[0x180000];

struct GameState {
  bool gameKey = false;      // the "game" table is in the root
  bool network = false;      // "network_inst" holds an instance
  bool watch = false;
  bool client = false;
  bool clientAsInteger = false;
  int battleState = 0;
  int characters[2] = {0, 0};
  int wins[2] = {0, 0};
  std::string names[2];
};

struct Event {
  std::string line;  // as written, for the window
  std::vector<std::string> words;
};

// The tables and the addresses of the slots that events change.
struct GameTables {
  ScriptArena* arena = nullptr;
  uint32_t root = 0;
  int gameNode = -1;
  ScriptValue gameKey, gameValue;
  uint32_t battleSlot = 0;
  uint32_t networkSlot = 0, watchSlot = 0, clientSlot = 0;
  uint32_t networkInstance = 0;
  uint32_t playerArray = 0;
  uint32_t profiles[2] = {0, 0};
  uint32_t winSlots[2] = {0, 0};
  std::string shownNames[2];
};

GameState g_state;
GameTables g_tables;
std::vector<Event> g_events;
size_t g_applied = 0;
bool g_auto = false;
bool g_exitAtEnd = true;
UINT g_autoMs = 400;
HWND g_window = nullptr;

// The adversarial pace: events every 20-60 ms (unless --auto fixes one), and a deciding round's result shown
// for a single frame, which ends with the first request the game answers while it shows it; then the game goes
// straight to its menu. It starts playing once the probe has asked it something.
bool g_fast = false;
bool g_fastStarted = false;
bool g_resultFrame = false;
DWORD g_resultShownAt = 0;
unsigned g_paceSeed = 12345;
constexpr DWORD MaxResultFrameMs = 10000;  // nobody polls: the game does not wait for ever

// An event held back until the game has answered a number of the probe's requests, so that a test can
// change the tables between two requests of one reading.
struct RequestTrigger {
  bool armed = false;
  bool textOnly = false;  // count only string reads, which the probe's own polling never makes
  int remaining = 0;
  Event event;
};
RequestTrigger g_trigger;
LONG g_requestsAnswered = 0;
HANDLE g_stalledEvent = nullptr;
HANDLE g_resumeEvent = nullptr;

constexpr uint32_t ProfileNameField = 3;

uint32_t NodeValueSlot(uint32_t table, int index) {
  return TableNodeAddress(*g_tables.arena, table, (uint32_t)index) + ScriptLayout::NodeValue;
}

// Adds a key and returns the address of its value slot.
uint32_t AddSlot(uint32_t table, const std::string& key, ScriptValue value) {
  int index = TableAdd(*g_tables.arena, table, key, value);
  return index < 0 ? 0 : NodeValueSlot(table, index);
}

// Game-like clutter, so that lookups scan realistic node arrays with free nodes between used ones.
void AddFiller(uint32_t table, const char* prefix, int count, unsigned seed) {
  ScriptArena& a = *g_tables.arena;
  for (int i = 0; i < count; ++i) {
    char key[64];
    std::snprintf(key, sizeof key, "%s%03d", prefix, i);
    seed = seed * 1103515245u + 12345u;
    ScriptValue value;
    switch ((seed >> 16) % 6) {
      case 0: value = ScriptValue::Int((int)(seed % 1000)); break;
      case 1: value = {ScriptKind::Float, 0x3F800000u}; break;
      case 2: value = ScriptValue::Ref(ScriptKind::Closure, a.Alloc(32)); break;
      case 3: value = ScriptValue::Ref(ScriptKind::String, WriteString(a, std::string("text of ") + key)); break;
      case 4: value = ScriptValue::Ref(ScriptKind::Table, WriteTable(a, 4)); break;
      default: value = ScriptValue::Boolean(seed & 1); break;
    }
    TableAdd(a, table, key, value);
  }
}

void BuildTables(ScriptArena& arena) {
  g_tables.arena = &arena;
  ScriptArena& a = arena;
  uint32_t root = WriteTable(a, 640);
  g_tables.root = root;
  AddFiller(root, "sys_", 340, 7);
  // Keys that differ from the ones read only by case.
  TableAdd(a, root, "Game", ScriptValue::Int(99));
  TableAdd(a, root, "LOAD_DATA", ScriptValue::Int(98));

  uint32_t game = WriteTable(a, 32);
  AddFiller(game, "scene_", 12, 11);
  g_tables.battleSlot = AddSlot(game, "battleState", ScriptValue::Int(0));
  g_tables.gameNode = TableAdd(a, root, "game", ScriptValue::Ref(ScriptKind::Table, game));
  uint32_t node = TableNodeAddress(a, root, (uint32_t)g_tables.gameNode);
  g_tables.gameValue = {a.Get32(node), a.Get32(node + 4)};
  g_tables.gameKey = {a.Get32(node + 8), a.Get32(node + 12)};

  uint32_t session = WriteClass(a, {{"peer", true, 0}, {"port", true, 1}, {"delay", true, 2},
                                    {"Connect", false, 0}, {"Close", false, 1}});
  g_tables.networkInstance = WriteInstance(a, session, 3);
  SetInstanceField(a, g_tables.networkInstance, 0, ScriptValue::Ref(ScriptKind::String, WriteString(a, "127.0.0.1")));
  SetInstanceField(a, g_tables.networkInstance, 1, ScriptValue::Int(10800));
  SetInstanceField(a, g_tables.networkInstance, 2, ScriptValue::Int(2));
  g_tables.networkSlot = AddSlot(root, "network_inst", ScriptValue::Nil());
  g_tables.watchSlot = AddSlot(root, "network_is_watch", ScriptValue::Boolean(false));
  g_tables.clientSlot = AddSlot(root, "network_is_client", ScriptValue::Boolean(false));

  uint32_t load = WriteTable(a, 16);
  AddFiller(load, "opt_", 5, 13);
  g_tables.playerArray = WriteArray(a, 2);
  AddSlot(load, "player", ScriptValue::Ref(ScriptKind::Array, g_tables.playerArray));
  uint32_t profileClass = WriteClass(a, {{"color", true, 0}, {"rank", true, 1}, {"record", true, 2},
                                         {"name", true, ProfileNameField}, {"Save", false, 0}, {"name_of", false, 1}});
  uint32_t profiles = WriteArray(a, 2);
  for (int side = 0; side < 2; ++side) {
    g_tables.profiles[side] = WriteInstance(a, profileClass, 4);
    SetInstanceField(a, g_tables.profiles[side], 0, ScriptValue::Int(side));
    SetInstanceField(a, g_tables.profiles[side], 1, ScriptValue::Int(5));
    SetArrayElement(a, profiles, side, ScriptValue::Ref(ScriptKind::Instance, g_tables.profiles[side]));
  }
  AddSlot(load, "profile", ScriptValue::Ref(ScriptKind::Array, profiles));
  AddSlot(root, "load_data", ScriptValue::Ref(ScriptKind::Table, load));

  // act/BattleStatus/global/status/p1/win: BattleStatus is an instance, p1 and p2 instances of a status class.
  uint32_t act = WriteTable(a, 16);
  AddFiller(act, "act_", 6, 17);
  uint32_t statusTable = WriteTable(a, 8);
  uint32_t sideClass = WriteClass(a, {{"life", true, 0}, {"win", true, 1}, {"power", true, 2}, {"Reset", false, 0}});
  for (int side = 0; side < 2; ++side) {
    uint32_t p = WriteInstance(a, sideClass, 3);
    SetInstanceField(a, p, 0, ScriptValue::Int(10000));
    g_tables.winSlots[side] = InstanceFieldAddress(p, 1);
    TableAdd(a, statusTable, side ? "p2" : "p1", ScriptValue::Ref(ScriptKind::Instance, p));
  }
  uint32_t global = WriteTable(a, 8);
  TableAdd(a, global, "status", ScriptValue::Ref(ScriptKind::Table, statusTable));
  TableAdd(a, global, "round", ScriptValue::Int(1));
  uint32_t battleClass = WriteClass(a, {{"Update", false, 0}, {"global", true, 0}, {"timer", true, 1}});
  uint32_t battle = WriteInstance(a, battleClass, 2);
  SetInstanceField(a, battle, 0, ScriptValue::Ref(ScriptKind::Table, global));
  TableAdd(a, act, "BattleStatus", ScriptValue::Ref(ScriptKind::Instance, battle));
  AddSlot(root, "act", ScriptValue::Ref(ScriptKind::Table, act));

  uint32_t vm = WriteVm(a, root);
  // The VM word itself lives in the image, at the fixed offset.
  auto* word = reinterpret_cast<uint32_t*>(reinterpret_cast<char*>(GetModuleHandleW(nullptr)) + MirrowVmWordOffset);
  *word = vm;
}

// Writes the state into the tables.
void Publish() {
  ScriptArena& a = *g_tables.arena;
  const GameState& s = g_state;
  uint32_t node = TableNodeAddress(a, g_tables.root, (uint32_t)g_tables.gameNode);
  if (s.gameKey) {
    a.PutSlot(node + ScriptLayout::NodeValue, g_tables.gameValue);
    a.PutSlot(node + ScriptLayout::NodeKey, g_tables.gameKey);
  } else {
    FreeTableNode(a, g_tables.root, (uint32_t)g_tables.gameNode);
  }
  a.PutSlot(g_tables.battleSlot, ScriptValue::Int(s.battleState));
  a.PutSlot(g_tables.networkSlot, s.network ? ScriptValue::Ref(ScriptKind::Instance, g_tables.networkInstance)
                                            : ScriptValue::Nil());
  a.PutSlot(g_tables.watchSlot, ScriptValue::Boolean(s.watch));
  a.PutSlot(g_tables.clientSlot, s.clientAsInteger ? ScriptValue::Int(s.client) : ScriptValue::Boolean(s.client));
  for (int side = 0; side < 2; ++side) {
    SetArrayElement(a, g_tables.playerArray, side, ScriptValue::Int(s.characters[side]));
    a.PutSlot(g_tables.winSlots[side], ScriptValue::Int(s.wins[side]));
    if (s.names[side] != g_tables.shownNames[side]) {
      // Strings are immutable in the VM: a new name is a new object.
      uint32_t text = WriteString(a, s.names[side]);
      SetInstanceField(a, g_tables.profiles[side], ProfileNameField, ScriptValue::Ref(ScriptKind::String, text));
      g_tables.shownNames[side] = s.names[side];
    }
  }
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool ParseName(const std::string& word, std::string* name) {
  if (word.compare(0, 2, "x:") != 0) {
    *name = word == "-" ? std::string() : word;
    return true;
  }
  name->clear();
  if (word.size() % 2) return false;
  for (size_t i = 2; i < word.size(); i += 2) {
    int hi = HexDigit(word[i]), lo = HexDigit(word[i + 1]);
    if (hi < 0 || lo < 0) return false;
    name->push_back((char)(hi * 16 + lo));
  }
  return true;
}

bool ParseInt(const std::string& word, int* value) {
  char* end = nullptr;
  long v = std::strtol(word.c_str(), &end, 10);
  if (word.empty() || *end) return false;
  *value = (int)v;
  return true;
}

int Side(const std::string& word) { return word == "1" ? 0 : word == "2" ? 1 : -1; }

// Applies one event to a copy of the state; false when the event is not understood.
bool ApplyEvent(const Event& e, GameState* state) {
  GameState s = *state;
  const auto& w = e.words;
  const std::string& c = w[0];
  int a = 0, b = 0;
  if (c == "title" && w.size() == 1) {
    s = GameState();
  } else if (c == "menu" && w.size() == 1) {
    std::string names[2] = {s.names[0], s.names[1]};
    s = GameState();
    s.gameKey = true;
    s.names[0] = names[0];
    s.names[1] = names[1];
  } else if (c == "match" && w.size() == 6 && (w[1] == "host" || w[1] == "client" || w[1] == "watch")) {
    if (!ParseInt(w[2], &a) || !ParseInt(w[3], &b) || !ParseName(w[4], &s.names[0]) || !ParseName(w[5], &s.names[1]))
      return false;
    s.gameKey = true;
    s.network = true;
    s.watch = w[1] == "watch";
    s.client = w[1] == "client";
    s.clientAsInteger = false;
    s.battleState = 1;
    s.characters[0] = a;
    s.characters[1] = b;
    s.wins[0] = s.wins[1] = 0;
  } else if (c == "disconnect" && w.size() == 1) {
    s.network = false;
  } else if (c == "win" && w.size() == 2 && Side(w[1]) >= 0) {
    s.wins[Side(w[1])]++;
    s.battleState = s.wins[Side(w[1])] >= 2 ? 3 : 2;
  } else if (c == "wins" && w.size() == 3 && ParseInt(w[1], &a) && ParseInt(w[2], &b)) {
    s.wins[0] = a;
    s.wins[1] = b;
  } else if (c == "battle" && w.size() == 2 && ParseInt(w[1], &a)) {
    s.battleState = a;
  } else if (c == "chars" && w.size() == 3 && ParseInt(w[1], &a) && ParseInt(w[2], &b)) {
    s.characters[0] = a;
    s.characters[1] = b;
  } else if (c == "name" && w.size() == 3 && Side(w[1]) >= 0) {
    if (!ParseName(w[2], &s.names[Side(w[1])])) return false;
  } else if (c == "clientkind" && w.size() == 2 && (w[1] == "bool" || w[1] == "int")) {
    s.clientAsInteger = w[1] == "int";
  } else if (c == "after" && w.size() >= 4 && (w[1] == "request" || w[1] == "text") && ParseInt(w[2], &a) &&
             a >= 1) {
    // Armed by the caller; only the held event is checked here.
    Event held;
    held.words.assign(w.begin() + 3, w.end());
    GameState scratch = s;
    if (!ApplyEvent(held, &scratch)) return false;
  } else if (c == "stall" && w.size() == 1) {
  } else if (c == "nop" && w.size() == 1) {
  } else if (c == "quit" && w.size() == 1) {
  } else {
    return false;
  }
  *state = s;
  return true;
}

bool ParseScenario(const std::string& text, std::vector<Event>* events, int* badLine) {
  size_t pos = 0;
  int number = 0;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(pos, end - pos);
    pos = end + 1;
    ++number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    Event e;
    e.line = line;
    size_t i = 0;
    while (i < line.size()) {
      while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
      if (i >= line.size() || line[i] == '#') break;
      size_t j = i;
      while (j < line.size() && line[j] != ' ' && line[j] != '\t') ++j;
      e.words.push_back(line.substr(i, j - i));
      i = j;
    }
    if (e.words.empty()) continue;
    GameState probe;
    if (!ApplyEvent(e, &probe)) {
      *badLine = number;
      return false;
    }
    events->push_back(e);
  }
  return true;
}

// The built-in evening: a dozen online matches with varied sides, characters, names and results.
const char* const kEvening =
    "title\n"
    "menu\n"
    "match host 3 7 x:837e83698367 x:834a8351838d8345\n"
    "win 1\nwin 2\nwin 1\ndisconnect\nmenu\n"
    "match host 3 11 x:837e83698367 x:82b582b882ad8adb\n"
    "win 2\nwin 2\ndisconnect\nmenu\n"
    "match client 0 3 x:8367834c838f x:837e83698367\n"
    "win 1\nwin 2\nwin 2\ndisconnect\nmenu\n"
    "match client 12 5 x:83888343837d8360 x:837e83698367\n"
    "win 2\nwin 1\nwin 1\ndisconnect\nmenu\n"
    "match watch 1 2 x:8354834e8384 x:836e83848365\n"
    "win 1\nwin 1\ndisconnect\nmenu\n"
    "match host 5 9 x:837e83698367 x:83638380834d\n"
    "win 1\nwin 1\ndisconnect\nmenu\n"
    "match host 5 13 x:837e83698367 nagi_2026\n"
    "win 2\nwin 1\nwin 2\ndisconnect\nmenu\n"
    "title\nmenu\n"
    "match client 8 4 x:8352836e838b x:837e83698367\n"
    "win 1\nwin 1\ndisconnect\nmenu\n"
    "match host 4 6 x:837e83698367 x:8386834c8356838d\n"
    "win 1\nwin 2\nwin 1\ndisconnect\nmenu\n"
    "match client 10 4 x:8341834a8363834c x:837e83698367\n"
    "win 2\nwin 2\ndisconnect\nmenu\n"
    "match host 2 10 x:837e83698367 x:83718372834c\n"
    "win 2\nwin 1\nwin 2\ndisconnect\nmenu\n"
    "match host 4 0 x:837e83698367 x:834a8351838d8345\n"
    "win 1\nwin 1\ndisconnect\nmenu\n"
    "match client 7 4 x:834a8351838d8345 x:837e83698367\n"
    "win 1\nwin 2\nwin 1\ndisconnect\nmenu\n"
    "title\n";

void Arm(const Event& e) {
  g_trigger.armed = true;
  g_trigger.textOnly = e.words[1] == "text";
  ParseInt(e.words[2], &g_trigger.remaining);
  g_trigger.event.words.assign(e.words.begin() + 3, e.words.end());
  g_trigger.event.line = e.line;
}

// Holds the game's thread, so that every request waits, until a test sets the resume event.
void Stall() {
  if (!g_stalledEvent || !g_resumeEvent) return;
  SetEvent(g_stalledEvent);
  WaitForSingleObject(g_resumeEvent, INFINITE);
  ResetEvent(g_stalledEvent);
}

void Apply(const Event& e) {
  const std::string& c = e.words[0];
  if (c == "after") return Arm(e);
  if (c == "stall") return Stall();
  int before = std::max(g_state.wins[0], g_state.wins[1]);
  ApplyEvent(e, &g_state);
  Publish();
  InvalidateRect(g_window, nullptr, TRUE);
  if (g_fast && c == "win" && before < 2 && std::max(g_state.wins[0], g_state.wins[1]) >= 2) {
    g_resultFrame = true;
    g_resultShownAt = GetTickCount();
  }
  if (c == "quit") DestroyWindow(g_window);
}

void ApplyNext() {
  if (g_applied >= g_events.size()) return;
  Apply(g_events[g_applied++]);
}

// The frame after the result: every event up to the menu at once (the session's end included).
void LeaveResult() {
  g_resultFrame = false;
  while (g_applied < g_events.size()) {
    const std::string& next = g_events[g_applied].words[0];
    if (next == "match" || next == "quit" || next == "win" || next == "wins") break;
    ApplyNext();
    if (next == "menu" || next == "title") break;
  }
}

UINT NextPace() {
  if (!g_fast || g_autoMs != 0) return g_autoMs ? g_autoMs : 1;
  g_paceSeed = g_paceSeed * 1103515245u + 12345u;
  return 20 + (g_paceSeed >> 16) % 41;
}

bool IsProbeWindow(HWND window) {
  wchar_t name[64];
  return GetClassNameW(window, name, 64) && lstrcmpW(name, L"MirrowAddrIPCWndClass") == 0;
}

// Sees each request after the probe's window has answered it, on this thread, before the next one can come.
LRESULT CALLBACK AnsweredRequestHook(int code, WPARAM wParam, LPARAM lParam) {
  auto* sent = reinterpret_cast<const CWPRETSTRUCT*>(lParam);
  bool path = sent->message == 0x8000, text = sent->message == 0x8001, snapshot = sent->message == 0x8002;
  if (code == HC_ACTION && (path || text || snapshot) && IsProbeWindow(sent->hwnd)) {
    ++g_requestsAnswered;
    if (g_trigger.armed && (text || !g_trigger.textOnly) && --g_trigger.remaining == 0) {
      g_trigger.armed = false;
      Event held = g_trigger.event;
      Apply(held);
    }
    if (g_resultFrame) LeaveResult();
    if (g_fast && g_auto && !g_fastStarted) {
      g_fastStarted = true;
      SetTimer(g_window, 1, NextPace(), nullptr);
    }
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

void OnPaint(HWND window) {
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(window, &paint);
  char text[512];
  const GameState& s = g_state;
  std::snprintf(text, sizeof text, "event %u/%u: %s\r\n%s %s  chars %d-%d  wins %d-%d", (unsigned)g_applied,
                (unsigned)g_events.size(), g_applied ? g_events[g_applied - 1].line.c_str() : "(start)",
                !s.gameKey ? "title" : !s.network ? "menu" : s.watch ? "watching" : s.client ? "client" : "host",
                s.network ? "online" : "", s.characters[0], s.characters[1], s.wins[0], s.wins[1]);
  RECT area;
  GetClientRect(window, &area);
  InflateRect(&area, -16, -16);
  DrawTextA(dc, text, -1, &area, DT_LEFT | DT_TOP);
  EndPaint(window, &paint);
}

LRESULT CALLBACK GameWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case MirrowStepMessage:
      ApplyNext();
      return (LRESULT)g_applied;
    case MirrowStepCountMessage:
      return (LRESULT)g_applied;
    case MirrowEventCountMessage:
      return (LRESULT)g_events.size();
    case MirrowRequestCountMessage:
      return (LRESULT)g_requestsAnswered;
    case WM_TIMER:
      if (g_fast) SetTimer(window, 1, NextPace(), nullptr);
      if (g_resultFrame) {
        if (GetTickCount() - g_resultShownAt >= MaxResultFrameMs) LeaveResult();
      } else if (g_applied < g_events.size()) {
        ApplyNext();
      } else if (g_exitAtEnd) {
        DestroyWindow(window);
      } else {
        KillTimer(window, 1);
      }
      return 0;
    case WM_PAINT:
      OnPaint(window);
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

bool ReadFileBytes(const wchar_t* path, std::string* bytes) {
  HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  char buffer[65536];
  DWORD got = 0;
  while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got) bytes->append(buffer, got);
  CloseHandle(file);
  return true;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show) {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  std::string scenario = kEvening;
  bool fromFile = false, autoGiven = false, stepGiven = false;
  for (int i = 1; i < argc; ++i) {
    std::wstring arg = argv[i];
    if (arg == L"--scenario" && i + 1 < argc) {
      scenario.clear();
      if (!ReadFileBytes(argv[++i], &scenario)) return 2;
      fromFile = true;
    } else if (arg == L"--auto" && i + 1 < argc) {
      g_autoMs = (UINT)_wtoi(argv[++i]);
      autoGiven = true;
    } else if (arg == L"--stay") {
      g_exitAtEnd = false;
    } else if (arg == L"--step") {
      stepGiven = true;
    } else if (arg == L"--fast") {
      g_fast = true;
    } else {
      return 2;
    }
  }
  // A scenario file is stepped by control messages unless --auto asks for a pace.
  g_auto = autoGiven || (!fromFile && !stepGiven);
  if (g_fast && !autoGiven) g_autoMs = 0;
  int badLine = 0;
  if (!ParseScenario(scenario, &g_events, &badLine)) return 3;

  char* module = reinterpret_cast<char*>(GetModuleHandleW(nullptr));
  char* word = module + MirrowVmWordOffset;
  char* reserve = reinterpret_cast<char*>(g_imageReserve);
  if (word < reserve || word + 4 > reserve + sizeof g_imageReserve) return 4;

  const DWORD arenaSize = 16 << 20;
  auto* memory = static_cast<uint8_t*>(VirtualAlloc(nullptr, arenaSize, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
  if (!memory) return 5;
  ScriptArena arena(memory, (uint32_t)(uintptr_t)memory, arenaSize);
  BuildTables(arena);
  Publish();

  WNDCLASSW wc{};
  wc.lpfnWndProc = GameWindowProc;
  wc.hInstance = instance;
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  wc.hbrBackground = (HBRUSH)(COLOR_WINDOW + 1);
  wc.lpszClassName = L"mirrow";
  if (!RegisterClassW(&wc)) return 6;
  g_window = CreateWindowW(L"mirrow", L"Mirrow ver1.02b", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT, 480,
                           200, nullptr, nullptr, instance, nullptr);
  if (!g_window) return 7;
  wchar_t name[64];
  wsprintfW(name, MirrowStalledEventFormat, GetCurrentProcessId());
  g_stalledEvent = CreateEventW(nullptr, TRUE, FALSE, name);
  wsprintfW(name, MirrowResumeEventFormat, GetCurrentProcessId());
  g_resumeEvent = CreateEventW(nullptr, FALSE, FALSE, name);
  SetWindowsHookExW(WH_CALLWNDPROCRET, AnsweredRequestHook, nullptr, GetCurrentThreadId());
  ShowWindow(g_window, show);
  UpdateWindow(g_window);
  if (g_auto && !g_fast) SetTimer(g_window, 1, g_autoMs ? g_autoMs : 1, nullptr);

  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  return 0;
}
