// Arbitrary bytes as a log file: reading its lines from the end must give what
// reading them from the start gives, and splitting must never misbehave.
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

#include "common/file.h"
#include "common/utf16.h"
#include "log/log_lines.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::filesystem::path path =
      std::filesystem::temp_directory_path() / ("varnalis-fuzz-log-" + std::to_string(getpid()));
  std::string bytes(reinterpret_cast<const char*>(data), size);
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  }
  std::wstring text = DecodeUtf16Le(bytes.substr(0, bytes.size() & ~size_t{1}));
  std::vector<std::wstring> forward;
  for (size_t start = 0, crlf; (crlf = text.find(L"\r\n", start)) != std::wstring::npos; start = crlf + 2) {
    forward.push_back(text.substr(start, crlf - start));
  }
  std::vector<std::wstring> backward;
  {
    File file(path.wstring(), File::Mode::ReadExisting);
    ReverseLineReader reader(file);
    while (auto line = reader.Previous()) {
      SplitLogLine(*line);
      backward.insert(backward.begin(), *line);
    }
  }
  // Surrogate pairs may be joined differently once a line is cut; compare in UTF-16 units.
  if (backward.size() != forward.size()) std::abort();
  for (size_t i = 0; i < forward.size(); ++i) {
    std::u16string want = ToUtf16(forward[i]).substr(0, kMaxLogLineUnits);
    if (ToUtf16(backward[i]) != want) std::abort();
  }
  return 0;
}
