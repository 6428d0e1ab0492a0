#include "smtp/socket.h"

#include <winsock2.h>
#include <windows.h>

#include <algorithm>
#include <climits>
#include <cstring>

#include "common/scoped_win.h"
#include "smtp/socket_internal.h"

namespace Smtp {

uint32_t LookupHost(const char* host, uint8_t (&ipv4)[4]) {
  // Thread-safe on Windows: the result lives in per-thread storage.
  const hostent* entry = gethostbyname(host);
  if (entry == nullptr) return static_cast<uint32_t>(WSAGetLastError());
  if (entry->h_length != 4 || entry->h_addr_list == nullptr || entry->h_addr_list[0] == nullptr) return 1;
  std::memcpy(ipv4, entry->h_addr_list[0], 4);
  return 0;
}

namespace {

constexpr int kSendBufferSize = 32769;
// Read, write, accept, connect and close; out-of-band data is not wanted.
constexpr long kSelectedEvents = FD_READ | FD_WRITE | FD_ACCEPT | FD_CONNECT | FD_CLOSE;
static_assert(kSelectedEvents == 0x3B);

bool IsSocket(SOCKET s) { return s != 0 && s != INVALID_SOCKET; }

uint32_t LastSocketError() { return static_cast<uint32_t>(WSAGetLastError()); }

}  // namespace

// The cancel event belongs to the caller; the socket, its event and the timer are ours.
struct TalSocket::State {
  HANDLE cancel = nullptr;
  WSAEVENT socketEvent = WSA_INVALID_EVENT;
  SOCKET socket = INVALID_SOCKET;
  uint32_t timeoutMs = 0;
  ScopedHandle deadline;

  bool Initialized() const { return cancel != nullptr; }

  void CloseSocket() {
    if (IsSocket(socket)) {
      if (socketEvent != WSA_INVALID_EVENT) WSAEventSelect(socket, socketEvent, 0);
      closesocket(socket);
    }
    socket = INVALID_SOCKET;
  }

  void Close() {
    CloseSocket();
    if (socketEvent != WSA_INVALID_EVENT) WSACloseEvent(socketEvent);
    socketEvent = WSA_INVALID_EVENT;
    deadline.Reset();
    cancel = nullptr;
    timeoutMs = 0;
  }

  // Takes s over; selecting events also makes it non-blocking.
  uint32_t Attach(SOCKET s) {
    CloseSocket();
    if (!IsSocket(s)) return 0;
    if (WSAEventSelect(s, socketEvent, kSelectedEvents) == SOCKET_ERROR) {
      uint32_t result = LastSocketError();
      closesocket(s);
      return result;
    }
    socket = s;
    return 0;
  }

  // mask is one of FD_CONNECT, FD_WRITE, FD_READ. Returns the error the
  // platform recorded for that event (0 when it simply happened); 1 cancelled;
  // 258 timed out or past the deadline; 0xFFFFFFFF the wait failed.
  uint32_t WaitForEvent(long mask, int bit) {
    const ULONGLONG start = GetTickCount64();
    for (;;) {
      WSANETWORKEVENTS happened{};
      // Preference by position: cancel, then the deadline, then the socket.
      WSAEVENT events[3];
      DWORD count = 0;
      events[count++] = cancel;
      if (deadline) events[count++] = deadline.Get();
      const DWORD own = count;
      events[count++] = socketEvent;
      DWORD waitMs = WSA_INFINITE;
      if (timeoutMs != kNoTimeLimit) {
        // Events that are not ours must not stretch the wait beyond the time-out.
        ULONGLONG elapsed = GetTickCount64() - start;
        waitMs = elapsed >= timeoutMs ? 0 : static_cast<DWORD>(timeoutMs - elapsed);
      }
      DWORD index = WSAWaitForMultipleEvents(count, events, FALSE, waitMs, FALSE);
      if (index == WSA_WAIT_FAILED) return kWaitFailed;
      if (index == WSA_WAIT_TIMEOUT) return kWaitTimeout;
      // Both stay signalled: every later wait ends here too.
      if (index == WSA_WAIT_EVENT_0) return 1;
      if (index < WSA_WAIT_EVENT_0 + own) return kWaitTimeout;  // the deadline
      if (index != WSA_WAIT_EVENT_0 + own) return kWaitFailed;
      if (WSAEnumNetworkEvents(socket, socketEvent, &happened) == SOCKET_ERROR) return LastSocketError();
      const long seen = happened.lNetworkEvents;
      if (mask == FD_READ && (seen & FD_CLOSE) && !(seen & FD_READ)) {
        // 0 for an orderly close: the receive then reports 0 bytes.
        return static_cast<uint32_t>(happened.iErrorCode[FD_CLOSE_BIT]);
      }
      if (seen & mask) return static_cast<uint32_t>(happened.iErrorCode[bit]);
      // A reset while waiting to write or connect would otherwise be waited
      // out and reported as a time-out.
      if ((seen & FD_CLOSE) && happened.iErrorCode[FD_CLOSE_BIT] != 0) {
        return static_cast<uint32_t>(happened.iErrorCode[FD_CLOSE_BIT]);
      }
    }
  }
};

TalSocket::TalSocket() : state_(std::make_unique<State>()) {}

TalSocket::~TalSocket() { Close(); }

uint32_t TalSocket::Initialize(CancelEvent* cancel, uint32_t timeoutMs, uint32_t deadlineMs) {
  Close();
  if (cancel == nullptr || !cancel->IsValid()) return 1;
  State& s = *state_;
  s.socketEvent = WSACreateEvent();
  if (s.socketEvent == WSA_INVALID_EVENT) return LastSocketError();
  if (deadlineMs != kNoTimeLimit) {
    s.deadline.Reset(CreateWaitableTimerW(nullptr, TRUE, nullptr));
    LARGE_INTEGER due;
    due.QuadPart = -static_cast<LONGLONG>(deadlineMs) * 10000;  // relative, in 100 ns units
    if (!s.deadline || !SetWaitableTimer(s.deadline.Get(), &due, 0, nullptr, nullptr, FALSE)) {
      uint32_t result = GetLastError();
      s.Close();
      return result;
    }
  }
  s.cancel = reinterpret_cast<HANDLE>(cancel->Native());
  s.timeoutMs = timeoutMs;
  return 0;
}

void TalSocket::Close() { state_->Close(); }

uint32_t TalSocket::Open() {
  State& s = *state_;
  if (!s.Initialized()) return 1;
  SOCKET fd = socket(AF_INET, SOCK_STREAM, 0);
  if (fd == INVALID_SOCKET) return LastSocketError();
  // No Nagle delay: a message goes out as header, body and end marker in
  // separate writes before any reply, which would otherwise wait on delayed ACKs.
  const BOOL noDelay = TRUE;
  if (setsockopt(fd, SOL_SOCKET, SO_SNDBUF, reinterpret_cast<const char*>(&kSendBufferSize),
                 sizeof kSendBufferSize) == SOCKET_ERROR ||
      setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&noDelay), sizeof noDelay) ==
          SOCKET_ERROR) {
    uint32_t result = LastSocketError();
    closesocket(fd);
    return result;
  }
  return s.Attach(fd);
}

