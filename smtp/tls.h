#pragma once
// TLS over an already connected socket: the handshake (TLS 1.2 or newer),
// then a check of the server's certificate chain and host name against the
// system's trust store plus the PEM file named by SSL_CERT_FILE, if any.
// OpenSSL on Linux, Schannel on Windows (the chain checked by our own code).
#include <cstdint>
#include <memory>
#include <string>

#include "smtp/socket.h"

namespace Smtp {

// Failures of the secure connection, with the Windows codes for them.
inline constexpr uint32_t kTlsHandshakeFailed = 0x80090326;  // SEC_E_ILLEGAL_MESSAGE
inline constexpr uint32_t kTlsUntrustedRoot = 0x800B0109;    // CERT_E_UNTRUSTEDROOT
inline constexpr uint32_t kTlsExpired = 0x800B0101;          // CERT_E_EXPIRED
inline constexpr uint32_t kTlsWrongHost = 0x800B010F;        // CERT_E_CN_NO_MATCH
inline constexpr uint32_t kTlsBadChain = 0x800B010A;         // CERT_E_CHAINING

// Performs the handshake over raw for the server hostName and, on success,
// hands out the secure stream, which reads and writes through raw (raw must
// outlive it). Returns 0, a socket code of raw (258 on a time-out), or one of
// the codes above.
uint32_t StartTls(ISocketStream& raw, const std::string& hostName, std::unique_ptr<ISocketStream>& secure);

}  // namespace Smtp
