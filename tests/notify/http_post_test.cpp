// One web hook POST against the real servers the runner starts: what counts
// as success, what is refused before anything is sent, and the bounds.
#include <doctest/doctest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "common/utf16.h"
#include "notify/http_post.h"
#include "smtp/cancel_event.h"
#include "support/peers_file.h"
#include "support/test_ca.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::seconds;

size_t Recorded(const peers::Peers& peers) { return peers::Received(peers, "hook").size(); }

// Waits up to 10 s for the hook servers to hold count records.
bool AwaitRecords(const peers::Peers& peers, size_t count) {
  for (auto until = Clock::now() + seconds(10); Recorded(peers) < count && Clock::now() < until;)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  return Recorded(peers) >= count;
}

}  // namespace

TEST_CASE("a post succeeds on 2xx only, sends nothing where it must not, and ends within its bounds") {
  const peers::Peers peers = peers::Load();
  TrustTestCa();
  auto https = [&](const char* peer) { return "https://localhost:" + std::to_string(peers.Port(peer)); };
  const std::string plain = "http://127.0.0.1:" + std::to_string(peers.Port("hook_plain"));
  const std::string token = "?token=S3CRET-T0KEN";
  const char* refused = "the URL must start with https://";
  const struct {
    std::string url;
    bool ok;
    int status;
    std::string reason;  // its start; empty: any non-empty reason when not ok
    bool sent;
    int deadline = 15;
  } rows[] = {
      {https("hook") + "/status/200" + token, true, 200, "", true},
      {https("hook") + "/status/204", true, 204, "", true},
      {https("hook") + "/status/301" + token, false, 301, "HTTP 301", true},
      {https("hook") + "/status/404", false, 404, "HTTP 404", true},
      {https("hook") + "/status/500" + token, false, 500, "HTTP 500", true},
      // Wine's client does not say why it refused a certificate.
      {https("hook_wronghost") + "/x" + token, false, 0, "", false},
      {https("hook_selfsigned") + "/x" + token, false, 0, "", false},
      {https("hook") + "/silent" + token, false, 0, "time-out", true, 2},
      // Cut at the bound: the status that came counts.
      {https("hook") + "/endless" + token, true, 200, "", true},
      {https("hook") + "/huge", true, 200, "", true},
      {plain + "/hook" + token, true, 200, "", true},
      {"http://localhost:" + std::to_string(peers.Port("hook_plain")) + "/x", true, 200, "", true},
      // Refused before any connection: a host that would never answer would run into the deadline.
      {"http://10.255.255.1/x" + token, false, 0, refused, false},
      {"http://127.0.0.1.example.invalid:" + std::to_string(peers.Port("hook_plain")) + "/x", false, 0, refused, false},
      {"http://0127.0.0.1:" + std::to_string(peers.Port("hook_plain")) + "/x", false, 0, refused, false},
      {"ftp://localhost/S3CRET", false, 0, refused, false},
      {"S3CRET garbage", false, 0, "", false},
      {"https://S3CRET@localhost:" + std::to_string(peers.Port("hook")) + "/x", false, 0, "", false},
      {"https://localhost:99999/x", false, 0, "", false},
      {"https:///S3CRET", false, 0, "", false},
      {"", false, 0, "no web hook URL is set", false},
  };
  const std::string body = "{\"text\":\"CPU Usage on \\\"Localhost\\\" Error: ĉu ᚠ 😀\"}";
  for (const auto& row : rows) {
    CAPTURE(row.url);
    size_t before = Recorded(peers);
    auto start = Clock::now();
    HttpPostResult result = HttpPost({row.url, "application/json; charset=utf-8", body, start + seconds(row.deadline)});
    auto took = Clock::now() - start;
    std::string reason = ToUtf8(result.reason);
    CAPTURE(reason);
    CHECK(result.ok == row.ok);
    CHECK(result.status == row.status);
    CHECK(result.reason.empty() == row.ok);
    CHECK(reason.starts_with(row.reason));
    CHECK(reason.find("S3CRET") == std::string::npos);
    // Within a short deadline, or well before a long one: a cut answer does not wait for it.
    CHECK(took < seconds(std::min(row.deadline, 3) + 3));
    if (row.sent) {
      REQUIRE(AwaitRecords(peers, before + 1));
      peers::Record got = peers::Received(peers, "hook").back();
      CHECK(got.Field("method") == "POST");
      CHECK(row.url.find(got.Field("path")) != std::string::npos);
      CHECK(got.Field("content_type") == "application/json; charset=utf-8");
      CHECK(got.body == body);
    } else {
      CHECK(Recorded(peers) == before);
    }
  }
  // The 301's Location was not followed, with any method.
  for (const peers::Record& got : peers::Received(peers, "hook")) CHECK(got.Field("path") != "/moved");
}

TEST_CASE("a cancel from another thread ends a post that waits for its answer") {
  const peers::Peers peers = peers::Load();
  TrustTestCa();
  Smtp::CancelEvent cancel;
  REQUIRE(cancel.Create() == 0);
  size_t before = Recorded(peers);
  std::atomic<bool> sent{false};
  std::atomic<Clock::rep> cancelledAt{0};
  std::thread canceller([&] {
    sent = AwaitRecords(peers, before + 1);  // the request is in; its answer never comes
    cancelledAt = Clock::now().time_since_epoch().count();
    cancel.Set();
  });
  HttpPostResult result = HttpPost({"https://localhost:" + std::to_string(peers.Port("hook")) + "/silent",
                                    "text/plain; charset=utf-8", "x", Clock::now() + seconds(30)},
                                   &cancel);
  auto returned = Clock::now();
  canceller.join();
  CHECK(sent);
  CHECK(result.reason == L"cancelled");
  CHECK(returned - Clock::time_point(Clock::duration(cancelledAt)) < seconds(3));
}
