// The handshake and certificate checks. A whole message through TLS is the client's test against the real
// peers, a handshake the server never answers the client's test against a scripted one.
#include "smtp/tls.h"

#include <doctest/doctest.h>

#include <string>

#include "smtp/socket.h"
#include "tests/smtp/peers.h"

namespace {

struct Connection {
  Smtp::CancelEvent cancel;
  Smtp::TalSocket raw;
  std::unique_ptr<Smtp::ISocketStream> secure;

  uint32_t Open(unsigned short port) { return peers::Dial(cancel, raw, port, 10000); }

  // One whole reply to line (nothing sent when empty): lines until one whose fourth byte is a space.
  std::string Command(const std::string& line) {
    unsigned int count = 0;
    if (!line.empty() && raw.SendAll(line.data(), static_cast<unsigned int>(line.size()), &count) != 0) return "";
    std::string got;
    char buffer[4096];
    for (;;) {
      size_t start = got.rfind("\r\n", got.size() >= 2 ? got.size() - 3 : 0);
      start = start == std::string::npos ? 0 : start + 2;
      if (got.ends_with("\r\n") && got.size() - start >= 4 && got[start + 3] == ' ') return got;
      if (raw.Receive(buffer, sizeof buffer, &count) != 0 || count == 0) return got + "<closed>";
      got.append(buffer, count);
    }
  }

  // Greeting, EHLO and STARTTLS in the clear, then the handshake.
  uint32_t StartTls(const peers::Peers& p, const std::string& peer, const std::string& host) {
    REQUIRE(Open(p.Port(peer)) == 0);
    REQUIRE(Command("").starts_with("220"));
    REQUIRE(Command("EHLO tls.test\r\n").starts_with("250"));
    REQUIRE(Command("STARTTLS\r\n").starts_with("220"));
    return Smtp::StartTls(raw, host, secure);
  }
};

}  // namespace

TEST_CASE("TLS against the real peers: certificate problems have codes; a server speaking plain SMTP fails") {
  peers::Peers p = peers::Load();
  const struct {
    const char* peer;
    const char* host;  // an address literal is checked against the certificate's addresses
    uint32_t code;
  } rows[] = {{"starttls", "127.0.0.1", 0},
              {"starttls", "127.0.0.2", Smtp::kTlsWrongHost},
              {"wronghost", "localhost", Smtp::kTlsWrongHost},
              {"expired", "localhost", Smtp::kTlsExpired},
              {"selfsigned", "localhost", Smtp::kTlsUntrustedRoot},
              {"nochain", "localhost", Smtp::kTlsBadChain}};
  for (const auto& row : rows) {
    CAPTURE(row.peer);
    CAPTURE(row.host);
    Connection c;
    CHECK(c.StartTls(p, row.peer, row.host) == row.code);
    CHECK((c.secure == nullptr) == (row.code != 0));
  }
  Connection plain;
  REQUIRE(plain.Open(p.Port("open")) == 0);
  CHECK(Smtp::StartTls(plain.raw, "localhost", plain.secure) == Smtp::kTlsHandshakeFailed);
}
