#pragma once
// Reading log lines back: lines end with CR LF; text after the last CR LF is
// not a complete line.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

class File;

// Longest line kept in memory; the rest of a longer line is dropped.
inline constexpr size_t kMaxLogLineUnits = 32768;

// Yields the complete lines of a UTF-16LE file from the newest back, reading
// the file in chunks from its end, so the cost depends on what is read back,
// not on the file's size.
class ReverseLineReader {
 public:
  explicit ReverseLineReader(const File& file);
  // The previous complete line, without its CR LF; nothing at the start of the
  // file or on a read error.
  std::optional<std::wstring> Previous();

 private:
  bool ReadChunk();  // prepends the chunk before pos_ to pending_
  const File& file_;
  int64_t pos_;             // byte offset of the first byte in pending_
  std::u16string pending_;  // units from pos_ up to the end of the next line to yield
  bool started_ = false;    // the incomplete tail has been dropped
  bool done_ = false;       // the first line was yielded, or reading failed
};

struct LogRow {
  std::wstring type;     // trimmed
  std::wstring time;     // trimmed
  std::wstring message;  // as it stands, tabs kept
};

// Splits a line at its first two tabs; nothing when it has fewer than two.
std::optional<LogRow> SplitLogLine(std::wstring_view line);
