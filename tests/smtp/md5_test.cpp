#include "smtp/md5.h"

#include <doctest/doctest.h>

#include <string>

// HMAC-MD5 with a short key goes through the client's CRAM-MD5 test.
TEST_CASE("MD5 and HMAC-MD5 give the RFC digests; MD5 in one piece or byte by byte") {
  std::string eighty;
  for (int i = 0; i < 8; ++i) eighty += "1234567890";
  const struct {
    std::string text;
    const char* digest;
  } rows[] = {
      {"", "d41d8cd98f00b204e9800998ecf8427e"},
      {"abc", "900150983cd24fb0d6963f7d28e17f72"},
      // Around the padding edge (55/56 bytes) and the block boundary.
      {std::string(55, 'x'), "04364420e25c512fd958a70738aa8f72"},
      {std::string(56, 'x'), "668a72d5ba17f08e62dabcafad6db14b"},
      {std::string(64, 'x'), "c1bb4f81d892b2d57947682aeb252456"},
      {eighty, "57edf4a22be3c955ac49da2e2107b67a"},
  };
  for (const auto& row : rows) {
    CAPTURE(row.text.size());
    CHECK(Smtp::DigestHex(Smtp::Md5Of(row.text.data(), row.text.size())) == row.digest);
    Smtp::Md5 md5;
    for (char c : row.text) md5.Update(&c, 1);
    CHECK(Smtp::DigestHex(md5.Finish()) == row.digest);
  }

  const std::string key(80, '\xaa'), message = "Test Using Larger Than Block-Size Key - Hash Key First";
  CHECK(Smtp::DigestHex(Smtp::HmacMd5(key.data(), key.size(), message.data(), message.size())) ==
        "6b1ab7fe4bd7bf8f0b62e6ce61b9d0cd");  // a key longer than a block is hashed first
}
