#include "metrics/metrics_server.h"

#include <algorithm>
#include <optional>
#include <system_error>
#include <vector>

#include "metrics/http_exchange.h"
#include "metrics/metrics_text.h"

using Clock = std::chrono::steady_clock;

struct MetricsServer::Client {
  enum class Phase { Reading, Writing, Closing };

  ServerSocket::Handle socket = ServerSocket::kNone;
  Phase phase = Phase::Reading;
  Clock::time_point deadline;
  std::string received;
  std::string answer;
  size_t sent = 0;
};

MetricsServer::MetricsServer(Limits limits)
    : limits_(limits), page_(std::make_shared<const std::string>(RenderMetrics(MetricsPass{}))) {}

MetricsServer::~MetricsServer() { Stop(); }

bool MetricsServer::Start(const Smtp::Address& address, std::wstring& error) {
  waker_ = std::make_unique<ServerSocket::Waker>();
  if (!waker_->Ok()) {
    error = L"The metrics endpoint cannot make its wake-up socket.";
    return false;
  }
  listening_ = ServerSocket::Listen(address, bound_, error);
  if (listening_ == ServerSocket::kNone) return false;
  try {
    thread_ = std::thread(&MetricsServer::Run, this);
  } catch (const std::system_error&) {
    error = L"The metrics endpoint's thread cannot be started.";
    ServerSocket::Close(listening_);
    listening_ = ServerSocket::kNone;
    return false;
  }
  return true;
}

void MetricsServer::Publish(const MetricsPass& pass) {
  auto page = std::make_shared<const std::string>(RenderMetrics(pass));
  std::lock_guard<std::mutex> hold(pageLock_);
  page_.swap(page);
}  // the old page goes here, outside the lock, unless a scrape still holds it

std::shared_ptr<const std::string> MetricsServer::Page() {
  std::lock_guard<std::mutex> hold(pageLock_);
  return page_;
}

void MetricsServer::Stop() {
  if (!thread_.joinable()) return;
  stopping_ = true;
  waker_->Wake();
  thread_.join();
  ServerSocket::Close(listening_);
  listening_ = ServerSocket::kNone;
}

bool MetricsServer::Serve(Client& client) {
  Clock::time_point now = Clock::now();
  if (client.phase == Client::Phase::Reading) {
    char buffer[4096];
    long got = ServerSocket::Receive(client.socket, buffer,
                                     std::min(sizeof buffer, kMaxRequestBytes + 1 - client.received.size()));
    if (got == 0 || got == ServerSocket::kFailed) return false;
    if (got == ServerSocket::kWouldBlock) return true;
    client.received.append(buffer, static_cast<size_t>(got));
    std::optional<std::string> answer = AnswerRequest(client.received, *Page());
    if (!answer) return true;
    client.answer = std::move(*answer);
    client.received.clear();
    client.phase = Client::Phase::Writing;
    client.deadline = now + limits_.answerWait;
  }
  if (client.phase == Client::Phase::Writing) {
    long sent = ServerSocket::Send(client.socket, client.answer.data() + client.sent, client.answer.size() - client.sent);
    if (sent == ServerSocket::kFailed) return false;
    if (sent == ServerSocket::kWouldBlock) return true;
    client.sent += static_cast<size_t>(sent);
    if (client.sent < client.answer.size()) return true;
    // Closing with unread input would reset the connection and could take the
    // answer with it: the client closes first, or the wait runs out.
    ServerSocket::ShutdownSend(client.socket);
    client.answer = std::string();
    client.phase = Client::Phase::Closing;
    client.deadline = now + limits_.closeWait;
    return true;
  }
  char discard[4096];
  long got = ServerSocket::Receive(client.socket, discard, sizeof discard);
  return got != 0 && got != ServerSocket::kFailed;
}

void MetricsServer::Run() {
  std::vector<Client> clients;
  std::vector<ServerSocket::Watch> watches;
  while (!stopping_) {
    watches.clear();
    watches.push_back({waker_->ReadEnd(), false});
    watches.push_back({listening_, false});
    Clock::time_point now = Clock::now();
    Clock::time_point next = Clock::time_point::max();
    for (const Client& client : clients) {
      watches.push_back({client.socket, client.phase == Client::Phase::Writing});
      next = std::min(next, client.deadline);
    }
    int timeoutMs = -1;
    if (next != Clock::time_point::max()) {
      auto left = std::chrono::ceil<std::chrono::milliseconds>(std::max(next - now, Clock::duration::zero()));
      timeoutMs = static_cast<int>(std::min<int64_t>(left.count(), 60000));
    }
    if (!ServerSocket::Poll(watches, timeoutMs)) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));  // not a busy loop on a failing wait
      continue;
    }
    if (watches[0].ready) waker_->Drain();

    now = Clock::now();
    size_t kept = 0;
    for (size_t i = 0; i < clients.size(); ++i) {
      Client& client = clients[i];
      bool keep = (!watches[i + 2].ready || Serve(client)) && client.deadline > now;
      if (keep) {
        if (kept != i) clients[kept] = std::move(client);
        ++kept;
      } else {
        ServerSocket::Close(client.socket);
      }
    }
    clients.resize(kept);

    if (watches[1].ready) {
      // At most a backlog's worth per round, so a flood cannot keep the loop here.
      for (int round = 0; round < 16; ++round) {
        ServerSocket::Handle socket = ServerSocket::Accept(listening_);
        if (socket == ServerSocket::kNone) {
          // Ready yet nothing to take: out of descriptors, say. Not a busy loop meanwhile.
          if (round == 0) std::this_thread::sleep_for(std::chrono::milliseconds(50));
          break;
        }
        if (clients.size() >= limits_.maxClients) {
          ServerSocket::Close(socket);
          continue;
        }
        Client& client = clients.emplace_back();
        client.socket = socket;
        client.deadline = now + limits_.headerWait;
      }
    }
  }
  for (const Client& client : clients) ServerSocket::Close(client.socket);
}
