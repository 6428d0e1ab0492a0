#pragma once
#include <cstdint>
#include <string_view>

// 0 to 15, or -1 for anything that is not a hex digit.
int HexDigit(wchar_t c);
// One to eight hex digits and nothing else.
bool ReadHexNumber(std::wstring_view text, uint32_t& number);
