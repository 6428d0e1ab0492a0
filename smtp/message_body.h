#pragma once
// MIME composition straight into the client's output stream: one part header
// or one encoder buffer is the most that is held in memory.
#include <cstdint>
#include <memory>
#include <string>

#include "smtp/encoding.h"
#include "smtp/interfaces.h"
#include "smtp/stream64.h"

namespace Smtp {

// A text part: header, then the encoded bytes, then Close.
class TextPart final : public Stream64AdapterBase<ISerialStream64Out> {
 public:
  // subtypeIndex: 0 plain, 1 html. Attach the output stream first.
  uint32_t Begin(int subtypeIndex, unsigned short codePage, bool quotedPrintable);
  uint32_t WriteData(const void* data, uint64_t size, uint64_t* written) override;
  // Flushes and drops the encoder.
  uint32_t Close();

 private:
  std::unique_ptr<CodingBaseStream<ISerialStream64Out>> encoder_;
};

// An attachment part: the stream the user writes the file's bytes into.
class Attachment final : public Stream64AdapterBase<ISerialStream64Out> {
 public:
  // Attach the output stream first.
  uint32_t Begin(IAttachmentInfo& info, unsigned short codePage);
  uint32_t WriteData(const void* data, uint64_t size, uint64_t* written) override;
  uint32_t Close();

 private:
  std::unique_ptr<Base64::EncodingStream> encoder_;
};

class MessageBody final : public IMessageBody {
 public:
  // The body's own kinds; 0 is made only for a single text or HTML message.
  static constexpr int kSinglePart = 0;
  static constexpr int kMultipartMixed = 2;
  static constexpr int kMultipartRelated = 3;
  static constexpr int kMultipartAlternative = 4;
  // The kind of a caller's kMixed / kRelated / kAlternative; anything else is mixed.
  static int KindOf(int interfaceKind);

  // out is not owned and must outlive the body.
  MessageBody(ISerialStream64Out* out, int kind, unsigned short codePage);
  ~MessageBody() override;
  MessageBody(const MessageBody&) = delete;
  MessageBody& operator=(const MessageBody&) = delete;

  uint32_t AddText(const wchar_t* text) override;
  uint32_t AddHtml(const wchar_t* html) override;
  uint32_t AddAttachment(ISerialStream64Out** stream, IAttachmentInfo& info) override;
  uint32_t AddMultipart(IMessageBody** body, int kind) override;
  // Closes the open part and, for a multipart body, writes the close delimiter.
  uint32_t Complete();

  const std::string& boundary() const { return boundary_; }

 private:
  uint32_t AddTextPart(const wchar_t* text, int subtypeIndex);
  uint32_t CloseOpenPart();
  uint32_t StartPart(const char* type, const char* subtype);
  uint32_t WriteText(const std::string& text);

  ISerialStream64Out* out_;
  int kind_;
  unsigned short codePage_;
  std::unique_ptr<Attachment> openAttachment_;
  std::unique_ptr<MessageBody> openBody_;
  std::string boundary_;
  std::string delimiter_;
  std::string closeDelimiter_;
  bool headerWritten_ = false;
};

}  // namespace Smtp
