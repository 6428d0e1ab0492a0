#pragma once
// A TCP server on 127.0.0.1 for scripted peers in tests: it accepts one
// connection and runs a script against it on a thread of its own.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>

// The accepted connection, as the script sees it. Blocking calls with a
// generous time-out (they fail rather than hang a test).
class TcpPeer {
 public:
  virtual ~TcpPeer() = default;
  bool Send(const std::string& bytes);
  // Up to and including the next CR LF; false when the client closed first.
  bool ReceiveLine(std::string& line) { return ReceiveUntil("\r\n", line); }
  // Everything up to and including marker; false, with what came, when the
  // client closed first.
  bool ReceiveUntil(const std::string& marker, std::string& got);
  // The raw descriptor or SOCKET, for a TLS peer built on top.
  virtual intptr_t Native() const = 0;
  virtual void Close() = 0;

 protected:
  // One send or receive call of the platform: bytes moved, or 0 or less when
  // the connection failed or closed.
  virtual long SendSome(const char* data, size_t size) = 0;
  virtual long ReceiveSome(char* buffer, size_t size) = 0;

 private:
  std::string buffer_;
};

class TcpListener {
 public:
  // Binds 127.0.0.1 on a free port and listens.
  TcpListener();
  ~TcpListener();  // joins the script
  TcpListener(const TcpListener&) = delete;
  TcpListener& operator=(const TcpListener&) = delete;

  unsigned short Port() const;
  // Accepts the next connection on a thread and runs script on it.
  void Serve(std::function<void(TcpPeer&)> script);
  // Waits for the script to end.
  void Join();
  // Stops listening: later connections are refused.
  void CloseListening();

 private:
  struct State;
  std::unique_ptr<State> state_;
  std::thread thread_;
};
