#include "smtp/mail_date.h"

#include <windows.h>

namespace Smtp {
namespace {

ZoneTransition FromSystemTime(const SYSTEMTIME& t) {
  return {t.wMonth, t.wDayOfWeek, t.wDay, t.wHour, t.wMinute, t.wSecond};
}

}  // namespace

std::string MailDateNow() {
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  ULARGE_INTEGER ticks;
  ticks.LowPart = now.dwLowDateTime;
  ticks.HighPart = now.dwHighDateTime;
  // 100-ns ticks since 1601 to seconds since 1970.
  int64_t utc = static_cast<int64_t>(ticks.QuadPart / 10000000ULL) - 11644473600LL;

  TIME_ZONE_INFORMATION zone{};
  if (GetTimeZoneInformation(&zone) == TIME_ZONE_ID_INVALID) return FormatMailDate(utc, 0);
  ZoneRules rules;
  rules.bias = zone.Bias;
  rules.standardBias = zone.StandardBias;
  rules.daylightBias = zone.DaylightBias;
  rules.standardDate = FromSystemTime(zone.StandardDate);
  rules.daylightDate = FromSystemTime(zone.DaylightDate);
  return FormatMailDate(utc, LocalOffsetMinutes(utc, rules));
}

}  // namespace Smtp
