#include "smtp/mail_date.h"

#include <algorithm>
#include <cstdio>

namespace Smtp {
namespace {

struct CivilDate {
  int64_t year;
  int month;  // 1 to 12
  int day;
};

// Proleptic Gregorian calendar arithmetic on day numbers (0 is 1970-01-01),
// so the rules can be worked out without the C library's idea of the zone.
int64_t DaysFromCivil(int64_t year, int month, int day) {
  year -= month <= 2;
  int64_t era = (year >= 0 ? year : year - 399) / 400;
  int64_t yearOfEra = year - era * 400;
  int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + dayOfEra - 719468;
}

CivilDate CivilFromDays(int64_t days) {
  days += 719468;
  int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  int64_t dayOfEra = days - era * 146097;
  int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  int64_t mp = (5 * dayOfYear + 2) / 153;
  int day = static_cast<int>(dayOfYear - (153 * mp + 2) / 5 + 1);
  int month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  return {yearOfEra + era * 400 + (month <= 2), month, day};
}

int64_t FloorDiv(int64_t a, int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }

int WeekdayOfDays(int64_t days) { return static_cast<int>(((days % 7) + 7 + 4) % 7); }  // 1970-01-01 was a Thursday

int DaysInMonth(int64_t year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : kDays[month - 1];
}

bool IsValid(const ZoneTransition& t) {
  return t.month >= 1 && t.month <= 12 && t.dayOfWeek >= 0 && t.dayOfWeek <= 6 && t.occurrence >= 1 &&
         t.occurrence <= 5;
}

// Seconds since 1970 of the transition's wall-clock moment, as if that clock were UTC.
int64_t TransitionClock(int year, const ZoneTransition& t) {
  int64_t days = DaysFromCivil(year, t.month, TransitionDay(year, t));
  return days * 86400 + t.hour * 3600 + t.minute * 60 + t.second;
}

}  // namespace

std::string FormatMailDate(int64_t utcSeconds, int offsetMinutes) {
  static constexpr const char* kWeekdays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                            "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  int64_t local = utcSeconds + int64_t{offsetMinutes} * 60;
  int64_t days = FloorDiv(local, 86400);
  int64_t secondOfDay = local - days * 86400;
  CivilDate date = CivilFromDays(days);
  if (date.year < 0 || date.year > 9999) return {};
  unsigned offset = static_cast<unsigned>(offsetMinutes < 0 ? -offsetMinutes : offsetMinutes);
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%s, %02d %s %04d %02d:%02d:%02d %c%02u%02u", kWeekdays[WeekdayOfDays(days)],
                date.day, kMonths[date.month - 1], static_cast<int>(date.year), static_cast<int>(secondOfDay / 3600),
                static_cast<int>(secondOfDay / 60 % 60), static_cast<int>(secondOfDay % 60),
                offsetMinutes < 0 ? '-' : '+', offset / 60 % 100, offset % 60);
  return buffer;
}

int TransitionDay(int year, const ZoneTransition& t) {
  int firstWeekday = WeekdayOfDays(DaysFromCivil(year, t.month, 1));
  int first = t.dayOfWeek - firstWeekday + 1;
  if (t.occurrence >= 5) {
    int days = DaysInMonth(year, t.month);
    return days - ((days - first) % 7);
  }
  return first >= 1 ? (t.occurrence - 1) * 7 + first : t.occurrence * 7 + first;
}

int LocalOffsetMinutes(int64_t utcSeconds, const ZoneRules& rules) {
  bool daylightSaving =
      IsValid(rules.standardDate) && IsValid(rules.daylightDate) && rules.standardBias != rules.daylightBias;
  if (!daylightSaving) return -rules.bias;
  int year = static_cast<int>(CivilFromDays(FloorDiv(utcSeconds - int64_t{rules.bias} * 60, 86400)).year);
  // Each transition happens on the clock of the period it ends.
  int64_t daylightStarts = TransitionClock(year, rules.daylightDate) + int64_t{rules.bias + rules.standardBias} * 60;
  int64_t standardStarts = TransitionClock(year, rules.standardDate) + int64_t{rules.bias + rules.daylightBias} * 60;
  bool daylightFirst = daylightStarts < standardStarts;
  bool between = utcSeconds >= std::min(daylightStarts, standardStarts) &&
                 utcSeconds < std::max(daylightStarts, standardStarts);
  int extra = between == daylightFirst ? rules.daylightBias : rules.standardBias;
  return -(rules.bias + extra);
}

}  // namespace Smtp
