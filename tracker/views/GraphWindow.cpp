#include "views/GraphWindow.h"

#include <commctrl.h>

#include <algorithm>
#include <climits>
#include <memory>

#include "common/CharacterTable.h"
#include "common/Dpi.h"
#include "common/TextUtil.h"
#include "common/WindowState.h"
#include "resources/resource.h"
#include "shell/AppState.h"
#include "shell/Settings.h"
#include "store/RecordDatabase.h"
#include "common/FileDialog.h"
#include "views/GraphPaint.h"
#include "views/PictureFile.h"
#include "views/ViewCommon.h"
#include "views/ViewWindows.h"

namespace {

const wchar_t GraphClass[] = L"CorvenkaGraph";
const wchar_t GraphTitle[] = L"戦績グラフ";
const wchar_t* const PlaceSection = L"GraphDlg.Display";
const int Spans[3] = {30, 50, 100};
const SIZE DefaultSize{980, 720};

struct GraphState {
  HWND window = nullptr;
  HWND summary = nullptr;
  HWND spanBox = nullptr, characterBox = nullptr, tooltip = nullptr;
  GraphLook look;
  int span = 50;
  int character = AllCharacters;
  bool failed = false;
  PeriodPlay play;
  // The last frame drawn, put up again as it is while nothing has changed (a tooltip that closes, a window moved away).
  GdiObject<HBITMAP> frame;
  SIZE frameSize{};
  bool frameStale = true;
  std::wstring tip;  // the text the tooltip shows now
};
// The one open window, for those who refresh or ask it.
HWND g_graphWindow = nullptr;

GraphState* OpenState() { return g_graphWindow ? StateOf<GraphState>(g_graphWindow) : nullptr; }

GraphScene SceneOf(const GraphState& g, bool picture) {
  return {g.look, g.play, g.span, g.character, g.failed, picture};
}

GraphLayout LayOutWindow(const GraphState& g) {
  RECT client;
  GetClientRect(g.window, &client);
  return LayOut(client, g.look.labelWidth, g.look.headerHeight, g.look.dpi);
}

// The picture at the window's client size, or null.
HBITMAP RenderPicture(HWND window) {
  RECT client;
  GetClientRect(window, &client);
  GraphState* g = StateOf<GraphState>(window);
  if (client.right <= 0 || client.bottom <= 0 || !g) return nullptr;
  WindowDc screen(window);
  void* bits = nullptr;
  HBITMAP picture = CreatePictureBitmap(screen.Get(), {client.right, client.bottom}, &bits);
  if (picture) {
    MemoryDc memory(screen.Get(), picture);
    DrawGraph(memory.Get(), SceneOf(*g, true), client);
    GdiFlush();
  }
  return picture;
}

// anew: the choices changed, so the figures cannot be carried on.
void Recompute(GraphState& g, bool anew) {
  RecordFilter filter{};
  ApplySummaryPeriod(filter);
  BeginTransaction();
  bool ok = g.play.Update(filter, g.span, g.character, anew);
  EndTransaction(!ok);
  g.failed = !ok;
  g.frameStale = true;
  InvalidateRect(g.window, nullptr, FALSE);
}

HWND MakeChoice(const GraphState& g, int id, int x, int width) {
  HWND box = CreateWindowExW(0, WC_COMBOBOXW, nullptr, WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_TABSTOP | CBS_DROPDOWNLIST,
                             x, g.look.Px(8), width, g.look.Px(320), g.window, (HMENU)(INT_PTR)id,
                             ViewResourceInstance(), nullptr);
  SendMessageW(box, WM_SETFONT, (WPARAM)g.look.font.Get(), FALSE);
  return box;
}

void AddTooltips(GraphState& g) {
  g.tooltip = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, 0, 0, 0,
                              0, g.window, nullptr, ViewResourceInstance(), nullptr);
  if (!g.tooltip) return;
  SendMessageW(g.tooltip, TTM_SETMAXTIPWIDTH, 0, 480);
  for (int cell = 0; cell < 196; ++cell) {
    TTTOOLINFOW tool{};
    tool.cbSize = TTTOOLINFOW_V2_SIZE;
    tool.uFlags = TTF_SUBCLASS;
    tool.hwnd = g.window;
    tool.uId = (UINT_PTR)cell;
    tool.lpszText = LPSTR_TEXTCALLBACKW;
    SendMessageW(g.tooltip, TTM_ADDTOOLW, 0, (LPARAM)&tool);
  }
}

