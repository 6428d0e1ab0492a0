#include <doctest/doctest.h>

#include <regex>

#include "common/time_text.h"
#include "common/utf16.h"

TEST_CASE("time text: 12-hour clock, two blanks after the mark, English month") {
  CHECK(FormatTimeText({2026, 12, 5, 15, 4, 5}) == L"03:04:05 PM  05 Dec 2026");
  CHECK(FormatTimeText({2026, 1, 31, 0, 0, 0}) == L"12:00:00 AM  31 Jan 2026");
  CHECK(FormatTimeText({2026, 6, 1, 12, 30, 59}) == L"12:30:59 PM  01 Jun 2026");
  CHECK(FormatTimeText({2026, 9, 9, 11, 59, 59}) == L"11:59:59 AM  09 Sep 2026");
  std::regex shape("(0[1-9]|1[0-2]):[0-5][0-9]:[0-5][0-9] (AM|PM)  [0-3][0-9] "
                   "(Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) [0-9]{4}");
  CHECK(std::regex_match(ToUtf8(NowText()), shape));  // the real clock
}

TEST_CASE("ISO time: the offset from UTC signed, in hours and minutes") {
  CHECK(FormatIsoTime({2026, 12, 5, 15, 4, 5, 60}) == "2026-12-05T15:04:05+01:00");
  CHECK(FormatIsoTime({2026, 1, 2, 3, 4, 5, 0}) == "2026-01-02T03:04:05+00:00");
  CHECK(FormatIsoTime({2026, 7, 1, 23, 59, 59, -570}) == "2026-07-01T23:59:59-09:30");
  CHECK(FormatIsoTime({2026, 7, 1, 0, 0, 0, 345}) == "2026-07-01T00:00:00+05:45");
  std::regex shape("[0-9]{4}-[01][0-9]-[0-3][0-9]T[0-2][0-9]:[0-5][0-9]:[0-5][0-9][+-][01][0-9]:[0-5][0-9]");
  CHECK(std::regex_match(FormatIsoTime(CurrentLocalTime()), shape));
}
