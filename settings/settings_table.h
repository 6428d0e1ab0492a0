#pragma once
// Every setting by its registry name, in load and save order, with the rules
// that turn a field into its stored text and back.
#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "common/decimal.h"
#include "settings/settings.h"

using SettingField = std::variant<IntSetting*, BoolSetting*, std::atomic<uint16_t>*, WideSetting*, ByteSetting*>;

struct SettingRef {
  std::wstring name;  // "Connection\period", "Parameters\enable0"
  SettingField field;
  // What a user may set a number to; a text with a range is a number kept as
  // text (a notification value), which may also be empty.
  std::optional<NumberRange> range = std::nullopt;
  bool secret = false;  // shown masked in listings
};

std::vector<SettingRef> SettingsTable(Settings& settings);

// Case-insensitive, as registry names are; nullptr when unknown.
const SettingRef* FindSetting(const std::vector<SettingRef>& table, std::wstring_view name);
// The row of one of the record's own fields.
SettingRef RowOf(Settings& settings, SettingField field);

// The text stored for the field: decimal numbers, "1"/"0", texts as they are
// (8-bit texts shown as UTF-8, or byte by byte when they are not UTF-8).
std::wstring SettingText(const SettingRef& ref);

// The one encoding of the 8-bit text settings, whoever sets them: the bytes
// stored for a text (its UTF-8), and the text shown for stored bytes (their
// UTF-8, or byte by byte when they are not UTF-8).
std::string ByteSettingBytes(std::wstring_view text);
std::wstring ByteSettingText(std::string_view bytes);

// Read-back rules: a bool is true only for "1"; a number is the leading
// decimal number of the text (0 when none, saturated at the type's range).
bool ReadBoolText(std::wstring_view text);
int32_t ReadIntText(std::wstring_view text);

// Sets a number setting to value when the row's range holds it; false, with
// the field untouched, otherwise. A number kept as text stores typed when
// that is digits alone (or empty), else the value's decimal text.
bool SetNumberSetting(const SettingRef& ref, int64_t value, std::wstring_view typed = {});

// Sets the field from what an administrator typed: a whole decimal number in
// the row's range (a notification value may also be empty), bools as
// 1/0/true/false, texts of at most 32767 UTF-16 units (8-bit texts: bytes of
// UTF-8). False, with the field untouched and error set, when the text does
// not fit.
bool SetSettingFromUser(const SettingRef& ref, const std::wstring& text, std::wstring& error);
