#include "smtp/socket.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>

#include "smtp/socket_internal.h"

namespace Smtp {

// Callers and the administrator see Windows socket numbers, so errno values
// with a Winsock counterpart become that WSAE* number (ECONNREFUSED 10061,
// ETIMEDOUT 10060, ECONNRESET and EPIPE 10054, ...), lookup failures become
// the WSAHOST_NOT_FOUND family (11001-11004), and any other errno e becomes
// 20000 + e, a range that neither Winsock nor the SMTP replies use.
uint32_t ErrnoResult(int error) {
  switch (error) {
    case 0: return 1;  // a failure that left no number
    case EINTR: return 10004;
    case EBADF: return 10009;
    case EACCES: return 10013;
    case EFAULT: return 10014;
    case EINVAL: return 10022;
    case EMFILE: return 10024;
    case EWOULDBLOCK: return kWouldBlock;
#if EAGAIN != EWOULDBLOCK
    case EAGAIN: return kWouldBlock;
#endif
    case EINPROGRESS: return 10036;
    case EALREADY: return 10037;
    case ENOTSOCK: return 10038;
    case EDESTADDRREQ: return 10039;
    case EMSGSIZE: return 10040;
    case EPROTOTYPE: return 10041;
    case ENOPROTOOPT: return 10042;
    case EPROTONOSUPPORT: return 10043;
    case ESOCKTNOSUPPORT: return 10044;
    case EOPNOTSUPP: return 10045;
    case EPFNOSUPPORT: return 10046;
    case EAFNOSUPPORT: return 10047;
    case EADDRINUSE: return 10048;
    case EADDRNOTAVAIL: return 10049;
    case ENETDOWN: return 10050;
    case ENETUNREACH: return 10051;
    case ENETRESET: return 10052;
    case ECONNABORTED: return 10053;
    case ECONNRESET: return 10054;
    case EPIPE: return 10054;  // sending on a connection the peer reset
    case ENOBUFS: return 10055;
    case ENOMEM: return 10055;
    case EISCONN: return 10056;
    case ENOTCONN: return 10057;
    case ESHUTDOWN: return 10058;
    case ETOOMANYREFS: return 10059;
    case ETIMEDOUT: return 10060;
    case ECONNREFUSED: return 10061;
    case ELOOP: return 10062;
    case ENAMETOOLONG: return 10063;
    case EHOSTDOWN: return 10064;
    case EHOSTUNREACH: return 10065;
    default: return 20000 + static_cast<uint32_t>(error);
  }
}

namespace {

uint32_t LookupResult(int error) {
  switch (error) {
    case EAI_NONAME: return 11001;  // WSAHOST_NOT_FOUND
    case EAI_AGAIN: return 11002;   // WSATRY_AGAIN
    case EAI_NODATA:                // WSANO_DATA: the name has no IPv4 address
    case EAI_ADDRFAMILY: return 11004;
    case EAI_MEMORY: return 10055;
    case EAI_SYSTEM: return ErrnoResult(errno);
    default: return 11003;  // WSANO_RECOVERY
  }
}

constexpr int kSendBufferSize = 32769;

void CloseFd(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

}  // namespace

uint32_t LookupHost(const char* host, uint8_t (&ipv4)[4]) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* list = nullptr;
  if (int error = ::getaddrinfo(host, nullptr, &hints, &list); error != 0) return LookupResult(error);
  uint32_t result = 1;
  if (list != nullptr && list->ai_family == AF_INET && list->ai_addrlen >= sizeof(sockaddr_in)) {
    sockaddr_in address;
    std::memcpy(&address, list->ai_addr, sizeof address);
    std::memcpy(ipv4, &address.sin_addr, 4);
    result = 0;
  }
  ::freeaddrinfo(list);
  return result;
}

// The cancel descriptor belongs to the caller; the socket and the timer are ours.
struct TalSocket::State {
  enum class Event { Connect, Write, Read };

  bool initialized = false;
  int cancel = -1;
  int socket = -1;
  uint32_t timeoutMs = 0;
  int deadline = -1;  // timerfd, or -1

  void Close() {
    CloseFd(socket);
    CloseFd(deadline);
    cancel = -1;
    timeoutMs = 0;
    initialized = false;
  }

