#include <doctest/doctest.h>

#include <string>
#include <vector>

#include "common/utf16.h"
#include "smtp/interfaces.h"
#include "smtp/tls.h"
#include "tests/smtp/peers.h"

namespace {

// Non-ASCII names and text, a line starting with a dot, and a body much bigger than a TLS record.
struct Message {
  peers::Info info;
  std::string utf8 =
      "Prozessorlast 97 % über 95 %.\n.a line that starts with a dot\nNon-BMP: 😀, and a long line: "
      "0123456789 0123456789 0123456789 0123456789 0123456789 0123456789 0123456789 0123456789 end";
  std::wstring body;  // utf8 with CR LF ends

  Message() {
    info.sender = {L"Varnalis Wächter", "monitor@varnalis.test"};
    info.recipients = {{L"", "admin@varnalis.test"}, {L"Zoë Ops", "ops@varnalis.test"}};
    info.subject = L"Prozessorlast auf Localhost: Fehler ✓";
    for (int i = 0; i < 2000; ++i) utf8 += "\nline " + std::to_string(i) + " of a long message";
    std::wstring wide;
    REQUIRE(FromUtf8(utf8, wide));
    for (wchar_t c : wide) body += c == L'\n' ? std::wstring(L"\r\n") : std::wstring(1, c);
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
  const struct {
    const char* peer;
    bool tls;
    uint32_t want;
    const char* password = nullptr;  // the right one
  } rows[] = {
      {"plain", false, 0},
      {"cram", false, 0},
      {"starttls", true, 0},  // authenticated only inside TLS
      {"implicit", true, 0},  // port 465
      {"cram", false, 535, "wrong"},  // PLAIN's is the mail sender's test
      {"expired", true, Smtp::kTlsExpired},  // each certificate problem's code is the TLS test's
  };
  for (const auto& row : rows) {
    CAPTURE(row.peer);
    peers::Params params;
    params.server = row.peer == std::string("implicit") ? p.Value("implicit_host") : "localhost";
    REQUIRE_MESSAGE(!params.server.empty(), "the runner could not listen on port 465");
    params.port = row.peer == std::string("implicit") ? 465 : p.Port(row.peer);
    params.tls = row.tls;
    params.auth = row.want != Smtp::kTlsExpired;
    params.user = p.Value("user");
    params.password = row.password ? row.password : p.Value("password");
    size_t before = peers::Received(p, row.peer).size();
    Message message;
    CHECK(Send(params, message) == row.want);

    auto mails = peers::Received(p, row.peer);
    REQUIRE(mails.size() == before + (row.want == 0 ? 1 : 0));
    if (row.want != 0) continue;
    const peers::Record& mail = mails.back();
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
