// Any bytes that parse as a hive must write out as a file that parses back to
// the same hive.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "settings/reg_file_format.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  RegFileHive hive;
  std::wstring error;
  if (!hive.Parse(std::string_view(reinterpret_cast<const char*>(data), size), error)) return 0;
  std::string once = hive.Serialize();
  RegFileHive again;
  if (!again.Parse(once, error) || again.Serialize() != once) std::abort();
  return 0;
}
