#pragma once

// Puts UTF-16 text on the clipboard; length -1 means up to the NUL.
bool CopyTextToClipboard(const wchar_t* text, int length);
