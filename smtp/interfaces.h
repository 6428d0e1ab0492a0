#pragma once
// The mail library's public side: what its user implements to hand over the
// settings and the message, and what the library hands out. The library never
// owns or keeps the user's objects beyond the call that receives them.
//
// Result codes (unsigned 32-bit): 0 success; 1 the library's own failure
// (protocol error, no usable authentication, bad challenge, null argument,
// cancelled wait, refused input); a three-digit SMTP reply code the command
// did not expect; 258 a wait ran out of time or the session outlived its
// deadline; 0xFFFFFFFF the wait failed; any
// other value the platform's socket or system error (or a TLS failure, see
// tls.h).
#include <cstdint>
#include <string>

#include "smtp/stream64.h"

namespace Smtp {

class IConnectionParams {
 public:
  virtual const char* GetServer() = 0;
  virtual unsigned short GetPort() = 0;
  virtual bool NeedAuthentication() = 0;
  virtual const char* GetUserName() = 0;
  virtual const char* GetPassword() = 0;
  // Secure connection: implicit TLS on port 465, STARTTLS on any other.
  virtual bool UseStartTls() = 0;
  // Milliseconds any single wait may last; 0xFFFFFFFF for no limit.
  virtual uint32_t GetTimeout() = 0;
  // Milliseconds the whole session may last, from Connect to the end of
  // Disconnect, however slowly the server keeps answering; 0xFFFFFFFF for
  // no limit.
  virtual uint32_t GetDeadline() = 0;

 protected:
  ~IConnectionParams() = default;
};

class IAddress {
 public:
  virtual const wchar_t* GetName() = 0;  // empty for none
  virtual const char* GetAddress() = 0;  // without angle brackets

 protected:
  ~IAddress() = default;
};

class IMessageInfo {
 public:
  virtual IAddress& GetSender() = 0;
  virtual uint32_t GetRecipientCount() = 0;
  virtual IAddress& GetRecipient(unsigned int index) = 0;
  virtual const wchar_t* GetSubject() = 0;

 protected:
  ~IMessageInfo() = default;
};

class IAttachmentInfo {
 public:
  virtual const char* GetType() = 0;
  virtual const char* GetSubtype() = 0;
  virtual const wchar_t* GetFileName() = 0;
  virtual bool IsInline() = 0;
  virtual const char* GetContentId() = 0;  // nullptr for none

 protected:
  ~IAttachmentInfo() = default;
};

// Multipart kinds as callers give them; anything else is mixed.
inline constexpr int kMixed = 0;
inline constexpr int kRelated = 1;
inline constexpr int kAlternative = 2;

class IMessageBody {
 public:
  virtual uint32_t AddText(const wchar_t* text) = 0;
  virtual uint32_t AddHtml(const wchar_t* html) = 0;
  // The stream belongs to the body and lives until the next add or the end.
  virtual uint32_t AddAttachment(ISerialStream64Out** stream, IAttachmentInfo& info) = 0;
  virtual uint32_t AddMultipart(IMessageBody** body, int kind) = 0;
  virtual ~IMessageBody() = default;
};

class IClient {
 public:
  virtual void Release() = 0;
  // The one call another thread may make: ends the wait in progress and every later one with 1.
  virtual uint32_t Cancel() = 0;
  virtual uint32_t Connect(IConnectionParams& params) = 0;
  virtual uint32_t Disconnect(bool sendQuit) = 0;
  virtual uint32_t BeginMessage(IMessageBody** body, int kind, IMessageInfo& info, unsigned short codePage) = 0;
  virtual uint32_t SendText(const wchar_t* text, IMessageInfo& info, unsigned short codePage) = 0;
  virtual uint32_t SendHtml(const wchar_t* html, IMessageInfo& info, unsigned short codePage) = 0;
  virtual uint32_t EndMessage() = 0;

 protected:
  virtual ~IClient() = default;
};

// *client is nullptr unless it returns 0. Release the client when done.
uint32_t CreateClient(IClient** client);

// Words for a result code, for an administrator.
std::wstring ResultText(uint32_t code);

}  // namespace Smtp
