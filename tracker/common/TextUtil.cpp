#include "common/TextUtil.h"
#include <cstdarg>
#include <cstring>
#include <cwchar>
#include <shlwapi.h>

std::wstring AnsiToWide(const char* text, int length) {
  if (!text || length == 0 || (length < 0 && !*text)) return std::wstring();
  int n = MultiByteToWideChar(CP_ACP, 0, text, length, nullptr, 0);
  if (n <= 0) return std::wstring();
  std::wstring out(n, L'\0');
  n = MultiByteToWideChar(CP_ACP, 0, text, length, &out[0], n);
  if (n <= 0) return std::wstring();
  out.resize(length < 0 ? n - 1 : n);
  return out;
}

static std::string WideToCodePage(UINT codePage, const wchar_t* text, int length) {
  if (!text || length == 0 || (length < 0 && !*text)) return std::string();
  int n = WideCharToMultiByte(codePage, 0, text, length, nullptr, 0, nullptr, nullptr);
  if (n <= 0) return std::string();
  std::string out(n, '\0');
  n = WideCharToMultiByte(codePage, 0, text, length, &out[0], n, nullptr, nullptr);
  if (n <= 0) return std::string();
  out.resize(length < 0 ? n - 1 : n);
  return out;
}

std::string WideToAnsi(const wchar_t* text, int length) { return WideToCodePage(CP_ACP, text, length); }
std::string WideToUtf8(const wchar_t* text, int length) { return WideToCodePage(CP_UTF8, text, length); }

std::wstring Utf8ToWide(const char* text, int length) {
  if (!text || length == 0 || (length < 0 && !*text)) return std::wstring();
  int n = MultiByteToWideChar(CP_UTF8, 0, text, length, nullptr, 0);
  if (n <= 0) return std::wstring();
  std::wstring out(n, L'\0');
  n = MultiByteToWideChar(CP_UTF8, 0, text, length, &out[0], n);
  if (n <= 0) return std::wstring();
  out.resize(length < 0 ? n - 1 : n);
  return out;
}

std::wstring FormatWide(const wchar_t* format, ...) {
  wchar_t buffer[999];
  buffer[0] = L'\0';
  va_list args;
  va_start(args, format);
  int n = wvnsprintfW(buffer, 999, format, args);
  va_end(args);
  if (n < 0) n = lstrlenW(buffer);
  return std::wstring(buffer, n);
}

void CopyToField(char* field, size_t fieldSize, const char* text) {
  if (!fieldSize) return;
  size_t n = text ? strlen(text) : 0;
  if (n > fieldSize - 1) n = fieldSize - 1;
  if (n) memcpy(field, text, n);
  field[n] = '\0';
}

std::wstring SystemErrorText(DWORD code) {
  wchar_t* text = nullptr;
  FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                 code, 0, (LPWSTR)&text, 0, nullptr);
  std::wstring message = text ? text : FormatWide(L"エラー %d", (int)code);
  if (text) LocalFree(text);
  while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' || message.back() == L' '))
    message.pop_back();
  return message;
}
