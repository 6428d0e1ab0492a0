// The client against scripted servers: each test checks what the client sent
// (the transcript) and what it returned.
#include <doctest/doctest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "smtp/interfaces.h"
#include "smtp/tls.h"
#include "support/tcp_listener.h"
#include "tests/smtp/peers.h"

namespace {

using Lines = std::vector<std::string>;
using peers::Info;

using ClientPtr = std::unique_ptr<Smtp::IClient, decltype([](Smtp::IClient* client) { client->Release(); })>;

ClientPtr MakeClient() {
  Smtp::IClient* client = nullptr;
  REQUIRE(Smtp::CreateClient(&client) == 0);
  return ClientPtr(client);
}

// "\x01" in a reply makes the server pause there, so the client receives the reply in pieces; kHangUp at its
// end makes the server hang up after it, kThenRaw makes it take whatever comes next as one raw entry.
const std::string kHangUp = "\x04", kThenRaw = "\x02";

void SendInPieces(TcpPeer& peer, const std::string& text) {
  size_t start = 0;
  for (size_t at; (at = text.find('\x01', start)) != std::string::npos; start = at + 1) {
    peer.Send(text.substr(start, at - start));
    std::this_thread::sleep_for(std::chrono::milliseconds(40));
  }
  peer.Send(text.substr(start));
}

// A server that greets, then answers each line it receives with the next
// reply, taking the message data after 354 as one entry. It records what the
// client sent until the client goes away.
class Server {
 public:
  Server(std::string greeting, Lines replies) {
    listener_.Serve([this, greeting = std::move(greeting), replies = std::move(replies)](TcpPeer& peer) {
      if (!greeting.empty()) SendInPieces(peer, greeting);
      size_t next = 0;
      bool inData = false, raw = false;
      for (std::string got;;) {
        bool ok = raw      ? peer.ReceiveUntil("never sent by anyone", got)
                  : inData ? peer.ReceiveUntil("\r\n.\r\n", got)
                           : peer.ReceiveLine(got);
        if (!ok) {
          if (raw && !got.empty()) lines_.push_back(got);
          return;
        }
        if (got.rfind("EHLO ", 0) == 0) got = "EHLO *\r\n";  // the local computer's name varies
        lines_.push_back(got);
        inData = false;
        if (next == replies.size()) continue;
        std::string reply = replies[next++];
        inData = got == "DATA\r\n" && reply.rfind("354", 0) == 0;
        bool hangUp = reply.ends_with(kHangUp);
        if (hangUp) reply.pop_back();
        raw = reply.ends_with(kThenRaw);
        if (raw) reply.pop_back();
        SendInPieces(peer, reply);
        if (hangUp) return peer.Close();
      }
    });
    params.port = listener_.Port();
    params.timeout = 5000;
  }

  // What the client sent; call it after the client is released.
  Lines Transcript() {
    listener_.Join();
    return lines_;
  }

  // Connects a fresh client, checks the result, takes the steps if it connected and hands back what it sent.
  Lines Connect(uint32_t want, const std::function<void(Smtp::IClient&)>& steps = nullptr) {
    auto client = MakeClient();
    CHECK(client->Connect(params) == want);
    if (want == 0 && steps) steps(*client);
    client.reset();
    return Transcript();
  }

  peers::Params params;

 private:
  TcpListener listener_;
  Lines lines_;
};

const std::string kGreeting = "220 mail.example ESMTP\r\n";
const std::string kEhloPlain = "250-mail.example\r\n250-AUTH PLAIN CRAM-MD5\r\n250 8BITMIME\r\n";
const std::string kOk = "250 ok\r\n";
const Lines kEhloOnly = {"EHLO *\r\n"};

}  // namespace

TEST_CASE("client: replies in pieces, continuation lines, QUIT only when asked") {
  for (bool sendQuit : {false, true}) {
    CAPTURE(sendQuit);
    Server server("220-mail.example ESMTP\r\n220-\x01more\r\n220 last\r\x01\n",
                  {"250-mail.example\r\x01\n250 8BITMIME\r\n", "221 bye\r\n"});
    Lines want = kEhloOnly;
    if (sendQuit) want.push_back("QUIT\r\n");
    CHECK(server.Connect(0, [&](Smtp::IClient& client) { CHECK(client.Disconnect(sendQuit) == 0); }) == want);
  }
}

