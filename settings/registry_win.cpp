#include <windows.h>

#include "common/scoped_win.h"
#include "settings/registry.h"

namespace {

// Every value is written on its own: the registry keeps each write whole, so
// there is nothing to lock or to commit.
class WinRegistryStore final : public RegistryStore {
 public:
  bool Open(std::wstring&) override { return true; }
  bool BeginUpdate(std::wstring&) override { return true; }

  std::optional<std::string> Read(const std::wstring& key, const std::wstring& name) override {
    ScopedRegKey k;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, KEY_QUERY_VALUE, k.Out()) != ERROR_SUCCESS) return std::nullopt;
    std::string data;
    // Size first, then the data; the value may grow in between, so ask again.
    for (int attempt = 0; attempt < 8; ++attempt) {
      DWORD size = 0;
      if (RegQueryValueExW(k.Get(), name.c_str(), nullptr, nullptr, nullptr, &size) != ERROR_SUCCESS)
        return std::nullopt;
      data.resize(size);
      LONG rc = RegQueryValueExW(k.Get(), name.c_str(), nullptr, nullptr,
                                 reinterpret_cast<BYTE*>(data.data()), &size);
      if (rc == ERROR_SUCCESS) {
        data.resize(size);
        return data;
      }
      if (rc != ERROR_MORE_DATA) return std::nullopt;
    }
    return std::nullopt;
  }

  bool Write(const std::wstring& key, const std::wstring& name, RegType type, std::string_view bytes) override {
    ScopedRegKey k;
    LONG rc = RegOpenKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, KEY_SET_VALUE, k.Out());
    if (rc == ERROR_FILE_NOT_FOUND) {
      rc = RegCreateKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE,
                           nullptr, k.Out(), nullptr);
    }
    if (rc != ERROR_SUCCESS) return false;
    return RegSetValueExW(k.Get(), name.c_str(), 0, static_cast<DWORD>(type),
                          reinterpret_cast<const BYTE*>(bytes.data()),
                          static_cast<DWORD>(bytes.size())) == ERROR_SUCCESS;
  }

  bool Delete(const std::wstring& key, const std::wstring& name) override {
    ScopedRegKey k;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, KEY_SET_VALUE, k.Out()) != ERROR_SUCCESS) return false;
    return RegDeleteValueW(k.Get(), name.c_str()) == ERROR_SUCCESS;
  }

  bool Commit(std::wstring&) override { return true; }

  std::wstring Location() const override { return L"HKEY_CURRENT_USER\\" + DefaultSettingsKeyPath(); }
};

}  // namespace

std::unique_ptr<RegistryStore> OpenUserRegistry() { return std::make_unique<WinRegistryStore>(); }
