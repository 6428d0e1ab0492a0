#include <doctest/doctest.h>

#include <algorithm>
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

// Through a fresh store, as one run of the program would.
void SaveOrLoad(const TestRegistry& reg, Settings& settings, bool save) {
  auto store = reg.OpenStore();
  Registry registry(*store, reg.KeyPath());
  REQUIRE((save ? settings.SaveSettings(registry) : settings.LoadSettings(registry)));
}

}  // namespace

TEST_CASE("first start keeps the defaults and its exit stores every value; every setting survives a save and a load; "
          "a cleared text stays cleared") {
  TestRegistry reg;
  Settings settings;
  SaveOrLoad(reg, settings, false);
  CHECK(settings.Connection.period == 30000);
  SaveOrLoad(reg, settings, true);
  CHECK(Raw(reg, L"Connection\\period") == Wide(L"30000"));
  CHECK(Raw(reg, L"Interface\\dlgX") == Wide(L"-1"));
  std::vector<SettingRef> table = SettingsTable(settings);
  for (const SettingRef& ref : table) {
    CAPTURE(ToUtf8(ref.name));
    CHECK(Raw(reg, ref.name).has_value());
  }

  int n = 0;
  for (const SettingRef& ref : table) {
    std::wstring text = std::to_wstring(++n * 7), error;
    if (ref.range) {
      text = std::to_wstring(std::min<int64_t>(n * 7, ref.range->high));
    } else if (std::holds_alternative<BoolSetting*>(ref.field)) {
      text = n % 2 ? L"1" : L"0";
    } else if (std::holds_alternative<WideSetting*>(ref.field)) {
      text = L"t\u00e9xt \"" + text + L"\\\U0001F600";  // a quote, a backslash, a surrogate pair
    }
    REQUIRE(SetSettingFromUser(ref, text, error));
  }
  std::wstring big(1 << 20, L'x');
  big[12345] = L'\u4e2d';
  settings.CustomNotify.CustomArg.Set(big);
  SaveOrLoad(reg, settings, true);
  Settings loaded;
  SaveOrLoad(reg, loaded, false);
  std::vector<SettingRef> back = SettingsTable(loaded);
  for (size_t i = 0; i < table.size(); ++i) {
    CAPTURE(ToUtf8(table[i].name));
    CHECK(SettingText(back[i]) == SettingText(table[i]));
  }

  settings.Connection.server.Set(L"");
  settings.EMail.EMailServer.Set("");
  SaveOrLoad(reg, settings, true);
  SaveOrLoad(reg, loaded, false);
  CHECK(loaded.Connection.server.Get().empty());
  CHECK(loaded.EMail.EMailServer.Get().empty());
}

TEST_CASE("saves merge value by value: each program writes what it changed and what is missing") {
  TestRegistry reg;
  // A console monitor that runs for a while, and `set`s made meanwhile.
  Settings monitor, admin, other;
  SaveOrLoad(reg, monitor, false);
  SaveOrLoad(reg, admin, false);
  admin.Connection.period = 5000;
  SaveOrLoad(reg, admin, true);
  monitor.Connection.server.Set(L"db01");
  SaveOrLoad(reg, monitor, true);
  CHECK(Raw(reg, L"Connection\\period") == Wide(L"5000"));
  CHECK(Raw(reg, L"Connection\\server") == Wide(L"db01"));

  // The same value changed by two: the later save wins. A reload makes
  // nothing count as changed, so a change made after it by another survives.
  SaveOrLoad(reg, other, false);
  other.Connection.period = 6000;
  monitor.Connection.period = 1;
  SaveOrLoad(reg, other, true);
  SaveOrLoad(reg, monitor, false);
  CHECK(monitor.Connection.period == 6000);
  admin.Connection.period = 7000;
  SaveOrLoad(reg, admin, true);
  SaveOrLoad(reg, monitor, true);
  CHECK(Raw(reg, L"Connection\\period") == Wide(L"7000"));

  // A value removed from the store comes back; one stored in a form of its
  // own is left as it is while nobody changes it.
  {
    auto store = reg.OpenStore();
    Registry registry(*store, reg.KeyPath());
    std::wstring error;
    REQUIRE(registry.BeginUpdate(error));
    REQUIRE(registry.DeleteRegValue(L"Connection\\server", false));
    REQUIRE(registry.WriteRegText(L"Log\\MaxSize", L" 42abc", false));
    REQUIRE(registry.Commit(error));
  }
  SaveOrLoad(reg, monitor, true);
  CHECK(Raw(reg, L"Connection\\server") == Wide(L"db01"));
  CHECK(Raw(reg, L"Log\\MaxSize") == Wide(L" 42abc"));
}

