// Arbitrary text as the run-a-program argument: splitting must never
// misbehave, and the words, quoted again as a shell script would quote them,
// must split back into the same words.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "notify/command_words.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::wstring text;
  for (size_t i = 0; i + 1 < size; i += 2) text.push_back(static_cast<wchar_t>(data[i] | (data[i + 1] << 8)));
  std::vector<std::wstring> words = SplitCommandWords(text);

  std::wstring quoted;
  for (const std::wstring& word : words) {
    quoted += L" '";
    for (wchar_t c : word) quoted += c == L'\'' ? std::wstring(L"'\\''") : std::wstring(1, c);
    quoted += L"'";
  }
  if (SplitCommandWords(quoted) != words) std::abort();

  // Without quotes or backslashes the words are the blank-separated pieces.
  if (text.find_first_of(L"'\"\\") == std::wstring::npos) {
    std::vector<std::wstring> pieces;
    std::wstring piece;
    for (wchar_t c : text + L" ") {
      if (c == L' ' || c == L'\t' || c == L'\n') {
        if (!piece.empty()) pieces.push_back(piece);
        piece.clear();
      } else {
        piece += c;
      }
    }
    if (pieces != words) std::abort();
  }
  return 0;
}
