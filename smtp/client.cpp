#include "smtp/client.h"

#include <new>
#include <vector>

#include "smtp/message_body.h"
#include "smtp/message_header.h"
#include "smtp/tls.h"

namespace Smtp {

Client::Client() : out_(&Socket()) {}

// The body writes through out_ into the secure stream, so it goes first.
Client::~Client() { body_.reset(); }

uint32_t Client::Create() { return cancel_.Create(); }

void Client::Release() { delete this; }

uint32_t Client::Cancel() { return cancel_.Set(); }

void Client::UsePlainSocket() {
  SetStream(&Socket());
  out_.SetSocket(&Socket());
  secure_.reset();
}

uint32_t Client::SecureConnection(const char* server) {
  if (uint32_t result = Smtp::StartTls(Socket(), server, secure_)) return result;
  SetStream(secure_.get());
  out_.SetSocket(secure_.get());
  return 0;
}

uint32_t Client::Connect(IConnectionParams& params) {
  body_.reset();
  capabilities_.clear();
  UsePlainSocket();
  TalSocket& socket = Socket();
  if (uint32_t result = socket.Initialize(&cancel_, params.GetTimeout(), params.GetDeadline())) return result;
  const char* server = params.GetServer();
  if (server == nullptr) return 1;
  Address address;
  if (uint32_t result = ResolveAddress(server, params.GetPort(), address)) return result;
  if (uint32_t result = socket.Open()) return result;
  if (uint32_t result = socket.Connect(address)) return result;

  localName_ = LocalDnsName();
  const char* name = localName_.c_str();
  bool secure = params.UseStartTls();
  bool implicitTls = secure && params.GetPort() == kImplicitTlsPort;
  if (implicitTls) {
    if (uint32_t result = SecureConnection(server)) return result;
  }
  if (uint32_t result = ReadGreeting()) return result;
  if (uint32_t result = Ehlo(name, capabilities_)) return result;
  if (secure && !implicitTls) {
    if (uint32_t result = StartTls()) return result;
    if (uint32_t result = SecureConnection(server)) return result;
    // What the server said before the handshake cannot be trusted.
    if (uint32_t result = Ehlo(name, capabilities_)) return result;
  }
  if (!params.NeedAuthentication()) return 0;
  const char* password = params.GetPassword();
  const char* user = params.GetUserName();
  return Authenticate(user, password, capabilities_);
}

uint32_t Client::Disconnect(bool sendQuit) {
  body_.reset();
  return sendQuit ? Quit() : 0;
}

uint32_t Client::StartMessage(IMessageInfo& info, unsigned short codePage) {
  // A message for nobody would go to DATA with an empty To header; refuse it
  // before the server sees anything.
  uint32_t count = info.GetRecipientCount();
  if (count == 0) return 1;
  if (uint32_t result = MailFrom(info.GetSender().GetAddress())) return result;
  std::vector<unsigned> accepted;
  uint32_t firstRefusal = 0;
  for (unsigned index = 0; index < count; ++index) {
    uint32_t result = RcptTo(info.GetRecipient(index).GetAddress());
    if (result == 0) {
      accepted.push_back(index);
    } else if (firstRefusal == 0) {
      firstRefusal = result;
    }
  }
  if (accepted.empty()) return firstRefusal;
  if (uint32_t result = Data()) return result;
  std::string header = MessageHeader(info, accepted, codePage, localName_);
  return out_.Write(header.data(), header.size(), nullptr);
}

uint32_t Client::BeginMessage(IMessageBody** body, int kind, IMessageInfo& info, unsigned short codePage) {
  if (body == nullptr) return 1;
  *body = nullptr;
  body_.reset();
  if (uint32_t result = StartMessage(info, codePage)) return result;
  body_ = std::make_unique<MessageBody>(&out_, MessageBody::KindOf(kind), codePage);
  *body = body_.get();
  return 0;
}

uint32_t Client::SendSinglePart(const wchar_t* text, bool html, IMessageInfo& info, unsigned short codePage) {
  if (text == nullptr) return 1;
  body_.reset();
  if (uint32_t result = StartMessage(info, codePage)) return result;
  body_ = std::make_unique<MessageBody>(&out_, MessageBody::kSinglePart, codePage);
  if (uint32_t result = html ? body_->AddHtml(text) : body_->AddText(text)) return result;
  return body_->Complete();
}

uint32_t Client::SendText(const wchar_t* text, IMessageInfo& info, unsigned short codePage) {
  return SendSinglePart(text, false, info, codePage);
}

uint32_t Client::SendHtml(const wchar_t* html, IMessageInfo& info, unsigned short codePage) {
  return SendSinglePart(html, true, info, codePage);
}

uint32_t Client::EndMessage() {
  if (!body_) return 1;
  uint32_t result = body_->Complete();
  if (result == 0) result = EndData();
  body_.reset();
  return result;
}

uint32_t CreateClient(IClient** client) {
  if (client == nullptr) return 1;
  *client = nullptr;
  auto* made = new (std::nothrow) Client;
  if (made == nullptr) return 1;
  if (uint32_t result = made->Create()) {
    made->Release();
    return result;
  }
  *client = made;
  return 0;
}

}  // namespace Smtp
