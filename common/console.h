#pragma once
#include <string_view>

// Writes text to standard output or standard error: UTF-16 to a Windows
// console, UTF-8 to anything else (pipes, files, terminals).
void PrintOut(std::wstring_view text);
void PrintErr(std::wstring_view text);
