#include "metrics/server_socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "common/utf16.h"

namespace ServerSocket {

namespace {

long Moved(ssize_t result) {
  if (result >= 0) return static_cast<long>(result);
  return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR ? kWouldBlock : kFailed;
}

}  // namespace

Handle Listen(const Smtp::Address& address, Smtp::Address& bound, std::wstring& error) {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    error = L"No socket: " + WidenBytes(std::strerror(errno));
    return kNone;
  }
  int on = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);  // a restart need not wait out TIME_WAIT
  sockaddr_in in{};
  in.sin_family = AF_INET;
  std::memcpy(&in.sin_addr, address.ipv4, 4);
  in.sin_port = address.port;
  socklen_t length = sizeof in;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&in), sizeof in) != 0 || ::listen(fd, 16) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&in), &length) != 0) {
    error = WidenBytes(std::strerror(errno));
    ::close(fd);
    return kNone;
  }
  std::memcpy(bound.ipv4, &in.sin_addr, 4);
  bound.port = in.sin_port;
  return fd;
}

Handle Accept(Handle listening) {
  int fd = ::accept4(static_cast<int>(listening), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
  return fd < 0 ? kNone : fd;
}

long Receive(Handle socket, char* buffer, size_t size) {
  return Moved(::recv(static_cast<int>(socket), buffer, size, 0));
}

long Send(Handle socket, const char* data, size_t size) {
  return Moved(::send(static_cast<int>(socket), data, size, MSG_NOSIGNAL));
}

void ShutdownSend(Handle socket) { ::shutdown(static_cast<int>(socket), SHUT_WR); }

void Close(Handle socket) { ::close(static_cast<int>(socket)); }

bool Poll(std::vector<Watch>& watches, int timeoutMs) {
  std::vector<pollfd> fds;
  fds.reserve(watches.size());
  for (const Watch& watch : watches) {
    fds.push_back({static_cast<int>(watch.socket), static_cast<short>(watch.write ? POLLOUT : POLLIN), 0});
  }
  int result = ::poll(fds.data(), fds.size(), timeoutMs);
  if (result < 0) return errno == EINTR;
  for (size_t i = 0; i < watches.size(); ++i) watches[i].ready = fds[i].revents != 0;
  return true;
}

Waker::Waker() {
  int ends[2];
  if (::pipe2(ends, O_NONBLOCK | O_CLOEXEC) == 0) {
    readEnd_ = ends[0];
    writeEnd_ = ends[1];
  }
}

Waker::~Waker() {
  if (readEnd_ != kNone) ::close(static_cast<int>(readEnd_));
  if (writeEnd_ != kNone) ::close(static_cast<int>(writeEnd_));
}

void Waker::Wake() {
  char byte = 1;
  (void)!::write(static_cast<int>(writeEnd_), &byte, 1);  // a full pipe wakes the poll as well
}

void Waker::Drain() {
  char bytes[64];
  while (::read(static_cast<int>(readEnd_), bytes, sizeof bytes) > 0) {
  }
}

}  // namespace ServerSocket
