#pragma once
#include <cstdint>
#include <string>

// Reads a signed decimal the lenient way the program reads numbers held as
// text: leading blanks and a sign allowed, reading stops at the first
// non-digit, 0 without digits. Overlong input wraps rather than overflowing.
int64_t ReadDecimal(const std::wstring& text);
