#include "metrics/server_socket.h"

#include <winsock2.h>
#include <windows.h>

#include <climits>
#include <cstring>

#include "common/platform_services.h"

namespace ServerSocket {

namespace {

SOCKET AsSocket(Handle handle) { return static_cast<SOCKET>(handle); }
Handle AsHandle(SOCKET socket) { return socket == INVALID_SOCKET ? kNone : static_cast<Handle>(socket); }

bool MakeNonBlocking(SOCKET socket) {
  u_long on = 1;
  return ioctlsocket(socket, FIONBIO, &on) == 0;
}

long Moved(int result) {
  if (result != SOCKET_ERROR) return result;
  int error = WSAGetLastError();
  return error == WSAEWOULDBLOCK || error == WSAEINTR ? kWouldBlock : kFailed;
}

int Clamped(size_t size) { return static_cast<int>(size > INT_MAX ? INT_MAX : size); }

std::wstring LastErrorText() {
  auto code = static_cast<uint32_t>(WSAGetLastError());
  std::wstring text = L"Socket error " + std::to_wstring(code);
  if (std::wstring words = SystemErrorText(code); !words.empty()) text += L": " + words;
  return text;
}

}  // namespace

Handle Listen(const Smtp::Address& address, Smtp::Address& bound, std::wstring& error) {
  SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s == INVALID_SOCKET) {
    error = LastErrorText();
    return kNone;
  }
  // No other program may bind the same port beside us and take our connections.
  BOOL on = TRUE;
  setsockopt(s, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&on), sizeof on);
  SetHandleInformation(reinterpret_cast<HANDLE>(s), HANDLE_FLAG_INHERIT, 0);  // not into launched programs
  sockaddr_in in{};
  in.sin_family = AF_INET;
  std::memcpy(&in.sin_addr, address.ipv4, 4);
  in.sin_port = address.port;
  int length = sizeof in;
  if (bind(s, reinterpret_cast<sockaddr*>(&in), sizeof in) != 0 || listen(s, 16) != 0 ||
      getsockname(s, reinterpret_cast<sockaddr*>(&in), &length) != 0 || !MakeNonBlocking(s)) {
    error = LastErrorText();
    closesocket(s);
    return kNone;
  }
  std::memcpy(bound.ipv4, &in.sin_addr, 4);
  bound.port = in.sin_port;
  return AsHandle(s);
}

Handle Accept(Handle listening) {
  SOCKET s = accept(AsSocket(listening), nullptr, nullptr);
  if (s == INVALID_SOCKET) return kNone;
  SetHandleInformation(reinterpret_cast<HANDLE>(s), HANDLE_FLAG_INHERIT, 0);
  if (!MakeNonBlocking(s)) {
    closesocket(s);
    return kNone;
  }
  return AsHandle(s);
}

long Receive(Handle socket, char* buffer, size_t size) {
  return Moved(recv(AsSocket(socket), buffer, Clamped(size), 0));
}

long Send(Handle socket, const char* data, size_t size) { return Moved(send(AsSocket(socket), data, Clamped(size), 0)); }

void ShutdownSend(Handle socket) { shutdown(AsSocket(socket), SD_SEND); }

void Close(Handle socket) { closesocket(AsSocket(socket)); }

bool Poll(std::vector<Watch>& watches, int timeoutMs) {
  std::vector<WSAPOLLFD> fds;
  fds.reserve(watches.size());
  for (const Watch& watch : watches) {
    fds.push_back({AsSocket(watch.socket), static_cast<SHORT>(watch.write ? POLLOUT : POLLIN), 0});
  }
  if (WSAPoll(fds.data(), static_cast<ULONG>(fds.size()), timeoutMs) == SOCKET_ERROR) return false;
  for (size_t i = 0; i < watches.size(); ++i) watches[i].ready = fds[i].revents != 0;
  return true;
}

// Winsock polls sockets only: the waker is a UDP socket on 127.0.0.1 that
// sends to itself.
Waker::Waker() {
  SOCKET s = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  if (s == INVALID_SOCKET) return;
  sockaddr_in in{};
  in.sin_family = AF_INET;
  in.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int length = sizeof in;
  if (bind(s, reinterpret_cast<sockaddr*>(&in), sizeof in) != 0 ||
      getsockname(s, reinterpret_cast<sockaddr*>(&in), &length) != 0 ||
      connect(s, reinterpret_cast<sockaddr*>(&in), sizeof in) != 0 || !MakeNonBlocking(s)) {
    closesocket(s);
    return;
  }
  readEnd_ = writeEnd_ = AsHandle(s);
}

Waker::~Waker() {
  if (readEnd_ != kNone) closesocket(AsSocket(readEnd_));
}

void Waker::Wake() {
  char byte = 1;
  send(AsSocket(writeEnd_), &byte, 1, 0);
}

void Waker::Drain() {
  char bytes[64];
  while (recv(AsSocket(readEnd_), bytes, sizeof bytes, 0) > 0) {
  }
}

}  // namespace ServerSocket
