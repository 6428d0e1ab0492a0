#include "smtp/mail_date.h"

#include <doctest/doctest.h>

constexpr int64_t kDec5At1230Utc = 1796473852;  // 2026-12-05 12:30:52 UTC

// The current date goes through the message header test.
TEST_CASE("date text: four-digit year, local time and offset") {
  CHECK(Smtp::FormatMailDate(kDec5At1230Utc, 60) == "Sat, 05 Dec 2026 13:30:52 +0100");
  CHECK(Smtp::FormatMailDate(kDec5At1230Utc + 6 * 3600, -300) == "Sat, 05 Dec 2026 13:30:52 -0500");
  CHECK(Smtp::FormatMailDate(kDec5At1230Utc, -210) == "Sat, 05 Dec 2026 09:00:52 -0330");
  CHECK(Smtp::FormatMailDate(0, 0) == "Thu, 01 Jan 1970 00:00:00 +0000");
}

TEST_CASE("local offset: daylight between the transitions, taken in UTC, in either hemisphere") {
  // Last and first Sundays go through the offsets below.
  CHECK(Smtp::TransitionDay(2026, {3, 0, 2}) == 8);   // second Sunday, the 1st a Sunday
  CHECK(Smtp::TransitionDay(2028, {2, 2, 5}) == 29);  // leap year
  CHECK(Smtp::TransitionDay(2100, {2, 0, 5}) == 28);  // not a leap year
  const Smtp::ZoneRules cet{-60, 0, -60, {10, 0, 5, 3}, {3, 0, 5, 2}};
  const Smtp::ZoneRules sydney{-600, 0, -60, {4, 0, 1, 3}, {10, 0, 1, 2}};
  const Smtp::ZoneRules india{-330, 0, 0, {}, {}};
  const Smtp::ZoneRules equalBiases{-330, 0, 0, cet.standardDate, cet.daylightDate};
  const struct {
    const Smtp::ZoneRules& zone;
    int64_t utc;
    int offset;
  } cases[] = {
      {cet, 1774746000 - 1, 60},     {cet, 1774746000, 120},          // 2026-03-29 01:00 UTC
      {cet, 1792890000, 60},                                          // 2026-10-25 01:00 UTC
      {sydney, 1775318400 - 1, 660}, {sydney, 1775318400, 600},       // 2026-04-04 16:00 UTC
      {sydney, 1791043200, 660},                                      // 2026-10-03 16:00 UTC
      {india, kDec5At1230Utc, 330},  {equalBiases, 1780000000, 330},  // no daylight saving
  };
  for (const auto& c : cases) {
    CAPTURE(c.utc);
    CHECK(Smtp::LocalOffsetMinutes(c.utc, c.zone) == c.offset);
  }
}
