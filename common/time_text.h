#pragma once
#include <string>

#include "common/local_time.h"

// "03:04:05 PM  05 Dec 2026": the program's common time text, in English
// whatever the user's locale, so log files read the same everywhere.
std::wstring FormatTimeText(const LocalTime& t);

std::wstring NowText();

// "2026-12-05T15:04:05+01:00" (ISO 8601 with the offset from UTC), for
// machines that read the time.
std::string FormatIsoTime(const LocalTime& t);
