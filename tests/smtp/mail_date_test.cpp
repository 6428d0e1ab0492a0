#include "smtp/mail_date.h"

#include <doctest/doctest.h>

#include <regex>

namespace {

constexpr int64_t kDec5At1230Utc = 1796473852;  // 2026-12-05 12:30:52 UTC

Smtp::ZoneRules CentralEurope() {
  Smtp::ZoneRules r;
  r.bias = -60;
  r.daylightBias = -60;
  r.daylightDate = {3, 0, 5, 2, 0, 0};   // last Sunday of March, 02:00
  r.standardDate = {10, 0, 5, 3, 0, 0};  // last Sunday of October, 03:00
  return r;
}

}  // namespace

TEST_CASE("date text: four-digit year, local time and offset") {
  CHECK(Smtp::FormatMailDate(kDec5At1230Utc, 60) == "Sat, 05 Dec 2026 13:30:52 +0100");
  CHECK(Smtp::FormatMailDate(kDec5At1230Utc + 6 * 3600, -300) == "Sat, 05 Dec 2026 13:30:52 -0500");
  CHECK(Smtp::FormatMailDate(kDec5At1230Utc, -210) == "Sat, 05 Dec 2026 09:00:52 -0330");
  CHECK(Smtp::FormatMailDate(0, 0) == "Thu, 01 Jan 1970 00:00:00 +0000");
  CHECK(std::regex_match(Smtp::MailDateNow(),
                         std::regex("[A-Z][a-z]{2}, \\d\\d [A-Z][a-z]{2} \\d{4} \\d\\d:\\d\\d:\\d\\d [-+]\\d{4}")));
}

TEST_CASE("transition days") {
  CHECK(Smtp::TransitionDay(2026, {3, 0, 5}) == 29);   // last Sunday
  CHECK(Smtp::TransitionDay(2026, {10, 0, 5}) == 25);
  CHECK(Smtp::TransitionDay(2026, {3, 0, 2}) == 8);    // second Sunday, the 1st a Sunday
  CHECK(Smtp::TransitionDay(2026, {4, 0, 1}) == 5);    // the 1st a Wednesday
  CHECK(Smtp::TransitionDay(2028, {2, 2, 5}) == 29);   // leap year
  CHECK(Smtp::TransitionDay(2100, {2, 0, 5}) == 28);   // not a leap year
}

TEST_CASE("local offset from zone rules") {
  SUBCASE("northern zone: daylight between the spring and autumn transitions, in UTC") {
    Smtp::ZoneRules cet = CentralEurope();
    const int64_t springUtc = 1774746000, autumnUtc = 1792890000;  // 2026-03-29 01:00, 2026-10-25 01:00
    CHECK(Smtp::LocalOffsetMinutes(springUtc - 1, cet) == 60);
    CHECK(Smtp::LocalOffsetMinutes(springUtc, cet) == 120);
    CHECK(Smtp::LocalOffsetMinutes(autumnUtc, cet) == 60);
    CHECK(Smtp::LocalOffsetMinutes(kDec5At1230Utc, cet) == 60);
  }
  SUBCASE("southern zone: standard time between the transitions") {
    Smtp::ZoneRules sydney;
    sydney.bias = -600;
    sydney.daylightBias = -60;
    sydney.daylightDate = {10, 0, 1, 2, 0, 0};
    sydney.standardDate = {4, 0, 1, 3, 0, 0};
    const int64_t standardUtc = 1775318400, daylightUtc = 1791043200;  // 2026-04-04 16:00, 2026-10-03 16:00
    CHECK(Smtp::LocalOffsetMinutes(standardUtc - 1, sydney) == 660);
    CHECK(Smtp::LocalOffsetMinutes(standardUtc, sydney) == 600);
    CHECK(Smtp::LocalOffsetMinutes(daylightUtc, sydney) == 660);
    CHECK(Smtp::LocalOffsetMinutes(kDec5At1230Utc, sydney) == 660);
  }
  SUBCASE("no daylight saving: the zone's bias alone") {
    Smtp::ZoneRules india;
    india.bias = -330;
    CHECK(Smtp::LocalOffsetMinutes(kDec5At1230Utc, india) == 330);
    india.daylightDate = {3, 0, 5, 2, 0, 0};
    india.standardDate = {10, 0, 5, 3, 0, 0};  // rules, but equal extra biases
    CHECK(Smtp::LocalOffsetMinutes(1780000000, india) == 330);
  }
}
