#include "common/quoted_text.h"

bool ReadQuoted(std::wstring_view text, size_t& at, std::wstring& out, std::wstring& why) {
  for (size_t i = at + 1; i < text.size(); ++i) {
    wchar_t c = text[i];
    if (c == L'"') {
      at = i + 1;
      return true;
    }
    if (c == L'\\') {
      if (i + 1 == text.size()) break;
      c = text[++i];
      if (c != L'\\' && c != L'"') {
        // A control character would upset the console that shows the message.
        why = std::wstring(L"unknown escape \\") + (c < L' ' ? L'?' : c) + L" (only \\\" and \\\\ are known)";
        return false;
      }
    }
    out.push_back(c);
  }
  why = L"unterminated quote";
  return false;
}
