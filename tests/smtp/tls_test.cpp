#include "smtp/tls.h"

#include <doctest/doctest.h>

#include <string>

#include "smtp/socket.h"
#include "support/tcp_listener.h"
#include "tests/smtp/peers.h"

namespace {

// Test programs have no application object: the first listener starts the
// platform's sockets for the whole process.
void StartSockets() { static TcpListener first; }

struct Connection {
  Smtp::CancelEvent cancel;
  Smtp::TalSocket raw;
  std::unique_ptr<Smtp::ISocketStream> secure;

  uint32_t Open(const std::string& host, unsigned short port, uint32_t timeoutMs = 10000) {
    StartSockets();
    Smtp::Address address;
    if (uint32_t r = cancel.Create(); r != 0) return r;
    if (uint32_t r = raw.Initialize(&cancel, timeoutMs, false); r != 0) return r;
    if (uint32_t r = Smtp::ResolveAddress(host.c_str(), port, address); r != 0) return r;
    if (uint32_t r = raw.Open(); r != 0) return r;
    return raw.Connect(address);
  }
};

// One whole reply: lines until one whose fourth byte is a space.
std::string ReadReply(Smtp::ISocketStream& stream) {
  std::string got;
  char buffer[4096];
  for (;;) {
    size_t start = got.rfind("\r\n", got.size() >= 2 ? got.size() - 3 : 0);
    start = start == std::string::npos ? 0 : start + 2;
    if (got.size() >= 2 && got.ends_with("\r\n") && got.size() - start >= 4 && got[start + 3] == ' ') return got;
    unsigned int received = 0;
    if (stream.Receive(buffer, sizeof buffer, &received) != 0 || received == 0) return got + "<closed>";
    got.append(buffer, received);
  }
}

std::string Command(Smtp::ISocketStream& stream, const std::string& line) {
  unsigned int sent = 0;
  if (stream.SendAll(line.data(), static_cast<unsigned int>(line.size()), &sent) != 0) return "<send failed>";
  return ReadReply(stream);
}

// Greeting, EHLO and STARTTLS in the clear, then the handshake.
uint32_t StartTlsOn(const peers::Peers& p, const std::string& peer, const std::string& host, Connection& c) {
  REQUIRE(c.Open("127.0.0.1", p.Port(peer)) == 0);
  REQUIRE(ReadReply(c.raw).starts_with("220"));
  REQUIRE(Command(c.raw, "EHLO tls.test\r\n").starts_with("250"));
  REQUIRE(Command(c.raw, "STARTTLS\r\n").starts_with("220"));
  return Smtp::StartTls(c.raw, host, c.secure);
}

}  // namespace

TEST_CASE("TLS against the real peers") {
  peers::Peers p = peers::Load();

  SUBCASE("implicit TLS: handshake, then a whole message bigger than many records") {
    REQUIRE_MESSAGE(!p.ImplicitHost().empty(), "the runner could not listen on port 465");
    Connection c;
    REQUIRE(c.Open(p.ImplicitHost(), 465) == 0);
    REQUIRE(Smtp::StartTls(c.raw, p.ImplicitHost(), c.secure) == 0);
    Smtp::ISocketStream& s = *c.secure;
    CHECK(ReadReply(s).starts_with("220"));
    CHECK(Command(s, "EHLO tls.test\r\n").starts_with("250"));
    // "\0user\0password" in Base64, built here to keep the test free of the encoder.
    std::string plain = std::string(1, '\0') + p.User() + '\0' + p.Password();
    static const char* digits = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string b64;
    for (size_t i = 0; i < plain.size(); i += 3) {
      uint32_t n = static_cast<uint8_t>(plain[i]) << 16;
      if (i + 1 < plain.size()) n |= static_cast<uint8_t>(plain[i + 1]) << 8;
      if (i + 2 < plain.size()) n |= static_cast<uint8_t>(plain[i + 2]);
      b64 += digits[n >> 18];
      b64 += digits[(n >> 12) & 63];
      b64 += i + 1 < plain.size() ? digits[(n >> 6) & 63] : '=';
      b64 += i + 2 < plain.size() ? digits[n & 63] : '=';
    }
    CHECK(Command(s, "AUTH PLAIN " + b64 + "\r\n").starts_with("235"));
    CHECK(Command(s, "MAIL FROM:<tls@varnalis.test>\r\n").starts_with("250"));
    CHECK(Command(s, "RCPT TO:<admin@varnalis.test>\r\n").starts_with("250"));
    CHECK(Command(s, "DATA\r\n").starts_with("354"));
    std::string body = "Subject: big\r\n\r\n";
    for (int i = 0; i < 4000; ++i) body += "line " + std::to_string(i) + " of a long message through TLS\r\n";
    CHECK(Command(s, body + ".\r\n").starts_with("250"));
    CHECK(Command(s, "QUIT\r\n").starts_with("221"));

    auto mails = peers::Received(p, "implicit");
    REQUIRE(!mails.empty());
    CHECK(mails.back().Field("subject") == "big");
    CHECK(mails.back().body.find("line 3999 of a long") != std::string::npos);
  }

  SUBCASE("an address literal is checked against the certificate's addresses") {
    Connection c;
    CHECK(StartTlsOn(p, "starttls", "127.0.0.1", c) == 0);
    Connection other;
    CHECK(StartTlsOn(p, "starttls", "127.0.0.2", other) == Smtp::kTlsWrongHost);
  }

  SUBCASE("certificate problems give their own codes") {
    struct Case {
      const char* peer;
      uint32_t code;
    };
    for (Case k : {Case{"wronghost", Smtp::kTlsWrongHost}, Case{"expired", Smtp::kTlsExpired},
                   Case{"selfsigned", Smtp::kTlsUntrustedRoot}, Case{"nochain", Smtp::kTlsBadChain}}) {
      CAPTURE(k.peer);
      Connection c;
      CHECK(StartTlsOn(p, k.peer, "localhost", c) == k.code);
      CHECK(c.secure == nullptr);
    }
  }

  SUBCASE("a server that speaks plain SMTP instead fails the handshake") {
    Connection c;
    REQUIRE(c.Open("127.0.0.1", p.Port("open")) == 0);
    CHECK(Smtp::StartTls(c.raw, "localhost", c.secure) == Smtp::kTlsHandshakeFailed);
  }
}

TEST_CASE("TLS handshake with a server that never answers ends with the socket's time-out") {
  TcpListener silent;
  silent.Serve([](TcpPeer& peer) {
    std::string got;
    peer.ReceiveUntil("never", got);  // holds the connection until the client gives up
  });
  Connection c;
  REQUIRE(c.Open("127.0.0.1", silent.Port(), 300) == 0);
  CHECK(Smtp::StartTls(c.raw, "localhost", c.secure) == Smtp::kWaitTimeout);
  c.raw.Close();
}
