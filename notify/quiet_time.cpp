#include "notify/quiet_time.h"

#include <algorithm>
#include <cstdio>
#include <limits>

#include "common/decimal.h"
#include "settings/settings.h"

namespace {

// Days since 1970-01-01 of a civil date (proleptic Gregorian).
int64_t DaysFromCivil(int64_t y, int m, int d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void CivilFromDays(int64_t z, int& y, int& m, int& d) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  y = static_cast<int>(yoe + era * 400 + (m <= 2));
}

int64_t FloorDiv(int64_t a, int64_t b) { return a / b - (a % b != 0 && (a < 0) != (b < 0)); }

// The end as the user reads it: the local clock time, with the date when it is a day or more away.
std::wstring EndText(int64_t end, const LocalTime& now) {
  static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                            "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  int64_t local = end + int64_t{now.utcOffsetMinutes} * 60;
  int64_t days = FloorDiv(local, 86400), second = local - days * 86400;
  int y, m, d;
  CivilFromDays(days, y, m, d);
  char text[48];
  int n = std::snprintf(text, sizeof text, "%02d:%02d", static_cast<int>(second / 3600),
                        static_cast<int>(second / 60 % 60));
  if (end - EpochSeconds(now) >= 86400)
    std::snprintf(text + n, sizeof text - n, " on %02d %s %04d", d, kMonths[m - 1], y);
  return std::wstring(text, text + std::char_traits<char>::length(text));
}

}  // namespace

bool InQuietWindow(int from, int to, int minuteOfDay) {
  if (from <= to) return from <= minuteOfDay && minuteOfDay < to;
  return minuteOfDay >= from || minuteOfDay < to;
}

int64_t EpochSeconds(const LocalTime& t) {
  return DaysFromCivil(t.year, t.month, t.day) * 86400 + t.hour * 3600 + t.minute * 60 + t.second -
         int64_t{t.utcOffsetMinutes} * 60;
}

std::optional<int32_t> PauseUntilValue(std::wstring_view duration, const LocalTime& now) {
  if (duration == L"off") return 0;
  if (duration == L"forever") return -1;
  if (duration.size() < 2) return std::nullopt;
  const wchar_t unit = duration.back();
  const int64_t scale = unit == L's' ? 1 : unit == L'm' ? 60 : unit == L'h' ? 3600 : 0;
  std::optional<int64_t> count = ReadWholeDecimal(duration.substr(0, duration.size() - 1));
  if (scale == 0 || !count || *count <= 0 || *count > std::numeric_limits<int32_t>::max()) return std::nullopt;
  int64_t until = EpochSeconds(now) + *count * scale;
  if (until > std::numeric_limits<int32_t>::max()) return std::nullopt;
  return static_cast<int32_t>(until);
}

bool PauseInEffect(const QuietSettings& quiet, const LocalTime& now) {
  const int64_t pausedUntil = quiet.PausedUntil.load();
  return pausedUntil == -1 || pausedUntil > EpochSeconds(now);
}

Silence SilenceAt(const QuietSettings& quiet, const LocalTime& now) {
  const int64_t epoch = EpochSeconds(now);
  const int64_t pausedUntil = quiet.PausedUntil.load();
  if (pausedUntil == -1) return {true, L"resumed"};
  int64_t end = pausedUntil > epoch ? pausedUntil : 0;
  const int minute = now.hour * 60 + now.minute;
  const int from = quiet.QuietFrom, to = quiet.QuietTo;
  // Stored values from outside the range read as no window.
  bool valid = from >= 0 && from < 1440 && to >= 0 && to < 1440;
  if (quiet.QuietHours && valid && InQuietWindow(from, to, minute)) {
    int64_t left = (to - minute + 1440) % 1440;
    end = std::max(end, epoch - now.second + left * 60);
  }
  if (end == 0) return {};
  return {true, EndText(end, now)};
}
