// Arbitrary bytes as what a server sent: parsing must never misbehave, and
// reading them in pieces must end as reading them whole does.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "smtp/reply.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  Smtp::Reply lines;
  Smtp::ReplyStatus whole = Smtp::ParseReply(bytes, lines);
  if (whole == Smtp::ReplyStatus::kComplete) {
    if (lines.empty() || lines.size() > Smtp::kMaxReplyLines) std::abort();
    for (const Smtp::ReplyLine& line : lines) {
      if (line.code > 999 || line.text.find('\r') != std::string::npos) std::abort();
      if (!line.text.empty() && line.text[0] == ' ') std::abort();
    }
    Smtp::Capabilities capabilities;
    Smtp::BuildCapabilities(lines, capabilities);
    if (capabilities.size() >= lines.size()) std::abort();
    for (const Smtp::Capability& capability : capabilities) {
      if (capability.keyword.empty() || capability.keyword.find(' ') != std::string::npos) std::abort();
    }
  }
  // A reply is taken as soon as it is complete, so no shorter piece may be
  // complete; and a malformed piece stays malformed.
  Smtp::Reply pieceLines;
  for (size_t cut = 0; cut < size; ++cut) {
    // Long inputs: only the cuts around line ends, where the outcome can turn.
    if (size > 1024 && bytes[cut] != '\r' && bytes[cut] != '\n' && (cut == 0 || bytes[cut - 1] != '\r')) continue;
    Smtp::ReplyStatus piece = Smtp::ParseReply(bytes.substr(0, cut), pieceLines);
    if (whole == Smtp::ReplyStatus::kComplete && piece != Smtp::ReplyStatus::kIncomplete) std::abort();
    if (piece == Smtp::ReplyStatus::kMalformed && whole != Smtp::ReplyStatus::kMalformed) std::abort();
  }
  return 0;
}
