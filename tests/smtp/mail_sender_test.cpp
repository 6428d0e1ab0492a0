// The e-mail channel end to end: settings in, a real server's mailbox out.
#include <doctest/doctest.h>

#include <chrono>
#include <string>
#include <thread>

#include "common/platform_services.h"
#include "notify/smtp_mail_sender.h"
#include "peers.h"
#include "settings/settings.h"

namespace {

struct Channel {
  // Sends to peer, logged on with password unless it is null.
  explicit Channel(const char* peer, const char* password = nullptr) {
    static PlatformServices services;  // Winsock on Windows, once for the program
    static bool started = services.Start();
    REQUIRE(started);
    settings.EMailServer.Set("127.0.0.1");
    settings.EMailPort = peers.Port(peer);
    settings.EMailUserAddress.Set("monitor@example.org");
    settings.EMailRecipiend.Set("admin@example.org");
    settings.EMailAuth = password != nullptr;
    settings.EMailUser.Set(peers.Value("user"));
    settings.EMailPassword.Set(password ? password : "");
  }

  uint32_t Send() { return Send(SmtpMailSender(settings)); }
  uint32_t Send(SmtpMailSender&& sender) { return Send(sender); }
  uint32_t Send(SmtpMailSender& sender) {
    return sender.Send(L"CPU Usage on Localhost Error.",
                       L"01:02:03 PM  04 May 2025\n97 % current value.\n95 % error value — ĉu ᚠ?");
  }

  peers::Peers peers = peers::Load();
  EMailSettings settings;
};

}  // namespace

TEST_CASE("the mail arrives as the settings describe it; a failing server gives a code and delivers nothing") {
  const std::string right = peers::Load().Value("password");
  const struct {
    const char* peer;
    const char* password;
    uint32_t want;
    const char* to = "admin@example.org";
  } rows[] = {
      {"plain", right.c_str(), 0},
      {"plain", "wrong", 535},
      {"plain", nullptr, 530},  // a logon the server requires, not given
      // A recipient list is one address, as typed: split, both would be accepted; whole, its syntax is refused.
      {"open", nullptr, 501, "a@example.org,b@example.org"},
  };
  for (const auto& row : rows) {
    CAPTURE(row.want);
    Channel channel(row.peer, row.password);
    channel.settings.EMailRecipiend.Set(row.to);
    size_t before = peers::Received(channel.peers, row.peer).size();
    CHECK(channel.Send() == row.want);
    std::vector<peers::Record> mails = peers::Received(channel.peers, row.peer);
    REQUIRE(mails.size() == before + (row.want == 0));
    if (row.want != 0) continue;
    // How the client encodes what it is given is the client's test against the same servers.
    const peers::Record& mail = mails.back();
    CHECK(mail.Field("subject") == "CPU Usage on Localhost Error.");
    CHECK(mail.Field("from") == "\"Varnalis 1.4\" <monitor@example.org>");
    CHECK(mail.All("rcpt") == std::vector<std::string>{"admin@example.org"});
    CHECK(mail.Text() == "01:02:03 PM  04 May 2025\n97 % current value.\n95 % error value — ĉu ᚠ?");
  }
}

TEST_CASE("a trickling server holds a mail no longer than the deadline; a cancel ends it and every later one") {
  using Clock = std::chrono::steady_clock;
  Channel channel("open");
  CHECK(SmtpMailSender(channel.settings).DeadlineMs() == 60000u);  // the program's own senders
  peers::TricklingServer server({}, "220 mail.example ESMTP ");
  channel.settings.EMailPort = server.Port();
  SUBCASE("the pass that sends the mail goes on after the deadline") {
    auto start = Clock::now();
    CHECK(channel.Send(SmtpMailSender(channel.settings, 1500)) == 258u);
    CHECK(Clock::now() - start < std::chrono::milliseconds(4000));
  }
  SUBCASE("the mails of one pass share the deadline") {
    SmtpMailSender sender(channel.settings, 1500);
    sender.StartPass();
    auto start = Clock::now();
    CHECK(channel.Send(sender) == 258u);
    CHECK(channel.Send(sender) == 258u);
    CHECK(Clock::now() - start < std::chrono::milliseconds(2500));
    sender.StartPass();  // the next pass has its own
    channel.settings.EMailPort = channel.peers.Port("open");
    CHECK(channel.Send(sender) == 0u);
  }
  SUBCASE("the end of the program does not wait for the deadline") {
    SmtpMailSender sender(channel.settings);
    auto start = Clock::now();
    std::thread canceller([&sender] {
      std::this_thread::sleep_for(std::chrono::milliseconds(300));
      sender.Cancel();
    });
    CHECK(channel.Send(sender) == 1u);
    canceller.join();
    CHECK(Clock::now() - start < std::chrono::milliseconds(3000));
    channel.settings.EMailPort = channel.peers.Port("open");
    size_t before = peers::Received(channel.peers, "open").size();
    CHECK(channel.Send(sender) == 1u);  // to a server that would take it
    CHECK(peers::Received(channel.peers, "open").size() == before);
  }
}
