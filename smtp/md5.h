#pragma once
// MD5 (RFC 1321) and HMAC-MD5 (RFC 2104), for CRAM-MD5 authentication only:
// MD5 is long broken as a digest, but that exchange prescribes it.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace Smtp {

using Md5Digest = std::array<uint8_t, 16>;

class Md5 {
 public:
  Md5();
  void Update(const void* data, size_t size);
  // The digest of everything given so far; the object is spent afterwards.
  Md5Digest Finish();

 private:
  void Transform(const uint8_t block[64]);
  uint32_t state_[4];
  uint64_t length_ = 0;  // bytes so far
  uint8_t buffer_[64];
};

Md5Digest Md5Of(const void* data, size_t size);

// A key longer than the 64-byte block is first replaced by its digest.
Md5Digest HmacMd5(const void* key, size_t keySize, const void* message, size_t messageSize);

// 32 lower-case hex digits.
std::string DigestHex(const Md5Digest& digest);

}  // namespace Smtp
