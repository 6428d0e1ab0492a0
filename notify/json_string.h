#pragma once
// The one JSON string writer: UTF-8, quotes, backslashes and control
// characters escaped, lone surrogates as U+FFFD, so any wide text makes a
// valid JSON string.
#include <string>
#include <string_view>

// Appends the text as a quoted JSON string.
void AppendJsonString(std::string& out, std::wstring_view text);
std::string JsonString(std::wstring_view text);