TEST_CASE("two programs counting in different settings at once lose nothing") {
  TestRegistry reg;
  Settings first;
  SaveOrLoad(reg, first, true);  // every value stored, as after any first run
#ifdef _WIN32
  constexpr int kRounds = 50;  // every registry call is a round trip to Wine's server
#else
  constexpr int kRounds = 200;
#endif
  std::atomic<int> failures{0};
  auto count = [&](IntSetting InterfaceSettings::*field) {
    for (int i = 0; i < kRounds; ++i) {
      auto store = reg.OpenStore();
      Registry registry(*store, reg.KeyPath());
      Settings settings;
      if (!settings.LoadSettings(registry)) ++failures;
      (settings.Interface.*field)++;
      if (!settings.SaveSettings(registry)) ++failures;
    }
  };
  std::thread x(count, &InterfaceSettings::dlgX);
  std::thread y(count, &InterfaceSettings::dlgY);
  x.join();
  y.join();
  CHECK(failures == 0);
  Settings last;
  SaveOrLoad(reg, last, false);
  CHECK(last.Interface.dlgX == kRounds - 1);
  CHECK(last.Interface.dlgY == kRounds - 1);
}

TEST_CASE("read-back rules") {
  TestRegistry reg;
  // Once anything is stored, a missing value reads as 0, false or empty.
  const struct { const wchar_t* name; std::optional<std::string> stored; const wchar_t* read; } cases[] = {
      {L"Connection\\local", Wide(L"0"), L"0"},
      {L"Interface\\dlgY", std::nullopt, L"0"},
      {L"Log\\SaveLog", std::nullopt, L"0"},
      {L"Log\\Filename", std::nullopt, L""},
      {L"Notifications\\UIEnabled", Wide(L"true"), L"0"},
      {L"Notifications\\UIBalloon", Wide(L"1 "), L"0"},
      {L"Main\\HideIcon", "1", L"1"},  // one byte: a code unit with a zero high byte
      {L"Connection\\period", Wide(L"  42abc"), L"42"},
      {L"Log\\MaxSize", Wide(L"abc"), L"0"},
      {L"Interface\\dlgX", Wide(L"-99999999999"), L"-2147483648"},
      {L"Notifications\\UIThreshold", Wide(L"\t+99999999999"), L"2147483647"},
      {L"Notifications\\EMailPort", Wide(L"70000"), L"4464"},  // the low 16 bits
      {L"Connection\\server", Wide(L"host") + std::string(2, '\0') + Wide(L"junk"), L"host"},
      {L"Notifications\\EMailUser", std::string("user\0junk", 9), L"user"},
      {L"Notifications\\EMailServer", "caf\xE9", L"caf\u00e9"},  // not UTF-8: byte by byte
  };
  {
    auto store = reg.OpenStore();
    Registry registry(*store, reg.KeyPath());
    for (const auto& c : cases) {
      if (c.stored) REQUIRE(registry.WriteRegBytes(c.name, *c.stored));
    }
    std::wstring error;
    REQUIRE(registry.Commit(error));
  }
  Settings settings;
  SaveOrLoad(reg, settings, false);
  std::vector<SettingRef> table = SettingsTable(settings);
  for (const auto& c : cases) {
    CAPTURE(ToUtf8(c.name));
    const SettingRef* ref = FindSetting(table, c.name);
    REQUIRE(ref);
    CHECK(ToUtf8(SettingText(*ref)) == ToUtf8(c.read));
  }
}

TEST_CASE("what may be set is each row's range, a notification value's that of its parameter") {
  Settings settings;
  std::vector<SettingRef> table = SettingsTable(settings);
  const struct { const wchar_t* name; const wchar_t* typed; const wchar_t* stored; } cases[] = {  // null: refused
      {L"Parameters\\notificationValue0", L"100", L"100"}, {L"Parameters\\notificationValue0", L"500", nullptr},
      {L"Parameters\\notificationValue4", L"101", nullptr}, {L"Parameters\\notificationValue0", L"-1", nullptr},
      {L"Parameters\\notificationValue6", L"1", L"1"},     {L"Parameters\\notificationValue6", L"2", nullptr},
      {L"Parameters\\notificationValue1", L"", L""},       {L"Parameters\\notificationValue1", L"+7", L"7"},
      {L"Parameters\\notificationValue1", L"007", L"007"}, {L"Parameters\\notificationValue1", L"9x", nullptr},
      {L"Parameters\\notificationValue5", L"2147483648", nullptr},
      {L"Connection\\period", L"-1", nullptr},             {L"Connection\\period", L"2147483647", L"2147483647"},
      {L"Notifications\\UIThreshold", L"1001", nullptr},   {L"Notifications\\EMailPort", L"65536", nullptr},
      {L"Notifications\\EMailPort", L"", nullptr},         {L"Interface\\dlgX", L"-1", L"-1"},
      {L"Log\\MaxSize", L"0", nullptr},                    {L"Log\\MaxSize", L"2147483647", L"2147483647"},
  };
  for (const auto& c : cases) {
    CAPTURE(ToUtf8(c.name));
    CAPTURE(ToUtf8(c.typed));
    const SettingRef* ref = FindSetting(table, c.name);
    REQUIRE(ref);
    std::wstring before = SettingText(*ref), error;
    CHECK(SetSettingFromUser(*ref, c.typed, error) == (c.stored != nullptr));
    CHECK(SettingText(*ref) == (c.stored ? c.stored : before));
  }
  std::wstring error;
  SetSettingFromUser(*FindSetting(table, L"Parameters\\notificationValue0"), L"500", error);
  CHECK(error == L"must be a whole number from 0 to 100, not \"500\"");
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
