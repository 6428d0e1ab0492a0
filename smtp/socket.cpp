#include "smtp/socket.h"

#include "smtp/socket_internal.h"

#include <algorithm>

namespace Smtp {

namespace {

constexpr unsigned int kDefaultChunk = 32768;

// Four decimal parts of 0 to 255 and nothing else.
bool ParseDotted(const char* text, uint8_t (&ipv4)[4]) {
  const char* p = text;
  for (int part = 0; part < 4; ++part) {
    if (part > 0 && *p++ != '.') return false;
    unsigned value = 0;
    int digits = 0;
    for (; *p >= '0' && *p <= '9'; ++p) {
      if (++digits > 3) return false;
      value = value * 10 + static_cast<unsigned>(*p - '0');
    }
    if (digits == 0 || value > 255) return false;
    ipv4[part] = static_cast<uint8_t>(value);
  }
  return *p == '\0';
}

}  // namespace

uint32_t ResolveAddress(const char* host, unsigned short port, Address& out) {
  if (host == nullptr) return 1;
  uint8_t ipv4[4];
  if (!ParseDotted(host, ipv4)) {
    if (uint32_t result = LookupHost(host, ipv4); result != 0) return result;
  }
  std::copy(ipv4, ipv4 + 4, out.ipv4);
  // Network byte order whatever the machine's own.
  const uint8_t portBytes[2] = {static_cast<uint8_t>(port >> 8), static_cast<uint8_t>(port & 0xFF)};
  std::copy(portBytes, portBytes + 2, reinterpret_cast<uint8_t*>(&out.port));
  return 0;
}

uint32_t SendInChunks(ISocketStream& stream, const void* data, unsigned int size, unsigned int* sent,
                      unsigned int chunk) {
  if (sent) *sent = 0;
  auto p = static_cast<const char*>(data);
  unsigned int done = 0;
  while (done < size) {
    unsigned int accepted = 0;
    if (uint32_t result = stream.Send(p + done, std::min(size - done, chunk), &accepted); result != 0) {
      if (sent) *sent = done + std::min(accepted, size - done);
      return result;
    }
    // A stream that takes nothing without failing would keep us here forever.
    if (accepted == 0) return 1;
    done += std::min(accepted, size - done);
    if (sent) *sent = done;
  }
  return 0;
}

uint32_t ISocketStream::SendAll(const void* data, unsigned int size, unsigned int* sent) {
  return SendInChunks(*this, data, size, sent, kDefaultChunk);
}

uint32_t TalSocketExStreamOut::Write(const void* data, uint64_t size, uint64_t* written) {
  if (written) *written = 0;
  if (socket_ == nullptr) return 1;
  if (data == nullptr && size != 0) return 1;
  // SendAll counts in 32 bits: larger writes go in pieces instead of losing
  // their high bits.
  constexpr uint64_t kPiece = 0x80000000u;
  auto p = static_cast<const char*>(data);
  uint64_t done = 0;
  while (done < size) {
    unsigned int accepted = 0;
    uint32_t result = socket_->SendAll(p + done, static_cast<unsigned int>(std::min(size - done, kPiece)), &accepted);
    if (result != 0) {
      if (written) *written = done + accepted;
      return result;
    }
    if (accepted == 0) return 1;  // a success that moved nothing
    done += accepted;
    if (written) *written = done;
  }
  return 0;
}

}  // namespace Smtp
