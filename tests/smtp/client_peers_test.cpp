#include <doctest/doctest.h>

#include <string>
#include <vector>

#include "smtp/interfaces.h"
#include "smtp/tls.h"
#include "support/tcp_listener.h"
#include "tests/smtp/peers.h"

namespace {

// Test programs have no application object: the first listener starts the
// platform's sockets for the whole process.
void StartSockets() { static TcpListener first; }

struct Params final : Smtp::IConnectionParams {
  std::string server = "localhost";
  unsigned short port = 0;
  bool auth = true;
  std::string user, password;
  bool tls = false;

  const char* GetServer() override { return server.c_str(); }
  unsigned short GetPort() override { return port; }
  bool NeedAuthentication() override { return auth; }
  const char* GetUserName() override { return user.c_str(); }
  const char* GetPassword() override { return password.c_str(); }
  bool UseStartTls() override { return tls; }
  uint32_t GetTimeout() override { return 10000; }
};

struct Address final : Smtp::IAddress {
  Address(std::wstring n, std::string a) : name(std::move(n)), address(std::move(a)) {}
  std::wstring name;
  std::string address;
  const wchar_t* GetName() override { return name.c_str(); }
  const char* GetAddress() override { return address.c_str(); }
};

struct Info final : Smtp::IMessageInfo {
  Address sender{L"Varnalis Wächter", "monitor@varnalis.test"};
  std::vector<Address> recipients{{L"", "admin@varnalis.test"}, {L"Zoë Ops", "ops@varnalis.test"}};
  std::wstring subject = L"Prozessorlast auf Localhost: Fehler ✓";
  Smtp::IAddress& GetSender() override { return sender; }
  uint32_t GetRecipientCount() override { return static_cast<uint32_t>(recipients.size()); }
  Smtp::IAddress& GetRecipient(unsigned int index) override { return recipients[index]; }
  const wchar_t* GetSubject() override { return subject.c_str(); }
};

const wchar_t kBody[] =
    L"Prozessorlast 97 % über 95 %.\r\n"
    L".a line that starts with a dot\r\n"
    L"Non-BMP: 😀, and a long line: "
    L"0123456789 0123456789 0123456789 0123456789 0123456789 0123456789 0123456789 0123456789 end";
const char kBodyUtf8[] =
    "Prozessorlast 97 % über 95 %.\n"
    ".a line that starts with a dot\n"
    "Non-BMP: 😀, and a long line: "
    "0123456789 0123456789 0123456789 0123456789 0123456789 0123456789 0123456789 0123456789 end";

// The order of calls the e-mail notification makes; the first failure is the result.
uint32_t Send(Params& params, Info& info) {
  StartSockets();
  Smtp::IClient* client = nullptr;
  uint32_t result = Smtp::CreateClient(&client);
  if (result != 0) return result;
  result = client->Connect(params);
  if (result == 0) result = client->SendText(kBody, info, 65001);
  if (result == 0) result = client->EndMessage();
  client->Disconnect(result == 0);
  client->Release();
  return result;
}

// Line ends as LF (the encoder may carry CR LF through as encoded bytes), no trailing ones.
std::string Lines(const std::string& body) {
  std::string text;
  for (size_t i = 0; i < body.size(); ++i) {
    if (body[i] != '\r' || i + 1 == body.size() || body[i + 1] != '\n') text += body[i];
  }
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) text.pop_back();
  return text;
}

}  // namespace

TEST_CASE("the client delivers to real servers") {
  peers::Peers p = peers::Load();
  Params params;
  params.user = p.User();
  params.password = p.Password();
  std::string peer;

  SUBCASE("AUTH PLAIN") { peer = "plain"; }
  SUBCASE("AUTH CRAM-MD5") { peer = "cram"; }
  SUBCASE("STARTTLS, authenticated only inside TLS") {
    peer = "starttls";
    params.tls = true;
  }
  SUBCASE("implicit TLS on port 465") {
    peer = "implicit";
    params.tls = true;
    params.server = p.ImplicitHost();
    REQUIRE_MESSAGE(!params.server.empty(), "the runner could not listen on port 465");
  }
  CAPTURE(peer);
  params.port = peer == "implicit" ? 465 : p.Port(peer);
  size_t before = peers::Received(p, peer).size();
  Info info;
  REQUIRE(Send(params, info) == 0);

  auto mails = peers::Received(p, peer);
  REQUIRE(mails.size() == before + 1);
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
  CHECK(Lines(mail.body) == kBodyUtf8);
}

TEST_CASE("the client's failures against real servers") {
  peers::Peers p = peers::Load();
  Params params;
  params.user = p.User();
  params.password = "wrong";
  Info info;

  SUBCASE("a wrong password is refused with 535, by either mechanism") {
    params.port = p.Port("plain");
    CHECK(Send(params, info) == 535);
    params.port = p.Port("cram");
    CHECK(Send(params, info) == 535);
  }

  SUBCASE("certificate problems end the connection with their codes") {
    params.auth = false;
    params.tls = true;
    struct Case {
      const char* peer;
      uint32_t code;
    };
    for (Case k : {Case{"wronghost", Smtp::kTlsWrongHost}, Case{"expired", Smtp::kTlsExpired},
                   Case{"selfsigned", Smtp::kTlsUntrustedRoot}, Case{"nochain", Smtp::kTlsBadChain}}) {
      CAPTURE(k.peer);
      params.port = p.Port(k.peer);
      size_t before = peers::Received(p, k.peer).size();
      CHECK(Send(params, info) == k.code);
      CHECK(peers::Received(p, k.peer).size() == before);
    }
  }
}
