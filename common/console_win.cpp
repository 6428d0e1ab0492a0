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

namespace {
// Longer input is cut here; the setting's own limit refuses it.
constexpr size_t kMaxLineUnits = 1 << 20;

bool ReadConsoleLine(HANDLE in, std::wstring& line) {
  bool any = false;
  for (wchar_t c; line.size() < kMaxLineUnits;) {
    DWORD done = 0;
    if (!ReadConsoleW(in, &c, 1, &done, nullptr)) return false;
    if (done == 0) break;
    any = true;
    if (c == L'\n') break;
    line.push_back(c);
  }
  return any;
}

bool ReadFileLine(HANDLE in, std::wstring& line) {
  std::string bytes;
  bool any = false;
  for (char c; bytes.size() < kMaxLineUnits;) {
    DWORD done = 0;
    if (!ReadFile(in, &c, 1, &done, nullptr)) {
      if (GetLastError() != ERROR_BROKEN_PIPE) return false;
      break;
    }
    if (done == 0) break;
    any = true;
    if (c == '\n') break;
    bytes.push_back(c);
  }
  if (!FromUtf8(bytes, line)) {
    int n = MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    line.resize(static_cast<size_t>(n));
    MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), line.data(), n);
  }
  return any;
}
}  // namespace

bool ReadHiddenLine(std::wstring_view prompt, std::wstring& line) {
  line.clear();
  HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
  if (in == nullptr || in == INVALID_HANDLE_VALUE) return false;
  DWORD mode = 0;
  bool ok;
  if (GetConsoleMode(in, &mode)) {
    PrintErr(prompt);
    SetConsoleMode(in, mode & ~static_cast<DWORD>(ENABLE_ECHO_INPUT));
    ok = ReadConsoleLine(in, line);
    SetConsoleMode(in, mode);
    PrintErr(L"\n");  // the Enter that was not echoed
  } else {
    ok = ReadFileLine(in, line);
  }
  if (!line.empty() && line.back() == L'\r') line.pop_back();
  return ok;
}
