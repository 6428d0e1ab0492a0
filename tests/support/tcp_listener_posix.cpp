#include "support/tcp_listener.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace tcp_platform {

intptr_t Listen(unsigned short& port) {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(fd, 8) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    if (fd >= 0) ::close(fd);
    return -1;
  }
  port = ntohs(address.sin_port);
  return fd;
}

intptr_t Accept(intptr_t listening, int waitMs) {
  pollfd p{static_cast<int>(listening), POLLIN, 0};
  int fd = ::poll(&p, 1, waitMs) == 1 ? ::accept4(p.fd, nullptr, nullptr, SOCK_CLOEXEC) : -1;
  timeval limit{kTimeoutMs / 1000, 0};
  if (fd >= 0) setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
  if (fd >= 0) setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
  return fd;
}

long SendSome(intptr_t socket, const char* data, size_t size) {
  return static_cast<long>(::send(static_cast<int>(socket), data, size, MSG_NOSIGNAL));
}

long ReceiveSome(intptr_t socket, char* buffer, size_t size) {
  return static_cast<long>(::recv(static_cast<int>(socket), buffer, size, 0));
}

void Close(intptr_t socket) { ::close(static_cast<int>(socket)); }

}  // namespace tcp_platform
