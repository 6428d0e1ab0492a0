#include "settings/settings.h"

#include <variant>

#include "common/utf16.h"
#include "settings/registry.h"
#include "settings/settings_table.h"

bool Settings::LoadSettings(Registry& registry, std::wstring* error) {
  std::wstring why;
  if (!registry.Open(why)) {
    if (error) *error = why;
    return false;
  }
  // Nothing stored yet: the defaults stay.
  if (registry.ReadRegText(L"Connection\\local").empty()) return true;
  for (const SettingRef& ref : SettingsTable(*this)) {
    if (auto f = std::get_if<ByteSetting*>(&ref.field)) {
      (*f)->Set(registry.ReadRegBytes(ref.name));
      continue;
    }
    std::wstring text = registry.ReadRegText(ref.name);
    if (auto f = std::get_if<IntSetting*>(&ref.field)) {
      (*f)->store(ReadIntText(text));
    } else if (auto f = std::get_if<std::atomic<uint16_t>*>(&ref.field)) {
      (*f)->store(static_cast<uint16_t>(ReadIntText(text)));  // the low 16 bits
    } else if (auto f = std::get_if<BoolSetting*>(&ref.field)) {
      (*f)->store(ReadBoolText(text));
    } else if (auto f = std::get_if<WideSetting*>(&ref.field)) {
      (*f)->Set(text);
    }
  }
  return true;
}

bool Settings::SaveSettings(Registry& registry, std::wstring* error) {
  std::wstring why;
  if (!registry.Open(why)) {
    if (error) *error = why;
    return false;
  }
  // A single value that cannot be written is not stored; the rest still are.
  for (const SettingRef& ref : SettingsTable(*this)) {
    if (auto f = std::get_if<ByteSetting*>(&ref.field)) {
      registry.WriteRegBytes(ref.name, (*f)->Get());
    } else {
      registry.WriteRegText(ref.name, SettingText(ref), false);
    }
  }
  if (registry.Commit(why)) return true;
  if (error) *error = why;
  return false;
}
