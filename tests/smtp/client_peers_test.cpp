#include <doctest/doctest.h>

#include <string>
#include <vector>

#include "smtp/interfaces.h"
#include "smtp/tls.h"
#include "tests/smtp/peers.h"

namespace {

// Non-ASCII names and text, a line starting with a dot, and a body much bigger than a TLS record.
struct Message {
  peers::Info info;
  std::wstring body =
      L"Prozessorlast 97 % über 95 %.\r\n.a line that starts with a dot\r\nNon-BMP: 😀, and a long line: "
      L"0123456789 0123456789 0123456789 0123456789 0123456789 0123456789 0123456789 0123456789 end";
  std::string utf8 =
      "Prozessorlast 97 % über 95 %.\n.a line that starts with a dot\nNon-BMP: 😀, and a long line: "
      "0123456789 0123456789 0123456789 0123456789 0123456789 0123456789 0123456789 0123456789 end";

  Message() {
    info.sender = {L"Varnalis Wächter", "monitor@varnalis.test"};
    info.recipients = {{L"", "admin@varnalis.test"}, {L"Zoë Ops", "ops@varnalis.test"}};
    info.subject = L"Prozessorlast auf Localhost: Fehler ✓";
    for (int i = 0; i < 2000; ++i) {
      body += L"\r\nline " + std::to_wstring(i) + L" of a long message";
      utf8 += "\nline " + std::to_string(i) + " of a long message";
    }
  }
};

// The order of calls the e-mail notification makes; the first failure is the result.
uint32_t Send(peers::Params& params, Message& message) {
  peers::StartSockets();
  Smtp::IClient* client = nullptr;
  uint32_t result = Smtp::CreateClient(&client);
  if (result != 0) return result;
  result = client->Connect(params);
  if (result == 0) result = client->SendText(message.body.c_str(), message.info, 65001);
  if (result == 0) result = client->EndMessage();
  client->Disconnect(result == 0);
  client->Release();
  return result;
}

}  // namespace

TEST_CASE("the client against real servers: delivered as sent, or refused with the server's or the TLS code") {
  peers::Peers p = peers::Load();
  peers::Params params;
  params.server = "localhost";
  params.auth = true;
  params.user = p.Value("user");
  params.password = p.Value("password");
  std::string peer;
  uint32_t want = 0;

  SUBCASE("AUTH PLAIN") { peer = "plain"; }
  SUBCASE("AUTH CRAM-MD5") { peer = "cram"; }
  SUBCASE("STARTTLS, authenticated only inside TLS") {
    peer = "starttls";
    params.tls = true;
  }
  SUBCASE("implicit TLS on port 465") {
    peer = "implicit";
    params.tls = true;
    params.server = p.Value("implicit_host");
    REQUIRE_MESSAGE(!params.server.empty(), "the runner could not listen on port 465");
  }
  SUBCASE("a wrong password (PLAIN's is the mail sender's test)") {
    peer = "cram";
    params.password = "wrong";
    want = 535;
  }
  SUBCASE("a certificate problem (each one's code is the TLS test's)") {
    peer = "expired";
    params.tls = true;
    params.auth = false;
    want = Smtp::kTlsExpired;
  }
  CAPTURE(peer);
  params.port = peer == "implicit" ? 465 : p.Port(peer);
  size_t before = peers::Received(p, peer).size();
  Message message;
  CHECK(Send(params, message) == want);

  auto mails = peers::Received(p, peer);
  REQUIRE(mails.size() == before + (want == 0 ? 1 : 0));
  if (want == 0) {
    const peers::Mail& mail = mails.back();
    CHECK(mail.Field("defect").empty());
    CHECK(mail.Field("envelope_from") == "monitor@varnalis.test");
    CHECK(mail.All("rcpt") == std::vector<std::string>{"admin@varnalis.test", "ops@varnalis.test"});
    CHECK(mail.Field("from") == "Varnalis Wächter <monitor@varnalis.test>");
    CHECK(mail.All("to") == std::vector<std::string>{"admin@varnalis.test", "Zoë Ops <ops@varnalis.test>"});
    CHECK(mail.Field("subject") == "Prozessorlast auf Localhost: Fehler ✓");
    CHECK(mail.Field("content_type") == "text/plain");
    CHECK(mail.Field("charset") == "utf-8");
    std::string encoding = mail.Field("transfer_encoding");
    CHECK((encoding == "quoted-printable" || encoding == "base64"));
    CHECK(mail.Text() == message.utf8);
  }
}
