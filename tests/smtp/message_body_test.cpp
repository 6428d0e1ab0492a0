#include "smtp/message_body.h"

#include <doctest/doctest.h>

#include <regex>
#include <string>
#include <thread>

#include "smtp/message_header.h"
#include "tests/smtp/peers.h"

namespace {

using Sink = peers::Collect;

class FileInfo final : public Smtp::IAttachmentInfo {
 public:
  const char* GetType() override { return type; }
  const char* GetSubtype() override { return subtype; }
  const wchar_t* GetFileName() override { return name; }
  bool IsInline() override { return true; }
  const char* GetContentId() override { return id; }
  const char* type = "application";
  const char* subtype = "octet-stream";
  const wchar_t* name = L"report.txt";
  const char* id = nullptr;
};

}  // namespace

TEST_CASE("single-part text: the part header follows the message header directly, encoded by its ASCII share") {
  const struct {
    const wchar_t* text;
    std::string encoding, encoded;
  } cases[] = {{L"Hello.", "quoted-printable", "Hello=2E"},
               {L"\x41F\x440\x438\x432\x435\x442", "base64", "0J/RgNC40LLQtdGC"}};
  for (const auto& c : cases) {
    CAPTURE(c.encoding);
    Sink sink;
    Smtp::MessageBody body(&sink, Smtp::MessageBody::kSinglePart, 65001);
    CHECK(body.AddText(c.text) == 0);
    CHECK(body.Complete() == 0);
    CHECK(sink.bytes == "Content-Type: text/plain; charset=\"UTF-8\"\r\nContent-Transfer-Encoding: " + c.encoding +
                            "\r\n\r\n" + c.encoded);
    CHECK(body.AddText(nullptr) == 1);
  }
}

TEST_CASE("multipart layout: header with the first part, delimiters, nested bodies, attachments") {
  Sink sink;
  Smtp::MessageBody body(&sink, Smtp::MessageBody::KindOf(7), 65001);
  const std::string b = body.boundary();

  Smtp::IMessageBody* nested = nullptr;
  REQUIRE(body.AddMultipart(&nested, Smtp::kAlternative) == 0);
  REQUIRE(nested != nullptr);
  const std::string n = static_cast<Smtp::MessageBody*>(nested)->boundary();
  CHECK(n != b);
  CHECK(nested->AddText(L"a") == 0);
  CHECK(nested->AddHtml(L"b") == 0);

  FileInfo file;
  file.id = "logo@here";
  Smtp::ISerialStream64Out* stream = nullptr;
  REQUIRE(body.AddAttachment(&stream, file) == 0);
  REQUIRE(stream != nullptr);
  CHECK(stream->Write("abcd", 4, nullptr) == 0);
  CHECK(body.Complete() == 0);

  const std::string qp = "; charset=\"UTF-8\"\r\nContent-Transfer-Encoding: quoted-printable\r\n\r\n";
  CHECK(sink.bytes == "Content-Type: multipart/mixed;\r\n\t boundary=\"" + b + "\"\r\n\r\n\r\n--" + b + "\r\n" +
                          "Content-Type: multipart/alternative;\r\n\t boundary=\"" + n + "\"\r\n\r\n" +
                          "\r\n--" + n + "\r\nContent-Type: text/plain" + qp + "a" +
                          "\r\n--" + n + "\r\nContent-Type: text/html" + qp + "b" +
                          "\r\n--" + n + "--\r\n\r\n--" + b + "\r\n" +
                          "Content-Type: application/octet-stream;\r\n\t name=\"report.txt\"\r\n"
                          "Content-Transfer-Encoding: base64\r\nContent-Disposition: inline;\r\n\t "
                          "filename=\"report.txt\"\r\nContent-ID: <logo@here>\r\n\r\nYWJjZA==" +
                          "\r\n--" + b + "--\r\n");
}

