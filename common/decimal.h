#pragma once
// The program's one reader of decimal numbers. A number beyond the 64-bit
// range stops at the nearer end of it instead of wrapping around, so a range
// check refuses it rather than taking some other number.
#include <cstdint>
#include <optional>
#include <string_view>

// The number a text starts with, the lenient way numbers held as text are
// read: leading blanks and a sign allowed, reading stops at the first
// non-digit, 0 without digits.
int64_t ReadDecimal(std::wstring_view text);

enum class Sign { Refused, Allowed };

// The text as a number and nothing else: one or more digits, after a sign
// when one is allowed. Nothing for any other text, the empty one included.
std::optional<int64_t> ReadWholeDecimal(std::wstring_view text, Sign sign = Sign::Refused);

// What a setting may be set to, both ends included.
struct NumberRange {
  int64_t low, high;
  bool Holds(int64_t value) const { return low <= value && value <= high; }
};
