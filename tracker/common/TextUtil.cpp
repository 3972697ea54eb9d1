#include "common/TextUtil.h"
#include <cstdarg>
#include <cstring>
#include <cwchar>
#include <shlwapi.h>

namespace {
// Both directions alike: measure, convert, and drop the NUL that a length of -1 brings along.
template <typename Out, typename In, typename Converter>
Out Converted(const In* text, int length, Converter convert) {
  if (!text || length == 0 || (length < 0 && !*text)) return Out();
  int n = convert(text, length, nullptr, 0);
  if (n <= 0) return Out();
  Out out(n, 0);
  n = convert(text, length, &out[0], n);
  if (n <= 0) return Out();
  out.resize(length < 0 ? n - 1 : n);
  return out;
}

auto FromCodePage(UINT codePage) {
  return [codePage](const char* in, int n, wchar_t* out, int size) {
    return MultiByteToWideChar(codePage, 0, in, n, out, size);
  };
}

auto ToCodePage(UINT codePage) {
  return [codePage](const wchar_t* in, int n, char* out, int size) {
    return WideCharToMultiByte(codePage, 0, in, n, out, size, nullptr, nullptr);
  };
}
}  // namespace

std::wstring AnsiToWide(const char* text, int length) { return Converted<std::wstring>(text, length, FromCodePage(CP_ACP)); }
std::wstring Utf8ToWide(const char* text, int length) { return Converted<std::wstring>(text, length, FromCodePage(CP_UTF8)); }
std::string WideToAnsi(const wchar_t* text, int length) { return Converted<std::string>(text, length, ToCodePage(CP_ACP)); }
std::string WideToUtf8(const wchar_t* text, int length) { return Converted<std::string>(text, length, ToCodePage(CP_UTF8)); }

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
