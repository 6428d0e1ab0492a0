#include "common/console.h"

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
