#pragma once
// Server replies: parsing the bytes received so far into reply lines, and the
// capability list that an EHLO reply announces.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace Smtp {

struct ReplyLine {
  uint16_t code = 0;
  std::string text;  // after the code and separator, leading spaces removed, no CR LF
};

using Reply = std::vector<ReplyLine>;

// A server that never finishes its reply must not make us grow without end.
inline constexpr size_t kMaxReplyBytes = 64 * 1024;
inline constexpr size_t kMaxReplyLines = 1000;

enum class ReplyStatus { kComplete, kIncomplete, kMalformed };

// Parses everything received so far from its start. lines holds the lines
// parsed; they are the reply only when the result is kComplete. The result
// never changes from kMalformed as bytes are added.
ReplyStatus ParseReply(std::string_view received, Reply& lines);

struct Capability {
  std::string keyword;
  std::vector<std::string> parameters;
};

using Capabilities = std::vector<Capability>;

// One capability per 250 line after the first (the greeting line).
void BuildCapabilities(const Reply& ehloReply, Capabilities& out);

// Case-sensitive; nullptr when the server does not announce it.
const Capability* FindCapability(const Capabilities& capabilities, std::string_view keyword);

}  // namespace Smtp
