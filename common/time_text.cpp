#include "common/time_text.h"

#include <cstdio>

std::wstring FormatTimeText(const LocalTime& t) {
  static constexpr const wchar_t* kMonths[] = {L"Jan", L"Feb", L"Mar", L"Apr", L"May", L"Jun",
                                               L"Jul", L"Aug", L"Sep", L"Oct", L"Nov", L"Dec"};
  int hour12 = t.hour % 12 == 0 ? 12 : t.hour % 12;
  const wchar_t* mark = t.hour < 12 ? L"AM" : L"PM";
  const wchar_t* month = t.month >= 1 && t.month <= 12 ? kMonths[t.month - 1] : L"???";
  wchar_t buf[64];
  std::swprintf(buf, sizeof buf / sizeof buf[0], L"%02d:%02d:%02d %ls  %02d %ls %04d", hour12, t.minute,
                t.second, mark, t.day, month, t.year);
  return buf;
}

std::wstring NowText() { return FormatTimeText(CurrentLocalTime()); }

std::string FormatIsoTime(const LocalTime& t) {
  int offset = t.utcOffsetMinutes < 0 ? -t.utcOffsetMinutes : t.utcOffsetMinutes;
  char buf[64];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d%c%02d:%02d", t.year, t.month, t.day, t.hour, t.minute,
                t.second, t.utcOffsetMinutes < 0 ? '-' : '+', offset / 60 % 100, offset % 60);
  return buf;
}
