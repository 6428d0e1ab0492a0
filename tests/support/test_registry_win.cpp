#include <windows.h>

#include <atomic>

#include "support/test_registry.h"

namespace {
constexpr wchar_t kTestRoot[] = L"Software\\Varnalis Tests";
}

TestRegistry::TestRegistry() {
  static std::atomic<int> counter{0};
  keyPath_ = std::wstring(kTestRoot) + L"\\" + std::to_wstring(GetCurrentProcessId()) + L"-" +
             std::to_wstring(counter++) + L"\\";
}

TestRegistry::~TestRegistry() {
  std::wstring key = keyPath_.substr(0, keyPath_.size() - 1);
  RegDeleteTreeW(HKEY_CURRENT_USER, key.c_str());
  RegDeleteKeyW(HKEY_CURRENT_USER, key.c_str());
}

std::unique_ptr<RegistryStore> TestRegistry::OpenStore() const { return OpenUserRegistry(); }
