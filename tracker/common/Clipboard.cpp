#include "common/Clipboard.h"

#include <windows.h>

#include <cstring>

bool CopyTextToClipboard(const wchar_t* text, int length) {
  if (!OpenClipboard(nullptr)) return false;
  if (length == -1) length = lstrlenW(text);
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, (SIZE_T)(length + 1) * sizeof(wchar_t));
  if (!block) {
    CloseClipboard();
    return false;
  }
  wchar_t* target = static_cast<wchar_t*>(GlobalLock(block));
  if (length) memcpy(target, text, (size_t)length * sizeof(wchar_t));
  target[length] = L'\0';
  GlobalUnlock(block);
  EmptyClipboard();
  if (!SetClipboardData(CF_UNICODETEXT, block)) GlobalFree(block);
  CloseClipboard();
  return true;
}
