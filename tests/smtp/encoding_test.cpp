#include "smtp/encoding.h"

#include <doctest/doctest.h>

#include <random>
#include <string>
#include <vector>

#include "smtp/code_page.h"

namespace {

// Keeps each write apart, so tests see what went out in which call.
class Writes final : public Smtp::Stream64AdapterBase<Smtp::ISerialStream64Out> {
 public:
  uint32_t WriteData(const void* data, uint64_t size, uint64_t* written) override {
    calls.emplace_back(static_cast<const char*>(data), size);
    if (written) *written = size;
    return 0;
  }
  std::string All() const {
    std::string all;
    for (const auto& c : calls) all += c;
    return all;
  }
  std::vector<std::string> calls;
};

std::string Abc(size_t n) {
  std::string s;
  for (size_t i = 0; i < n; ++i) s.push_back("abc"[i % 3]);
  return s;
}

}  // namespace

TEST_CASE("Base64 stream: 76-character lines, the break at the start of the next line") {
  Writes sink;
  Smtp::Base64::EncodingStream b64;
  b64.Attach(&sink);
  b64.Begin();
  const std::string line = Smtp::Base64Encode(Abc(57).data(), 57);

  SUBCASE("57 bytes: one line and no break; 58: Finish breaks before the padded group") {
    b64.Write(Abc(57).data(), 57, nullptr);
    CHECK(sink.All() == line);
    CHECK(b64.Write("a", 1, nullptr) == 0);
    CHECK(sink.calls.size() == 1);
    CHECK(b64.Finish() == 0);
    CHECK(sink.All() == line + "\r\nYQ==");
  }
  SUBCASE("one byte, then Finish: only the padded group") {
    b64.Write("a", 1, nullptr);
    CHECK(sink.calls.empty());
    b64.Finish();
    CHECK(sink.All() == "YQ==");
  }
  SUBCASE("three single bytes: output only on the third") {
    b64.Write("a", 1, nullptr);
    b64.Write("b", 1, nullptr);
    CHECK(sink.calls.empty());
    b64.Write("c", 1, nullptr);
    CHECK(sink.calls == std::vector<std::string>{"YWJj"});
  }
  SUBCASE("114 and 115 bytes") {
    std::string data = Abc(114);
    b64.Write(data.data(), data.size(), nullptr);
    CHECK(sink.All() == line + "\r\n" + line);
    SUBCASE("Finish writes nothing") {
      b64.Finish();
      CHECK(sink.calls.size() == 1);
    }
    SUBCASE("one more byte") {
      b64.Write("a", 1, nullptr);
      b64.Finish();
      CHECK(sink.All() == line + "\r\n" + line + "\r\nYQ==");
    }
  }
  SUBCASE("uneven writes join into the same lines as one write") {
    std::mt19937 rng(7);
    std::string data;
    for (int i = 0; i < 1000; ++i) data.push_back(static_cast<char>(rng()));
    for (size_t pos = 0; pos < data.size();) {
      size_t n = std::min<size_t>(rng() % 70 + 1, data.size() - pos);
      b64.Write(data.data() + pos, n, nullptr);
      pos += n;
    }
    b64.Finish();
    std::string expected, whole = Smtp::Base64Encode(data.data(), data.size());
    for (size_t i = 0; i < whole.size(); i += 76) expected += (i ? "\r\n" : "") + whole.substr(i, 76);
    CHECK(sink.All() == expected);
  }
}

TEST_CASE("Quoted-Printable stream") {
  Writes sink;
  Smtp::QuotedPrintable::EncodingStream qp;
  qp.Attach(&sink);
  qp.Begin();
  auto put = [&](const std::string& s) { return qp.Write(s.data(), s.size(), nullptr); };

  SUBCASE("dots, line breaks and a blank that ends a call are escaped") {
    put("a.b");
    put("x y");
    put("end ");
    put("\r\n=\xE9\t");
    CHECK(sink.All() == "a=2Ebx yend=20=0D=0A=3D=E9=09");
  }
  SUBCASE("80 letters: soft break after 75, the line length runs on between calls") {
    put(std::string(40, 'a'));
    put(std::string(40, 'a'));
    CHECK(sink.All() == std::string(75, 'a') + "=\r\n" + std::string(5, 'a'));
  }
  SUBCASE("an escape never straddles the limit") {
    put(std::string(73, 'a') + ".");
    CHECK(sink.All() == std::string(73, 'a') + "=\r\n=2E");
  }
}