// A cancel is the socket's and the mail sender's test.
TEST_CASE("client: malformed, endless and missing replies and a closed port fail the step") {
  // Which malformations are caught is the reply parser's test; here, that one ends the connection.
  for (const std::string& greeting : {std::string("2x0 hello\r\n"), "220 " + std::string(70 * 1024, 'x') + "\r\n"}) {
    CAPTURE(greeting.substr(0, 20));
    CHECK(Server(greeting, {}).Connect(1).empty());
  }
  CHECK(Server(kGreeting, {kHangUp}).Connect(1) == kEhloOnly);
  peers::Params params;
  {
    TcpListener closed;
    params.port = closed.Port();
    closed.CloseListening();
  }
  CHECK(MakeClient()->Connect(params) == 10061);  // connection refused
}

TEST_CASE("client: AUTH picks PLAIN or CRAM-MD5, whichever the server lists first") {
  const std::string ehloCram = "250-mail.example\r\n250-AUTH LOGIN CRAM-MD5 PLAIN\r\n250 8BITMIME\r\n";
  // The RFC 2195 example exchange.
  const std::string challenge = "334 PDE4OTYuNjk3MTcwOTUyQHBvc3RvZmZpY2UucmVzdG9uLm1jaS5uZXQ+\r\n";
  const std::string plain = "AUTH PLAIN AHRpbQB0YW5zdGFhZnRhbnN0YWFm\r\n";
  struct Case {
    const char* what;
    Lines replies;
    uint32_t result;
    Lines sent;
    std::string user = "tim";
    std::string password = "tanstaaftanstaaf";
  };
  const Case cases[] = {
      {"CRAM-MD5 first", {ehloCram, challenge, "235 ok\r\n"}, 0,
       {"EHLO *\r\n", "AUTH CRAM-MD5\r\n", "dGltIGI5MTNhNjAyYzdlZGE3YTQ5NWI0ZTZlNzMzNGQzODkw\r\n"}},
      {"PLAIN first", {kEhloPlain, "235 ok\r\n"}, 0, {"EHLO *\r\n", plain}},
      {"LOGIN only", {"250-mail.example\r\n250 AUTH LOGIN\r\n"}, 1, kEhloOnly},
      {"no AUTH", {"250 mail.example\r\n"}, 1, kEhloOnly},
      {"challenge not Base64", {ehloCram, "334 not*base64\r\n", "501 cancelled\r\n"}, 1,
       {"EHLO *\r\n", "AUTH CRAM-MD5\r\n", "*\r\n"}},
      {"user with CR LF", {kEhloPlain, "235 ok\r\n"}, 1, kEhloOnly, "tim\r\nQUIT"},
      {"password with CR", {ehloCram, challenge, "235 ok\r\n"}, 1, kEhloOnly, "tim", "secret\rx"},
  };
  for (const Case& c : cases) {
    CAPTURE(c.what);
    Server server(kGreeting, c.replies);
    server.params.auth = true;
    server.params.user = c.user;
    server.params.password = c.password;
    CHECK(server.Connect(c.result) == c.sent);
  }
}

TEST_CASE("client: STARTTLS is followed by a handshake, never by plain-text EHLO; a silent server times out") {
  Server server(kGreeting, {"250-mail.example\r\n250 STARTTLS\r\n", "220 go ahead\r\n" + kThenRaw});
  server.params.tls = true;
  server.params.timeout = 500;  // the server never answers the handshake
  auto client = MakeClient();
  auto start = std::chrono::steady_clock::now();
  CHECK(client->Connect(server.params) == Smtp::kWaitTimeout);
  CHECK(std::chrono::steady_clock::now() - start < std::chrono::seconds(3));
  client.reset();
  Lines sent = server.Transcript();
  REQUIRE(sent.size() == 3);
  CHECK(sent[1] == "STARTTLS\r\n");
  CHECK(sent[2][0] == '\x16');  // a TLS handshake record
  CHECK(sent[2].find("EHLO") == std::string::npos);
}

TEST_CASE("client: a server trickling its replies or the handshake fails the session at its deadline with 258") {
  struct Case {
    std::string where;
    Lines replies;
    std::string slow;
    bool tls = false;
  };
  const Case cases[] = {
      {"the greeting", {}, "220 mail.example ESMTP at a snail's pace "},
      {"continuation lines", {kGreeting}, "250-SIZE 1000\r\n"},
      {"the TLS handshake after STARTTLS",
       {kGreeting, "250-mail.example\r\n250 STARTTLS\r\n", "220 go ahead\r\n"},
       std::string("\x16\x03\x03\x40\x00", 5) + std::string(200, '\0'),  // a handshake record's header, then its body
       true},
  };
  for (const Case& c : cases) {
    CAPTURE(c.where);
    peers::TricklingServer server(c.replies, c.slow);
    peers::Params params;
    params.port = server.Port();
    params.tls = c.tls;
    params.timeout = 1000;
    params.deadline = 1500;
    auto start = std::chrono::steady_clock::now();
    CHECK(MakeClient()->Connect(params) == Smtp::kWaitTimeout);
    auto took = std::chrono::steady_clock::now() - start;
    CHECK(took >= std::chrono::milliseconds(1400));
    CHECK(took < std::chrono::milliseconds(4000));
  }
}