void PlaceTooltips(const GraphState& g) {
  if (!g.tooltip) return;
  GraphLayout l = LayOutWindow(g);
  for (int cell = 0; cell < 196; ++cell) {
    TTTOOLINFOW tool{};
    tool.cbSize = TTTOOLINFOW_V2_SIZE;
    tool.hwnd = g.window;
    tool.uId = (UINT_PTR)cell;
    tool.rect = CellRect(l, cell / 14, cell % 14);
    SendMessageW(g.tooltip, TTM_NEWTOOLRECTW, 0, (LPARAM)&tool);
  }
}

LRESULT OnNotify(GraphState& g, NMHDR* header) {
  if (header->hwndFrom != g.tooltip || header->code != TTN_GETDISPINFOW) return 0;
  auto* info = reinterpret_cast<NMTTDISPINFOW*>(header);
  int cell = (int)header->idFrom;
  if (cell < 0 || cell >= 196) return 0;
  g.tip = CellTip(g.play.Cells()[cell / 14][cell % 14], cell / 14, cell % 14);
  info->lpszText = const_cast<wchar_t*>(g.tip.c_str());
  return 0;
}

// The detail window of the cell's own character, as the summary's double click opens it.
void OnDoubleClick(GraphState& g, LPARAM where) {
  POINT p{(short)LOWORD(where), (short)HIWORD(where)};
  int cell = CellAt(LayOutWindow(g), p);
  if (cell < 0 || !g.summary || !IsWindow(g.summary)) return;
  auto* filter = new RecordFilter{};
  filter->flags = FilterP1Id;
  filter->p1id = cell / 14;
  ApplySummaryPeriod(*filter);
  HWND detail = OpenDetailWindow(g.summary, filter, 1);
  if (detail) ShowWindow(detail, SW_SHOW);
}

void OnChoice(GraphState& g, int id) {
  if (id == IDC_GRAPH_SPAN) {
    int index = (int)SendMessageW(g.spanBox, CB_GETCURSEL, 0, 0);
    if (index >= 0 && index < 3) g.span = Spans[index];
  } else {
    int index = (int)SendMessageW(g.characterBox, CB_GETCURSEL, 0, 0);
    g.character = index > 0 && index <= CharacterCount ? index - 1 : AllCharacters;
  }
  Recompute(g, true);
}

void ChooseFileAndSave(HWND window) {
  std::wstring path = L"戦績グラフ.png";
  if (!ChooseFileName(window, true, L"PNG 画像 (*.png)\0*.png\0", L"png",
                      OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR, path))
    return;
  if (!SaveGraphPicture(window, path)) MessageBoxW(window, L"画像の保存に失敗しました。", nullptr, MB_ICONERROR | MB_OK);
}

bool OnCreate(HWND window, GraphState& g) {
  g.window = window;
  HMENU menu = GetSystemMenu(window, FALSE);
  if (!menu) return false;
  InsertMenuW(menu, 0, MF_BYPOSITION | MF_STRING, IDM_GRAPH_COPY, L"クリップボードに送る");
  InsertMenuW(menu, 1, MF_BYPOSITION | MF_STRING, IDM_GRAPH_SAVE, L"画像として保存…");
  InsertMenuW(menu, 2, MF_BYPOSITION | MF_SEPARATOR, 0, nullptr);
  MakeGraphLook(g.look, window, WindowDpi(window));
  g.spanBox = MakeChoice(g, IDC_GRAPH_SPAN, g.look.Px(8), g.look.Px(110));
  for (int span : Spans) SendMessageW(g.spanBox, CB_ADDSTRING, 0, (LPARAM)FormatWide(L"過去%d戦", span).c_str());
  SendMessageW(g.spanBox, CB_SETCURSEL, 1, 0);
  g.characterBox = MakeChoice(g, IDC_GRAPH_CHARACTER, g.look.Px(126), g.look.Px(130));
  SendMessageW(g.characterBox, CB_ADDSTRING, 0, (LPARAM)L"全キャラクター");
  for (int id = 0; id < CharacterCount; ++id)
    SendMessageW(g.characterBox, CB_ADDSTRING, 0, (LPARAM)CharacterTable[id].shortName);
  SendMessageW(g.characterBox, CB_SETCURSEL, 0, 0);
  AddTooltips(g);
  Recompute(g, true);
  return true;
}

