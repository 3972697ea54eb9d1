#include "shell/ShortcutDialogs.h"

#include <commctrl.h>
#include <shlwapi.h>

#include <string>
#include <vector>

#include "shell/AppState.h"
#include "common/Dpi.h"
#include "common/WindowState.h"
#include "shell/ProfileChoice.h"
#include "resources/resource.h"

bool g_shortcutDialogOpen = false;

namespace {
constexpr int PathLength = 1024;

// ---- Key dialog -------------------------------------------------------------------------------

struct KeyDialogState {
  HWND listView;
  bool editing;
  uint16_t originalKey;
  ProfileShortcut* shortcut;
};

void Warn(HWND dialog, const wchar_t* text, int focusId) {
  MessageBoxW(dialog, text, nullptr, MB_ICONWARNING);
  SetFocus(GetDlgItem(dialog, focusId));
}

void OnKeyDialogInit(HWND dialog, const KeyDialogState& setup) {
  KeyDialogState* state = AttachState(dialog, std::make_unique<KeyDialogState>(setup));
  // Longer text could not be handed back whole, and a cut path may name another file.
  SendDlgItemMessageW(dialog, IDC_SHORTCUT_PATH, EM_LIMITTEXT, PathLength, 0);
  if (state->editing) {
    SendDlgItemMessageW(dialog, IDC_SHORTCUT_KEY, HKM_SETHOTKEY, HotKeyFromKeyCode(state->originalKey), 0);
    SetDlgItemTextW(dialog, IDC_SHORTCUT_PATH, state->shortcut->path);
  }
}

void OnBrowse(HWND dialog) {
  std::wstring file;
  if (AskFileToOpen(dialog, ProfileFileFilter, nullptr, L"db",
                    OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY, L"", &file))
    SetDlgItemTextW(dialog, IDC_SHORTCUT_PATH, file.c_str());
}

void OnKeyDialogOk(HWND dialog, KeyDialogState* state) {
  WORD hotKey = (WORD)SendDlgItemMessageW(dialog, IDC_SHORTCUT_KEY, HKM_GETHOTKEY, 0, 0);
  // Modifiers alone make no accelerator.
  if ((hotKey & 0xFF) == 0) return Warn(dialog, L"短縮キーを設定してください", IDC_SHORTCUT_KEY);
  uint16_t keyCode = KeyCodeFromHotKey(hotKey);
  if ((!state->editing || keyCode != state->originalKey) && IsShortcutKeyTaken(state->listView, keyCode))
    return Warn(dialog, L"既に登録されているキーです", IDC_SHORTCUT_KEY);
  wchar_t path[PathLength + 1];
  path[0] = L'\0';
  GetDlgItemTextW(dialog, IDC_SHORTCUT_PATH, path, PathLength + 1);
  if (!path[0]) return Warn(dialog, L"プロファイルパスを指定してください", IDC_SHORTCUT_PATH);
  if (!PathFileExistsW(path)) return Warn(dialog, L"存在するパスを指定してください", IDC_SHORTCUT_PATH);
  lstrcpynW(state->shortcut->path, path, PathLength + 1);
  state->shortcut->keyCode = keyCode;
  EndDialog(dialog, IDOK);
}

INT_PTR CALLBACK KeyDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* state = StateOf<KeyDialogState>(dialog);
  switch (message) {
    case WM_INITDIALOG:
      OnKeyDialogInit(dialog, *reinterpret_cast<const KeyDialogState*>(lParam));
      return TRUE;
    case WM_COMMAND:
      if (!state) return FALSE;
      switch (LOWORD(wParam)) {
        case IDOK:
          OnKeyDialogOk(dialog, state);
          return TRUE;
        case IDCANCEL:
          EndDialog(dialog, IDCANCEL);
          return TRUE;
        case IDC_SHORTCUT_BROWSE:
          OnBrowse(dialog);
          return TRUE;
      }
      return FALSE;
    case WM_DESTROY:
      DetachState<KeyDialogState>(dialog);
      return FALSE;
  }
  return FALSE;
}

// ---- List dialog ------------------------------------------------------------------------------

HWND ListOf(HWND dialog) { return GetDlgItem(dialog, IDC_SHORTCUT_LIST); }

std::wstring KeyTextOf(uint16_t keyCode) {
  std::wstring text;
  KeyCodeText(keyCode, text);  // shown as far as the names could be had
  return text;
}

void SetRow(HWND list, int row, const ProfileShortcut& shortcut, bool insert) {
  std::wstring keyText = KeyTextOf(shortcut.keyCode);
  LVITEMW item{};
  item.mask = LVIF_TEXT | LVIF_PARAM;
  item.iItem = row;
  item.pszText = const_cast<wchar_t*>(keyText.c_str());
  item.lParam = shortcut.keyCode;
  if (insert)
    row = (int)SendMessageW(list, LVM_INSERTITEMW, 0, (LPARAM)&item);
  else
    SendMessageW(list, LVM_SETITEMW, 0, (LPARAM)&item);
  if (row < 0) return;
  LVITEMW pathItem{};
  pathItem.iSubItem = 1;
  pathItem.pszText = const_cast<wchar_t*>(shortcut.path);
  SendMessageW(list, LVM_SETITEMTEXTW, row, (LPARAM)&pathItem);
}

