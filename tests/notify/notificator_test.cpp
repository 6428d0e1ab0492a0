#include <doctest/doctest.h>

#include "common/platform_services.h"
#include "notify/message_texts.h"
#include "notify/webhook_sender.h"
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

TEST_CASE("the web hook: once per episode at its threshold, the return when asked, every outcome logged") {
  const struct {
    HttpPostResult answer;
    bool notifyAgain;
    const wchar_t* logged;
    size_t posts;
  } rows[] = {
      {{true, 204, L""}, true, L" Send web hook notification.", 2},
      {{false, 500, L"HTTP 500"}, false, L" Web hook failed: HTTP 500", 1},
  };
  for (const auto& row : rows) {
    CAPTURE(row.logged);
    EngineFixture f;
    f.settings.UiNotify.UIEnabled = false;
    f.settings.Webhook.WebhookEnabled = true;
    f.settings.Webhook.WebhookNotifyAgain = row.notifyAgain;
    f.settings.Webhook.WebhookThreshold = 2;
    f.settings.Webhook.WebhookURL.Set(L"https://hooks.example/T0KEN");
    f.postResult = row.answer;
    f.Pass({99});
    CHECK(f.posts.empty());
    f.Pass({99});
    f.Pass({99});
    f.Pass({10});
    REQUIRE(f.posts.size() == row.posts);
    CHECK(f.posts[0].url == "https://hooks.example/T0KEN");
    CHECK(f.posts[0].body.find("\"state\":\"Error\",\"value\":99,") != std::string::npos);
    if (row.posts == 2) CHECK(f.posts[1].body.find("\"state\":\"OK\",\"value\":10,") != std::string::npos);
    auto entries = f.LogEntries();
    CHECK(CountEntries(entries, L"Error", row.logged) == 1);
    CHECK(CountEntries(entries, L"Info", L"is OK.") == (row.notifyAgain ? 1 : 0));
  }
}

TEST_CASE("a web hook gets no longer than the pass has left") {
  class PassOverMail final : public MailSender {
   public:
    uint32_t Send(const std::wstring&, const std::wstring&) override { return 0; }
    std::optional<std::chrono::steady_clock::time_point> PassEnd() override { return end; }
    std::chrono::steady_clock::time_point end;
  };
  Settings settings;
  settings.Webhook.WebhookURL.Set(L"https://hooks.example/x");
  std::vector<HttpPostRequest> posts;
  WebhookSender sender(settings.Webhook, [&](const HttpPostRequest& request, const Smtp::CancelEvent* cancel) {
    posts.push_back(request);
    return HttpPostResult{cancel != nullptr && !cancel->IsSet(), 200, L""};
  });
  WebhookMessage message = BuildWebhookMessage(settings, 0, 50, ParameterState::Error);
  auto now = std::chrono::steady_clock::now();
  CHECK(sender.Send(message, now + std::chrono::seconds(5)).ok);
  REQUIRE(posts.size() == 1);
  CHECK(posts[0].deadline <= now + std::chrono::seconds(6));
  CHECK(sender.Send(message).ok);
  CHECK(posts[1].deadline >= now + kWebhookDeadline);
  HttpPostResult late = sender.Send(message, now - std::chrono::seconds(1));
  CHECK(late.reason == L"no time left in this pass");
  sender.Cancel();
  CHECK(sender.Send(message).reason == L"cancelled");
  CHECK(posts.size() == 2);
}
