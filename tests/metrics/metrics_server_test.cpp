#include "metrics/metrics_server.h"

#include <doctest/doctest.h>

#include <functional>
#include <thread>
#include <vector>

#include "common/platform_services.h"
#include "common/utf16.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kMs = std::chrono::milliseconds(1);
const char kGet[] = "GET /metrics HTTP/1.1\r\nHost: test\r\n\r\n";

void StartSockets() {
  static PlatformServices platform;  // Winsock on Windows
  static bool started = platform.Start();
  REQUIRE(started);
}

// A client whose every wait ends after a few seconds, so a broken server fails the test rather than hangs it.
struct Peer {
  Smtp::CancelEvent cancel;
  Smtp::TalSocket socket;

  bool Connect(unsigned short port) {
    Smtp::Address to;
    return cancel.Create() == 0 && socket.Initialize(&cancel, 3000, Smtp::kNoTimeLimit) == 0 &&
           Smtp::ResolveAddress("127.0.0.1", port, to) == 0 && socket.Open() == 0 && socket.Connect(to) == 0;
  }
  bool Send(const std::string& bytes) {
    unsigned int sent = 0;
    return socket.SendAll(bytes.data(), static_cast<unsigned int>(bytes.size()), &sent) == 0;
  }
  // What comes until the server closes; closed tells whether it did (rather than the wait failing).
  std::string Rest(bool* closed = nullptr) {
    std::string got;
    char buffer[4096];
    for (;;) {
      unsigned int n = 0;
      uint32_t result = socket.Receive(buffer, sizeof buffer, &n);
      if (result != 0 || n == 0) {
        // A reset after the answer counts as closing too.
        if (closed) *closed = result == 0 || result == 104 || result == 10054;
        return got;
      }
      got.append(buffer, n);
    }
  }
};

std::string Scrape(unsigned short port, const std::string& request = kGet, bool* closed = nullptr) {
  Peer peer;
  if (!peer.Connect(port) || !peer.Send(request)) return "";
  return peer.Rest(closed);
}

// A pass whose every value, the counter and the completion time all are n.
MetricsPass NumberedPass(int n) {
  MetricsPass pass;
  pass.computer = L"c";
  pass.passes = static_cast<uint64_t>(n);
  pass.completedUnixMilliseconds = n * 1000LL;
  for (MetricsParameter& parameter : pass.parameters) {
    parameter.enabled = true;
    parameter.value = n;
  }
  return pass;
}

// The pass's number when the whole answer tells of that one pass, or -1.
long long PassOf(const std::string& answer) {
  const std::string counter = "varnalis_passes_total{computer=\"c\"} ";
  size_t at = answer.find(counter);
  if (at == std::string::npos) return -1;
  long long n = std::stoll(answer.substr(at + counter.size()));
  const std::string m = std::to_string(n);
  for (const std::string& line :
       {"varnalis_processor_load_percent{computer=\"c\"} " + m, "varnalis_threads{computer=\"c\"} " + m,
        "varnalis_free_memory_bytes{computer=\"c\"} " + std::to_string(n * 1024 * 1024),
        "varnalis_web_server_connections{computer=\"c\"} " + m,
        "varnalis_last_pass_completion_timestamp_seconds{computer=\"c\"} " + m + ".000"}) {
    if (answer.find(line + "\n") == std::string::npos) return -1;
  }
  return n;
}

struct Endpoint {
  explicit Endpoint(MetricsServer::Limits limits = {}) : server(limits) {
    StartSockets();
    Smtp::Address any;
    std::wstring error;
    REQUIRE(Smtp::ResolveAddress("127.0.0.1", 0, any) == 0);
    bool started = server.Start(any, error);
    INFO(ToUtf8(error));
    REQUIRE(started);
    Smtp::Address bound = server.Bound();
    const auto* bytes = reinterpret_cast<const uint8_t*>(&bound.port);
    port = static_cast<unsigned short>(bytes[0] * 256 + bytes[1]);
  }
  MetricsServer server;
  unsigned short port = 0;
};

