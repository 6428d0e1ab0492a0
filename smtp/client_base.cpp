#include "smtp/client_base.h"

#include <cstring>

#include "smtp/encoding.h"
#include "smtp/md5.h"

namespace Smtp {

bool IsSafeArgument(const char* text) { return text != nullptr && std::strpbrk(text, "\r\n") == nullptr; }

ClientBase::ClientBase() : stream_(&socket_) {}

ClientBase::~ClientBase() = default;

uint32_t ClientBase::SendRaw(std::string_view bytes) {
  unsigned int sent = 0;
  return stream_->SendAll(bytes.data(), static_cast<unsigned int>(bytes.size()), &sent);
}

uint32_t ClientBase::ReadReply() {
  reply_.clear();
  std::string received;
  char buffer[4096];
  for (;;) {
    unsigned int count = 0;
    if (uint32_t result = stream_->Receive(buffer, sizeof buffer, &count)) return result;
    if (count == 0) return 1;  // closed while a reply was due
    bool endedWithCr = !received.empty() && received.back() == '\r';
    received.append(buffer, count);
    if (received.size() > kMaxReplyBytes) return 1;
    // Only a line end can change the outcome; a server trickling bytes must
    // not make every receive parse everything again.
    if (!endedWithCr && std::memchr(buffer, '\r', count) == nullptr && std::memchr(buffer, '\n', count) == nullptr) {
      continue;
    }
    switch (ParseReply(received, reply_)) {
      case ReplyStatus::kComplete:
        return 0;
      case ReplyStatus::kMalformed:
        reply_.clear();
        return 1;
      case ReplyStatus::kIncomplete:
        break;
    }
  }
}

uint32_t ClientBase::ExpectReply(unsigned short code) {
  if (uint32_t result = ReadReply()) return result;
  return reply_.front().code == code ? 0 : reply_.front().code;
}

uint32_t ClientBase::SendCommand(const char* command, const char* argument) {
  if (command == nullptr) return 1;
  std::string line;
  if (argument == nullptr) {
    line = command;
  } else {
    // Nothing the caller passes may smuggle in a command of its own.
    if (!IsSafeArgument(argument)) return 1;
    if (std::strcmp(command, "MAIL") == 0) {
      line = std::string("MAIL FROM:<") + argument + ">";
    } else if (std::strcmp(command, "RCPT") == 0) {
      line = std::string("RCPT TO:<") + argument + ">";
    } else {
      line = std::string(command) + " " + argument;
    }
  }
  line += "\r\n";
  return SendRaw(line);
}

uint32_t ClientBase::Command(const char* command, const char* argument, unsigned short code) {
  if (uint32_t result = SendCommand(command, argument)) return result;
  return ExpectReply(code);
}

uint32_t ClientBase::ReadGreeting() { return ExpectReply(220); }

uint32_t ClientBase::Ehlo(const char* name, Capabilities& out) {
  if (name == nullptr) return 1;
  if (uint32_t result = Command("EHLO", name, 250)) return result;
  BuildCapabilities(reply_, out);
  return 0;
}

uint32_t ClientBase::StartTls() { return Command("STARTTLS", nullptr, 220); }

uint32_t ClientBase::MailFrom(const char* address) {
  if (address == nullptr) return 1;
  return Command("MAIL", address, 250);
}

uint32_t ClientBase::RcptTo(const char* address) {
  if (address == nullptr) return 1;
  return Command("RCPT", address, 250);
}

uint32_t ClientBase::Data() { return Command("DATA", nullptr, 354); }

uint32_t ClientBase::EndData() {
  if (uint32_t result = SendRaw("\r\n.\r\n")) return result;
  return ExpectReply(250);
}

uint32_t ClientBase::Quit() { return Command("QUIT", nullptr, 221); }

uint32_t ClientBase::Authenticate(const char* user, const char* password, const Capabilities& capabilities) {
  const Capability* auth = FindCapability(capabilities, "AUTH");
  if (auth == nullptr) return 1;
  for (const std::string& mechanism : auth->parameters) {
    if (mechanism == "PLAIN") return AuthPlain(user, password);
    if (mechanism == "CRAM-MD5") return AuthCramMd5(user, password);
  }
  return 1;
}

uint32_t ClientBase::AuthPlain(const char* user, const char* password) {
  if (!IsSafeArgument(user) || !IsSafeArgument(password)) return 1;
  std::string message;
  message += '\0';
  message += user;
  message += '\0';
  message += password;
  std::string argument = "PLAIN " + Base64Encode(message.data(), message.size());
  return Command("AUTH", argument.c_str(), 235);
}

uint32_t ClientBase::AuthCramMd5(const char* user, const char* password) {
  // The password never goes on the wire here, but a line break in it is as
  // wrong as in the user name: refuse both alike.
  if (!IsSafeArgument(user) || !IsSafeArgument(password)) return 1;
  if (uint32_t result = Command("AUTH", "CRAM-MD5", 334)) return result;
  const std::string& challengeText = reply_.front().text;
  std::string challenge;
  if (!Base64Decode(challengeText.data(), challengeText.size(), challenge)) {
    if (uint32_t result = SendRaw("*\r\n")) return result;
    uint32_t result = ExpectReply(501);
    return result == 0 ? 1 : result;
  }
  Md5Digest digest = HmacMd5(password, std::strlen(password), challenge.data(), challenge.size());
  std::string response = std::string(user) + " " + DigestHex(digest);
  if (uint32_t result = SendRaw(Base64Encode(response.data(), response.size()) + "\r\n")) return result;
  return ExpectReply(235);
}

}  // namespace Smtp
