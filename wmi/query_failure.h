#pragma once
// Why a value is missing, in words an administrator can act on.
#include <string>

#include "wmi/wmi_source.h"

// "the computer could not be reached (0x800706BA)": the failure of a query
// in words, with its code.
std::wstring QueryFailureText(WmiCode code);

// The query worked but no instance gave the value.
inline constexpr wchar_t kNoValueReported[] = L"the computer does not report this value";
