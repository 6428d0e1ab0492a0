#pragma once
// The instance names a parameter can watch, as the advanced settings list them.
#include <string>
#include <string_view>
#include <vector>

#include "wmi/wmi_source.h"

class WmiQuery;

enum class InstanceKind { NetworkAdapter, LogicalDisk, Process, WebServer };

// The names in the order the computer returns them; the web service's first
// instance (its total) is left out.
WmiCode ListInstances(WmiQuery& query, InstanceKind kind, std::vector<std::wstring>& names);

// A name as one line that reads back unambiguously: a backslash doubled,
// \t \n \r, other control characters (C0, DEL, C1) as \xHH and a surrogate
// without its partner as \uHHHH.
std::wstring EscapedName(std::wstring_view name);
