#pragma once
// What the mail tests share: the client's inputs, a sink, a socket to dial; the real servers that
// tests/peers/run_with_peers.py starts are in support/peers_file.h.
#include <doctest/doctest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "smtp/interfaces.h"
#include "smtp/socket.h"
#include "smtp/stream64.h"
#include "support/peers_file.h"
#include "support/tcp_listener.h"

namespace peers {

// Test programs have no application object: the first listener starts the
// platform's sockets for the whole process.
inline void StartSockets() { static TcpListener first; }

// Connects socket to 127.0.0.1:port, its waits ended by cancel.
inline uint32_t Dial(Smtp::CancelEvent& cancel, Smtp::TalSocket& socket, unsigned short port, uint32_t timeoutMs,
                     uint32_t deadlineMs = Smtp::kNoTimeLimit) {
  StartSockets();
  Smtp::Address to;
  uint32_t r = cancel.Create();
  if (r == 0) r = socket.Initialize(&cancel, timeoutMs, deadlineMs);
  if (r == 0) r = Smtp::ResolveAddress("127.0.0.1", port, to);
  if (r == 0) r = socket.Open();
  return r != 0 ? r : socket.Connect(to);
}

// Collects what reaches it; fails every write from failAt on (counting from 0).
struct Collect final : Smtp::Stream64AdapterBase<Smtp::ISerialStream64Out> {
  uint32_t WriteData(const void* data, uint64_t size, uint64_t* written) override {
    if (written) *written = 0;
    if (calls++ >= failAt) return 10054;
    bytes.append(static_cast<const char*>(data), size);
    if (written) *written = size;
    return 0;
  }
  std::string bytes;
  int calls = 0, failAt = 1 << 30;
};

struct Params final : Smtp::IConnectionParams {
  std::string server = "127.0.0.1", user = "tim", password = "tanstaaftanstaaf";
  unsigned short port = 0;
  bool auth = false, tls = false;
  uint32_t timeout = 10000;
  uint32_t deadline = 30000;

  const char* GetServer() override { return server.c_str(); }
  unsigned short GetPort() override { return port; }
  bool NeedAuthentication() override { return auth; }
  const char* GetUserName() override { return user.c_str(); }
  const char* GetPassword() override { return password.c_str(); }
  bool UseStartTls() override { return tls; }
  uint32_t GetTimeout() override { return timeout; }
  uint32_t GetDeadline() override { return deadline; }
};

struct Address final : Smtp::IAddress {
  Address(std::wstring n, std::string a) : name(std::move(n)), address(std::move(a)) {}
  std::wstring name;
  std::string address;
  const wchar_t* GetName() override { return name.c_str(); }
  const char* GetAddress() override { return address.c_str(); }
};

struct Info final : Smtp::IMessageInfo {
  Address sender{L"Varnalis", "monitor@example.org"};
  std::vector<Address> recipients{{L"First", "first@example.org"}};
  std::wstring subject = L"Disk usage on Localhost Error.";
  Smtp::IAddress& GetSender() override { return sender; }
  uint32_t GetRecipientCount() override { return static_cast<uint32_t>(recipients.size()); }
  Smtp::IAddress& GetRecipient(unsigned int index) override { return recipients.at(index); }
  const wchar_t* GetSubject() override { return subject.c_str(); }
};

// A server that sends its replies (the first at once, each further one after a line from the client) and then
// trickles slow, one byte every 100 ms: no single wait of the client runs out, but the session never ends. It
// gives up once the client has gone, or after 10 s.
class TricklingServer {
 public:
  TricklingServer(std::vector<std::string> replies, std::string slow) {
    listener_.Serve([replies = std::move(replies), slow = std::move(slow)](TcpPeer& peer) {
      std::string line;
      for (size_t i = 0; i < replies.size(); ++i) {
        if ((i > 0 && !peer.ReceiveLine(line)) || !peer.Send(replies[i])) return;
      }
      auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
      for (size_t i = 0; std::chrono::steady_clock::now() < until && peer.Send(slow.substr(i % slow.size(), 1)); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
      }
    });
  }
  unsigned short Port() const { return listener_.Port(); }

 private:
  TcpListener listener_;
};

}  // namespace peers
