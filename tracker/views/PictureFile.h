// A drawn picture on the clipboard and in a PNG file, through the system's own libraries only.
#pragma once
#include <windows.h>
#include <string>

// A 32-bit top-down DIB section of the given size, or null.
HBITMAP CreatePictureBitmap(HDC reference, SIZE size, void** bits);
// CF_DIB and CF_BITMAP; false when the clipboard could not be opened or took nothing.
bool CopyPictureToClipboard(HWND owner, HBITMAP picture);
// False when the file could not be written.
bool SavePictureAsPng(HBITMAP picture, const std::wstring& path);
