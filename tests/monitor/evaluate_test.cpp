#include <doctest/doctest.h>

#include "engine_fixture.h"

namespace {

constexpr int64_t kOut = -2;  // parameter left out of a pass

// Count of log entries that start with the level and contain the text.
size_t Count(const std::vector<std::wstring>& entries, const std::wstring& level, const std::wstring& text) {
  size_t n = 0;
  for (const auto& e : entries) n += e.rfind(level + L"\t", 0) == 0 && e.find(text) != std::wstring::npos;
  return n;
}

}  // namespace

TEST_CASE("values are judged against the notification value") {
  Settings settings;
  ParameterRecord cpu(0), memory(1), process(6), threads(5);
  CHECK(cpu.IsBadValue(95, settings));  // the boundary itself is bad
  CHECK_FALSE(cpu.IsBadValue(94, settings));
  CHECK(cpu.IsBadValue(-1, settings));
  CHECK(memory.IsBadValue(100, settings));
  CHECK_FALSE(memory.IsBadValue(101, settings));
  CHECK_FALSE(process.IsBadValue(1, settings));
  CHECK(process.IsBadValue(0, settings));
  CHECK(process.IsBadValue(-1, settings));
  settings.Parameters.notificationValue[5].Set(L"");
  CHECK(threads.IsBadValue(0, settings));  // empty reads as 0: everything is beyond it
}

TEST_CASE("the history keeps the newest thousand values") {
  ParameterRecord record(0);
  CHECK(record.LastValue() == -1);
  for (int64_t v = 1; v <= 1001; ++v) record.AddValue(v);
  CHECK(record.history.size() == 1000);
  CHECK(record.history.front() == 2);
  CHECK(record.LastValue() == 1001);
}

TEST_CASE("channel states follow the bad tail and each threshold") {
  Settings settings;  // thresholds 3, 5, 10
  ParameterRecord record(0);
  auto states = [&] {
    record.UpdateStates(settings);
    return std::vector<ParameterState>(record.states.begin(), record.states.end());
  };
  using S = ParameterState;
  CHECK(states() == std::vector<S>{S::Ok, S::Ok, S::Ok});
  for (int i = 0; i < 2; ++i) record.AddValue(99);
  CHECK(states() == std::vector<S>{S::Warning, S::Warning, S::Warning});
  record.AddValue(99);
  CHECK(states() == std::vector<S>{S::Error, S::Warning, S::Warning});
  CHECK(record.CountBadTail(settings) == 3);
  record.AddValue(10);
  CHECK(states() == std::vector<S>{S::Ok, S::Ok, S::Ok});
  settings.CustomNotify.CustomThreshold = 0;  // error at once, even with no history
  record.ClearHistory();
  CHECK(states()[2] == S::Error);
}

