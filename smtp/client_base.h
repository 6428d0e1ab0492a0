#pragma once
// The SMTP protocol steps over one connection: each sends its command and
// turns any reply other than the one it expects into that reply's code.
#include <cstdint>
#include <string>
#include <string_view>

#include "smtp/reply.h"
#include "smtp/socket.h"

namespace Smtp {

class ClientBase {
 public:
  ClientBase();
  ClientBase(const ClientBase&) = delete;
  ClientBase& operator=(const ClientBase&) = delete;

  uint32_t ReadReply();
  uint32_t ExpectReply(unsigned short code);
  // "MAIL" and "RCPT" put the argument in angle brackets; argument may be null.
  uint32_t SendCommand(const char* command, const char* argument);
  uint32_t Command(const char* command, const char* argument, unsigned short code);
  uint32_t ReadGreeting();
  uint32_t Ehlo(const char* name, Capabilities& out);
  // Only the command; the handshake is the caller's.
  uint32_t StartTls();
  uint32_t MailFrom(const char* address);
  uint32_t RcptTo(const char* address);
  uint32_t Data();
  uint32_t EndData();
  uint32_t Quit();
  // PLAIN or CRAM-MD5, whichever the server lists first.
  uint32_t Authenticate(const char* user, const char* password, const Capabilities& capabilities);
  uint32_t AuthPlain(const char* user, const char* password);
  uint32_t AuthCramMd5(const char* user, const char* password);

  const Reply& LastReply() const { return reply_; }

 protected:
  ~ClientBase();
  TalSocket& Socket() { return socket_; }
  // The stream the protocol runs over: the socket, or the TLS stream on top of it.
  void SetStream(ISocketStream* stream) { stream_ = stream; }

 private:
  uint32_t SendRaw(std::string_view bytes);

  TalSocket socket_;
  ISocketStream* stream_;
  Reply reply_;
};

// False for null and for text that could end a command line early.
bool IsSafeArgument(const char* text);

}  // namespace Smtp
