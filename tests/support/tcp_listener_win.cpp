#include "support/tcp_listener.h"

#include <winsock2.h>
#include <windows.h>

#include <chrono>
#include <mutex>

namespace {

constexpr int kPeerTimeoutMs = 10000;

// Test programs have no application object to start Winsock, so the first
// listener does it for the whole process.
void StartWinsock() {
  struct Winsock {
    Winsock() {
      WSADATA data;
      up = WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }
    ~Winsock() {
      if (up) WSACleanup();
    }
    bool up = false;
  };
  static Winsock winsock;
}

class WinPeer final : public TcpPeer {
 public:
  explicit WinPeer(SOCKET s) : socket_(s) {
    DWORD limit = kPeerTimeoutMs;
    setsockopt(socket_, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&limit), sizeof limit);
    setsockopt(socket_, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&limit), sizeof limit);
  }
  ~WinPeer() override { Close(); }

  intptr_t Native() const override { return static_cast<intptr_t>(socket_); }

  void Close() override {
    if (socket_ != INVALID_SOCKET) closesocket(socket_);
    socket_ = INVALID_SOCKET;
  }

 private:
  long SendSome(const char* data, size_t size) override {
    return socket_ == INVALID_SOCKET ? -1 : ::send(socket_, data, static_cast<int>(size), 0);
  }
  long ReceiveSome(char* buffer, size_t size) override {
    return socket_ == INVALID_SOCKET ? -1 : ::recv(socket_, buffer, static_cast<int>(size), 0);
  }

  SOCKET socket_;
};

}  // namespace

struct TcpListener::State {
  std::mutex mutex;  // guards listening against CloseListening while accepting
  SOCKET listening = INVALID_SOCKET;
  unsigned short port = 0;

  // The next connection, or INVALID_SOCKET when none came in time or listening stopped.
  SOCKET Accept() {
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(kPeerTimeoutMs);
    while (std::chrono::steady_clock::now() < until) {
      std::lock_guard<std::mutex> lock(mutex);
      if (listening == INVALID_SOCKET) return INVALID_SOCKET;
      fd_set ready;
      FD_ZERO(&ready);
      FD_SET(listening, &ready);
      timeval slice{0, 50000};
      if (select(0, &ready, nullptr, nullptr, &slice) == 1) return accept(listening, nullptr, nullptr);
    }
    return INVALID_SOCKET;
  }
};

TcpListener::TcpListener() : state_(std::make_unique<State>()) {
  StartWinsock();
  SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int length = sizeof address;
  if (s == INVALID_SOCKET || bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      listen(s, 8) != 0 || getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    if (s != INVALID_SOCKET) closesocket(s);
    return;  // Port() 0: the test's connect fails and says so
  }
  state_->listening = s;
  state_->port = ntohs(address.sin_port);
}

TcpListener::~TcpListener() {
  Join();
  CloseListening();
}

unsigned short TcpListener::Port() const { return state_->port; }

void TcpListener::Serve(std::function<void(TcpPeer&)> script) {
  Join();
  thread_ = std::thread([this, script = std::move(script)] {
    SOCKET s = state_->Accept();
    if (s == INVALID_SOCKET) return;
    WinPeer peer(s);
    script(peer);
  });
}

void TcpListener::Join() {
  if (thread_.joinable()) thread_.join();
}

void TcpListener::CloseListening() {
  std::lock_guard<std::mutex> lock(state_->mutex);
  if (state_->listening != INVALID_SOCKET) closesocket(state_->listening);
  state_->listening = INVALID_SOCKET;
}