// Moved to a screen of another DPI: everything drawn again at the new one.
void OnDpiChanged(GraphState& g, WPARAM wParam, LPARAM lParam) {
  MakeGraphLook(g.look, g.window, HIWORD(wParam));
  const GraphLook& look = g.look;
  SendMessageW(g.spanBox, WM_SETFONT, (WPARAM)look.font.Get(), FALSE);
  SendMessageW(g.characterBox, WM_SETFONT, (WPARAM)look.font.Get(), FALSE);
  SetWindowPos(g.spanBox, nullptr, look.Px(8), look.Px(8), look.Px(110), look.Px(320), SWP_NOZORDER | SWP_NOACTIVATE);
  SetWindowPos(g.characterBox, nullptr, look.Px(126), look.Px(8), look.Px(130), look.Px(320), SWP_NOZORDER | SWP_NOACTIVATE);
  g.frameStale = true;
  FollowDpiChange(g.window, wParam, lParam);
  PlaceTooltips(g);
  InvalidateRect(g.window, nullptr, FALSE);
}

void OnPaint(HWND window, GraphState& g) {
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(window, &paint);
  RECT client;
  GetClientRect(window, &client);
  SIZE size{std::max(1L, client.right), std::max(1L, client.bottom)};
  if (!g.frame.Get() || g.frameSize.cx != size.cx || g.frameSize.cy != size.cy) {
    void* bits = nullptr;
    // A DIB section: drawn by the process itself, not sent to the display server stroke by stroke.
    g.frame.Reset(CreatePictureBitmap(dc, size, &bits));
    g.frameSize = size;
    g.frameStale = true;
  }
  // Drawn off screen and put up in one copy, so a resize never shows a half-drawn frame.
  MemoryDc memory(dc, g.frame.Get());
  if (g.frameStale) {
    DrawGraph(memory.Get(), SceneOf(g, false), client);
    g.frameStale = false;
  }
  const RECT& part = paint.rcPaint;
  BitBlt(dc, part.left, part.top, part.right - part.left, part.bottom - part.top, memory.Get(), part.left, part.top,
         SRCCOPY);
  EndPaint(window, &paint);
}

void SavePlace(const GraphState& g) {
  RECT box;
  if (IsIconic(g.window) || IsZoomed(g.window)) {
    WINDOWPLACEMENT place{};
    place.length = sizeof place;
    GetWindowPlacement(g.window, &place);
    box = place.rcNormalPosition;
  } else {
    GetWindowRect(g.window, &box);
  }
  WriteSettingInt(PlaceSection, L"X", box.left);
  WriteSettingInt(PlaceSection, L"Y", box.top);
  // The size at 96 DPI, so that it means the same on any screen.
  WriteSettingInt(PlaceSection, L"Width", UnscaleForDpi(box.right - box.left, g.look.dpi));
  WriteSettingInt(PlaceSection, L"Height", UnscaleForDpi(box.bottom - box.top, g.look.dpi));
}

bool OnSysCommand(HWND window, WPARAM command) {
  if (command == IDM_GRAPH_COPY) CopyGraphPicture(window);
  else if (command == IDM_GRAPH_SAVE) ChooseFileAndSave(window);
  else return false;
  return true;
}

