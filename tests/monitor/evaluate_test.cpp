#include <doctest/doctest.h>

#include "common/platform_services.h"
#include "engine_fixture.h"
#include "monitor/parameter_view.h"
#include "notify/message_texts.h"

namespace {

constexpr int64_t kOut = -2;  // parameter left out of a pass

// Count of log entries that start with the level and contain the text.
size_t Count(const std::vector<std::wstring>& entries, const std::wstring& level, const std::wstring& text) {
  size_t n = 0;
  for (const auto& e : entries) n += e.rfind(level + L"\t", 0) == 0 && e.find(text) != std::wstring::npos;
  return n;
}

}  // namespace

TEST_CASE("values are judged against the notification value; the history keeps the newest thousand") {
  Settings settings;
  const struct { int id; int64_t value; bool bad; } cases[] = {
      {0, 95, true}, {0, 94, false}, {0, -1, true},     // the boundary itself is bad; N/A always is
      {1, 100, true}, {1, 101, false},                  // free memory: low is bad
      {6, 1, false}, {6, 0, true}, {6, -1, true},       // process: absent is bad
  };
  for (const auto& c : cases) {
    INFO(c.id << " " << c.value);
    CHECK(ParameterRecord(c.id).IsBadValue(c.value, settings) == c.bad);
  }
  settings.Parameters.notificationValue[5].Set(L"");
  CHECK(ParameterRecord(5).IsBadValue(0, settings));  // empty reads as 0: everything is beyond it

  ParameterRecord record(0);
  CHECK(record.LastValue() == -1);
  for (int64_t v = 1; v <= 1001; ++v) record.AddValue(v);
  CHECK(record.history.size() == 1000);
  CHECK(record.history.front() == 2);
  CHECK(record.LastValue() == 1001);

  settings.CustomNotify.CustomThreshold = 0;  // error at once, even with no history
  record.ClearHistory();
  record.UpdateStates(settings);
  CHECK(record.State(NotifyChannel::Custom) == ParameterState::Error);
}

TEST_CASE("the processor overload scenario notifies once per step") {
  EngineFixture f;
  f.settings.UiNotify.UINotifyAgain = true;
  for (int v : {96, 97, 98}) f.Pass({v});
  CHECK(f.monitor.Records()[0].State(NotifyChannel::Ui) == ParameterState::Error);

  SUBCASE("a good value ends the episode with the return and the recovery entries") {
    f.Pass({50});
    auto entries = f.LogEntries();
    REQUIRE(entries.size() == 4);
    CHECK(entries[0].find(L" 96 % current value. 95 % error value.") != std::wstring::npos);
    CHECK(entries[1].find(L"98 % current value. 95 % error value. Send tray icon notification.") !=
          std::wstring::npos);
    CHECK(entries[2].find(L" 50 % current value.") != std::wstring::npos);
    CHECK(entries[3] == L"Info\tState change from ERROR to OK.");
    CHECK(f.host.calls == std::vector<std::wstring>{L"balloon CPU Usage on Localhost Error. 203 3",
                                                    L"balloon CPU Usage on Localhost is OK. 0 1", L"icon 202"});
  }
  SUBCASE("staying bad notifies nothing new") {
    f.Pass({99});
    f.Pass({99});
    CHECK(f.LogEntries().size() == 2);
    CHECK(f.host.calls.size() == 1);
  }
  SUBCASE("without notify-again, or with the channel switched off, the end is silent but logged") {
    SUBCASE("notify-again off") {
      f.settings.UiNotify.UINotifyAgain = false;
      f.Pass({50});
    }
    SUBCASE("channel off") {
      f.settings.UiNotify.UIEnabled = false;
      f.Pass({99});
    }
    auto entries = f.LogEntries();
    REQUIRE(entries.size() == 3);
    CHECK(entries[2] == L"Info\tState change from ERROR to OK.");
  }
  SUBCASE("a new episode warns and notifies again") {
    f.Pass({50});
    for (int i = 0; i < 3; ++i) f.Pass({97});
    auto entries = f.LogEntries();
    CHECK(Count(entries, L"Warning", L"CPU Usage on Localhost Warning.") == 2);
    CHECK(Count(entries, L"Error", L"Send tray icon notification.") == 2);
  }
}

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
  CHECK(Count(entries, L"Error", L"Send custom notification.") == 1);
  CHECK(Count(entries, L"Error", L"CPU Usage on Localhost Error. Custom notification failed: " + SystemErrorText(2)) ==
        1);
  CHECK(Count(entries, L"Error", L" E-mail notification failed.") == 1);
  CHECK(Count(entries, L"Warning", L"Warning.") == 1);
}

TEST_CASE("recovery: never under threshold zero, else once the last error clears") {
  EngineFixture f;
  f.settings.UiNotify.UIThreshold = 1;
  SUBCASE("threshold zero") {
    f.Pass({99});
    f.settings.UiNotify.UIThreshold = 0;
    f.Pass({10});
    f.Pass({10});
    CHECK(Count(f.LogEntries(), L"Error", L"CPU Usage") == 1);
    CHECK(Count(f.LogEntries(), L"Info", L"") == 0);
  }
  SUBCASE("two parameters in error") {
    f.settings.Parameters.enable[5] = true;  // threads
    f.Pass({99, 5000, kOut, kOut, kOut, 5000});
    f.Pass({10, 5000, kOut, kOut, kOut, 5000});
    CHECK(Count(f.LogEntries(), L"Info", L"") == 0);
    f.Pass({10, 5000, kOut, kOut, kOut, 10});
    CHECK(Count(f.LogEntries(), L"Info", L"State change from ERROR to OK.") == 1);
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

TEST_CASE("a window's snapshot: the newest 36 values oldest first, the pass's values or the newest ones") {
  Settings settings;
  ParameterRecords records{ParameterRecord(0), ParameterRecord(1), ParameterRecord(2), ParameterRecord(3),
                           ParameterRecord(4), ParameterRecord(5), ParameterRecord(6), ParameterRecord(7)};
  for (int64_t v = 1; v <= 40; ++v) records[0].AddValue(v);
  records[2].AddValue(7);  // switched off by default
  PassSnapshot opened = SnapshotParameters(records, settings, nullptr);
  CHECK(opened[0].recent.size() == 36);
  CHECK(opened[0].recent.front() == 5);
  CHECK(opened[0].recent.back() == 40);
  CHECK(opened[0].value == 40);
  CHECK(opened[1].value == -1);  // watched, nothing measured yet
  CHECK(opened[2].value == -1);  // not watched
  CHECK(opened[2].state.mark == kRowOff);
  PassValues values{};
  values[0] = 12;
  CHECK(SnapshotParameters(records, settings, &values)[0].value == 12);
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
