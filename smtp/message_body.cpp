#include "smtp/message_body.h"

#include <cstdio>
#include <string_view>

#include "smtp/code_page.h"

namespace Smtp {
namespace {

// The runtime library's rand(): never seeded, one state per thread, so
// boundaries keep their familiar form without a shared generator.
unsigned NextRandom() {
  thread_local uint32_t state = 1;
  state = state * 214013u + 2531011u;
  return (state >> 16) & 0x7FFF;
}

std::string MakeBoundary() {
  unsigned a = NextRandom();
  unsigned b = NextRandom();
  unsigned c = NextRandom();
  unsigned d = NextRandom();
  char buffer[40];
  std::snprintf(buffer, sizeof buffer, "=====_=%04x%04x%04x%04x", a, b, c, d);
  return buffer;
}

const char* KindName(int kind) {
  switch (kind) {
    case MessageBody::kMultipartRelated: return "related";
    case MessageBody::kMultipartAlternative: return "alternative";
    default: return "mixed";
  }
}

const char* SubtypeName(int index) { return index == 1 ? "html" : "plain"; }

uint32_t WriteTo(ISerialStream64Out* out, const std::string& text) {
  return out ? out->Write(text.data(), text.size(), nullptr) : 1;
}

// Protocol tokens go into part headers as they are; a line break in one would
// start a header line of the caller's choosing.
bool IsHeaderToken(const char* token) {
  return token != nullptr && std::string_view(token).find_first_of("\r\n") == std::string_view::npos;
}

}  // namespace

uint32_t TextPart::Begin(int subtypeIndex, unsigned short codePage, bool quotedPrintable) {
  if (next_ == nullptr) return 1;
  if (quotedPrintable) {
    encoder_ = std::make_unique<QuotedPrintable::EncodingStream>();
  } else {
    encoder_ = std::make_unique<Base64::EncodingStream>();
  }
  encoder_->Attach(next_);
  std::string header = "Content-Type: text/";
  header += SubtypeName(subtypeIndex);
  header += "; charset=" + QuoteString(CharsetName(codePage)) + "\r\nContent-Transfer-Encoding: ";
  header += quotedPrintable ? "quoted-printable" : "base64";
  header += "\r\n\r\n";
  if (uint32_t rc = WriteTo(next_, header)) return rc;
  return encoder_->Begin();
}

uint32_t TextPart::WriteData(const void* data, uint64_t size, uint64_t* written) {
  return encoder_ ? encoder_->Write(data, size, written) : 1;
}

uint32_t TextPart::Close() {
  if (!encoder_) return 0;
  uint32_t rc = encoder_->Finish();
  encoder_.reset();
  return rc;
}

uint32_t Attachment::Begin(IAttachmentInfo& info, unsigned short codePage) {
  if (next_ == nullptr) return 1;
  std::string name = QuoteString(EncodeHeaderText(info.GetFileName(), codePage));
  std::string header = "Content-Type: ";
  header += info.GetType();
  header += '/';
  header += info.GetSubtype();
  header += ";\r\n\t name=" + name + "\r\nContent-Transfer-Encoding: base64\r\nContent-Disposition: ";
  header += info.IsInline() ? "inline" : "attachment";
  header += ";\r\n\t filename=" + name + "\r\n";
  if (const char* id = info.GetContentId()) {
    header += "Content-ID: <";
    header += id;
    header += ">\r\n";
  }
  header += "\r\n";
  if (uint32_t rc = WriteTo(next_, header)) return rc;
  encoder_ = std::make_unique<Base64::EncodingStream>();
  encoder_->Attach(next_);
  return encoder_->Begin();
}

uint32_t Attachment::WriteData(const void* data, uint64_t size, uint64_t* written) {
  return encoder_ ? encoder_->Write(data, size, written) : 1;
}

uint32_t Attachment::Close() {
  if (!encoder_) return 0;
  uint32_t rc = encoder_->Finish();
  encoder_.reset();
  return rc;
}

int MessageBody::KindOf(int interfaceKind) {
  switch (interfaceKind) {
    case kRelated: return kMultipartRelated;
    case kAlternative: return kMultipartAlternative;
    default: return kMultipartMixed;
  }
}

MessageBody::MessageBody(ISerialStream64Out* out, int kind, unsigned short codePage)
    : out_(out), kind_(kind), codePage_(codePage), boundary_(MakeBoundary()) {
  delimiter_ = "\r\n--" + boundary_ + "\r\n";
  closeDelimiter_ = "\r\n--" + boundary_ + "--\r\n";
}

// Writes nothing: a body that was not completed belongs to a message that is given up.
MessageBody::~MessageBody() = default;

uint32_t MessageBody::AddText(const wchar_t* text) { return AddTextPart(text, 0); }

uint32_t MessageBody::AddHtml(const wchar_t* html) { return AddTextPart(html, 1); }

uint32_t MessageBody::AddTextPart(const wchar_t* text, int subtypeIndex) {
  if (text == nullptr) return 1;
  if (uint32_t rc = CloseOpenPart()) return rc;
  if (uint32_t rc = StartPart("text", SubtypeName(subtypeIndex))) return rc;
  std::string bytes = ConvertToCodePage(text, codePage_);
  TextPart part;
  part.Attach(out_);
  if (uint32_t rc = part.Begin(subtypeIndex, codePage_, IsMostlyAscii(bytes))) return rc;
  if (uint32_t rc = part.Write(bytes.data(), bytes.size(), nullptr)) return rc;
  return part.Close();
}

uint32_t MessageBody::AddAttachment(ISerialStream64Out** stream, IAttachmentInfo& info) {
  if (stream == nullptr) return 1;
  *stream = nullptr;
  const char* type = info.GetType();
  const char* subtype = info.GetSubtype();
  const char* contentId = info.GetContentId();
  if (!IsHeaderToken(type) || !IsHeaderToken(subtype) || (contentId && !IsHeaderToken(contentId))) return 1;
  if (uint32_t rc = CloseOpenPart()) return rc;
  if (uint32_t rc = StartPart(type, subtype)) return rc;
  auto attachment = std::make_unique<Attachment>();
  attachment->Attach(out_);
  if (uint32_t rc = attachment->Begin(info, codePage_)) return rc;
  openAttachment_ = std::move(attachment);
  *stream = openAttachment_.get();
  return 0;
}

uint32_t MessageBody::AddMultipart(IMessageBody** body, int kind) {
  if (body == nullptr) return 1;
  *body = nullptr;
  int nestedKind = KindOf(kind);
  if (uint32_t rc = CloseOpenPart()) return rc;
  if (uint32_t rc = StartPart("multipart", KindName(nestedKind))) return rc;
  openBody_ = std::make_unique<MessageBody>(out_, nestedKind, codePage_);
  *body = openBody_.get();
  return 0;
}

uint32_t MessageBody::Complete() {
  if (uint32_t rc = CloseOpenPart()) return rc;
  if (kind_ == kSinglePart) return 0;
  return WriteText(closeDelimiter_);
}

uint32_t MessageBody::CloseOpenPart() {
  uint32_t rc = 0;
  if (openAttachment_) {
    rc = openAttachment_->Close();
    openAttachment_.reset();
  } else if (openBody_) {
    rc = openBody_->Complete();
    openBody_.reset();
  }
  return rc;
}

// The multipart header goes out with the first part, which names the type of a related body.
uint32_t MessageBody::StartPart(const char* type, const char* subtype) {
  if (kind_ == kSinglePart) return 0;
  if (!headerWritten_) {
    headerWritten_ = true;
    std::string header = "Content-Type: multipart/";
    header += KindName(kind_);
    if (kind_ == kMultipartRelated) {
      header += ";\r\n\t type=" + QuoteString(std::string(type) + "/" + subtype);
    }
    header += ";\r\n\t boundary=" + QuoteString(boundary_) + "\r\n\r\n";
    if (uint32_t rc = WriteText(header)) return rc;
  }
  return WriteText(delimiter_);
}

uint32_t MessageBody::WriteText(const std::string& text) { return WriteTo(out_, text); }

}  // namespace Smtp
