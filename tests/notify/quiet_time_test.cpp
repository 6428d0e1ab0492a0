#include <doctest/doctest.h>

#include "notify/quiet_time.h"
#include "settings/settings.h"
#include "support/engine_fixture.h"

TEST_CASE("quiet windows: inside, outside, across midnight, and one that starts where it ends") {
  const struct {
    int from, to, minute;
    bool quiet;
  } rows[] = {
      {1320, 360, 1320, true},  {1320, 360, 0, true},     {1320, 360, 359, true}, {1320, 360, 360, false},
      {1320, 360, 720, false},  {1319, 1320, 1319, true}, {60, 120, 59, false},   {60, 120, 90, true},
      {600, 600, 600, false},   {0, 1439, 1439, false},   {0, 1439, 0, true},
  };
  for (const auto& r : rows) {
    CAPTURE(r.from);
    CAPTURE(r.to);
    CAPTURE(r.minute);
    CHECK(InQuietWindow(r.from, r.to, r.minute) == r.quiet);
  }
}

TEST_CASE("the hold's end in words: the later of pause and quiet hours, with the date a day or more away") {
  const LocalTime now{2026, 12, 7, 23, 15, 30, 60};  // 22:15:30 UTC
  const int64_t epoch = EpochSeconds(now);
  CHECK(epoch == 1796681730);
  const struct {
    bool quietHours;
    int32_t pausedUntil;
    bool held;
    const wchar_t* until;
  } rows[] = {
      {false, 0, false, L""},
      {true, 0, true, L"06:00"},                                   // quiet 22:00 to 06:00
      {false, -1, true, L"resumed"},
      {false, static_cast<int32_t>(epoch + 3600), true, L"00:15"},
      {false, static_cast<int32_t>(epoch - 1), false, L""},         // a pause that ran out
      {true, static_cast<int32_t>(epoch + 600), true, L"06:00"},    // quiet hours last longer
      {true, static_cast<int32_t>(epoch + 86400 * 2), true, L"23:15 on 09 Dec 2026"},
  };
  for (const auto& r : rows) {
    CAPTURE(r.pausedUntil);
    Settings settings;
    settings.Quiet.QuietHours = r.quietHours;
    settings.Quiet.PausedUntil = r.pausedUntil;
    Silence s = SilenceAt(settings.Quiet, now);
    CHECK(s.held == r.held);
    CHECK(s.until == r.until);
  }
}

TEST_CASE("held notifications: only the log and the icon hear of errors; at the end each still failing parameter notifies once per channel") {
  EngineFixture f;
  f.settings.UiNotify.UIThreshold = 1;
  f.settings.UiNotify.UIPlaySound = true;
  f.settings.EMail.EMailEnabled = true;
  f.settings.EMail.EMailThreshold = 1;
  f.settings.EMail.EMailNotifyAgain = true;
  f.settings.Webhook.WebhookEnabled = true;
  f.settings.Webhook.WebhookThreshold = 1;
  f.settings.Parameters.enable[5] = true;  // threads
  const int64_t epoch = EpochSeconds(f.now);
  SUBCASE("a pause") { f.settings.Quiet.PausedUntil = static_cast<int32_t>(epoch + 3600); }
  SUBCASE("quiet hours") {
    f.settings.Quiet.QuietHours = true;
    f.settings.Quiet.QuietFrom = 11 * 60;
    f.settings.Quiet.QuietTo = 13 * 60;
  }
  // Both parameters fail in the night; the threads recover before it ends.
  f.Pass({99, -2, -2, -2, -2, 5000});
  f.Pass({99, -2, -2, -2, -2, 5000});
  f.Pass({99, -2, -2, -2, -2, 10});
  CHECK(f.mail.subjects.empty());
  CHECK(f.posts.empty());
  REQUIRE_FALSE(f.host.calls.empty());
  // No balloon, sound or window: the paused icon, then the alert's.
  CHECK(f.host.calls.front() == L"icon 205");
  for (size_t i = 1; i < f.host.calls.size(); ++i) CHECK(f.host.calls[i] == L"icon 203");
  auto entries = f.LogEntries();
  CHECK(CountEntries(entries, L"Info", L"Notifications paused until 13:00.") == 1);
  CHECK(CountEntries(entries, L"Error", L"CPU Usage on Localhost Error.") == 1);
  CHECK(CountEntries(entries, L"Error", L"Threads on Localhost Error.") == 1);
  CHECK(CountEntries(entries, L"Error", L" Notifications paused.") == 2);

  f.now.hour = 13;
  f.Pass({99, -2, -2, -2, -2, 10});
  f.Pass({99, -2, -2, -2, -2, 10});
  entries = f.LogEntries();
  CHECK(CountEntries(entries, L"Info", L"Notifications resumed.") == 1);
  CHECK(f.mail.subjects == std::vector<std::wstring>{L"CPU Usage on Localhost Error."});
  REQUIRE(f.posts.size() == 1);
  CHECK(f.posts[0].body.find("\"parameter\":\"CPU Usage\"") != std::string::npos);
  CHECK(CountEntries(entries, L"Error", L" Send tray icon notification.") == 1);
  CHECK(f.host.calls.back() == L"sound");
  CHECK(CountEntries(entries, L"Info", L"is OK.") == 0);  // nothing that recovered in the night
  CHECK(f.settings.Quiet.PausedUntil.load() == 0);  // a pause that ran out is cleared
}
