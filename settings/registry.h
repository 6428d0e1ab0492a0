#pragma once
// The registry layer under HKEY_CURRENT_USER: every setting is a value named
// "Group\name" below the settings key, stored as REG_BINARY text.
#include <memory>
#include <optional>
#include <string>
#include <string_view>

enum class RegType : unsigned { String = 1, Binary = 3 };

// Where values live: the real registry on Windows, a file hive elsewhere.
// Keys are full paths below HKEY_CURRENT_USER, without a trailing backslash.
class RegistryStore {
 public:
  virtual ~RegistryStore() = default;
  // Takes a fresh look at the store. False when it cannot be used at all (a
  // hive file that cannot be parsed); error then says why.
  virtual bool Open(std::wstring& error) = 0;
  // Takes the store's write lock and a fresh look at it, so that a save can
  // merge with what other programs stored meanwhile. Commit releases the lock.
  virtual bool BeginUpdate(std::wstring& error) = 0;
  // The value's bytes whatever its type; nothing when the key or value is missing.
  virtual std::optional<std::string> Read(const std::wstring& key, const std::wstring& name) = 0;
  virtual bool Write(const std::wstring& key, const std::wstring& name, RegType type, std::string_view bytes) = 0;
  virtual bool Delete(const std::wstring& key, const std::wstring& name) = 0;
  // Makes the writes so far durable (over what other programs stored, value
  // by value) and releases the write lock.
  virtual bool Commit(std::wstring& error) = 0;
  // Where the values are, for messages.
  virtual std::wstring Location() const = 0;
};

// The current user's store.
std::unique_ptr<RegistryStore> OpenUserRegistry();

// "Software\Pellard Software\Varnalis 1.4\"
std::wstring DefaultSettingsKeyPath();

class Registry {
 public:
  Registry(RegistryStore& store, std::wstring settingsKeyPath);

  bool Open(std::wstring& error) { return store_.Open(error); }
  bool BeginUpdate(std::wstring& error) { return store_.BeginUpdate(error); }
  bool Commit(std::wstring& error) { return store_.Commit(error); }

  bool HasRegValue(const std::wstring& name) const;

  // Text up to the value's end or its first zero code unit; empty when unreadable.
  std::wstring ReadRegText(const std::wstring& name) const;
  // Bytes up to the value's end or its first zero byte; empty when unreadable.
  std::string ReadRegBytes(const std::wstring& name) const;
  // Relative: REG_BINARY UTF-16LE below the settings key. Absolute: REG_SZ at a
  // full key path and value name. An empty text is stored as an empty value.
  bool WriteRegText(const std::wstring& name, const std::wstring& text, bool absolute);
  bool WriteRegBytes(const std::wstring& name, std::string_view bytes);
  bool DeleteRegValue(const std::wstring& name, bool absolute);

  const std::wstring& SettingsKeyPath() const { return keyPath_; }

 private:
  RegistryStore& store_;
  std::wstring keyPath_;
};
