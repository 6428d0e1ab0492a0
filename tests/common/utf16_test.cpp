#include <doctest/doctest.h>

#include "common/utf16.h"

TEST_CASE("UTF-16LE and UTF-8 keep every character, non-BMP ones as surrogate pairs; odd byte counts and lone "
          "surrogates decode; invalid UTF-8 is refused") {
  std::wstring text = L"A\u00e9\u20ac";
  text += static_cast<wchar_t>(sizeof(wchar_t) == 2 ? 0xD83D : 0x1F600);
  if (sizeof(wchar_t) == 2) text += static_cast<wchar_t>(0xDE00);
  std::string bytes = EncodeUtf16Le(text);
  CHECK(bytes == std::string("A\0\xe9\0\xac\x20\x3d\xd8\x00\xde", 10));
  CHECK(DecodeUtf16Le(bytes) == text);
  CHECK(ToUtf8(text) == "A\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80");
  std::wstring back;
  REQUIRE(FromUtf8(ToUtf8(text), back));
  CHECK(back == text);

  CHECK(DecodeUtf16Le(std::string("1\0" "2", 3)) == L"12");  // the odd byte is a unit with a zero high byte
  std::wstring lone = DecodeUtf16Le(std::string("\x00\xd8", 2));
  REQUIRE(lone.size() == 1);
  CHECK(static_cast<unsigned>(lone[0]) == 0xD800u);
  CHECK(EncodeUtf16Le(lone) == std::string("\x00\xd8", 2));  // kept through a round trip
  CHECK(ToUtf8(lone) == "\xef\xbf\xbd");                      // but never written as broken UTF-8

  for (const char* bad : {"\xc3", "\xc0\xaf", "\xed\xa0\x80", "\xf4\x90\x80\x80", "\x80", "a\xe2\x82"}) {
    CAPTURE(bad);
    CHECK_FALSE(FromUtf8(bad, back));
  }
  CHECK(back == text);  // unchanged
}