TEST_CASE("Base64 of whole buffers, and the strict decoder") {
  CHECK(Smtp::Base64Encode("", 0).empty());
  CHECK(Smtp::Base64Encode("a", 1) == "YQ==");
  CHECK(Smtp::Base64Encode("\xFB\xFF", 2) == "+/8=");

  std::string out = "stale";
  CHECK(Smtp::Base64Decode("", 0, out));
  CHECK(out.empty());
  CHECK(Smtp::Base64Decode("YQ==", 4, out));
  CHECK(out == "a");
  for (const char* bad : {"abc", "ab=c", "YWJj\r\n", "YQ==YQ==", "a===", "====", "YW J", "YWJ-"}) {
    CAPTURE(bad);
    out = "stale";
    CHECK_FALSE(Smtp::Base64Decode(bad, std::char_traits<char>::length(bad), out));
    CHECK(out.empty());
  }

  std::mt19937 rng(42);
  for (int round = 0; round < 200; ++round) {
    std::string data(rng() % 100, '\0');
    for (char& c : data) c = static_cast<char>(rng());
    std::string text = Smtp::Base64Encode(data.data(), data.size());
    CHECK(Smtp::Base64Decode(text.data(), text.size(), out));
    CHECK(out == data);
  }
}

TEST_CASE("charset names and the ASCII share") {
  CHECK(std::string(Smtp::CharsetName(65001)) == "UTF-8");
  CHECK(std::string(Smtp::CharsetName(1250)) == "US-ASCII");
  CHECK(std::string(Smtp::CharsetName(51932)) == "EUC_JP");
  CHECK_FALSE(Smtp::IsAscii("ab\x80"));
  CHECK(Smtp::IsMostlyAscii(""));
  CHECK(Smtp::IsMostlyAscii("abcdef\xC3\xA9"));
  CHECK_FALSE(Smtp::IsMostlyAscii("abcd\xC3\xA9"));
}

TEST_CASE("code page conversion") {
  CHECK(Smtp::ConvertToCodePage(L"", 65001).empty());
  CHECK(Smtp::ConvertToCodePage(L"\x41F\x440\x438", 65001) == "\xD0\x9F\xD1\x80\xD0\xB8");
  CHECK(Smtp::ConvertToCodePage(L"\x41F\x440\x438", 1251) == "\xCF\xF0\xE8");
  CHECK(Smtp::ConvertToCodePage(L"caf\xE9", 28591) == "caf\xE9");
  // A character the code page lacks becomes its default character.
  CHECK(Smtp::ConvertToCodePage(L"a\x4E2D" L"b", 1252) == "a?b");
}

TEST_CASE("header text: Q encoding, encoded-words, quoted strings, addresses") {
  CHECK(Smtp::QEncode("a b?c") == "a_b=3Fc");
  CHECK(Smtp::QEncode("\xE9_=") == "=E9=5F=3D");
  CHECK(Smtp::EncodedWord("caf\xC3\xA9 noir", 65001) == "=?UTF-8?Q?caf=C3=A9_noir?=");
  CHECK(Smtp::EncodedWord("caf\xC3\xA9", 65001) == "=?UTF-8?B?Y2Fmw6k=?=");
  CHECK(Smtp::EncodedWord("\xC3\xA9\xC3\xA9", 65001) == "=?UTF-8?B?w6nDqQ==?=");
  CHECK(Smtp::EncodeHeaderText(L"Disk full", 65001) == "Disk full");
  CHECK(Smtp::EncodeHeaderText(L"\x41F\x440\x438", 65001) == "=?UTF-8?B?0J/RgNC4?=");
  CHECK(Smtp::QuoteString("a\\b\"c") == "\"a\\\\b\\\"c\"");

  CHECK(Smtp::FormatAddress(L"", "a@b.c", 65001) == "<a@b.c>");
  CHECK(Smtp::FormatAddress(L"Jo \"Admin\"", "a@b.c", 65001) == "\"Jo \\\"Admin\\\"\" <a@b.c>");
  CHECK(Smtp::FormatAddress(L"J\xF6rgen M", "a@b.c", 65001) == "=?UTF-8?Q?J=C3=B6rgen_M?= <a@b.c>");

  SUBCASE("a line break never reaches the header raw, even in ASCII text") {
    CHECK(Smtp::EncodeHeaderText(L"Hi\r\nBcc: x@y.z", 65001) == "=?UTF-8?Q?Hi=0D=0ABcc:_x@y.z?=");
    CHECK(Smtp::EncodeHeaderText(L"Hi\nBcc", 1252) == "=?WINDOWS-1252?Q?Hi=0ABcc?=");
    CHECK(Smtp::FormatAddress(L"Eve\r\nBcc: x", "a@b.c", 65001) == "=?UTF-8?Q?Eve=0D=0ABcc:_x?= <a@b.c>");
  }
}
