#include <doctest/doctest.h>

#include "monitor/parameter_view.h"
#include "support/engine_fixture.h"

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
    CHECK(CountEntries(entries, L"Warning", L"CPU Usage on Localhost Warning.") == 2);
    CHECK(CountEntries(entries, L"Error", L"Send tray icon notification.") == 2);
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
