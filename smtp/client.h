#pragma once
// The library's IClient: one SMTP session over one connection at a time.
#include <cstdint>
#include <memory>
#include <string>

#include "smtp/cancel_event.h"
#include "smtp/client_base.h"
#include "smtp/interfaces.h"
#include "smtp/reply.h"
#include "smtp/socket.h"

namespace Smtp {

class MessageBody;

// The port on which the connection is TLS from its first byte.
inline constexpr unsigned short kImplicitTlsPort = 465;

class Client final : public IClient, public ClientBase {
 public:
  Client();
  // 0, or the platform's error when the cancel event cannot be made.
  uint32_t Create();

  void Release() override;
  uint32_t Cancel() override;
  uint32_t Connect(IConnectionParams& params) override;
  uint32_t Disconnect(bool sendQuit) override;
  uint32_t BeginMessage(IMessageBody** body, int kind, IMessageInfo& info, unsigned short codePage) override;
  uint32_t SendText(const wchar_t* text, IMessageInfo& info, unsigned short codePage) override;
  uint32_t SendHtml(const wchar_t* html, IMessageInfo& info, unsigned short codePage) override;
  uint32_t EndMessage() override;

 private:
  ~Client() override;
  uint32_t SecureConnection(const char* server);
  void UsePlainSocket();
  uint32_t StartMessage(IMessageInfo& info, unsigned short codePage);
  uint32_t SendSinglePart(const wchar_t* text, bool html, IMessageInfo& info, unsigned short codePage);

  TalSocketExStreamOut out_;
  CancelEvent cancel_;
  Capabilities capabilities_;
  std::string localName_;  // read at Connect, for EHLO and the header
  std::unique_ptr<MessageBody> body_;
  // Declared last so it goes before the socket it runs over.
  std::unique_ptr<ISocketStream> secure_;
};

// The local computer's fully qualified DNS name for EHLO; empty when it cannot
// be read (client_win.cpp / client_posix.cpp).
std::string LocalDnsName();

}  // namespace Smtp
