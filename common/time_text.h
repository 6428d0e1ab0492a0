#pragma once
#include <string>

#include "common/local_time.h"

// "03:04:05 PM  05 Dec 2026": the program's common time text, in English
// whatever the user's locale, so log files read the same everywhere.
std::wstring FormatTimeText(const LocalTime& t);

std::wstring NowText();
