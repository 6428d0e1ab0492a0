#pragma once
// A TCP client socket on which connecting, sending and receiving each wait at
// most a time-out and end at once when the cancel event is raised.
//
// Result codes: 0 success; a platform socket error number; 1 the library's
// own failure (not initialised, null buffer, cancelled, an address that is
// not IPv4); 258 a wait ran out of time or the deadline passed; 0xFFFFFFFF the
// wait failed.
#include <cstdint>
#include <memory>

#include "smtp/cancel_event.h"
#include "smtp/stream64.h"

namespace Smtp {

inline constexpr uint32_t kWouldBlock = 10035;
inline constexpr uint32_t kWaitTimeout = 258;
inline constexpr uint32_t kWaitFailed = 0xFFFFFFFF;
// As a time-out or deadline: none.
inline constexpr uint32_t kNoTimeLimit = 0xFFFFFFFF;

// An IPv4 address and port, both in network byte order.
struct Address {
  uint8_t ipv4[4] = {};
  uint16_t port = 0;
};

// A dotted address is used as it is; anything else is looked up.
uint32_t ResolveAddress(const char* host, unsigned short port, Address& out);

class ISocketStream {
 public:
  virtual ~ISocketStream() = default;
  virtual uint32_t Send(const void* data, unsigned int size, unsigned int* sent) = 0;
  // A closed connection gives 0 with *received 0.
  virtual uint32_t Receive(void* buffer, unsigned int size, unsigned int* received) = 0;
  // Sends everything, calling Send with at most 32768 bytes at a time; stops
  // at the first failure. *sent counts what was accepted.
  virtual uint32_t SendAll(const void* data, unsigned int size, unsigned int* sent);
};

// The mail library's TCP socket.
class TalSocket final : public ISocketStream {
 public:
  TalSocket();
  ~TalSocket() override;
  TalSocket(const TalSocket&) = delete;
  TalSocket& operator=(const TalSocket&) = delete;

  // cancel is the caller's and must outlive the socket's use of it. Each wait
  // lasts at most timeoutMs; every wait from deadlineMs after this call on
  // ends at once with 258, however busy the peer keeps the connection.
  uint32_t Initialize(CancelEvent* cancel, uint32_t timeoutMs, uint32_t deadlineMs);
  void Close();
  // A TCP stream socket over IPv4 with a 32769-byte send buffer.
  uint32_t Open();
  uint32_t Connect(const Address& to);
  uint32_t Send(const void* data, unsigned int size, unsigned int* sent) override;
  uint32_t Receive(void* buffer, unsigned int size, unsigned int* received) override;
  // Chunks of the socket's send buffer size less one.
  uint32_t SendAll(const void* data, unsigned int size, unsigned int* sent) override;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// The last link of every output chain: sends what it is given with SendAll.
// Sizes are taken as their low 32 bits.
class TalSocketExStreamOut final : public ISerialStream64Out {
 public:
  explicit TalSocketExStreamOut(ISocketStream* socket) : socket_(socket) {}
  // The client switches it to the TLS stream after the handshake.
  void SetSocket(ISocketStream* socket) { socket_ = socket; }
  uint32_t Write(const void* data, uint64_t size, uint64_t* written) override;

 private:
  ISocketStream* socket_;
};

}  // namespace Smtp
