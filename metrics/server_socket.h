#pragma once
// The few non-blocking socket calls the metrics endpoint makes, over POSIX
// sockets or Winsock (which must be started).
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "smtp/socket.h"

namespace ServerSocket {

using Handle = intptr_t;
inline constexpr Handle kNone = -1;  // INVALID_SOCKET as intptr_t too

// A non-blocking listening socket; port 0 takes a free one, and bound tells
// which. kNone, with the reason, on failure.
Handle Listen(const Smtp::Address& address, Smtp::Address& bound, std::wstring& error);
// The next waiting connection, non-blocking; kNone when there is none.
Handle Accept(Handle listening);
// Bytes moved; 0 when the peer closed (Receive only); kWouldBlock when it
// would wait; kFailed on an error.
inline constexpr long kWouldBlock = -1;
inline constexpr long kFailed = -2;
long Receive(Handle socket, char* buffer, size_t size);
long Send(Handle socket, const char* data, size_t size);
void ShutdownSend(Handle socket);
void Close(Handle socket);

struct Watch {
  Handle socket;
  bool write;          // wait to write rather than to read
  bool ready = false;  // set by Poll: the wait is over (readiness, a hang-up or an error)
};
// Waits at most timeoutMs (-1: no limit) for any watch; false when the wait itself failed.
bool Poll(std::vector<Watch>& watches, int timeoutMs);

// Wakes a Poll from another thread: its handle is watched for reading.
class Waker {
 public:
  Waker();
  ~Waker();
  Waker(const Waker&) = delete;
  Waker& operator=(const Waker&) = delete;

  bool Ok() const { return readEnd_ != kNone; }
  Handle ReadEnd() const { return readEnd_; }
  void Wake();
  void Drain();

 private:
  Handle readEnd_ = kNone;
  Handle writeEnd_ = kNone;
};

}  // namespace ServerSocket
