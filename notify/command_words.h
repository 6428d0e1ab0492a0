#pragma once
// The argument text of the custom notification as the words a POSIX shell
// would pass to the program, without letting a shell near it.
#include <string>
#include <string_view>
#include <vector>

// Splits at unquoted blanks, tabs and line feeds. Single quotes keep
// everything literally; double quotes keep everything but backslash escapes
// of $ ` " \ and line feed; outside quotes a backslash keeps the next
// character, and a backslash before a line feed joins the lines. "" or ''
// make an empty word. Nothing is expanded: $NAME, ~, *, $(...) and operators
// such as ; | > stay as written. An unterminated quote takes the rest of the
// text into the current word; a trailing lone backslash stays a backslash.
std::vector<std::wstring> SplitCommandWords(std::wstring_view text);
