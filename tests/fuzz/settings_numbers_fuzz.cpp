// Arbitrary text as a stored setting and as what an administrator types: the
// lenient readers and the strict setter must agree with plain reference
// readings, and a value the setter takes must read back the same.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cwctype>
#include <optional>
#include <string>

#include "common/decimal.h"
#include "settings/settings_table.h"

namespace {

void Require(bool condition) { if (!condition) std::abort(); }

bool IsDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }

// Digits as a number, or none when there are more than fit a 64-bit value
// comfortably (far beyond every range below).
std::optional<int64_t> DigitsValue(const std::wstring& digits) {
  size_t first = digits.find_first_not_of(L'0');
  if (first == std::wstring::npos) return 0;
  if (digits.size() - first > 15) return std::nullopt;
  return std::stoll(digits.substr(first));
}

// Optional sign and digits, nothing else; nullopt when the shape is wrong.
struct Signed {
  bool negative = false;
  std::wstring digits;
  size_t end = 0;  // where the digits stop
};
Signed ReadSigned(const std::wstring& text, size_t i) {
  Signed s;
  if (i < text.size() && (text[i] == L'-' || text[i] == L'+')) s.negative = text[i++] == L'-';
  while (i < text.size() && IsDigit(text[i])) s.digits += text[i++];
  s.end = i;
  return s;
}

int64_t Saturated(const Signed& s, int64_t low, int64_t high) {
  std::optional<int64_t> magnitude = DigitsValue(s.digits);
  if (!magnitude) return s.negative ? low : high;
  int64_t value = s.negative ? -*magnitude : *magnitude;
  return value < low ? low : value > high ? high : value;
}

bool EqualsAsciiNoCase(const std::wstring& text, const wchar_t* word) {
  std::wstring lower;
  for (wchar_t c : text) lower += c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c;
  return lower == word;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::wstring text;
  for (size_t i = 0; i < size; ++i) text.push_back(static_cast<wchar_t>(data[i]));

  // Stored numbers: leading blanks and tabs, the leading number, saturated.
  size_t start = text.find_first_not_of(L" \t");
  Signed stored = ReadSigned(text, start == std::wstring::npos ? text.size() : start);
  Require(ReadIntText(text) == Saturated(stored, INT32_MIN, INT32_MAX));
  Require(ReadBoolText(text) == (text == L"1"));

  // The notification value: the same reading in 64 bits, after any white space.
  size_t blank = 0;
  while (blank < text.size() && std::iswspace(text[blank])) ++blank;
  Signed limit = ReadSigned(text, blank);
  if (limit.digits.size() <= 18) {
    int64_t magnitude = limit.digits.empty() ? 0 : std::stoll(limit.digits);
    Require(ReadDecimal(text) == (limit.negative ? -magnitude : magnitude));
  }
  Require(ReadDecimal(std::to_wstring(ReadDecimal(text))) == ReadDecimal(text));

  // Typed values: whole text, in range, or refused with the field untouched.
  static Settings settings;
  static const std::vector<SettingRef> table = SettingsTable(settings);
  Signed typed = ReadSigned(text, 0);
  const bool whole = !typed.digits.empty() && typed.end == text.size();
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
    std::optional<int64_t> magnitude = whole ? DigitsValue(typed.digits) : std::nullopt;
    int64_t value = magnitude ? (typed.negative ? -*magnitude : *magnitude) : 0;
    bool fits = magnitude && value >= n.low && value <= n.high;
    Require(SetSettingFromUser(*ref, text, error) == fits);
    Require(SettingText(*ref) == (fits ? std::to_wstring(value) : before));
    Require(ReadIntText(SettingText(*ref)) == (fits ? value : ReadIntText(before)));
  }
  const SettingRef* flag = FindSetting(table, L"Notifications\\EMailAuth");
  std::wstring error;
  bool on = text == L"1" || EqualsAsciiNoCase(text, L"true");
  bool off = text == L"0" || EqualsAsciiNoCase(text, L"false");
  std::wstring flagBefore = SettingText(*flag);
  Require(SetSettingFromUser(*flag, text, error) == (on || off));
  Require(SettingText(*flag) == (on ? L"1" : off ? L"0" : flagBefore));

  const SettingRef* limitRef = FindSetting(table, L"Parameters\\notificationValue0");
  std::wstring limitBefore = SettingText(*limitRef);
  bool digitsOnly = text.find_first_not_of(L"0123456789") == std::wstring::npos;
  Require(SetSettingFromUser(*limitRef, text, error) == digitsOnly);
  Require(SettingText(*limitRef) == (digitsOnly ? text : limitBefore));
  return 0;
}
