#pragma once
// The short report of the watched computer that a connection test prints.
#include <string>

#include "wmi/wmi_source.h"

class WmiQuery;

// Lines ending in CR LF, or the one line "Connection failed. Error %X: %s"
// when a query fails (later queries are not run).
std::wstring SystemReport(WmiQuery& query);

// "Connection failed. Error %X: %s" with the system's text for the code.
std::wstring ConnectionFailedText(WmiCode code);