TEST_CASE("client: refused recipients leave the message to the others; misuse and line breaks are refused") {
  const std::string mail = "MAIL FROM:<monitor@example.org>\r\n";
  Info info;
  SUBCASE("the second of three refused: To names the first and third; a multipart body through BeginMessage") {
    Server server(kGreeting, {kEhloPlain, kOk, kOk, "550 no such user\r\n", kOk, "354 go\r\n", "250 queued\r\n"});
    info.recipients = {{L"First", "first@example.org"}, {L"Second", "second@example.org"}, {L"", "third@example.org"}};
    Lines sent = server.Connect(0, [&](Smtp::IClient& client) {
      CHECK(client.EndMessage() == 1);  // no message open
      Smtp::IMessageBody* body = nullptr;
      REQUIRE(client.BeginMessage(&body, 7, info, 65001) == 0);
      REQUIRE(body != nullptr);
      CHECK(body->AddText(L"CPU usage is 97 %.") == 0);
      CHECK(body->AddHtml(L"<p>html</p>") == 0);
      CHECK(client.EndMessage() == 0);
    });
    REQUIRE(sent.size() == 7);
    std::string data = sent.back();
    INFO(data);
    sent.pop_back();
    CHECK(sent == Lines{"EHLO *\r\n", mail, "RCPT TO:<first@example.org>\r\n", "RCPT TO:<second@example.org>\r\n",
                        "RCPT TO:<third@example.org>\r\n", "DATA\r\n"});
    CHECK(data.find("To: \"First\" <first@example.org>,\r\n\t <third@example.org>\r\n") != std::string::npos);
    CHECK(data.find("second@") == std::string::npos);
    CHECK(data.find("multipart/mixed") != std::string::npos);
    CHECK(data.find("CPU usage is 97") != std::string::npos);
  }
  SUBCASE("all refused: the first refusal, and no DATA") {
    Server server(kGreeting, {kEhloPlain, kOk, "550 no\r\n", "551 not here\r\n"});
    info.recipients = {{L"", "a@example.org"}, {L"", "b@example.org"}};
    CHECK(server.Connect(0, [&](Smtp::IClient& client) { CHECK(client.SendText(L"x", info, 65001) == 550); }) ==
          Lines{"EHLO *\r\n", mail, "RCPT TO:<a@example.org>\r\n", "RCPT TO:<b@example.org>\r\n"});
  }
  SUBCASE("a line break in a recipient skips it, in the sender refuses the message; no recipients refused") {
    Server server(kGreeting, {kEhloPlain, kOk, kOk, "354 go\r\n", "250 queued\r\n"});
    info.recipients = {{L"", "a@example.org>\r\nRCPT TO:<evil@example.org"}, {L"", "b@example.org"}};
    Lines sent = server.Connect(0, [&](Smtp::IClient& client) {
      CHECK(client.SendText(L"x", info, 65001) == 0);
      CHECK(client.EndMessage() == 0);
      info.sender.address = "me@example.org\r\nRSET";
      CHECK(client.SendText(L"x", info, 65001) == 1);
      info.sender.address = "me@example.org";
      info.recipients.clear();
      CHECK(client.SendText(L"x", info, 65001) == 1);
    });
    REQUIRE(sent.size() == 5);
    CHECK(Lines(sent.begin(), sent.end() - 1) == Lines{"EHLO *\r\n", mail, "RCPT TO:<b@example.org>\r\n", "DATA\r\n"});
  }
}

TEST_CASE("CreateClient and result texts") {
  CHECK(Smtp::CreateClient(nullptr) == 1);
  CHECK(Smtp::ResultText(535) == L"535: the server refused the user name or password");
  CHECK(Smtp::ResultText(599).starts_with(L"599: "));
  CHECK(Smtp::ResultText(Smtp::kTlsUntrustedRoot).starts_with(L"0x800B0109: "));
}
