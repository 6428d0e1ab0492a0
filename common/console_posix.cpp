#include "common/console.h"

#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "common/utf16.h"

namespace {
void Write(std::FILE* stream, std::wstring_view text) {
  std::string bytes = ToUtf8(text);
  std::fwrite(bytes.data(), 1, bytes.size(), stream);
  std::fflush(stream);
}
}  // namespace

void PrintOut(std::wstring_view text) { Write(stdout, text); }
void PrintErr(std::wstring_view text) { Write(stderr, text); }

namespace {
// Longer input is cut here; the setting's own limit refuses it.
constexpr size_t kMaxLineBytes = 1 << 20;
}  // namespace

bool ReadHiddenLine(std::wstring_view prompt, std::wstring& line) {
  termios saved{};
  bool terminal = ::isatty(STDIN_FILENO) && ::tcgetattr(STDIN_FILENO, &saved) == 0;
  if (terminal) {
    Write(stderr, prompt);
    termios quiet = saved;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
  }
  std::string bytes;
  bool any = false, failed = false;
  for (char c; bytes.size() < kMaxLineBytes;) {
    ssize_t n = ::read(STDIN_FILENO, &c, 1);
    if (n < 0 && errno == EINTR) continue;
    failed = n < 0;
    if (n <= 0) break;
    any = true;
    if (c == '\n') break;
    bytes.push_back(c);
  }
  if (terminal) {
    ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
    Write(stderr, L"\n");  // the Enter that was not echoed
  }
  if (!bytes.empty() && bytes.back() == '\r') bytes.pop_back();
  if (!FromUtf8(bytes, line)) line = WidenBytes(bytes);
  return any && !failed;
}
