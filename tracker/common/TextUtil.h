// Text conversions at the edges: the game's names are ANSI code page bytes, windows want UTF-16,
// SQLite wants UTF-8 for file names and LIKE patterns.
#pragma once
#include <windows.h>
#include <string>

// A conversion that yields nothing gives an empty result.
std::wstring AnsiToWide(const char* text, int length = -1);
std::string WideToAnsi(const wchar_t* text, int length = -1);
std::string WideToUtf8(const wchar_t* text, int length = -1);
std::wstring Utf8ToWide(const char* text, int length = -1);

// Windows wide formatting rules (%s a UTF-16 string, %d a signed decimal) into 999 units; longer output is cut.
std::wstring FormatWide(const wchar_t* format, ...);

// The system's own words for an error code (FormatMessageW), without the trailing line break; the bare
// code only when the system has no text for it.
std::wstring SystemErrorText(DWORD code);

// Copies a NUL-terminated 8-bit text into a fixed field, cut to fit with its NUL; a null text empties it.
void CopyToField(char* field, size_t fieldSize, const char* text);
template <size_t N>
void CopyToField(char (&field)[N], const char* text) {
  CopyToField(field, N, text);
}
// As SQLite hands out text.
template <size_t N>
void CopyToField(char (&field)[N], const unsigned char* text) {
  CopyToField(field, N, reinterpret_cast<const char*>(text));
}
