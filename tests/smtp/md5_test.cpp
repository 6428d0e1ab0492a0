#include "smtp/md5.h"

#include <doctest/doctest.h>

#include <string>

namespace {

std::string Md5Hex(const std::string& text) { return Smtp::DigestHex(Smtp::Md5Of(text.data(), text.size())); }

std::string HmacHex(const std::string& key, const std::string& message) {
  return Smtp::DigestHex(Smtp::HmacMd5(key.data(), key.size(), message.data(), message.size()));
}

}  // namespace

// HMAC-MD5 with a short key goes through the client's CRAM-MD5 test.
TEST_CASE("MD5 and HMAC-MD5 give the RFC digests; MD5 in one piece or byte by byte") {
  CHECK(Md5Hex("") == "d41d8cd98f00b204e9800998ecf8427e");
  CHECK(Md5Hex("abc") == "900150983cd24fb0d6963f7d28e17f72");
  CHECK(Md5Hex("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789") == "d174ab98d277d9f5a5611c2c9f419d9f");
  std::string eighty;
  for (int i = 0; i < 8; ++i) eighty += "1234567890";
  CHECK(Md5Hex(eighty) == "57edf4a22be3c955ac49da2e2107b67a");
  // Sizes that straddle the block boundary and the padding edge (55/56 bytes).
  for (size_t size : {55u, 56u, 63u, 64u, 65u, 200u}) {
    std::string text(size, 'x');
    Smtp::Md5 md5;
    for (char c : text) md5.Update(&c, 1);
    CHECK(Smtp::DigestHex(md5.Finish()) == Md5Hex(text));
  }

  const std::string longKey(80, '\xaa');  // longer than a block: hashed first
  CHECK(HmacHex(longKey, "Test Using Larger Than Block-Size Key - Hash Key First") ==
        "6b1ab7fe4bd7bf8f0b62e6ce61b9d0cd");
}
