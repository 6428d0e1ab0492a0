// Arbitrary text as the run-a-program argument: splitting must never
// misbehave, and the words, quoted again as a shell script would quote them,
// must split back into the same words. The splitting rules are the unit test's.
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
  return 0;
}
