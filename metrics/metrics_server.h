#pragma once
// The metrics endpoint: one thread that answers GET /metrics with the page
// of the last pass published. The monitor thread only swaps a finished page
// in under a short lock, so neither waits on the other, and a scrape always
// gets one pass whole.
#include <atomic>
#include <chrono>
#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "metrics/metrics_pass.h"
#include "metrics/server_socket.h"

class MetricsServer {
 public:
  struct Limits {
    std::chrono::milliseconds headerWait{5000};  // from the connection to a complete request header
    std::chrono::milliseconds answerWait{5000};  // to send the answer
    std::chrono::milliseconds closeWait{1000};   // for the client to close after the answer
    size_t maxClients = 8;                       // further connections are closed at once
  };

  explicit MetricsServer(Limits limits);
  MetricsServer() : MetricsServer(Limits{}) {}
  ~MetricsServer();
  MetricsServer(const MetricsServer&) = delete;
  MetricsServer& operator=(const MetricsServer&) = delete;

  // Once, with the platform's sockets started: listens and starts the thread;
  // false, with the reason, when it cannot.
  bool Start(const Smtp::Address& address, std::wstring& error);
  // The address listened on, its port chosen when 0 was asked for.
  Smtp::Address Bound() const { return bound_; }
  // Renders the pass and serves it from now on. Any thread.
  void Publish(const MetricsPass& pass);
  // Ends the thread promptly and closes every connection.
  void Stop();

 private:
  struct Client;
  void Run();
  // False when the client is done with.
  bool Serve(Client& client);
  std::shared_ptr<const std::string> Page();

  Limits limits_;
  std::unique_ptr<ServerSocket::Waker> waker_;  // made by Start, when the platform's sockets are up
  ServerSocket::Handle listening_ = ServerSocket::kNone;
  Smtp::Address bound_;
  std::mutex pageLock_;
  std::shared_ptr<const std::string> page_;  // under pageLock_
  std::atomic<bool> stopping_{false};
  std::thread thread_;
};
