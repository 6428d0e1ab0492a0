#include "support/tcp_listener.h"

#include <chrono>

bool TcpPeer::Send(const std::string& bytes) {
  for (size_t done = 0; done < bytes.size();) {
    long n = tcp_platform::SendSome(socket_, bytes.data() + done, bytes.size() - done);
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

bool TcpPeer::ReceiveUntil(const std::string& marker, std::string& got) {
  for (;;) {
    if (size_t at = buffer_.find(marker); at != std::string::npos) {
      got = buffer_.substr(0, at + marker.size());
      buffer_.erase(0, at + marker.size());
      return true;
    }
    char chunk[16384];
    long n = tcp_platform::ReceiveSome(socket_, chunk, sizeof chunk);
    if (n <= 0) {
      got = buffer_;
      return false;
    }
    buffer_.append(chunk, static_cast<size_t>(n));
  }
}

void TcpPeer::Close() {
  if (socket_ != -1) tcp_platform::Close(socket_);
  socket_ = -1;
}

// On failure Port() stays 0, so the test's connect fails and says so.
TcpListener::TcpListener() { listening_ = tcp_platform::Listen(port_); }

TcpListener::~TcpListener() {
  Join();
  CloseListening();
}

void TcpListener::Serve(std::function<void(TcpPeer&)> script) {
  Join();
  thread_ = std::thread([this, script = std::move(script)] {
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(tcp_platform::kTimeoutMs);
    intptr_t accepted = -1;
    // Short slices, so CloseListening gets the lock in between.
    while (accepted == -1 && std::chrono::steady_clock::now() < until) {
      std::lock_guard<std::mutex> lock(mutex_);
      if (listening_ == -1) return;
      accepted = tcp_platform::Accept(listening_, 50);
    }
    if (accepted == -1) return;
    TcpPeer peer(accepted);
    script(peer);
  });
}

void TcpListener::Join() {
  if (thread_.joinable()) thread_.join();
}

void TcpListener::CloseListening() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (listening_ != -1) tcp_platform::Close(listening_);
  listening_ = -1;
}
