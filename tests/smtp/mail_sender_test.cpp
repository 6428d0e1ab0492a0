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

TEST_CASE("the notification mail arrives as the settings describe it") {
  Channel channel("plain", peers::Load().Value("password").c_str());
  size_t before = peers::Received(channel.peers, "plain").size();
  REQUIRE(channel.Send() == 0u);

  std::vector<peers::Mail> mails = peers::Received(channel.peers, "plain");
  REQUIRE(mails.size() == before + 1);
  const peers::Mail& mail = mails.back();
  CHECK(mail.Field("subject") == "CPU Usage on Localhost Error.");
  CHECK(mail.Field("from") == "\"Varnalis 1.4\" <monitor@example.org>");
  CHECK(mail.Field("envelope_from") == "monitor@example.org");
  CHECK(mail.All("rcpt") == std::vector<std::string>{"admin@example.org"});
  CHECK(mail.Field("charset") == "utf-8");
  CHECK(mail.Field("defect").empty());
  CHECK(mail.Text() == "01:02:03 PM  04 May 2025\n97 % current value.\n95 % error value — ĉu ᚠ?");
}

TEST_CASE("a recipient list is one address, as typed") {
  Channel channel("open");
  channel.settings.EMailRecipiend.Set("a@example.org,b@example.org");
  size_t before = peers::Received(channel.peers, "open").size();
  // Split, both addresses would be accepted; whole, the server refuses its syntax.
  CHECK(channel.Send() == 501u);
  CHECK(peers::Received(channel.peers, "open").size() == before);
}

TEST_CASE("a failing server gives a failure code and delivers nothing") {
  size_t before = peers::Received(peers::Load(), "plain").size();
  CHECK(Channel("plain", "wrong").Send() == 535u);  // refused logon
  CHECK(Channel("plain").Send() != 0u);             // logon the server requires, not given
  CHECK(peers::Received(peers::Load(), "plain").size() == before);
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
