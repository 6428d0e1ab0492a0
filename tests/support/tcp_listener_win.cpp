#include "support/tcp_listener.h"

#include <winsock2.h>
#include <windows.h>

namespace tcp_platform {

intptr_t Listen(unsigned short& port) {
  // Test programs have no application object to start Winsock, so the first
  // listener starts it for the whole process.
  static const bool started = [] {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  SOCKET s = started ? socket(AF_INET, SOCK_STREAM, 0) : INVALID_SOCKET;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int length = sizeof address;
  if (s == INVALID_SOCKET || bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      listen(s, 8) != 0 || getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    if (s != INVALID_SOCKET) closesocket(s);
    return -1;
  }
  port = ntohs(address.sin_port);
  return static_cast<intptr_t>(s);
}

intptr_t Accept(intptr_t listening, int waitMs) {
  fd_set ready;
  FD_ZERO(&ready);
  FD_SET(static_cast<SOCKET>(listening), &ready);
  timeval slice{0, waitMs * 1000};
  SOCKET s = select(0, &ready, nullptr, nullptr, &slice) == 1 ? accept(static_cast<SOCKET>(listening), nullptr, nullptr)
                                                              : INVALID_SOCKET;
  DWORD limit = kTimeoutMs;
  for (int option : {SO_RCVTIMEO, SO_SNDTIMEO}) {
    if (s != INVALID_SOCKET) setsockopt(s, SOL_SOCKET, option, reinterpret_cast<const char*>(&limit), sizeof limit);
  }
  return static_cast<intptr_t>(s);
}

long SendSome(intptr_t socket, const char* data, size_t size) {
  return send(static_cast<SOCKET>(socket), data, static_cast<int>(size), 0);
}

long ReceiveSome(intptr_t socket, char* buffer, size_t size) {
  return recv(static_cast<SOCKET>(socket), buffer, static_cast<int>(size), 0);
}

void Close(intptr_t socket) { closesocket(static_cast<SOCKET>(socket)); }

}  // namespace tcp_platform
