// Arbitrary text to the strict Base64 decoder: it must never read outside the
// text, and whatever it accepts must survive encoding and decoding again.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "smtp/encoding.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  std::string bytes;
  if (!Smtp::Base64Decode(text.data(), text.size(), bytes)) {
    if (!bytes.empty()) std::abort();
    return 0;
  }
  if (bytes.size() != size / 4 * 3 - (size && text[size - 1] == '=') - (size > 1 && text[size - 2] == '=')) {
    std::abort();
  }
  std::string again = Smtp::Base64Encode(bytes.data(), bytes.size());
  if (again.size() != size) std::abort();
  std::string back;
  if (!Smtp::Base64Decode(again.data(), again.size(), back) || back != bytes) std::abort();
  return 0;
}
