#include <doctest/doctest.h>

#include <atomic>
#include <thread>

#include "common/utf16.h"
#include "settings/registry.h"
#include "settings/settings.h"
#include "settings/settings_table.h"
#include "support/test_registry.h"

namespace {

// What a value holds, as raw bytes, through a fresh store.
std::optional<std::string> Raw(const TestRegistry& reg, const std::wstring& name) {
  auto store = reg.OpenStore();
  std::wstring full = reg.KeyPath() + name;
  size_t slash = full.rfind(L'\\');
  return store->Read(full.substr(0, slash), full.substr(slash + 1));
}

std::string Wide(const std::wstring& text) { return EncodeUtf16Le(text); }

void Save(const TestRegistry& reg, Settings& settings) {
  auto store = reg.OpenStore();
  Registry registry(*store, reg.KeyPath());
  REQUIRE(settings.SaveSettings(registry));
}

void Load(const TestRegistry& reg, Settings& settings) {
  auto store = reg.OpenStore();
  Registry registry(*store, reg.KeyPath());
  REQUIRE(settings.LoadSettings(registry));
}

void WriteRaw(const TestRegistry& reg, const std::wstring& name, const std::string& bytes) {
  auto store = reg.OpenStore();
  Registry registry(*store, reg.KeyPath());
  REQUIRE(registry.WriteRegBytes(name, bytes));
  std::wstring error;
  REQUIRE(registry.Commit(error));
}

}  // namespace

TEST_CASE("first start keeps the defaults and the first exit stores every value") {
  TestRegistry reg;
  Settings settings;
  Load(reg, settings);
  CHECK(settings.Connection.period == 30000);
  CHECK(settings.Parameters.notificationValue[0].Get() == L"95");
  Save(reg, settings);

  CHECK(Raw(reg, L"Connection\\period") == Wide(L"30000"));
  CHECK(Raw(reg, L"Connection\\local") == Wide(L"1"));
  CHECK(Raw(reg, L"Interface\\dlgX") == Wide(L"-1"));
  CHECK(Raw(reg, L"Notifications\\EMailPort") == Wide(L"25"));
  CHECK(Raw(reg, L"Parameters\\enable0") == Wide(L"1"));
  CHECK(Raw(reg, L"Parameters\\enable2") == Wide(L"0"));
  CHECK(Raw(reg, L"Parameters\\notificationValue5") == Wide(L"1000"));
  CHECK(Raw(reg, L"Log\\Filename") == Wide(L"log.txt"));
  // Empty texts are stored as empty values, so clearing a field sticks.
  CHECK(Raw(reg, L"Connection\\server") == std::string());
  CHECK(Raw(reg, L"Notifications\\EMailServer") == std::string());
  for (const SettingRef& ref : SettingsTable(settings)) {
    CAPTURE(ToUtf8(ref.name));
    CHECK(Raw(reg, ref.name).has_value());
  }

  Settings again;
  Load(reg, again);
  CHECK(again.Interface.dlgX == -1);
}

TEST_CASE("every setting survives a save and a load") {
  TestRegistry reg;
  Settings settings;
  std::vector<SettingRef> table = SettingsTable(settings);
  int n = 0;
  for (const SettingRef& ref : table) {
    std::wstring error;
    ++n;
    if (std::holds_alternative<BoolSetting*>(ref.field)) {
      REQUIRE(SetSettingFromUser(ref, n % 2 ? L"1" : L"0", error));
    } else if (std::holds_alternative<WideSetting*>(ref.field) && ref.name.find(L"notificationValue") == std::wstring::npos) {
      std::wstring text = L"t\u00e9xt \"" + std::to_wstring(n) + L"\\";
      text += static_cast<wchar_t>(0x1F600);  // stored as a surrogate pair
      REQUIRE(SetSettingFromUser(ref, text, error));
    } else {
      REQUIRE(SetSettingFromUser(ref, std::to_wstring(n * 7), error));
    }
  }
  Save(reg, settings);
  Settings loaded;
  Load(reg, loaded);
  std::vector<SettingRef> back = SettingsTable(loaded);
  for (size_t i = 0; i < table.size(); ++i) {
    CAPTURE(ToUtf8(table[i].name));
    CHECK(SettingText(back[i]) == SettingText(table[i]));
  }
  CHECK(loaded.Parameters.webServerName.Get() == settings.Parameters.webServerName.Get());
}

