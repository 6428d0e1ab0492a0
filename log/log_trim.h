#pragma once
#include <cstdint>

class File;

// Shortens an open log file of `length` bytes to at most `limit` bytes, keeping
// its newest part: the cut lands just after the third line feed at or after
// byte length - limit (the partly cut line and the two after it go too). With
// fewer than three line feeds left the file ends up empty. False when the file
// could not be read or written.
bool TrimLogFile(File& file, int64_t length, int64_t limit);
