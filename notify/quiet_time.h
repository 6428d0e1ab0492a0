#pragma once
// Quiet hours and the pause: when the channels hold their notifications and
// only the log and the tray icon hear of errors.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "common/local_time.h"

struct QuietSettings;

// Whether the minute of the day lies in the window from..to (minutes after
// midnight, to not included); a window may cross midnight, and one that
// starts where it ends holds no time at all.
bool InQuietWindow(int from, int to, int minuteOfDay);

// Seconds since 1970 UTC of a local time and its offset.
int64_t EpochSeconds(const LocalTime& t);

struct Silence {
  bool held = false;
  std::wstring until;  // "06:00", "06:00 on 08 Dec 2026" past a day, or "resumed"
};

// The PausedUntil value for a pause typed as "90s", "30m", "4h", "forever"
// or "off", from now; none for anything else, a pause of no time, or one
// that ends past what the setting holds (use "forever").
std::optional<int32_t> PauseUntilValue(std::wstring_view duration, const LocalTime& now);

// Whether a pause set by hand (not quiet hours) holds the notifications at now.
bool PauseInEffect(const QuietSettings& quiet, const LocalTime& now);

// The state at now: a pause that has not run out, or quiet hours, hold the
// notifications until the later of their ends.
Silence SilenceAt(const QuietSettings& quiet, const LocalTime& now);
