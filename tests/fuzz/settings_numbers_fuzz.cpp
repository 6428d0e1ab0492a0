// Arbitrary text as a stored setting and as what an administrator types: the
// lenient readers never misbehave and read their own output back unchanged;
// the strict setter takes only whole numbers in range, which then read back
// the same, and leaves the field untouched when it refuses.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
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
  Require(ReadDecimal(std::to_wstring(ReadDecimal(text))) == ReadDecimal(text));

  static Settings settings;
  static const std::vector<SettingRef> table = SettingsTable(settings);
  const bool signedDigits = text.find_first_not_of(L"+-0123456789") == std::wstring::npos &&
                            text.find_first_of(L"+-", 1) == std::wstring::npos;
  const struct {
    const wchar_t* name;
    int64_t low, high;
  } numbers[] = {{L"Connection\\period", 0, INT32_MAX},
                 {L"Notifications\\EMailPort", 0, 65535},
                 {L"Notifications\\UIThreshold", 0, 1000}};
  for (const auto& n : numbers) {
    const SettingRef* ref = FindSetting(table, n.name);
    Require(ref != nullptr);
    std::wstring before = SettingText(*ref), error;
    if (SetSettingFromUser(*ref, text, error)) {
      int64_t value = ReadIntText(SettingText(*ref));
      Require(signedDigits && value == stored && value >= n.low && value <= n.high);
    } else {
      Require(SettingText(*ref) == before && !error.empty());
    }
  }

  const SettingRef* flag = FindSetting(table, L"Notifications\\EMailAuth");
  std::wstring error, lower = Lower(text), flagBefore = SettingText(*flag);
  bool on = lower == L"1" || lower == L"true", off = lower == L"0" || lower == L"false";
  Require(SetSettingFromUser(*flag, text, error) == (on || off));
  Require(SettingText(*flag) == (on ? L"1" : off ? L"0" : flagBefore));

  const SettingRef* limit = FindSetting(table, L"Parameters\\notificationValue0");
  std::wstring limitBefore = SettingText(*limit);
  bool digitsOnly = text.find_first_not_of(L"0123456789") == std::wstring::npos;
  Require(SetSettingFromUser(*limit, text, error) == digitsOnly);
  Require(SettingText(*limit) == (digitsOnly ? text : limitBefore));
  return 0;
}
