#include "settings/registry_file.h"
#include "support/test_registry.h"

// The hive file is the test's own, so the real key path can be used.
TestRegistry::TestRegistry() : keyPath_(DefaultSettingsKeyPath()) {}

TestRegistry::~TestRegistry() = default;

std::unique_ptr<RegistryStore> TestRegistry::OpenStore() const { return OpenRegistryFile(dir_.File(L"settings.reg")); }
