#include "support/tcp_listener.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <mutex>

namespace {

constexpr int kPeerTimeoutMs = 10000;

class PosixPeer final : public TcpPeer {
 public:
  explicit PosixPeer(int fd) : fd_(fd) {
    timeval limit{kPeerTimeoutMs / 1000, 0};
    setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    setsockopt(fd_, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
  }
  ~PosixPeer() override { Close(); }

  intptr_t Native() const override { return fd_; }

  void Close() override {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

 private:
  long SendSome(const char* data, size_t size) override {
    return fd_ < 0 ? -1 : static_cast<long>(::send(fd_, data, size, MSG_NOSIGNAL));
  }
  long ReceiveSome(char* buffer, size_t size) override {
    return fd_ < 0 ? -1 : static_cast<long>(::recv(fd_, buffer, size, 0));
  }

  int fd_;
};

}  // namespace

struct TcpListener::State {
  std::mutex mutex;  // guards fd against CloseListening while accepting
  int fd = -1;
  unsigned short port = 0;

  // The next connection, or -1 when none came in time or listening stopped.
  int Accept() {
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(kPeerTimeoutMs);
    while (std::chrono::steady_clock::now() < until) {
      std::lock_guard<std::mutex> lock(mutex);
      if (fd < 0) return -1;
      pollfd p{fd, POLLIN, 0};
      if (::poll(&p, 1, 50) == 1) return ::accept4(fd, nullptr, nullptr, SOCK_CLOEXEC);
    }
    return -1;
  }
};

TcpListener::TcpListener() : state_(std::make_unique<State>()) {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(fd, 8) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    if (fd >= 0) ::close(fd);
    return;  // Port() 0: the test's connect fails and says so
  }
  state_->fd = fd;
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
    int fd = state_->Accept();
    if (fd < 0) return;
    PosixPeer peer(fd);
    script(peer);
  });
}

void TcpListener::Join() {
  if (thread_.joinable()) thread_.join();
}

void TcpListener::CloseListening() {
  std::lock_guard<std::mutex> lock(state_->mutex);
  if (state_->fd >= 0) ::close(state_->fd);
  state_->fd = -1;
}
