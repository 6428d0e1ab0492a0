#pragma once
// The Date header: "Sat, 05 Dec 2026 13:30:52 +0100".
#include <cstdint>
#include <string>

namespace Smtp {

// utcSeconds counts from 1970-01-01 00:00 UTC; offsetMinutes is local time
// minus UTC. Empty for a moment outside the years 0 to 9999.
std::string FormatMailDate(int64_t utcSeconds, int offsetMinutes);

// A yearly transition in the form Windows keeps it: the occurrence-th (5: the
// last) dayOfWeek (0 Sunday) of month, at a local time of day.
struct ZoneTransition {
  int month = 0;  // 1 to 12; 0 for none
  int dayOfWeek = 0;
  int occurrence = 1;
  int hour = 0;
  int minute = 0;
  int second = 0;
};

// Biases in minutes, UTC = local + bias (+ the period's extra bias).
struct ZoneRules {
  int bias = 0;
  int standardBias = 0;
  int daylightBias = 0;
  ZoneTransition standardDate;  // when standard time starts
  ZoneTransition daylightDate;  // when daylight time starts
};

// The day of the month a transition falls on in that year.
int TransitionDay(int year, const ZoneTransition& transition);
// Local time minus UTC, in minutes, at that moment under those rules.
int LocalOffsetMinutes(int64_t utcSeconds, const ZoneRules& rules);

// The Date header's text for now, in the system's time zone.
std::string MailDateNow();

}  // namespace Smtp
