#include "smtp/reply.h"

#include <doctest/doctest.h>

#include <string>

using Smtp::ParseReply;
using Smtp::ReplyStatus;

TEST_CASE("reply parsing: complete, incomplete, malformed, and the limits") {
  Smtp::Reply lines;
  const std::string greeting = "220-first\r\n220-  second\r\n220\r\n";
  CHECK(ParseReply(greeting, lines) == ReplyStatus::kComplete);
  REQUIRE(lines.size() == 3);
  CHECK(lines[0].code == 220);
  CHECK(lines[0].text == "first");
  CHECK(lines[1].text == "second");
  CHECK(lines[2].text.empty());
  // Every shorter piece of it waits for more, wherever the receive ended.
  for (size_t size = 0; size < greeting.size(); ++size) {
    CHECK(ParseReply(greeting.substr(0, size), lines) == ReplyStatus::kIncomplete);
  }
  // Bytes after the final line: the server is out of step, so no reply yet.
  CHECK(ParseReply("250 ok\r\n250 more\r\n", lines) == ReplyStatus::kIncomplete);

  for (const char* bad : {"25\r\n", "\r\n", "2x0 text\r\n", "250 te\rxt\r\n", "250-a\r\n25\r\n"}) {
    CAPTURE(bad);
    CHECK(ParseReply(bad, lines) == ReplyStatus::kMalformed);
  }
  std::string many;
  for (size_t i = 0; i < Smtp::kMaxReplyLines - 1; ++i) many += "250-x\r\n";
  CHECK(ParseReply(many + "250 end\r\n", lines) == ReplyStatus::kComplete);
  CHECK(ParseReply(many + "250-x\r\n250 end\r\n", lines) == ReplyStatus::kMalformed);
  CHECK(ParseReply(std::string(Smtp::kMaxReplyBytes + 1, '2'), lines) == ReplyStatus::kMalformed);
}

TEST_CASE("capabilities: one per 250 line after the greeting line, split at single spaces") {
  Smtp::Reply lines;
  REQUIRE(ParseReply("250-mail.example greets you\r\n250-PIPELINING\r\n250-AUTH LOGIN  CRAM-MD5 PLAIN \r\n"
                     "250-\r\n251-SKIPPED x\r\n250 SIZE 1000\r\n",
                     lines) == ReplyStatus::kComplete);
  Smtp::Capabilities capabilities;
  Smtp::BuildCapabilities(lines, capabilities);
  REQUIRE(capabilities.size() == 3);
  CHECK(capabilities[0].keyword == "PIPELINING");
  CHECK(capabilities[0].parameters.empty());
  CHECK(capabilities[1].parameters == std::vector<std::string>{"LOGIN", "", "CRAM-MD5", "PLAIN"});
  CHECK(capabilities[2].parameters == std::vector<std::string>{"1000"});
  CHECK(Smtp::FindCapability(capabilities, "AUTH") == &capabilities[1]);
  CHECK(Smtp::FindCapability(capabilities, "auth") == nullptr);
  CHECK(Smtp::FindCapability(capabilities, "mail.example") == nullptr);
}
