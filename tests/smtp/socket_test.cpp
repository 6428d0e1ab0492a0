#include "smtp/socket.h"

#include <doctest/doctest.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>

#include "support/tcp_listener.h"
#include "tests/smtp/peers.h"

namespace {

using Clock = std::chrono::steady_clock;

long long MsSince(Clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// A client socket connected to a listener on this machine.
struct Client {
  Smtp::CancelEvent cancel;
  Smtp::TalSocket socket;
  uint32_t Connect(unsigned short port, uint32_t timeoutMs, uint32_t deadlineMs = Smtp::kNoTimeLimit) {
    return peers::Dial(cancel, socket, port, timeoutMs, deadlineMs);
  }
};

// Accepts at most 1000 bytes a call, as a busy platform might.
class Recorder final : public Smtp::ISocketStream {
 public:
  uint32_t Send(const void* data, unsigned int size, unsigned int* sent) override {
    largest = std::max(largest, size);
    *sent = std::min(size, 1000u);
    bytes.append(static_cast<const char*>(data), *sent);
    return 0;
  }
  uint32_t Receive(void*, unsigned int, unsigned int* received) override {
    *received = 0;
    return 1;
  }
  unsigned int largest = 0;
  std::string bytes;
};

std::string Pattern(size_t size) {
  std::string data(size, '\0');
  for (size_t i = 0; i < size; ++i) data[i] = static_cast<char>('a' + i % 26);
  return data;
}

}  // namespace

TEST_CASE("addresses: dotted text is taken as it is, an unknown name gives the lookup's code") {
  TcpListener winsock;  // brings the platform's sockets up where they need it
  Smtp::Address a;
  REQUIRE(Smtp::ResolveAddress("192.168.10.254", 25, a) == 0);
  CHECK((a.ipv4[0] == 192 && a.ipv4[3] == 254));
  const auto* port = reinterpret_cast<const uint8_t*>(&a.port);
  CHECK((port[0] == 0 && port[1] == 25));
  // The address that the old inet_addr could not tell from a failure.
  REQUIRE(Smtp::ResolveAddress("255.255.255.255", 587, a) == 0);
  CHECK(a.ipv4[0] == 255);
  uint32_t unknown = Smtp::ResolveAddress("no-such-host.invalid", 25, a);
  CHECK((unknown >= 11001 && unknown <= 11004));  // WSAHOST_NOT_FOUND and its family, not the library's 1
  CHECK(Smtp::ResolveAddress(nullptr, 25, a) == 1);
}

// A whole message through SendAll is the client's test against the real peers.
TEST_CASE("socket: misuse before Initialize, empty and null buffers, and a peer that has gone give codes, no signal") {
  TcpListener listener;
  listener.Serve([](TcpPeer& peer) { peer.Close(); });
  Client client;
  char buffer[4] = {};
  unsigned int count = 7;
  client.socket.Close();
  CHECK(client.socket.Initialize(nullptr, 1000, Smtp::kNoTimeLimit) == 1);
  CHECK(client.socket.Initialize(&client.cancel, 1000, Smtp::kNoTimeLimit) == 1);  // its event not made yet
  CHECK(client.socket.Open() == 1);
  CHECK(client.socket.Connect(Smtp::Address{}) == 1);
  CHECK(client.socket.Send("abc", 3, &count) == 1);
  CHECK(count == 0);
  CHECK(client.socket.Receive(buffer, sizeof buffer, &count) == 1);
  CHECK(client.socket.SendAll("abc", 3, &count) == 1);

  REQUIRE(client.Connect(listener.Port(), 2000) == 0);
  count = 9;
  CHECK(client.socket.Send("y", 0, &count) == 0);
  CHECK(count == 0);
  CHECK(client.socket.Send(nullptr, 3, &count) == 1);
  CHECK(client.socket.Receive(nullptr, 3, &count) == 1);
  listener.Join();
  uint32_t result = 0;
  for (int i = 0; i < 100 && result == 0; ++i) {
    result = client.socket.Send("data\r\n", 6, &count);
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  CHECK((result == 10054 || result == 10053));  // reset or aborted
  CHECK(count == 0);
}

TEST_CASE("send loops: at most 32768 bytes a call, partial sends advance, 64-bit writes report all") {
  const std::string data = Pattern(100000);
  Recorder recorder;
  unsigned int sent = 0;
  CHECK(recorder.ISocketStream::SendAll(data.data(), static_cast<unsigned int>(data.size()), &sent) == 0);
  CHECK(recorder.largest <= 32768);
  CHECK(sent == data.size());
  CHECK((recorder.bytes == data));

  Recorder next;
  Smtp::TalSocketExStreamOut out(&next);
  uint64_t written = 0;
  CHECK(out.Write(data.data(), 70000, &written) == 0);
  CHECK(written == 70000);
  CHECK((next.bytes == data.substr(0, 70000)));
  CHECK(out.Write(nullptr, 5, &written) == 1);
  CHECK(written == 0);
  CHECK(Smtp::TalSocketExStreamOut(nullptr).Write("a", 1, &written) == 1);
}

// A plain time-out goes through the client's test against a silent server.
TEST_CASE("waits: a cancel raised from another thread gives 1, the deadline 258, before the time-out and ever after") {
  for (bool cancel : {true, false}) {
    CAPTURE(cancel);
    TcpListener listener;
    listener.Serve([](TcpPeer& peer) {
      std::string line;
      peer.ReceiveLine(line);  // silent until the client goes
    });
    Client client;  // closes before the listener joins its script
    char buffer[16];
    unsigned int received = 9;
    const uint32_t want = cancel ? 1 : Smtp::kWaitTimeout;
    REQUIRE(client.Connect(listener.Port(), 5000, cancel ? Smtp::kNoTimeLimit : 300) == 0);
    auto start = Clock::now();
    std::thread canceller([&client, cancel] {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      if (cancel) client.cancel.Set();
    });
    CHECK(client.socket.Receive(buffer, sizeof buffer, &received) == want);
    canceller.join();
    CHECK(MsSince(start) < 2000);
    start = Clock::now();
    CHECK(client.socket.Receive(buffer, sizeof buffer, &received) == want);
    CHECK(MsSince(start) < 1000);
  }
}
