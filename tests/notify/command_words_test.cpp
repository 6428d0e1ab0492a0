#include <doctest/doctest.h>

#include "notify/command_words.h"

using Words = std::vector<std::wstring>;

TEST_CASE("words split at unquoted blanks; quotes and backslashes as a shell reads them; nothing is expanded; an "
          "unterminated quote or backslash takes the rest of the text") {
  CHECK(SplitCommandWords(L" \t\n ") == Words{});
  CHECK(SplitCommandWords(L"  -a\tb\nc  ") == Words{L"-a", L"b", L"c"});
  CHECK(SplitCommandWords(L"'' \"\" Ünï") == Words{L"", L"", L"Ünï"});
  CHECK(SplitCommandWords(L"'a b' \"c d\"e f\\ g") == Words{L"a b", L"c de", L"f g"});
  CHECK(SplitCommandWords(L"'it\\'s'") == Words{L"it\\s"});  // no escapes inside single quotes
  CHECK(SplitCommandWords(L"\"say \\\"hi\\\" \\n \\\\\"") == Words{L"say \"hi\" \\n \\"});
  CHECK(SplitCommandWords(L"\"it's\" 'say \"hi\"'") == Words{L"it's", L"say \"hi\""});
  CHECK(SplitCommandWords(L"a\\\nb \"c\\\nd\"") == Words{L"ab", L"cd"});  // line joins
  CHECK(SplitCommandWords(L"\\'x\\\"") == Words{L"'x\""});
  CHECK(SplitCommandWords(L"$HOME ~ * $(reboot) `id` a;b | > \"$X\"") ==
        Words{L"$HOME", L"~", L"*", L"$(reboot)", L"`id`", L"a;b", L"|", L">", L"$X"});
  CHECK(SplitCommandWords(L"a 'b c") == Words{L"a", L"b c"});
  CHECK(SplitCommandWords(L"a x\"b  c\\\"") == Words{L"a", L"xb  c\""});
  CHECK(SplitCommandWords(L"a\\") == Words{L"a\\"});
  CHECK(SplitCommandWords(L"'") == Words{L""});
}
