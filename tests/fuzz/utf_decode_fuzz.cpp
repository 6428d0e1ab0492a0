// Arbitrary bytes as UTF-8 and as UTF-16LE: UTF-8 is accepted exactly when it
// is well formed and then encodes back to the same bytes; UTF-16 decodes and
// encodes back unchanged, lone surrogates included; and what ToUtf8 writes is
// always accepted.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "common/utf16.h"

namespace {

void Require(bool condition) { if (!condition) std::abort(); }

// The well-formed byte sequences of the Unicode standard (its table 3-7).
bool WellFormedUtf8(std::string_view bytes) {
  for (size_t i = 0; i < bytes.size();) {
    auto b = static_cast<unsigned char>(bytes[i]);
    if (b < 0x80) {
      ++i;
      continue;
    }
    size_t length;
    unsigned char low = 0x80, high = 0xBF;
    if (b >= 0xC2 && b <= 0xDF) {
      length = 2;
    } else if (b >= 0xE0 && b <= 0xEF) {
      length = 3;
      if (b == 0xE0) low = 0xA0;
      if (b == 0xED) high = 0x9F;
    } else if (b >= 0xF0 && b <= 0xF4) {
      length = 4;
      if (b == 0xF0) low = 0x90;
      if (b == 0xF4) high = 0x8F;
    } else {
      return false;
    }
    if (i + length > bytes.size()) return false;
    auto second = static_cast<unsigned char>(bytes[i + 1]);
    if (second < low || second > high) return false;
    for (size_t k = 2; k < length; ++k) {
      if ((static_cast<unsigned char>(bytes[i + k]) & 0xC0) != 0x80) return false;
    }
    i += length;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);

  std::wstring text;
  const bool accepted = FromUtf8(bytes, text);
  Require(accepted == WellFormedUtf8(bytes));
  if (accepted) Require(ToUtf8(text) == bytes);

  std::wstring decoded = DecodeUtf16Le(bytes);
  std::string padded(bytes);
  if (size % 2) padded.push_back('\0');  // the odd byte is a unit with a zero high byte
  Require(EncodeUtf16Le(decoded) == padded);
  std::u16string units = ToUtf16(decoded);
  Require(units.size() == padded.size() / 2);
  Require(FromUtf16(units) == decoded);

  std::wstring again;
  Require(FromUtf8(ToUtf8(decoded), again));
  return 0;
}
