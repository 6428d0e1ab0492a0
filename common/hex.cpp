#include "common/hex.h"

int HexDigit(wchar_t c) {
  if (c >= L'0' && c <= L'9') return c - L'0';
  if (c >= L'a' && c <= L'f') return c - L'a' + 10;
  if (c >= L'A' && c <= L'F') return c - L'A' + 10;
  return -1;
}

bool ReadHexNumber(std::wstring_view text, uint32_t& number) {
  if (text.empty() || text.size() > 8) return false;
  number = 0;
  for (wchar_t c : text) {
    int d = HexDigit(c);
    if (d < 0) return false;
    number = number << 4 | static_cast<uint32_t>(d);
  }
  return true;
}
