#pragma once
// A TCP server on 127.0.0.1 for scripted peers in tests: it accepts one
// connection and runs a script against it on a thread of its own.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

// The accepted connection, as the script sees it. Its calls block with a
// generous time-out, so they fail rather than hang a test.
class TcpPeer {
 public:
  explicit TcpPeer(intptr_t socket) : socket_(socket) {}
  ~TcpPeer() { Close(); }
  TcpPeer(const TcpPeer&) = delete;
  TcpPeer& operator=(const TcpPeer&) = delete;

  bool Send(const std::string& bytes);
  // Up to and including the next CR LF; false when the client closed first.
  bool ReceiveLine(std::string& line) { return ReceiveUntil("\r\n", line); }
  // Up to and including marker; false, with what came, when the client closed first.
  bool ReceiveUntil(const std::string& marker, std::string& got);
  void Close();

 private:
  intptr_t socket_;
  std::string buffer_;
};

class TcpListener {
 public:
  TcpListener();   // listens on a free port
  ~TcpListener();  // joins the script
  TcpListener(const TcpListener&) = delete;
  TcpListener& operator=(const TcpListener&) = delete;

  unsigned short Port() const { return port_; }
  // Accepts the next connection on a thread and runs script on it.
  void Serve(std::function<void(TcpPeer&)> script);
  void Join();            // waits for the script to end
  void CloseListening();  // later connections are refused

 private:
  std::mutex mutex_;  // guards listening_ against CloseListening while accepting
  intptr_t listening_ = -1;
  unsigned short port_ = 0;
  std::thread thread_;
};

// The platform's socket calls; -1 is no socket (INVALID_SOCKET as intptr_t too).
namespace tcp_platform {
constexpr int kTimeoutMs = 10000;
intptr_t Listen(unsigned short& port);
intptr_t Accept(intptr_t listening, int waitMs);  // time-outs set; -1 when none came in waitMs
long SendSome(intptr_t socket, const char* data, size_t size);  // 0 or less: failed or closed
long ReceiveSome(intptr_t socket, char* buffer, size_t size);
void Close(intptr_t socket);
}  // namespace tcp_platform
