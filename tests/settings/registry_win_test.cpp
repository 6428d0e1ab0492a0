#include <windows.h>

#include <doctest/doctest.h>

#include "settings/registry.h"
#include "settings/settings.h"
#include "support/outside_program.h"
#include "support/test_registry.h"

namespace {

std::wstring KeyOf(const TestRegistry& reg, const std::wstring& group) { return reg.KeyPath() + group; }

// Type and bytes of a value, straight from the registry.
bool Query(const std::wstring& key, const wchar_t* name, DWORD& type, std::string& data) {
  data.resize(512);
  DWORD size = static_cast<DWORD>(data.size());
  bool ok = RegGetValueW(HKEY_CURRENT_USER, key.c_str(), name, RRF_RT_ANY | RRF_NOEXPAND, &type, data.data(),
                         &size) == ERROR_SUCCESS;
  data.resize(ok ? size : 0);
  return ok;
}

// Runs Wine's or Windows' own reg.exe, as an administrator would.
DWORD RunReg(const std::wstring& args) {
  wchar_t system[MAX_PATH] = {};
  REQUIRE(GetSystemDirectoryW(system, MAX_PATH) > 0);
  ScopedHandle reg = Start(std::wstring(system) + L"\\reg.exe", args);
  WaitForSingleObject(reg.Get(), 30000);
  DWORD code = 1;
  GetExitCodeProcess(reg.Get(), &code);
  return code;
}

}  // namespace

TEST_CASE("settings are REG_BINARY text under HKEY_CURRENT_USER") {
  TestRegistry reg;
  Settings settings;
  settings.EMail.EMailServer.Set("smtp.example.net");
  auto store = reg.OpenStore();
  Registry registry(*store, reg.KeyPath());
  REQUIRE(settings.SaveSettings(registry));

  DWORD type = 0;
  std::string data;
  REQUIRE(Query(KeyOf(reg, L"Connection"), L"period", type, data));
  CHECK(type == REG_BINARY);
  CHECK(data == std::string("3\0" "0\0" "0\0" "0\0" "0\0", 10));
  REQUIRE(Query(KeyOf(reg, L"Notifications"), L"EMailServer", type, data));
  CHECK(type == REG_BINARY);
  CHECK(data == "smtp.example.net");
  REQUIRE(Query(KeyOf(reg, L"Parameters"), L"notificationValue6", type, data));
  CHECK(data.empty());
}

TEST_CASE("values written by reg.exe with other types read back") {
  TestRegistry reg;
  std::wstring key = L"\"HKCU\\" + KeyOf(reg, L"Connection") + L"\"";
  REQUIRE(RunReg(L"add " + key + L" /v server /t REG_SZ /d remote-host /f") == 0);
  REQUIRE(RunReg(L"add " + key + L" /v period /t REG_SZ /d 15000 /f") == 0);
  REQUIRE(RunReg(L"add " + key + L" /v local /t REG_SZ /d 0 /f") == 0);  // settings are stored at all
  REQUIRE(RunReg(L"add " + key + L" /v user /t REG_DWORD /d 65 /f") == 0);
  auto store = reg.OpenStore();
  Registry registry(*store, reg.KeyPath());
  CHECK(registry.ReadRegText(L"Connection\\server") == L"remote-host");  // no terminating zero
  Settings settings;
  REQUIRE(settings.LoadSettings(registry));
  CHECK(settings.Connection.local == false);
  CHECK(settings.Connection.period == 15000);
  CHECK(settings.Connection.user.Get() == L"A");          // 41 00 00 00: up to the first zero unit
}

TEST_CASE("a value the registry refuses makes the save fail, naming it") {
  TestRegistry reg;
  auto store = reg.OpenStore();
  // Key names are at most 255 characters.
  Registry registry(*store, reg.KeyPath() + std::wstring(300, L'k') + L"\\");
  Settings settings;
  std::wstring error;
  CHECK_FALSE(settings.SaveSettings(registry, &error));
  CHECK(error == L"Cannot store Interface\\paramsName");
}
