#pragma once
#include <string>
#include <string_view>

// Writes text to standard output or standard error: UTF-16 to a Windows
// console, UTF-8 to anything else (pipes, files, terminals).
void PrintOut(std::wstring_view text);
void PrintErr(std::wstring_view text);

// One line of standard input without its line end; when the input is a
// terminal, after the prompt on standard error and without echo. Bytes that are not UTF-8 are read in the local code page
// (byte by byte on Linux). False when the input ends before anything was
// read, or cannot be read.
bool ReadHiddenLine(std::wstring_view prompt, std::wstring& line);
