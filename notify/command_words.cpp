#include "notify/command_words.h"

namespace {

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\n'; }

// The characters a backslash escapes inside double quotes; before any other
// the backslash stays.
bool EscapedInDoubleQuotes(wchar_t c) { return c == L'$' || c == L'`' || c == L'"' || c == L'\\' || c == L'\n'; }

}  // namespace

std::vector<std::wstring> SplitCommandWords(std::wstring_view text) {
  std::vector<std::wstring> words;
  std::wstring word;
  bool inWord = false;  // separate from word.empty(): '' is a word
  size_t i = 0;
  while (i < text.size()) {
    wchar_t c = text[i];
    if (IsBlank(c)) {
      if (inWord) words.push_back(std::move(word));
      word.clear();
      inWord = false;
      ++i;
    } else if (c == L'\\') {
      if (i + 1 == text.size()) {
        word += c;
        inWord = true;
        ++i;
      } else {
        if (text[i + 1] != L'\n') {
          word += text[i + 1];
          inWord = true;
        }
        i += 2;
      }
    } else if (c == L'\'') {
      inWord = true;
      size_t end = text.find(L'\'', i + 1);
      if (end == std::wstring_view::npos) end = text.size();
      word.append(text.substr(i + 1, end - i - 1));
      i = end + 1;
    } else if (c == L'"') {
      inWord = true;
      for (++i; i < text.size() && text[i] != L'"'; ++i) {
        if (text[i] == L'\\' && i + 1 < text.size() && EscapedInDoubleQuotes(text[i + 1])) {
          ++i;
          if (text[i] == L'\n') continue;
        }
        word += text[i];
      }
      ++i;  // past the closing quote, or past the end
    } else {
      word += c;
      inWord = true;
      ++i;
    }
  }
  if (inWord) words.push_back(std::move(word));
  return words;
}
