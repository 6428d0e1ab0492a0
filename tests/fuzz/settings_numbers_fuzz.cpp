// Arbitrary text as a stored setting and as what an administrator types: the
// lenient readers never misbehave and read their own output back unchanged;
// a whole number reads as the leading number does; the setter takes only
// whole numbers in the row's range, which then read back the same, and
// leaves the field untouched when it refuses.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>

#include "common/decimal.h"
#include "settings/settings_table.h"

namespace {

void Require(bool condition) { if (!condition) std::abort(); }

std::wstring Lower(std::wstring text) {
  for (wchar_t& c : text) c = c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c;
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::wstring text;
  for (size_t i = 0; i < size; ++i) text.push_back(static_cast<wchar_t>(data[i]));

  int32_t stored = ReadIntText(text);
  Require(ReadIntText(std::to_wstring(stored)) == stored);
  Require(ReadBoolText(text) == (text == L"1"));
  int64_t leading = ReadDecimal(text);
  Require(ReadDecimal(std::to_wstring(leading)) == leading);
  size_t first = !text.empty() && (text[0] == L'+' || text[0] == L'-') ? 1 : 0;
  bool wholeForm = text.size() > first && text.find_first_not_of(L"0123456789", first) == std::wstring::npos;
  std::optional<int64_t> whole = ReadWholeDecimal(text, Sign::Allowed);
  Require(whole.has_value() == wholeForm && (!whole || *whole == leading));
  Require(ReadWholeDecimal(text) == (first == 0 ? whole : std::optional<int64_t>()));

  static Settings settings;
  static const std::vector<SettingRef> table = SettingsTable(settings);
  for (const SettingRef& ref : table) {
    if (!ref.range) continue;
    std::wstring before = SettingText(ref), error;
    if (SetSettingFromUser(ref, text, error)) {
      int64_t value = ReadDecimal(SettingText(ref));
      Require((text.empty() || (whole && value == *whole)) && ref.range->Holds(value));
    } else {
      Require(SettingText(ref) == before && !error.empty());
    }
  }

  const SettingRef* flag = FindSetting(table, L"Notifications\\EMailAuth");
  std::wstring error, lower = Lower(text), flagBefore = SettingText(*flag);
  bool on = lower == L"1" || lower == L"true", off = lower == L"0" || lower == L"false";
  Require(SetSettingFromUser(*flag, text, error) == (on || off));
  Require(SettingText(*flag) == (on ? L"1" : off ? L"0" : flagBefore));
  return 0;
}
