#include "log/log_trim.h"

#include <algorithm>
#include <string>

#include "common/file.h"

namespace {
constexpr size_t kChunkBytes = 1024 * 1024;
}  // namespace

bool TrimLogFile(File& file, int64_t length, int64_t limit) {
  if (length <= limit) return true;
  int64_t pos = length - std::max<int64_t>(limit, 0);
  std::string buffer;
  // Scan code unit by code unit for three line feeds, never past the end.
  int feeds = 0;
  while (feeds < 3 && pos < length) {
    buffer.resize(static_cast<size_t>(std::min<int64_t>(kChunkBytes, length - pos)));
    int64_t got = file.ReadAt(pos, buffer.data(), buffer.size());
    if (got <= 0) return false;
    int64_t i = 0;
    for (; i + 1 < got && feeds < 3; i += 2) {
      if (buffer[i] == '\n' && buffer[i + 1] == '\0') ++feeds;
    }
    if (i + 1 == got && feeds < 3) ++i;  // a lone last byte is no code unit
    pos += i;
  }
  pos = std::min(pos, length);
  // Move the kept part to the front in chunks: the log may be 100 MB.
  for (int64_t from = pos, to = 0; from < length;) {
    buffer.resize(static_cast<size_t>(std::min<int64_t>(kChunkBytes, length - from)));
    int64_t got = file.ReadAt(from, buffer.data(), buffer.size());
    if (got <= 0 || !file.WriteAt(to, buffer.data(), static_cast<size_t>(got))) return false;
    from += got;
    to += got;
  }
  return file.SetLength(length - pos);
}