TEST_CASE("a cleared text stays cleared at the next start") {
  TestRegistry reg;
  Settings settings;
  settings.Connection.server.Set(L"watched-host");
  settings.EMail.EMailServer.Set("smtp.example.net");
  Save(reg, settings);
  settings.Connection.server.Set(L"");
  settings.EMail.EMailServer.Set("");
  Save(reg, settings);
  Settings loaded;
  Load(reg, loaded);
  CHECK(loaded.Connection.server.Get().empty());
  CHECK(loaded.EMail.EMailServer.Get().empty());
}

TEST_CASE("read-back rules") {
  TestRegistry reg;
  WriteRaw(reg, L"Connection\\local", Wide(L"0"));
  Settings settings;
  Load(reg, settings);
  CHECK(settings.Connection.period == 0);  // missing number reads as 0
  CHECK(settings.Connection.local == false);
  CHECK(settings.UiNotify.UIEnabled == false);  // missing bool reads as false
  CHECK(settings.Log.Filename.Get().empty());

  WriteRaw(reg, L"Notifications\\UIEnabled", Wide(L"true"));
  WriteRaw(reg, L"Notifications\\UIBalloon", Wide(L"1 "));
  WriteRaw(reg, L"Main\\HideIcon", "1");  // one byte: a code unit with a zero high byte
  WriteRaw(reg, L"Connection\\period", Wide(L"  42abc"));
  WriteRaw(reg, L"Log\\MaxSize", Wide(L"abc"));
  WriteRaw(reg, L"Interface\\dlgX", Wide(L"-99999999999"));
  WriteRaw(reg, L"Notifications\\EMailPort", Wide(L"70000"));
  WriteRaw(reg, L"Connection\\server", Wide(L"host") + std::string(2, '\0') + Wide(L"junk"));
  WriteRaw(reg, L"Notifications\\EMailUser", std::string("user\0junk", 9));
  Load(reg, settings);
  CHECK(settings.UiNotify.UIEnabled == false);
  CHECK(settings.UiNotify.UIBalloon == false);
  CHECK(settings.Main.HideIcon == true);
  CHECK(settings.Connection.period == 42);
  CHECK(settings.Log.MaxSize == 0);
  CHECK(settings.Interface.dlgX == INT32_MIN);
  CHECK(settings.EMail.EMailPort == 70000 % 65536);
  CHECK(settings.Connection.server.Get() == L"host");
  CHECK(settings.EMail.EMailUser.Get() == "user");
}

TEST_CASE("large values") {
  TestRegistry reg;
  Settings settings;
  std::wstring big(1 << 20, L'x');
  big[12345] = L'\u4e2d';
  settings.CustomNotify.CustomArg.Set(big);
  Save(reg, settings);
  Settings loaded;
  Load(reg, loaded);
  CHECK(loaded.CustomNotify.CustomArg.Get() == big);
}

TEST_CASE("absolute writes are REG_SZ with their terminating zero; values can be deleted") {
  TestRegistry reg;
  auto store = reg.OpenStore();
  Registry registry(*store, reg.KeyPath());
  std::wstring runKey = reg.KeyPath() + L"Run\\Entry";
  REQUIRE(registry.WriteRegText(runKey, L"\"C:\\app.exe\" autorun", true));
  std::wstring error;
  REQUIRE(registry.Commit(error));
  CHECK(Raw(reg, L"Run\\Entry") == Wide(L"\"C:\\app.exe\" autorun") + std::string(2, '\0'));
  CHECK(registry.ReadRegText(L"Run\\Entry") == L"\"C:\\app.exe\" autorun");
  CHECK(registry.DeleteRegValue(runKey, true));
  CHECK_FALSE(registry.DeleteRegValue(runKey, true));
  REQUIRE(registry.Commit(error));
  CHECK_FALSE(Raw(reg, L"Run\\Entry").has_value());
}

TEST_CASE("the pages may change texts while the monitor thread reads and saves them") {
  TestRegistry reg;
  Settings settings;
  auto store = reg.OpenStore();
  Registry registry(*store, reg.KeyPath());
  std::atomic<bool> stop{false};
  std::thread writer([&] {
    for (int i = 0; !stop; ++i) {
      settings.Connection.server.Set(i % 2 ? std::wstring(100, L'a') : L"b");
      settings.Parameters.notificationValue[3].Set(std::to_wstring(i));
      settings.Connection.period = i;
      settings.EMail.EMailServer.Set(i % 2 ? "x" : std::string(64, 'y'));
    }
  });
  for (int i = 0; i < 50; ++i) {
    std::wstring server = settings.Connection.server.Get();
    CHECK((server.empty() || server == L"b" || server == std::wstring(100, L'a')));
    CHECK(settings.SaveSettings(registry));
  }
  stop = true;
  writer.join();
}
