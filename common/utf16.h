#pragma once
// The one place where wide text meets bytes. wchar_t is UTF-16 on Windows and
// UTF-32 on Linux; files and registry values always hold UTF-16LE.
#include <string>
#include <string_view>

// UTF-16LE bytes of the text, no terminator.
std::string EncodeUtf16Le(std::wstring_view text);

// Text of UTF-16LE bytes. A trailing odd byte counts as a code unit whose high
// byte is zero. Lone surrogates are kept as they are.
std::wstring DecodeUtf16Le(std::string_view bytes);

// UTF-16 code units of wide text, and back.
std::u16string ToUtf16(std::wstring_view text);
std::wstring FromUtf16(std::u16string_view units);

// UTF-8 of wide text; lone surrogates become U+FFFD.
std::string ToUtf8(std::wstring_view text);

// Wide text of UTF-8; false when the bytes are not valid UTF-8.
bool FromUtf8(std::string_view bytes, std::wstring& text);

// Wide text of bytes that are not UTF-8: each byte its own character, U+0000
// to U+00FF.
std::wstring WidenBytes(std::string_view bytes);