TEST_CASE("boundaries come from the per-thread generator, unseeded; a related body names its first part's type") {
  std::string first;
  std::thread([&] { first = Smtp::MessageBody(nullptr, 0, 65001).boundary(); }).join();
  CHECK(first == "=====_=0029482318be6784");

  Sink sink;
  Smtp::MessageBody related(&sink, Smtp::MessageBody::KindOf(Smtp::kRelated), 65001);
  related.AddHtml(L"<p>x</p>");
  CHECK(sink.bytes.starts_with("Content-Type: multipart/related;\r\n\t type=\"text/html\";\r\n\t boundary=\"" +
                               related.boundary() + "\"\r\n\r\n"));
}

TEST_CASE("attachments: a line break in the file name is encoded, in a type or content id refused; write failures") {
  Sink sink;
  Smtp::MessageBody body(&sink, Smtp::MessageBody::kMultipartMixed, 65001);
  FileInfo file;
  Smtp::ISerialStream64Out* stream = &sink;
  file.subtype = "plain\r\nBcc: x";
  CHECK(body.AddAttachment(&stream, file) == 1);
  file.subtype = "plain";
  file.id = "x>\nBcc: y";
  CHECK(body.AddAttachment(&stream, file) == 1);
  file.id = nullptr;
  file.type = nullptr;
  CHECK(body.AddAttachment(&stream, file) == 1);
  CHECK(stream == nullptr);
  CHECK(sink.bytes.empty());  // refused before anything is written

  file.type = "text";
  file.name = L"a\r\nBcc: x";
  REQUIRE(body.AddAttachment(&stream, file) == 0);
  CHECK(sink.bytes.find("\t name=\"=?UTF-8?Q?a=0D=0ABcc:_x?=\"\r\n") != std::string::npos);
  CHECK(sink.bytes.find("\t filename=\"=?UTF-8?Q?a=0D=0ABcc:_x?=\"\r\n") != std::string::npos);

  // A failed write comes back at once and leaves no open part.
  Sink failing;
  Smtp::MessageBody broken(&failing, Smtp::MessageBody::kMultipartMixed, 65001);
  failing.failAt = 2;  // multipart header and delimiter pass, the part header fails
  CHECK(broken.AddAttachment(&stream, file) == 10054);
  CHECK(stream == nullptr);
  CHECK(broken.AddText(L"x") == 10054);
  CHECK(broken.Complete() == 10054);
}

TEST_CASE("message header: accepted recipients only, encoded subject, Message-ID") {
  peers::Info info;
  info.recipients = {{L"First", "one@example.com"}, {L"", "two@example.com"}, {L"Third", "3@x.y"}};
  std::string header = Smtp::MessageHeader(info, {1, 2, 9}, 65001, "mon-01.example.com");
  std::smatch m;
  const std::regex layout(
      "Date: [A-Z][a-z]{2}, \\d\\d [A-Z][a-z]{2} \\d{4} \\d\\d:\\d\\d:\\d\\d [-+]\\d{4}\r\n"
      "(From: [^]*)Message-ID: <([^@<>]+)@mon-01\\.example\\.com>\r\nMIME-Version: 1\\.0\r\n");
  REQUIRE(std::regex_match(header, m, layout));
  CHECK(m[1] ==
        "From: \"Varnalis\" <monitor@example.org>\r\nTo: <two@example.com>,\r\n\t \"Third\" <3@x.y>\r\n"
        "Subject: Disk usage on Localhost Error.\r\n");

  info.subject = L"x\r\nBcc: evil@example.com";
  header = Smtp::MessageHeader(info, {0}, 65001, "");
  CHECK(header.find("To: \"First\" <one@example.com>\r\nSubject: =?UTF-8?Q?x=0D=0ABcc:_evil@example.com?=\r\n") !=
        std::string::npos);
  CHECK(header.find("@localhost>\r\n") != std::string::npos);
  CHECK(Smtp::MakeMessageId("host") != Smtp::MakeMessageId("host"));
  CHECK(Smtp::MakeMessageId("bad host\r\n").ends_with("@localhost>"));
}
