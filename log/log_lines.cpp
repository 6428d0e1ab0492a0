#include "log/log_lines.h"

#include <algorithm>

#include "common/file.h"
#include "common/utf16.h"

namespace {

constexpr size_t kChunkBytes = 64 * 1024;

// Index of the CR of the last CR LF in units, or npos.
size_t FindLastCrLf(const std::u16string& units) {
  for (size_t i = units.size(); i >= 2; --i) {
    if (units[i - 2] == u'\r' && units[i - 1] == u'\n') return i - 2;
  }
  return std::u16string::npos;
}

std::wstring_view Trim(std::wstring_view s) {
  constexpr std::wstring_view kBlanks = L"\r\n\t ";
  size_t first = s.find_first_not_of(kBlanks);
  if (first == std::wstring_view::npos) return {};
  return s.substr(first, s.find_last_not_of(kBlanks) - first + 1);
}

}  // namespace

ReverseLineReader::ReverseLineReader(const File& file) : file_(file) {
  int64_t length = file.Length();
  pos_ = length < 0 ? 0 : length & ~int64_t{1};  // a trailing odd byte is no code unit
}

bool ReverseLineReader::ReadChunk() {
  if (pos_ == 0) return false;
  int64_t start = std::max<int64_t>(0, pos_ - static_cast<int64_t>(kChunkBytes));
  std::string bytes(static_cast<size_t>(pos_ - start), '\0');
  if (file_.ReadAt(start, bytes.data(), bytes.size()) != static_cast<int64_t>(bytes.size())) return false;
  std::u16string units(bytes.size() / 2, u'\0');
  for (size_t i = 0; i < units.size(); ++i) {
    units[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                     (static_cast<unsigned char>(bytes[2 * i + 1]) << 8));
  }
  pending_.insert(0, units);
  pos_ = start;
  return true;
}

std::optional<std::wstring> ReverseLineReader::Previous() {
  if (done_) return std::nullopt;
  if (!started_) {
    // Drop the incomplete tail: everything after the last CR LF.
    size_t crlf;
    while ((crlf = FindLastCrLf(pending_)) == std::u16string::npos) {
      pending_.resize(std::min<size_t>(pending_.size(), 1));  // an LF whose CR is in the next chunk
      if (!ReadChunk()) {
        done_ = true;
        return std::nullopt;
      }
    }
    pending_.resize(crlf);
    started_ = true;
  }
  for (;;) {
    size_t crlf = FindLastCrLf(pending_);
    if (crlf != std::u16string::npos) {
      std::wstring line = FromUtf16(std::u16string_view(pending_).substr(crlf + 2, kMaxLogLineUnits));
      pending_.resize(crlf);
      return line;
    }
    if (pos_ == 0) {  // the file's first line
      done_ = true;
      return FromUtf16(std::u16string_view(pending_).substr(0, kMaxLogLineUnits));
    }
    // The line starts before pos_: only its first kMaxLogLineUnits units matter.
    if (pending_.size() > kMaxLogLineUnits) pending_.resize(kMaxLogLineUnits);
    if (!ReadChunk()) {
      done_ = true;
      return std::nullopt;
    }
  }
}

std::optional<LogRow> SplitLogLine(std::wstring_view line) {
  size_t first = line.find(L'\t');
  if (first == std::wstring_view::npos) return std::nullopt;
  size_t second = line.find(L'\t', first + 1);
  if (second == std::wstring_view::npos) return std::nullopt;
  return LogRow{std::wstring(Trim(line.substr(0, first))),
                std::wstring(Trim(line.substr(first + 1, second - first - 1))),
                std::wstring(line.substr(second + 1))};
}
