#include "common/decimal.h"

#include <doctest/doctest.h>

#include <cstdint>
#include <optional>
#include <string>

#include "common/utf16.h"

TEST_CASE("one reader for every number: the leading number, a whole number, and beyond 64 bits the nearer end") {
  constexpr std::optional<int64_t> kNone;
  const struct {
    const wchar_t* text;
    int64_t leading;
    std::optional<int64_t> digits, signedWhole;
  } rows[] = {
      {L"", 0, kNone, kNone},
      {L"42", 42, 42, 42},
      {L"007", 7, 7, 7},
      {L"  +17 MB", 17, kNone, kNone},
      {L"\t-5", -5, kNone, kNone},
      {L"-5", -5, kNone, -5},
      {L"+5", 5, kNone, 5},
      {L"-", 0, kNone, kNone},
      {L"12abc", 12, kNone, kNone},
      {L"abc", 0, kNone, kNone},
      {L"1 2", 1, kNone, kNone},
      {L"9223372036854775807", INT64_MAX, INT64_MAX, INT64_MAX},
      {L"9223372036854775808", INT64_MAX, INT64_MAX, INT64_MAX},
      {L"99999999999999999999999", INT64_MAX, INT64_MAX, INT64_MAX},
      {L"-9223372036854775808", INT64_MIN, kNone, INT64_MIN},
      {L"-99999999999999999999999", INT64_MIN, kNone, INT64_MIN},
      {L"\u0661", 0, kNone, kNone},  // a digit of another script is no decimal digit here
  };
  for (const auto& row : rows) {
    CAPTURE(ToUtf8(row.text));
    CHECK(ReadDecimal(row.text) == row.leading);
    CHECK(ReadWholeDecimal(row.text) == row.digits);
    CHECK(ReadWholeDecimal(row.text, Sign::Allowed) == row.signedWhole);
  }
}
