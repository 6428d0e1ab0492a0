#pragma once
// Pieces the socket files share: the portable loop and the platform's own
// lookup and error mapping.
#include <cstdint>

#include "smtp/socket.h"

namespace Smtp {

// The platform's host-name lookup; IPv4 only.
uint32_t LookupHost(const char* host, uint8_t (&ipv4)[4]);
// SendAll's loop with the caller's chunk size.
uint32_t SendInChunks(ISocketStream& stream, const void* data, unsigned int size, unsigned int* sent,
                      unsigned int chunk);
// Linux only: an errno value as the code callers see.
uint32_t ErrnoResult(int error);

}  // namespace Smtp
