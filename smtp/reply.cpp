#include "smtp/reply.h"

namespace Smtp {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

ReplyStatus ParseReply(std::string_view received, Reply& lines) {
  lines.clear();
  if (received.size() > kMaxReplyBytes) return ReplyStatus::kMalformed;
  size_t start = 0;
  for (;;) {
    size_t cr = received.find('\r', start);
    if (cr == std::string_view::npos || cr + 1 == received.size()) return ReplyStatus::kIncomplete;
    std::string_view line = received.substr(start, cr - start);
    if (received[cr + 1] != '\n' || line.size() < 3) return ReplyStatus::kMalformed;
    if (!IsDigit(line[0]) || !IsDigit(line[1]) || !IsDigit(line[2])) return ReplyStatus::kMalformed;
    if (lines.size() == kMaxReplyLines) return ReplyStatus::kMalformed;
    bool continued = line.size() > 3 && line[3] == '-';
    std::string_view text = line.substr(continued ? 4 : 3);
    size_t first = text.find_first_not_of(' ');
    text = first == std::string_view::npos ? std::string_view() : text.substr(first);
    auto code = static_cast<uint16_t>((line[0] - '0') * 100 + (line[1] - '0') * 10 + (line[2] - '0'));
    lines.push_back({code, std::string(text)});
    start = cr + 2;
    // Bytes after a final line mean the server is out of step; keep reading
    // until it is quiet, the reply grows too large or the wait runs out.
    if (!continued) return start == received.size() ? ReplyStatus::kComplete : ReplyStatus::kIncomplete;
  }
}

void BuildCapabilities(const Reply& ehloReply, Capabilities& out) {
  out.clear();
  out.reserve(ehloReply.size());
  for (size_t i = 1; i < ehloReply.size(); ++i) {
    const ReplyLine& line = ehloReply[i];
    if (line.code != 250 || line.text.empty()) continue;
    std::string_view text = line.text;
    Capability capability;
    size_t space = text.find(' ');
    capability.keyword = std::string(text.substr(0, space));
    if (space != std::string_view::npos) {
      std::string_view rest = text.substr(space + 1);
      // Every single space splits, so two in a row give an empty parameter;
      // a space at the very end gives none.
      while (!rest.empty()) {
        size_t next = rest.find(' ');
        capability.parameters.emplace_back(rest.substr(0, next));
        if (next == std::string_view::npos) break;
        rest = rest.substr(next + 1);
      }
    }
    out.push_back(std::move(capability));
  }
}

const Capability* FindCapability(const Capabilities& capabilities, std::string_view keyword) {
  for (const Capability& capability : capabilities) {
    if (capability.keyword == keyword) return &capability;
  }
  return nullptr;
}

}  // namespace Smtp
