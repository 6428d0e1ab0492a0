#pragma once
#include <string_view>

// A blank of a text line: space or tab.
inline bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t'; }

// The text without blanks at either end.
inline std::wstring_view Trim(std::wstring_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}