uint32_t TalSocket::Connect(const Address& to) {
  State& s = *state_;
  if (!s.Initialized() || !IsSocket(s.socket)) return 1;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  std::memcpy(&address.sin_port, &to.port, sizeof address.sin_port);
  std::memcpy(&address.sin_addr, to.ipv4, 4);
  if (connect(s.socket, reinterpret_cast<const sockaddr*>(&address), sizeof address) != SOCKET_ERROR) return 0;
  uint32_t error = LastSocketError();
  if (error != kWouldBlock) return error;
  return s.WaitForEvent(FD_CONNECT, FD_CONNECT_BIT);
}

uint32_t TalSocket::Send(const void* data, unsigned int size, unsigned int* sent) {
  if (sent) *sent = 0;
  State& s = *state_;
  if (!s.Initialized() || data == nullptr) return 1;
  if (size == 0) return 0;
  if (!IsSocket(s.socket)) return 1;
  const int offered = static_cast<int>(std::min<unsigned int>(size, INT_MAX));
  for (;;) {
    int n = send(s.socket, static_cast<const char*>(data), offered, 0);
    if (n != SOCKET_ERROR) {
      if (sent) *sent = static_cast<unsigned int>(n);
      return 0;
    }
    uint32_t error = LastSocketError();
    if (error != kWouldBlock) return error;
    if (uint32_t result = s.WaitForEvent(FD_WRITE, FD_WRITE_BIT); result != 0) return result;
  }
}

uint32_t TalSocket::Receive(void* buffer, unsigned int size, unsigned int* received) {
  if (received) *received = 0;
  State& s = *state_;
  if (!s.Initialized() || buffer == nullptr) return 1;
  if (size == 0) return 0;
  if (!IsSocket(s.socket)) return 1;
  const int wanted = static_cast<int>(std::min<unsigned int>(size, INT_MAX));
  for (;;) {
    int n = recv(s.socket, static_cast<char*>(buffer), wanted, 0);
    if (n != SOCKET_ERROR) {
      if (received) *received = static_cast<unsigned int>(n);
      return 0;
    }
    uint32_t error = LastSocketError();
    if (error != kWouldBlock) return error;
    if (uint32_t result = s.WaitForEvent(FD_READ, FD_READ_BIT); result != 0) return result;
  }
}

uint32_t TalSocket::SendAll(const void* data, unsigned int size, unsigned int* sent) {
  if (sent) *sent = 0;
  State& s = *state_;
  if (!s.Initialized()) return 1;
  unsigned int chunk = 32768;
  int buffer = 0;
  int length = sizeof buffer;
  if (IsSocket(s.socket) &&
      getsockopt(s.socket, SOL_SOCKET, SO_SNDBUF, reinterpret_cast<char*>(&buffer), &length) != SOCKET_ERROR &&
      buffer > 1) {
    chunk = static_cast<unsigned int>(buffer - 1);
  }
  return SendInChunks(*this, data, size, sent, chunk);
}

}  // namespace Smtp
