#pragma once
#include <string>
#include <string_view>

// The double-quoted text starting at text[at] (a '"'), with \" and \\ as its
// only escapes. On success at moves past the closing quote; otherwise why
// says what is wrong.
bool ReadQuoted(std::wstring_view text, size_t& at, std::wstring& out, std::wstring& why);
