#include <doctest/doctest.h>

#include "common/utf16.h"
#include "wmi/instance_lists.h"

TEST_CASE("instance names print as one unambiguous line each") {
  const struct {
    std::wstring name, line;
  } rows[] = {
      {L"Default Web Site", L"Default Web Site"},
      {L"tab\there\nline\r", L"tab\\there\\nline\\r"},
      {L"\x1b[31mred", L"\\x1B[31mred"},
      {std::wstring(L"nul\0end", 7), L"nul\\x00end"},
      {L"del\x7f c1\x85\x9f", L"del\\x7F c1\\x85\\x9F"},
      {L"C:\\x41", L"C:\\\\x41"},  // a backslash of the name never reads as an escape
      {L"Ünïcødé ᚠ\xa0", L"Ünïcødé ᚠ\xa0"},
      {FromUtf16(u"\xD83D\xDE00 pair"), FromUtf16(u"\xD83D\xDE00 pair")},
      {FromUtf16(u"lone \xD800 \xDC00"), L"lone \\uD800 \\uDC00"},
  };
  for (const auto& row : rows) {
    INFO(ToUtf8(row.line));
    CHECK(EscapedName(row.name) == row.line);
  }
}
