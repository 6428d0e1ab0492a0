#pragma once
// The settings store of platforms without a registry: one hive file.
#include <memory>
#include <string>

#include "settings/registry.h"

// A store kept in the hive file at path.
std::unique_ptr<RegistryStore> OpenRegistryFile(const std::wstring& path);

// $XDG_CONFIG_HOME/Pellard Software/Varnalis 1.4/settings.reg, ~/.config when unset.
std::wstring UserSettingsFilePath();
