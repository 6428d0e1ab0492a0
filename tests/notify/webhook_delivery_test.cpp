#include <doctest/doctest.h>

#include <chrono>
#include <thread>

#include "notify/http_post.h"
#include "support/engine_fixture.h"
#include "support/json_value.h"
#include "support/peers_file.h"
#include "smtp/cancel_event.h"
#include "support/test_ca.h"
#include "wmi/wmi_replay.h"

namespace {

// The requests the hook servers recorded for a path, once count arrived or 30 s passed.
std::vector<peers::Record> RecordedFor(const peers::Peers& peers, const std::string& path, size_t count) {
  std::vector<peers::Record> found;
  for (auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);;) {
    found.clear();
    for (peers::Record& r : peers::Received(peers, "hook")) {
      if (r.Field("path").rfind(path, 0) == 0) found.push_back(std::move(r));
    }
    if (found.size() >= count || std::chrono::steady_clock::now() > until) return found;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

std::wstring Wide(const std::string& ascii) { return std::wstring(ascii.begin(), ascii.end()); }

// Processor load 97 %, then 10 %.
constexpr char kRecording[] =
    "pass\nWin32_Processor.LoadPercentage = 97\npass\nWin32_Processor.LoadPercentage = 10\n";

}  // namespace

TEST_CASE("a processor alert from a recording reaches a local HTTPS endpoint as Error, then OK, in every format") {
  const peers::Peers peers = peers::Load();
  TrustTestCa();
  const std::string port = peers.Value("hook");
  const struct {
    WebhookFormat format;
    const char* errorMark;  // what the Error message's body holds
  } rows[] = {
      {WebhookFormat::GenericJson, "\"state\":\"Error\""},
      {WebhookFormat::Slack, "\"text\":\"*CPU Usage on Localhost Error.*"},
      {WebhookFormat::Teams, "\"text\":\"CPU Usage on Localhost Error.\""},
      {WebhookFormat::Discord, "\"content\":\"**CPU Usage on Localhost Error.**"},
      {WebhookFormat::PlainText, "CPU Usage on Localhost Error.\n\n"},
  };
  for (const auto& row : rows) {
    const std::string path = "/alert/format-" + std::to_string(static_cast<int>(row.format));
    CAPTURE(path);
    std::wstring error;
    auto source = ParseReplayText(kRecording, L"load.replay", error);
    REQUIRE(source);
    EngineFixture f(source.get(), HttpPost);
    f.settings.UiNotify.UIEnabled = false;
    f.settings.Parameters.enable[1] = false;  // the processor alone
    f.settings.Webhook.WebhookEnabled = true;
    f.settings.Webhook.WebhookThreshold = 1;
    f.settings.Webhook.WebhookFormat = static_cast<int32_t>(row.format);
    f.settings.Webhook.WebhookURL.Set(L"https://localhost:" + Wide(port) + Wide(path) + L"?token=S3CRET");
    std::atomic<bool> on{true};
    PassValues values;
    CHECK(f.monitor.RunCycle(on, values));
    CHECK(f.monitor.RunCycle(on, values));
    auto posts = RecordedFor(peers, path, 2);
    REQUIRE(posts.size() == 2);
    const bool plain = row.format == WebhookFormat::PlainText;
    std::string ok = plain ? "CPU Usage on Localhost is OK." : "is OK.";
    int errors = 0, oks = 0;
    for (const peers::Record& post : posts) {
      CHECK(post.Field("content_type") == (plain ? "text/plain; charset=utf-8" : "application/json"));
      if (!plain) CHECK(ParseJson(post.body));
      errors += post.body.find(row.errorMark) != std::string::npos;
      oks += post.body.find(ok) != std::string::npos;
    }
    CHECK(errors == 1);
    CHECK(oks == 1);
    auto entries = f.LogEntries();
    CHECK(CountEntries(entries, L"Error", L"Send web hook notification.") == 1);
    for (const auto& entry : entries) CHECK(entry.find(L"S3CRET") == std::wstring::npos);
  }
}

TEST_CASE("an endpoint whose certificate is not trusted receives nothing; the failure is logged without the token") {
  const peers::Peers peers = peers::Load();
  TrustTestCa();
  for (const char* peer : {"hook_selfsigned", "hook_wronghost"}) {
    CAPTURE(peer);
    const std::string port = peers.Value(peer), path = std::string("/untrusted/") + peer;
    EngineFixture f(nullptr, HttpPost);
    f.settings.UiNotify.UIEnabled = false;
    f.settings.Webhook.WebhookEnabled = true;
    f.settings.Webhook.WebhookThreshold = 1;
    f.settings.Webhook.WebhookURL.Set(L"https://localhost:" + Wide(port) + Wide(path) + L"/S3CRET");
    f.Pass({99});
    auto entries = f.LogEntries();
    CHECK(CountEntries(entries, L"Error", L" Web hook failed: ") == 1);
    for (const auto& entry : entries) CHECK(entry.find(L"S3CRET") == std::wstring::npos);
    // A post to the trusted peer after it is recorded; the untrusted one never was.
    const std::string marker = std::string("/after/") + peer;
    HttpPostResult sent = HttpPost({"https://localhost:" + peers.Value("hook") + marker, "text/plain", "x",
                                    std::chrono::steady_clock::now() + std::chrono::seconds(30)});
    CHECK(sent.ok);
    CHECK(RecordedFor(peers, marker, 1).size() == 1);
    CHECK(RecordedFor(peers, path, 0).empty());
  }
}
