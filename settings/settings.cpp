#include "settings/settings.h"

#include <variant>

#include "common/utf16.h"
#include "settings/registry.h"
#include "settings/settings_table.h"

namespace {

// The value as the store holds it: an 8-bit text's bytes, anything else its
// text in UTF-16LE.
std::string StoredForm(const SettingRef& ref) {
  if (auto f = std::get_if<ByteSetting*>(&ref.field)) return (*f)->Get();
  return EncodeUtf16Le(SettingText(ref));
}

void ReadSetting(const Registry& registry, const SettingRef& ref) {
  if (auto f = std::get_if<ByteSetting*>(&ref.field)) {
    (*f)->Set(registry.ReadRegBytes(ref.name));
    return;
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

}  // namespace

bool Settings::LoadSettings(Registry& registry, std::wstring* error) {
  std::lock_guard lock(storeMutex_);
  std::wstring why;
  if (!registry.Open(why)) {
    if (error) *error = why;
    return false;
  }
  // With nothing stored yet (first start) the fields keep what they hold.
  bool stored = !registry.ReadRegText(L"Connection\\local").empty();
  std::vector<SettingRef> table = SettingsTable(*this);
  stored_.assign(table.size(), std::nullopt);
  for (size_t i = 0; i < table.size(); ++i) {
    if (stored) ReadSetting(registry, table[i]);
    stored_[i] = StoredForm(table[i]);
  }
  return true;
}

bool Settings::SaveSettings(Registry& registry, std::wstring* error) {
  std::lock_guard lock(storeMutex_);
  std::wstring why;
  if (!registry.BeginUpdate(why)) {
    if (error) *error = why;
    return false;
  }
  std::vector<SettingRef> table = SettingsTable(*this);
  stored_.resize(table.size());
  std::vector<std::optional<std::string>> written(table.size());
  std::wstring failed;
  for (size_t i = 0; i < table.size(); ++i) {
    const SettingRef& ref = table[i];
    std::string form = StoredForm(ref);
    bool changed = form != stored_[i];
    if (!changed && registry.HasRegValue(ref.name)) continue;
    // A value that cannot be written is not stored; the rest still are.
    // The form is the value's bytes already, wide texts included.
    if (registry.WriteRegBytes(ref.name, form)) {
      written[i] = std::move(form);
    } else if (failed.empty()) {
      failed = L"Cannot store " + ref.name;
    }
  }
  bool committed = registry.Commit(why);
  if (committed) {
    for (size_t i = 0; i < table.size(); ++i) {
      if (written[i]) stored_[i] = std::move(written[i]);
    }
  }
  if (committed && failed.empty()) return true;
  if (error) *error = committed ? failed : why;
  return false;
}

std::shared_ptr<const ConnectionSettings> CopyOf(const ConnectionSettings& connection) {
  auto copy = std::make_shared<ConnectionSettings>();
  copy->local = connection.local.load();
  copy->server.Set(connection.server.Get());
  copy->user.Set(connection.user.Get());
  copy->password.Set(connection.password.Get());
  copy->period = connection.period.load();
  return copy;
}
