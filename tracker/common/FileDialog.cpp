#include "common/FileDialog.h"

#include <commdlg.h>

bool ChooseFileName(HWND owner, bool save, const wchar_t* filter, const wchar_t* extension, DWORD flags,
                    std::wstring& path, const wchar_t* title) {
  wchar_t file[1025] = L"";
  lstrcpynW(file, path.c_str(), ARRAYSIZE(file));
  OPENFILENAMEW dialog{};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = owner;
  dialog.lpstrFilter = filter;
  dialog.lpstrFile = file;
  dialog.nMaxFile = ARRAYSIZE(file);
  dialog.lpstrDefExt = extension;
  dialog.lpstrTitle = title;
  dialog.Flags = flags;
  if (!(save ? GetSaveFileNameW(&dialog) : GetOpenFileNameW(&dialog))) return false;
  path = file;
  return true;
}