// Publishes numbered passes, pausing between them, until it goes.
struct Publisher {
  Publisher(MetricsServer& server, std::chrono::milliseconds pause) {
    server.Publish(NumberedPass(1));
    thread = std::thread([this, &server, pause] {
      for (int n = 2; !done; ++n) {
        server.Publish(NumberedPass(n));
        published = n;
        std::this_thread::sleep_for(pause);
      }
    });
  }
  ~Publisher() {
    done = true;
    thread.join();
  }
  std::atomic<bool> done{false};
  std::atomic<int> published{1};
  std::thread thread;
};

}  // namespace

TEST_CASE("each scrape sees one pass whole, never an older one, while passes are published") {
  Endpoint endpoint;
  Publisher publisher(endpoint.server, 0 * kMs);
  std::vector<std::thread> scrapers;
  std::atomic<int> whole{0};
  for (int i = 0; i < 3; ++i) {
    scrapers.emplace_back([&] {
      long long last = 0;
      for (int k = 0; k < 40; ++k) {
        long long n = PassOf(Scrape(endpoint.port));
        whole += n >= last;  // whole, and never older than what this scraper saw before
        last = std::max(last, n);
      }
    });
  }
  for (std::thread& scraper : scrapers) scraper.join();
  CHECK(whole == 120);
  CHECK(publisher.published > 1);
}

TEST_CASE("hostile clients cannot stop the endpoint or the publisher") {
  MetricsServer::Limits limits;
  limits.headerWait = 300 * kMs;
  limits.answerWait = 300 * kMs;
  limits.closeWait = 200 * kMs;
  limits.maxClients = 4;
  Endpoint endpoint(limits);
  const unsigned short port = endpoint.port;
  Publisher publisher(endpoint.server, 5 * kMs);

  struct Attack {
    std::string name;
    std::function<void()> run;
  };
  const Attack attacks[] = {
      {"a slow client is dropped",
       [&] {
         bool closed = false;
         auto start = Clock::now();
         CHECK(Scrape(port, "GET /metr", &closed).empty());
         CHECK(closed);
         CHECK(Clock::now() - start < 2000 * kMs);
       }},
      {"an oversized request is refused",
       [&] {
         std::string answer = Scrape(port, "GET /metrics HTTP/1.1\r\nX: " + std::string(20000, 'a'));
         CHECK((answer.empty() || answer.rfind("HTTP/1.1 431 ", 0) == 0));
       }},
      {"garbage gets 400", [&] { CHECK(Scrape(port, "\x01\x02\xff garbage\r\n\r\n").rfind("HTTP/1.1 400 ", 0) == 0); }},
      {"a client that leaves at once", [&] {
         Peer peer;
         REQUIRE(peer.Connect(port));
       }},
      {"connections beyond the limit are closed at once",
       [&] {
         std::vector<std::unique_ptr<Peer>> idle;
         for (int i = 0; i < 4; ++i) {
           idle.push_back(std::make_unique<Peer>());
           REQUIRE(idle.back()->Connect(port));
         }
         std::this_thread::sleep_for(50 * kMs);  // all four taken in
         Peer extra;
         REQUIRE(extra.Connect(port));
         bool closed = false;
         auto start = Clock::now();
         CHECK(extra.Rest(&closed).empty());
         CHECK(closed);
         CHECK(Clock::now() - start < 250 * kMs);  // before the idle ones time out
       }},
  };
  for (const Attack& attack : attacks) {
    CAPTURE(attack.name);
    int before = publisher.published;
    attack.run();
    // A normal scrape works promptly after each: at most the idle clients' wait.
    auto start = Clock::now();
    long long n = -1;
    while (n < 0 && Clock::now() - start < 3000 * kMs) n = PassOf(Scrape(port));
    CHECK(n > 0);
    CHECK(Clock::now() - start < 1000 * kMs);
    while (publisher.published == before && Clock::now() - start < 1000 * kMs) std::this_thread::sleep_for(kMs);
    CHECK(publisher.published > before);
  }
}

TEST_CASE("Stop ends the endpoint at once, open connections and all") {
  Endpoint endpoint;
  Peer idle;
  REQUIRE(idle.Connect(endpoint.port));
  auto start = Clock::now();
  endpoint.server.Stop();
  CHECK(Clock::now() - start < 500 * kMs);
  bool closed = false;
  CHECK(idle.Rest(&closed).empty());
  CHECK(closed);
  Peer late;
  CHECK_FALSE(late.Connect(endpoint.port));
}
