#pragma once
// What the mail tests share: the client's inputs, a sink, a socket to dial, and the real servers that
// tests/peers/run_with_peers.py starts around the test program with the
// summaries of the messages they received.
#include <doctest/doctest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "smtp/interfaces.h"
#include "smtp/socket.h"
#include "smtp/stream64.h"
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

struct Peers {
  std::map<std::string, std::string> values;  // the runner's name=value lines; paths are Wine paths for Wine

  std::string Value(const std::string& name) const {
    auto it = values.find(name);
    return it == values.end() ? std::string() : it->second;
  }
  unsigned short Port(const std::string& name) const {
    return static_cast<unsigned short>(std::atoi(Value(name).c_str()));
  }
};

// Fails the test when the program was not started by the runner.
inline Peers Load() {
  Peers peers;
  const char* file = std::getenv("VARNALIS_PEERS");
  REQUIRE_MESSAGE(file != nullptr, "run this program through tests/peers/run_with_peers.py");
  std::ifstream in(file, std::ios::binary);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (auto eq = line.find('='); eq != std::string::npos) peers.values[line.substr(0, eq)] = line.substr(eq + 1);
  }
  return peers;
}

struct Mail {
  std::multimap<std::string, std::string> fields;
  std::string body;  // decoded text, UTF-8

  std::string Field(const std::string& name) const {
    auto it = fields.find(name);
    return it == fields.end() ? std::string() : it->second;
  }
  std::vector<std::string> All(const std::string& name) const {
    std::vector<std::string> out;
    for (auto [it, end] = fields.equal_range(name); it != end; ++it) out.push_back(it->second);
    return out;
  }
  // The body with line ends as LF (an encoder may carry CR LF through as encoded bytes), no trailing blanks.
  std::string Text() const {
    std::string text;
    for (size_t i = 0; i < body.size(); ++i) {
      if (body[i] != '\r' || i + 1 == body.size() || body[i + 1] != '\n') text += body[i];
    }
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) text.pop_back();
    return text;
  }
};

// What the server named peer received, oldest first. A summary file holds name=value lines (\\, \r, \n
// escaped), an empty line, the body.
inline std::vector<Mail> Received(const Peers& peers, const std::string& peer) {
  std::map<int, std::filesystem::path> files;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(peers.Value("mailbox"), error)) {
    std::string name = entry.path().filename().string();
    if (name.starts_with(peer + "-") && entry.path().extension() == ".txt")
      files[std::atoi(name.c_str() + peer.size() + 1)] = entry.path();
  }
  std::vector<Mail> mails;
  for (const auto& [number, path] : files) {
    Mail& mail = mails.emplace_back();
    std::ifstream in(path, std::ios::binary);
    for (std::string line; std::getline(in, line) && !line.empty();) {
      std::string value;
      for (size_t i = line.find('=') + 1; i > 0 && i < line.size(); ++i) {
        char c = line[i];
        if (c == '\\' && i + 1 < line.size()) c = line[++i] == 'n' ? '\n' : line[i] == 'r' ? '\r' : line[i];
        value += c;
      }
      mail.fields.emplace(line.substr(0, line.find('=')), value);
    }
    mail.body.assign(std::istreambuf_iterator<char>(in), {});
  }
  return mails;
}

}  // namespace peers
