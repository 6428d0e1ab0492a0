#include <doctest/doctest.h>

#include "common/platform_services.h"
#include "notify/message_texts.h"
#include "support/engine_fixture.h"

namespace {

constexpr int64_t kOut = -2;  // parameter left out of a pass

}  // namespace

TEST_CASE("channels reach error on their own thresholds") {
  EngineFixture f;
  f.settings.EMail.EMailEnabled = true;
  f.settings.CustomNotify.CustomEnabled = true;
  f.settings.CustomNotify.CustomThreshold = 4;
  f.settings.CustomNotify.CustomFile.Set(L"alarm.cmd");
  for (int i = 0; i < 3; ++i) f.Pass({99});
  CHECK(f.mail.subjects.empty());
  f.launcher.result = 2;  // the file is missing
  f.Pass({99});
  CHECK(f.launcher.files == std::vector<std::wstring>{L"alarm.cmd"});
  f.mail.result = 42;  // the mail fails; the episode still counts it as given
  f.Pass({99});
  f.Pass({99});
  CHECK(f.mail.subjects == std::vector<std::wstring>{L"CPU Usage on Localhost Error."});
  auto entries = f.LogEntries();
  CHECK(CountEntries(entries, L"Error", L"Send custom notification.") == 1);
  CHECK(CountEntries(entries, L"Error", L"CPU Usage on Localhost Error. Custom notification failed: " + SystemErrorText(2)) ==
        1);
  CHECK(CountEntries(entries, L"Error", L" E-mail notification failed.") == 1);
  CHECK(CountEntries(entries, L"Warning", L"Warning.") == 1);
}

TEST_CASE("recovery: never under threshold zero, else once the last error clears") {
  EngineFixture f;
  f.settings.UiNotify.UIThreshold = 1;
  SUBCASE("threshold zero") {
    f.Pass({99});
    f.settings.UiNotify.UIThreshold = 0;
    f.Pass({10});
    f.Pass({10});
    CHECK(CountEntries(f.LogEntries(), L"Error", L"CPU Usage") == 1);
    CHECK(CountEntries(f.LogEntries(), L"Info", L"") == 0);
  }
  SUBCASE("two parameters in error") {
    f.settings.Parameters.enable[5] = true;  // threads
    f.Pass({99, 5000, kOut, kOut, kOut, 5000});
    f.Pass({10, 5000, kOut, kOut, kOut, 5000});
    CHECK(CountEntries(f.LogEntries(), L"Info", L"") == 0);
    CHECK(f.monitor.TrayIcon().After(TrayIconEvent::Refresh, false) == kIconAlert);  // the second still stands
    f.Pass({10, 5000, kOut, kOut, kOut, 10});
    CHECK(CountEntries(f.LogEntries(), L"Info", L"State change from ERROR to OK.") == 1);
    CHECK(f.host.calls.back() == L"icon 202");
  }
}

TEST_CASE("the user-interface actions follow their switches; threshold one logs the error without a warning") {
  const struct { bool balloon, icon, extras; std::vector<std::wstring> calls; } cases[] = {
      {true, true, true,
       {L"balloon CPU Usage on Localhost Error. 203 3", L"sound", L"window", L"box CPU Usage on Localhost Error. 0"}},
      {false, true, false, {L"icon 203"}},
      {false, false, false, {}},
  };
  for (const auto& c : cases) {
    INFO(c.balloon << c.icon << c.extras);
    EngineFixture f;
    f.settings.UiNotify.UIThreshold = 1;
    f.settings.UiNotify.UIBalloon = c.balloon;
    f.settings.UiNotify.UITrayIcon = c.icon;
    f.settings.UiNotify.UIPlaySound = f.settings.UiNotify.UIWindow = f.settings.UiNotify.UIMessageBox = c.extras;
    f.Pass({99});
    CHECK(f.host.calls == c.calls);
    auto entries = f.LogEntries();
    REQUIRE(entries.size() == 1);
    CHECK(entries[0].rfind(L"Error\t", 0) == 0);
    CHECK(entries[0].find(L" Send tray icon notification.") != std::wstring::npos);
  }
}

TEST_CASE("notification texts") {
  Settings settings;
  settings.Connection.local = false;
  settings.Connection.server.Set(L"srv01");
  settings.Parameters.diskName.Set(L"C:");
  CHECK(BuildSubject(settings, 4, ParameterState::Warning) == L"Disk Uage (C:) on srv01 Warning.");
  CHECK(BuildBody(settings, 0, -1, ParameterState::Error).find(L"\nN/A current value.\n95 % error value.") !=
        std::wstring::npos);
  CHECK(BuildBody(settings, 6, 1, ParameterState::Ok).ends_with(L"\nProcess closed."));
}
