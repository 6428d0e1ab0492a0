#include "smtp/encoding.h"

#include <doctest/doctest.h>

#include <random>
#include <string>
#include <vector>

#include "smtp/code_page.h"
#include "tests/smtp/peers.h"

namespace {

template <class Encoder>
std::string Encode(const std::vector<std::string>& writes) {
  peers::Collect sink;
  Encoder encoder;
  encoder.Attach(&sink);
  encoder.Begin();
  for (const std::string& w : writes) CHECK(encoder.Write(w.data(), w.size(), nullptr) == 0);
  CHECK(encoder.Finish() == 0);
  return sink.bytes;
}

}  // namespace

TEST_CASE("Base64 stream: 76-character lines, the break at the start of the next line, whatever the writes") {
  std::mt19937 rng(7);
  // 57 bytes fill a line exactly: no break may follow the last one.
  for (size_t size : {1u, 57u, 58u, 114u, 115u, 1000u}) {
    CAPTURE(size);
    std::string data(size, '\0');
    for (char& c : data) c = static_cast<char>(rng());
    std::vector<std::string> writes;
    for (size_t pos = 0; pos < size; pos += writes.back().size()) writes.push_back(data.substr(pos, rng() % 70 + 1));
    std::string expected, whole = Smtp::Base64Encode(data.data(), size);
    for (size_t i = 0; i < whole.size(); i += 76) expected += (i ? "\r\n" : "") + whole.substr(i, 76);
    CHECK(Encode<Smtp::Base64::EncodingStream>(writes) == expected);
  }
  // Empty and null writes never reach the data; a stream with nothing attached refuses.
  peers::Collect sink;
  uint64_t written = 9;
  CHECK(sink.Write("x", 0, &written) == 0);
  CHECK(written == 0);
  CHECK(sink.Write(nullptr, 3, &written) == 1);
  CHECK(sink.calls == 0);
  CHECK(Smtp::Stream64AdapterBase<Smtp::ISerialStream64Out>().Write("abc", 3, &written) == 1);
}

TEST_CASE("Quoted-Printable stream: dots, breaks and a blank ending a call escaped; soft breaks span calls") {
  using Qp = Smtp::QuotedPrintable::EncodingStream;
  const std::string a40(40, 'a'), a73(73, 'a');
  CHECK(Encode<Qp>({"a.b", "x y", "end ", "\r\n=\xE9\t"}) == "a=2Ebx yend=20=0D=0A=3D=E9=09");
  CHECK(Encode<Qp>({a40, a40}) == std::string(75, 'a') + "=\r\n" + std::string(5, 'a'));
  CHECK(Encode<Qp>({a73 + "."}) == a73 + "=\r\n=2E");  // an escape never straddles the limit
}

TEST_CASE("Base64 of whole buffers, and the strict decoder") {
  CHECK(Smtp::Base64Encode("", 0).empty());
  CHECK(Smtp::Base64Encode("a", 1) == "YQ==");
  CHECK(Smtp::Base64Encode("\xFB\xFF", 2) == "+/8=");
  std::string out = "stale";
  CHECK(Smtp::Base64Decode("", 0, out));
  CHECK(out.empty());
  for (const char* bad : {"abc", "ab=c", "YWJj\r\n", "YQ==YQ==", "a===", "====", "YW J", "YWJ-"}) {
    CAPTURE(bad);
    out = "stale";
    CHECK_FALSE(Smtp::Base64Decode(bad, std::char_traits<char>::length(bad), out));
    CHECK(out.empty());
  }
  // Round trips are the fuzzer's.
}

TEST_CASE("the ASCII share, code page conversion") {
  CHECK_FALSE(Smtp::IsAscii("ab\x80"));
  CHECK(Smtp::IsMostlyAscii(""));
  CHECK(Smtp::IsMostlyAscii("abcdef\xC3\xA9"));
  CHECK_FALSE(Smtp::IsMostlyAscii("abcd\xC3\xA9"));

  CHECK(Smtp::ConvertToCodePage(L"", 65001).empty());
  CHECK(Smtp::ConvertToCodePage(L"\x41F\x440\x438", 65001) == "\xD0\x9F\xD1\x80\xD0\xB8");
  CHECK(Smtp::ConvertToCodePage(L"\x41F\x440\x438", 1251) == "\xCF\xF0\xE8");
  CHECK(Smtp::ConvertToCodePage(L"a\x4E2D" L"b", 1252) == "a?b");  // the code page's default character
}

TEST_CASE("header text: Q encoding, encoded-words, quoted strings, addresses; no raw line break") {
  CHECK(Smtp::QEncode("a b?c\xE9_=") == "a_b=3Fc=E9=5F=3D");
  CHECK(Smtp::EncodedWord("caf\xC3\xA9 noir", 65001) == "=?UTF-8?Q?caf=C3=A9_noir?=");
  CHECK(Smtp::EncodedWord("caf\xC3\xA9", 65001) == "=?UTF-8?B?Y2Fmw6k=?=");
  CHECK(Smtp::EncodeHeaderText(L"Disk full", 65001) == "Disk full");
  CHECK(Smtp::EncodeHeaderText(L"\x41F\x440\x438", 65001) == "=?UTF-8?B?0J/RgNC4?=");
  CHECK(Smtp::QuoteString("a\\b\"c") == "\"a\\\\b\\\"c\"");
  CHECK(Smtp::FormatAddress(L"", "a@b.c", 65001) == "<a@b.c>");
  CHECK(Smtp::FormatAddress(L"Jo \"Admin\"", "a@b.c", 65001) == "\"Jo \\\"Admin\\\"\" <a@b.c>");
  CHECK(Smtp::FormatAddress(L"J\xF6rgen M", "a@b.c", 65001) == "=?UTF-8?Q?J=C3=B6rgen_M?= <a@b.c>");

  CHECK(Smtp::EncodeHeaderText(L"Hi\r\nBcc: x@y.z", 65001) == "=?UTF-8?Q?Hi=0D=0ABcc:_x@y.z?=");
  CHECK(Smtp::EncodeHeaderText(L"Hi\nBcc", 1252) == "=?WINDOWS-1252?Q?Hi=0ABcc?=");
  CHECK(Smtp::FormatAddress(L"Eve\r\nBcc: x", "a@b.c", 65001) == "=?UTF-8?Q?Eve=0D=0ABcc:_x?= <a@b.c>");
}
