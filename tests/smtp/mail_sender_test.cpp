// The e-mail channel end to end: settings in, a real server's mailbox out.
#include <doctest/doctest.h>

#include <string>

#include "common/platform_services.h"
#include "notify/smtp_mail_sender.h"
#include "peers.h"
#include "settings/settings.h"

namespace {

struct Channel {
  Channel() {
    static PlatformServices services;  // Winsock on Windows, once for the program
    static bool started = services.Start();
    REQUIRE(started);
    peers = peers::Load();
    REQUIRE_MESSAGE(!peers.values.empty(), "run under tests/peers/run_with_peers.py");
    settings.EMailServer.Set("127.0.0.1");
    settings.EMailUserAddress.Set("monitor@example.org");
    settings.EMailRecipiend.Set("admin@example.org");
  }

  uint32_t Send() { return SmtpMailSender(settings).Send(kSubject, kBody); }

  static constexpr wchar_t kSubject[] = L"CPU Usage on Localhost Error.";
  static constexpr wchar_t kBody[] = L"01:02:03 PM  04 May 2025\n97 % current value.\n95 % error value — ĉu ᚠ?";

  peers::Peers peers;
  EMailSettings settings;
};

}  // namespace

TEST_CASE("the notification mail arrives as the settings describe it") {
  Channel channel;
  channel.settings.EMailPort = channel.peers.Port("plain");
  channel.settings.EMailAuth = true;
  channel.settings.EMailUser.Set(channel.peers.User());
  channel.settings.EMailPassword.Set(channel.peers.Password());
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
  std::string body = mail.body;
  while (!body.empty() && (body.back() == '\n' || body.back() == '\r')) body.pop_back();
  CHECK(body == "01:02:03 PM  04 May 2025\n97 % current value.\n95 % error value — ĉu ᚠ?");
}

TEST_CASE("a recipient list is one address, as typed") {
  Channel channel;
  channel.settings.EMailPort = channel.peers.Port("open");
  channel.settings.EMailRecipiend.Set("a@example.org,b@example.org");
  size_t before = peers::Received(channel.peers, "open").size();
  // Split, both addresses would be accepted; whole, the server refuses its syntax.
  CHECK(channel.Send() == 501u);
  CHECK(peers::Received(channel.peers, "open").size() == before);
}

TEST_CASE("a failing server gives a failure code") {
  Channel channel;
  size_t before = peers::Received(channel.peers, "plain").size();
  SUBCASE("refused logon") {
    channel.settings.EMailPort = channel.peers.Port("plain");
    channel.settings.EMailAuth = true;
    channel.settings.EMailUser.Set(channel.peers.User());
    channel.settings.EMailPassword.Set("wrong");
    CHECK(channel.Send() == 535u);
  }
  SUBCASE("logon the server requires, not given") {
    channel.settings.EMailPort = channel.peers.Port("plain");
    CHECK(channel.Send() != 0u);
  }
  SUBCASE("nobody listening") {
    channel.settings.EMailPort = 1;
    CHECK(channel.Send() != 0u);
  }
  CHECK(peers::Received(channel.peers, "plain").size() == before);
}
