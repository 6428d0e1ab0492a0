#include "common/decimal.h"

#include <cwctype>
#include <limits>

namespace {

struct Scan {
  int64_t value = 0;
  size_t end = 0;  // just past the last digit read
  bool digits = false;
};

// An optional sign and the digits from at onwards.
Scan ScanDecimal(std::wstring_view text, size_t at) {
  bool negative = false;
  if (at < text.size() && (text[at] == L'-' || text[at] == L'+')) negative = text[at++] == L'-';
  // The magnitude stops one past INT64_MAX, which is INT64_MIN's.
  constexpr uint64_t kLimit = uint64_t{std::numeric_limits<int64_t>::max()} + 1;
  uint64_t magnitude = 0;
  Scan scan;
  for (; at < text.size() && text[at] >= L'0' && text[at] <= L'9'; ++at) {
    scan.digits = true;
    uint64_t digit = static_cast<uint64_t>(text[at] - L'0');
    magnitude = magnitude > (kLimit - digit) / 10 ? kLimit : magnitude * 10 + digit;
  }
  scan.end = at;
  if (negative) {
    scan.value = magnitude == kLimit ? std::numeric_limits<int64_t>::min() : -static_cast<int64_t>(magnitude);
  } else {
    scan.value = magnitude == kLimit ? std::numeric_limits<int64_t>::max() : static_cast<int64_t>(magnitude);
  }
  return scan;
}

}  // namespace

int64_t ReadDecimal(std::wstring_view text) {
  size_t at = 0;
  while (at < text.size() && std::iswspace(static_cast<wint_t>(text[at]))) ++at;
  return ScanDecimal(text, at).value;
}

std::optional<int64_t> ReadWholeDecimal(std::wstring_view text, Sign sign) {
  if (sign == Sign::Refused && !text.empty() && (text[0] == L'-' || text[0] == L'+')) return std::nullopt;
  Scan scan = ScanDecimal(text, 0);
  if (!scan.digits || scan.end != text.size()) return std::nullopt;
  return scan.value;
}
