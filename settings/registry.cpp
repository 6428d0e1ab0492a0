#include "settings/registry.h"

#include <utility>

#include "common/product.h"
#include "common/utf16.h"

namespace {

struct ValueRef {
  std::wstring key;
  std::wstring name;
};

// Splits "a\b\c" at its last backslash into key "a\b" and value "c".
ValueRef Split(const std::wstring& full) {
  size_t slash = full.rfind(L'\\');
  if (slash == std::wstring::npos) return {L"", full};
  return {full.substr(0, slash), full.substr(slash + 1)};
}

}  // namespace

std::wstring DefaultSettingsKeyPath() {
  return std::wstring(L"Software\\") + kCompanyName + L"\\" + kProductName + L"\\";
}

Registry::Registry(RegistryStore& store, std::wstring settingsKeyPath)
    : store_(store), keyPath_(std::move(settingsKeyPath)) {}

bool Registry::HasRegValue(const std::wstring& name) const {
  ValueRef ref = Split(keyPath_ + name);
  return store_.Read(ref.key, ref.name).has_value();
}

std::wstring Registry::ReadRegText(const std::wstring& name) const {
  ValueRef ref = Split(keyPath_ + name);
  std::optional<std::string> bytes = store_.Read(ref.key, ref.name);
  if (!bytes) return {};
  std::wstring text = DecodeUtf16Le(*bytes);
  return text.substr(0, text.find(L'\0'));
}

std::string Registry::ReadRegBytes(const std::wstring& name) const {
  ValueRef ref = Split(keyPath_ + name);
  std::optional<std::string> bytes = store_.Read(ref.key, ref.name);
  if (!bytes) return {};
  return bytes->substr(0, bytes->find('\0'));
}

bool Registry::WriteRegText(const std::wstring& name, const std::wstring& text, bool absolute) {
  ValueRef ref = Split(absolute ? name : keyPath_ + name);
  if (!absolute) return store_.Write(ref.key, ref.name, RegType::Binary, EncodeUtf16Le(text));
  // RegSetValueEx wants REG_SZ data to carry its terminating zero.
  return store_.Write(ref.key, ref.name, RegType::String, EncodeUtf16Le(text) + std::string(2, '\0'));
}

bool Registry::WriteRegBytes(const std::wstring& name, std::string_view bytes) {
  ValueRef ref = Split(keyPath_ + name);
  return store_.Write(ref.key, ref.name, RegType::Binary, bytes);
}

bool Registry::DeleteRegValue(const std::wstring& name, bool absolute) {
  ValueRef ref = Split(absolute ? name : keyPath_ + name);
  return store_.Delete(ref.key, ref.name);
}
