#pragma once
// Every setting by its registry name, in load and save order, with the rules
// that turn a field into its stored text and back.
#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "settings/settings.h"

struct SettingRef {
  std::wstring name;  // "Connection\period", "Parameters\enable0"
  std::variant<IntSetting*, BoolSetting*, std::atomic<uint16_t>*, WideSetting*, ByteSetting*> field;
  bool secret = false;  // shown masked in listings
};

std::vector<SettingRef> SettingsTable(Settings& settings);

// Case-insensitive, as registry names are; nullptr when unknown.
const SettingRef* FindSetting(const std::vector<SettingRef>& table, std::wstring_view name);

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

// Sets the field from what an administrator typed: whole decimal numbers in
// range (a period of 0 or more, thresholds 0 to 1000), bools as
// 1/0/true/false, texts of at most 32767 UTF-16 units (8-bit texts: bytes of
// UTF-8). False, with the field untouched and error set, when the text does
// not fit.
bool SetSettingFromUser(const SettingRef& ref, const std::wstring& text, std::wstring& error);
