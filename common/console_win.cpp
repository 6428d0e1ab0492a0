#include "common/console.h"

#include <windows.h>

#include <string>

#include "common/utf16.h"

namespace {
void Write(DWORD which, std::wstring_view text) {
  HANDLE h = GetStdHandle(which);
  if (h == nullptr || h == INVALID_HANDLE_VALUE) return;
  DWORD mode = 0, done = 0;
  if (GetConsoleMode(h, &mode)) {
    WriteConsoleW(h, text.data(), static_cast<DWORD>(text.size()), &done, nullptr);
    return;
  }
  // Redirected: UTF-8 with CR LF, as other console tools write to files.
  std::wstring crlf;
  for (wchar_t c : text) {
    if (c == L'\n') crlf.push_back(L'\r');
    crlf.push_back(c);
  }
  std::string bytes = ToUtf8(crlf);
  WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr);
}
}  // namespace

void PrintOut(std::wstring_view text) { Write(STD_OUTPUT_HANDLE, text); }
void PrintErr(std::wstring_view text) { Write(STD_ERROR_HANDLE, text); }
