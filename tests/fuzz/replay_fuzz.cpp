// Any bytes either fail to parse with a message or give a recording that
// answers every column it lists, in every pass, whatever the names' case.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "wmi/wmi_replay.h"

namespace {

std::wstring Upper(std::wstring text) {
  for (wchar_t& c : text) {
    if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - L'a' + L'A');
  }
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::wstring error;
  auto source = ParseReplayText(std::string(reinterpret_cast<const char*>(data), size), L"fuzz", error);
  if (!source) {
    if (error.empty()) std::abort();
    return 0;
  }
  if (source->PassCount() == 0) std::abort();
  for (size_t pass = 1; pass <= source->PassCount() + 1; ++pass) {
    if (pass > 1) source->OnPassStart();
    size_t current = pass > source->PassCount() ? source->PassCount() : pass;
    for (const auto& column : source->Columns()) {
      std::vector<WmiValue> values, again;
      WmiCode code = source->Column(column.className, column.property, values);
      if (source->Column(Upper(column.className), Upper(column.property), again) != code || again != values) {
        std::abort();
      }
      bool listed = column.firstPass <= current;
      // Recorded failures are 0x8xxxxxxx; success or unknown nothing else.
      if (code != kWmiOk && code < 0x80000000u) std::abort();
      if (!listed && code != kWmiInvalidClass && code != kWmiNotFound) std::abort();
      if (code != kWmiOk && !values.empty()) std::abort();
    }
  }
  return 0;
}