TEST_CASE("the processor overload scenario notifies once per step") {
  EngineFixture f;
  f.settings.UiNotify.UINotifyAgain = true;
  f.Pass({96});
  f.Pass({97});
  f.Pass({98});
  CHECK(f.monitor.Records()[0].State(NotifyChannel::Ui) == ParameterState::Error);

  SUBCASE("a good value ends the episode with the return and the recovery entries") {
    f.Pass({50});
    auto entries = f.LogEntries();
    REQUIRE(entries.size() == 4);
    CHECK(entries[0].rfind(L"Warning\tCPU Usage on Localhost Warning. ", 0) == 0);
    CHECK(entries[0].find(L" 96 % current value. 95 % error value.") != std::wstring::npos);
    CHECK(entries[1].rfind(L"Error\tCPU Usage on Localhost Error. ", 0) == 0);
    CHECK(entries[1].find(L"98 % current value. 95 % error value. Send tray icon notification.") !=
          std::wstring::npos);
    CHECK(entries[2].rfind(L"Info\tCPU Usage on Localhost is OK. ", 0) == 0);
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
  SUBCASE("without notify-again the return is silent but the recovery is logged") {
    f.settings.UiNotify.UINotifyAgain = false;
    f.Pass({50});
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
  SUBCASE("switching the channel off ends the episode without a return message") {
    f.settings.UiNotify.UIEnabled = false;
    f.Pass({99});
    auto entries = f.LogEntries();
    REQUIRE(entries.size() == 3);
    CHECK(entries[2] == L"Info\tState change from ERROR to OK.");
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
  f.Pass({99});
  CHECK(f.launcher.files == std::vector<std::wstring>{L"alarm.cmd"});
  f.mail.result = 42;  // the mail fails; the episode still counts it as given
  f.Pass({99});
  f.Pass({99});
  CHECK(f.mail.subjects == std::vector<std::wstring>{L"CPU Usage on Localhost Error."});
  auto entries = f.LogEntries();
  CHECK(Count(entries, L"Error", L"Send custom notification.") == 1);
  CHECK(Count(entries, L"Error", L" E-mail notification failed.") == 1);
  CHECK(Count(entries, L"Warning", L"Warning.") == 1);
}

TEST_CASE("threshold one skips the warning entry; threshold zero never recovers") {
  EngineFixture f;
  f.settings.UiNotify.UIThreshold = 1;
  f.Pass({99});
  CHECK(f.LogEntries().size() == 1);
  CHECK(f.LogEntries()[0].rfind(L"Error\t", 0) == 0);

  f.settings.UiNotify.UIThreshold = 0;
  f.Pass({10});
  f.Pass({10});
  CHECK(Count(f.LogEntries(), L"Error", L"CPU Usage") == 1);
  CHECK(Count(f.LogEntries(), L"Info", L"") == 0);
}

TEST_CASE("recovery is reported once the last error clears") {
  EngineFixture f;
  f.settings.Parameters.enable[5] = true;  // threads
  f.settings.UiNotify.UIThreshold = 1;
  f.Pass({99, 5000, kOut, kOut, kOut, 5000});
  f.Pass({10, 5000, kOut, kOut, kOut, 5000});
  auto recovered = [&] { return Count(f.LogEntries(), L"Info", L"State change from ERROR to OK."); };
  CHECK(recovered() == 0);
  f.Pass({10, 5000, kOut, kOut, kOut, 10});
  CHECK(recovered() == 1);
  CHECK(f.host.calls.back() == L"icon 202");
}

TEST_CASE("the user-interface actions follow their switches") {
  EngineFixture f;
  f.settings.UiNotify.UIThreshold = 1;
  SUBCASE("every action, icon through the balloon only") {
    f.settings.UiNotify.UIPlaySound = true;
    f.settings.UiNotify.UIWindow = true;
    f.settings.UiNotify.UIMessageBox = true;
    f.Pass({99});
    CHECK(f.host.calls == std::vector<std::wstring>{L"balloon CPU Usage on Localhost Error. 203 3", L"sound",
                                                    L"window", L"box CPU Usage on Localhost Error. 0"});
  }
  SUBCASE("no balloon: the icon alone") {
    f.settings.UiNotify.UIBalloon = false;
    f.Pass({99});
    CHECK(f.host.calls == std::vector<std::wstring>{L"icon 203"});
  }
  SUBCASE("nothing switched on still logs") {
    f.settings.UiNotify.UIBalloon = false;
    f.settings.UiNotify.UITrayIcon = false;
    f.Pass({99});
    CHECK(f.host.calls.empty());
    CHECK(f.LogEntries()[0].find(L" Send tray icon notification.") != std::wstring::npos);
  }
}

TEST_CASE("notification texts") {
  EngineFixture f;
  Notificator notificator(f.settings, f.log, f.host, f.mail, f.launcher, f.monitor.Records(), f.monitor.Lock());
  f.settings.Connection.local = false;
  f.settings.Connection.server.Set(L"srv01");
  f.settings.Parameters.diskName.Set(L"C:");
  CHECK(notificator.BuildSubject(4, ParameterState::Warning) == L"Disk Uage (C:) on srv01 Warning.");
  CHECK(ParameterDisplayName(5, f.settings.Parameters) == L"Threads");

  std::wstring body = notificator.BuildBody(0, -1, ParameterState::Error);
  CHECK(body.find(L"\nN/A current value.\n95 % error value.") != std::wstring::npos);
  CHECK(notificator.BuildBody(6, 1, ParameterState::Ok).ends_with(L"\nProcess closed."));
  CHECK(Notificator::FlattenBody(L"a\nb\nc") == L" a b c");
}
