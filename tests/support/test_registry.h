#pragma once
// A real, empty settings store for one test: a hive file in a temporary
// folder on Linux, a key of its own under HKEY_CURRENT_USER on Windows.
#include <memory>
#include <string>

#include "settings/registry.h"
#include "support/temp_dir.h"

class TestRegistry {
 public:
  TestRegistry();
  ~TestRegistry();
  TestRegistry(const TestRegistry&) = delete;
  TestRegistry& operator=(const TestRegistry&) = delete;

  // The settings key path, ending in a backslash.
  const std::wstring& KeyPath() const { return keyPath_; }
  // A store on the test's data, as the next start of the program would open it.
  std::unique_ptr<RegistryStore> OpenStore() const;

 private:
  TempDir dir_;
  std::wstring keyPath_;
};
