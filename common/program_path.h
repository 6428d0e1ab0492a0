#pragma once
// Windows only.
#include <string>

// The full path of the running program file, whatever its length; empty when
// the system cannot tell.
std::wstring ProgramPath();