LRESULT CALLBACK GraphProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* made = static_cast<std::unique_ptr<GraphState>*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    AttachState(window, std::move(*made));
    g_graphWindow = window;
  }
  GraphState* g = StateOf<GraphState>(window);
  if (!g) return DefWindowProcW(window, message, wParam, lParam);
  switch (message) {
    case WM_CREATE:
      return OnCreate(window, *g) ? 0 : -1;
    case WM_ERASEBKGND:
      return 1;
    case WM_PAINT:
      OnPaint(window, *g);
      return 0;
    case WM_SIZE:
      PlaceTooltips(*g);
      InvalidateRect(window, nullptr, FALSE);
      return 0;
    case WM_DPICHANGED:
      OnDpiChanged(*g, wParam, lParam);
      return 0;
    case WM_GETMINMAXINFO:
      reinterpret_cast<MINMAXINFO*>(lParam)->ptMinTrackSize = {g->look.Px(560), g->look.Px(420)};
      return 0;
    case WM_NOTIFY:
      return OnNotify(*g, reinterpret_cast<NMHDR*>(lParam));
    case WM_LBUTTONDBLCLK:
      OnDoubleClick(*g, lParam);
      return 0;
    case WM_COMMAND:
      // Escape, which the loop's dialog handling turns into IDCANCEL, closes it as its close button does.
      if (LOWORD(wParam) == IDCANCEL && !lParam) PostMessageW(window, WM_CLOSE, 0, 0);
      if (HIWORD(wParam) == CBN_SELCHANGE) OnChoice(*g, LOWORD(wParam));
      return 0;
    case WM_SYSCOMMAND:
      if (OnSysCommand(window, wParam)) return 0;
      break;
    case WM_DESTROY:
      SavePlace(*g);
      return 0;
    case WM_NCDESTROY:
      if (g_graphWindow == window) g_graphWindow = nullptr;
      DetachState<GraphState>(window);
      break;
    default:
      break;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

bool RegisterGraphClass() {
  WNDCLASSEXW existing{};
  existing.cbSize = sizeof existing;
  if (GetClassInfoExW(ViewResourceInstance(), GraphClass, &existing)) return true;
  WNDCLASSEXW c{};
  c.cbSize = sizeof c;
  c.style = CS_DBLCLKS | CS_HREDRAW | CS_VREDRAW;
  c.lpfnWndProc = GraphProc;
  c.hInstance = ViewResourceInstance();
  c.hIcon = LoadIconForDpi(ViewResourceInstance(), IDI_APP, false, WindowDpi(nullptr));
  c.hIconSm = LoadIconForDpi(ViewResourceInstance(), IDI_APP, true, WindowDpi(nullptr));
  c.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  c.lpszClassName = GraphClass;
  return RegisterClassExW(&c) != 0;
}

// Where the window was last, at the summary's DPI; CW_USEDEFAULT the first time.
RECT SavedPlace(HWND summary) {
  int x = ReadSettingInt(PlaceSection, L"X", INT_MIN), y = ReadSettingInt(PlaceSection, L"Y", INT_MIN);
  int width = ReadSettingInt(PlaceSection, L"Width", INT_MIN), height = ReadSettingInt(PlaceSection, L"Height", INT_MIN);
  if (width == INT_MIN || height == INT_MIN || width <= 0 || height <= 0) {
    width = DefaultSize.cx;
    height = DefaultSize.cy;
  }
  // The size is kept at 96 DPI; the window opens where the summary is, as a rule.
  UINT dpi = WindowDpi(summary);
  width = ScaleForDpi(width, dpi);
  height = ScaleForDpi(height, dpi);
  if (x == INT_MIN || y == INT_MIN) return {CW_USEDEFAULT, CW_USEDEFAULT, width, height};
  // As the summary does: a place on a monitor that has gone would leave the window out of reach.
  POINT at = ReachablePosition(RECT{x, y, x + width, y + height});
  return {at.x, at.y, width, height};
}

}  // namespace

HWND OpenGraphWindow(HWND summary) {
  if (HWND open = g_graphWindow) {
    if (IsIconic(open)) ShowWindow(open, SW_RESTORE);
    ShowWindow(open, SW_SHOW);
    SetForegroundWindow(open);
    return open;
  }
  if (!RegisterGraphClass()) return nullptr;
  RECT place = SavedPlace(summary);  // left, top, width, height
  auto state = std::make_unique<GraphState>();
  state->summary = summary;
  // Owned by the hidden main window, not by the summary: a profile switch closes the summary's windows,
  // and this one follows the switch instead. The window takes its state at WM_NCCREATE.
  HWND window = CreateWindowExW(WS_EX_APPWINDOW, GraphClass, GraphTitle, WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN,
                                place.left, place.top, place.right, place.bottom, g_app.mainWindow, nullptr,
                                ViewResourceInstance(), &state);
  if (!window) return nullptr;
  ShowWindow(window, SW_SHOW);
  SetForegroundWindow(window);
  return window;
}

HWND GraphWindow() { return g_graphWindow; }

void RefreshGraphWindow() {
  if (GraphState* g = OpenState()) Recompute(*g, false);
}

bool CopyGraphPicture(HWND graph) {
  GdiObject<HBITMAP> picture(RenderPicture(graph));
  return picture.Get() && CopyPictureToClipboard(graph, picture.Get());
}

bool SaveGraphPicture(HWND graph, const std::wstring& path) {
  GdiObject<HBITMAP> picture(RenderPicture(graph));
  return picture.Get() && SavePictureAsPng(picture.Get(), path);
}

GraphText GraphGridText(int own, int opponent) {
  GraphState* g = OpenState();
  if (!g || own < 0 || own >= 14 || opponent < 0 || opponent >= 14) return {};
  WindowDc dc(g->window);
  return CellText(dc.Get(), SceneOf(*g, false), LayOutWindow(*g), own, opponent);
}

GraphText GraphGridHeader(int character, bool column) {
  GraphState* g = OpenState();
  if (!g || character < 0 || character >= 14) return {};
  return HeaderText(SceneOf(*g, false), LayOutWindow(*g), character, column);
}