bool ReadRow(HWND list, int row, ProfileShortcut& shortcut) {
  LVITEMW item{};
  item.mask = LVIF_PARAM;
  item.iItem = row;
  if (!SendMessageW(list, LVM_GETITEMW, 0, (LPARAM)&item)) return false;
  shortcut.keyCode = (uint16_t)item.lParam;
  shortcut.path[0] = L'\0';
  LVITEMW pathItem{};
  pathItem.iSubItem = 1;
  pathItem.pszText = shortcut.path;
  pathItem.cchTextMax = PathLength + 1;
  SendMessageW(list, LVM_GETITEMTEXTW, row, (LPARAM)&pathItem);
  return true;
}

int RowCount(HWND list) { return (int)SendMessageW(list, LVM_GETITEMCOUNT, 0, 0); }
int SelectedRow(HWND list) { return (int)SendMessageW(list, LVM_GETNEXTITEM, (WPARAM)-1, LVNI_SELECTED); }

void AddColumn(HWND list, int index, const wchar_t* title, int width) {
  LVCOLUMNW column{};
  column.mask = LVCF_FMT | LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
  column.fmt = LVCFMT_LEFT;
  column.cx = ScaleForDpi(width, WindowDpi(list));
  column.pszText = const_cast<wchar_t*>(title);
  column.iSubItem = index;
  SendMessageW(list, LVM_INSERTCOLUMNW, index, (LPARAM)&column);
}

void OnListDialogInit(HWND dialog) {
  g_shortcutDialogOpen = true;
  HWND list = ListOf(dialog);
  SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT,
               LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT);
  AddColumn(list, 0, L"短縮キー", 100);
  AddColumn(list, 1, L"プロファイル", 200);
  ProfileShortcut shortcut;
  for (int i = 0; GetShortcut(i, shortcut); ++i) SetRow(list, i, shortcut, true);
  ShowWindow(dialog, SW_SHOW);
}

void OnAdd(HWND dialog) {
  HWND list = ListOf(dialog);
  if (RowCount(list) >= MaxShortcuts) return;
  ProfileShortcut shortcut{};
  if (ShowShortcutKeyDialog(dialog, list, false, shortcut)) SetRow(list, RowCount(list), shortcut, true);
}

void OnEdit(HWND dialog) {
  HWND list = ListOf(dialog);
  int row = SelectedRow(list);
  ProfileShortcut shortcut{};
  if (row < 0 || !ReadRow(list, row, shortcut)) return;
  if (ShowShortcutKeyDialog(dialog, list, true, shortcut)) SetRow(list, row, shortcut, false);
}

void OnDelete(HWND dialog) {
  HWND list = ListOf(dialog);
  int row = SelectedRow(list);
  if (row >= 0) SendMessageW(list, LVM_DELETEITEM, row, 0);
}

void OnListDialogOk(HWND dialog) {
  HWND list = ListOf(dialog);
  std::vector<ProfileShortcut> entries(RowCount(list));
  for (size_t i = 0; i < entries.size(); ++i) ReadRow(list, (int)i, entries[i]);
  // A failed table keeps the previous shortcuts; the dialog closes either way.
  InstallShortcuts(entries.data(), (int)entries.size());
  DestroyWindow(dialog);
}
}  // namespace

bool IsShortcutKeyTaken(HWND listView, uint16_t keyCode) {
  ProfileShortcut shortcut;
  for (int row = 0; ReadRow(listView, row, shortcut); ++row)
    if (shortcut.keyCode == keyCode) return true;
  return false;
}

bool ShowShortcutKeyDialog(HWND owner, HWND listView, bool editing, ProfileShortcut& shortcut) {
  KeyDialogState state{listView, editing, shortcut.keyCode, &shortcut};
  HINSTANCE instance = g_app.instance ? g_app.instance : GetModuleHandleW(nullptr);
  return DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_SHORTCUT_KEY), owner, KeyDialogProc,
                         reinterpret_cast<LPARAM>(&state)) == IDOK;
}

INT_PTR CALLBACK ShortcutListDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      OnListDialogInit(dialog);
      return TRUE;
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case IDC_SHORTCUT_ADD:
          OnAdd(dialog);
          return TRUE;
        case IDC_SHORTCUT_EDIT:
          OnEdit(dialog);
          return TRUE;
        case IDC_SHORTCUT_DELETE:
          OnDelete(dialog);
          return TRUE;
        case IDOK:
          OnListDialogOk(dialog);
          return TRUE;
        case IDCANCEL:
          DestroyWindow(dialog);
          return TRUE;
      }
      return FALSE;
    case WM_CLOSE:
      DestroyWindow(dialog);
      return TRUE;
    case WM_DESTROY:
      g_shortcutDialogOpen = false;
      return FALSE;
  }
  return FALSE;
}