  // 0 when the awaited event (or an error or close that the retried call
  // will report) happened; 1 cancelled; 258 timed out or past the deadline.
  uint32_t WaitForEvent(Event event) {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point start = Clock::now();
    for (;;) {
      int waitMs = -1;
      bool lastSlice = false;
      if (timeoutMs != kNoTimeLimit) {
        // Events that are not ours must not stretch the wait beyond the time-out.
        auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
        int64_t left = std::max<int64_t>(0, static_cast<int64_t>(timeoutMs) - elapsed);
        waitMs = static_cast<int>(std::min<int64_t>(left, INT_MAX));
        lastSlice = left <= INT_MAX;
      }
      pollfd fds[3];
      nfds_t count = 0;
      fds[count++] = {cancel, POLLIN, 0};
      if (deadline >= 0) fds[count++] = {deadline, POLLIN, 0};
      const nfds_t own = count;
      fds[count++] = {socket, static_cast<short>(event == Event::Read ? POLLIN : POLLOUT), 0};
      int ready = ::poll(fds, count, waitMs);
      if (ready < 0) {
        if (errno == EINTR) continue;
        return kWaitFailed;
      }
      if (ready == 0) {
        if (lastSlice) return kWaitTimeout;
        continue;
      }
      for (nfds_t i = 0; i < count; ++i) {
        if (fds[i].revents & POLLNVAL) return kWaitFailed;
      }
      // The cancel signal stays raised, so every later wait ends here too.
      if (fds[0].revents != 0) return 1;
      // The timer stays expired, so the rest of the session ends here too.
      if (own == 2 && fds[1].revents != 0) return kWaitTimeout;
      if (fds[own].revents == 0) continue;
      if (event != Event::Connect) return 0;
      int error = 0;
      socklen_t length = sizeof error;
      if (::getsockopt(socket, SOL_SOCKET, SO_ERROR, &error, &length) != 0) return ErrnoResult(errno);
      return error == 0 ? 0 : ErrnoResult(error);
    }
  }
};

TalSocket::TalSocket() : state_(std::make_unique<State>()) {}

TalSocket::~TalSocket() { Close(); }

uint32_t TalSocket::Initialize(CancelEvent* cancel, uint32_t timeoutMs, uint32_t deadlineMs) {
  Close();
  if (cancel == nullptr || !cancel->IsValid()) return 1;
  State& s = *state_;
  if (deadlineMs != kNoTimeLimit) {
    s.deadline = ::timerfd_create(CLOCK_MONOTONIC, TFD_CLOEXEC | TFD_NONBLOCK);
    if (s.deadline < 0) return ErrnoResult(errno);
    itimerspec due{};
    due.it_value.tv_sec = deadlineMs / 1000;
    // A zero due time would disarm the timer instead of firing it at once.
    due.it_value.tv_nsec = deadlineMs == 0 ? 1 : static_cast<long>(deadlineMs % 1000) * 1000000;
    if (::timerfd_settime(s.deadline, 0, &due, nullptr) != 0) {
      uint32_t result = ErrnoResult(errno);
      CloseFd(s.deadline);
      return result;
    }
  }
  s.cancel = static_cast<int>(cancel->Native());
  s.timeoutMs = timeoutMs;
  s.initialized = true;
  return 0;
}

void TalSocket::Close() { state_->Close(); }

uint32_t TalSocket::Open() {
  State& s = *state_;
  if (!s.initialized) return 1;
  CloseFd(s.socket);
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return ErrnoResult(errno);
  // Waits are poll()s, so the socket must never block by itself.
  // No Nagle delay: a message goes out as header, body and end marker in
  // separate writes before any reply, which would otherwise wait on delayed ACKs.
  const int noDelay = 1;
  if (::setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &kSendBufferSize, sizeof kSendBufferSize) != 0 ||
      ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &noDelay, sizeof noDelay) != 0 ||
      ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK) != 0) {
    uint32_t result = ErrnoResult(errno);
    ::close(fd);
    return result;
  }
  s.socket = fd;
  return 0;
}

uint32_t TalSocket::Connect(const Address& to) {
  State& s = *state_;
  if (!s.initialized || s.socket < 0) return 1;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  std::memcpy(&address.sin_port, &to.port, sizeof address.sin_port);
  std::memcpy(&address.sin_addr, to.ipv4, 4);
  if (::connect(s.socket, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) return 0;
  // An interrupted connect goes on in the background, like one in progress.
  if (errno == EINPROGRESS || errno == EINTR) return s.WaitForEvent(State::Event::Connect);
  return ErrnoResult(errno);
}

uint32_t TalSocket::Send(const void* data, unsigned int size, unsigned int* sent) {
  if (sent) *sent = 0;
  State& s = *state_;
  if (!s.initialized || data == nullptr) return 1;
  if (size == 0) return 0;
  if (s.socket < 0) return 1;
  for (;;) {
    // A peer that has gone must give an error code, not SIGPIPE.
    ssize_t n = ::send(s.socket, data, size, MSG_NOSIGNAL);
    if (n >= 0) {
      if (sent) *sent = static_cast<unsigned int>(n);
      return 0;
    }
    if (errno == EINTR) continue;
    if (errno != EAGAIN && errno != EWOULDBLOCK) return ErrnoResult(errno);
    if (uint32_t result = s.WaitForEvent(State::Event::Write); result != 0) return result;
  }
}

uint32_t TalSocket::Receive(void* buffer, unsigned int size, unsigned int* received) {
  if (received) *received = 0;
  State& s = *state_;
  if (!s.initialized || buffer == nullptr) return 1;
  if (size == 0) return 0;
  if (s.socket < 0) return 1;
  for (;;) {
    ssize_t n = ::recv(s.socket, buffer, size, 0);
    if (n >= 0) {
      if (received) *received = static_cast<unsigned int>(n);
      return 0;
    }
    if (errno == EINTR) continue;
    if (errno != EAGAIN && errno != EWOULDBLOCK) return ErrnoResult(errno);
    if (uint32_t result = s.WaitForEvent(State::Event::Read); result != 0) return result;
  }
}

uint32_t TalSocket::SendAll(const void* data, unsigned int size, unsigned int* sent) {
  if (sent) *sent = 0;
  State& s = *state_;
  if (!s.initialized) return 1;
  unsigned int chunk = 32768;
  int buffer = 0;
  socklen_t length = sizeof buffer;
  // Linux reports twice the size that was set (the other half is its own
  // bookkeeping), so half of it is what one send can take.
  if (s.socket >= 0 && ::getsockopt(s.socket, SOL_SOCKET, SO_SNDBUF, &buffer, &length) == 0 && buffer / 2 > 1) {
    chunk = static_cast<unsigned int>(buffer / 2 - 1);
  }
  return SendInChunks(*this, data, size, sent, chunk);
}

}  // namespace Smtp
