#pragma once
// Everything that turns text or data into what may go on the wire: the two
// body encoders (links of the output-stream chain), Base64 of whole buffers,
// charset names and the encodings of header text.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "smtp/stream64.h"

namespace Smtp {

namespace Base64 {

// 76-character lines; a line break stands at the start of the line that
// follows it, so the last line of a body ends without one.
class EncodingStream final : public CodingBaseStream<ISerialStream64Out> {
 public:
  uint32_t WriteData(const void* data, uint64_t size, uint64_t* written) override;
  uint32_t Begin() override;
  uint32_t Finish() override;

 private:
  static constexpr unsigned kLineInput = 57;  // input bytes of one 76-character line

  unsigned char pending_[2] = {};
  unsigned pendingSize_ = 0;
  std::string output_;
  unsigned room_ = kLineInput;
  bool lineFull_ = false;
};

}  // namespace Base64

namespace QuotedPrintable {

// Escapes line breaks and "." as well, so no encoded line ever starts with a
// dot and the message data needs no dot-stuffing.
class EncodingStream final : public CodingBaseStream<ISerialStream64Out> {
 public:
  uint32_t WriteData(const void* data, uint64_t size, uint64_t* written) override;
  uint32_t Begin() override;

 private:
  void Plain(unsigned char c);
  void Escaped(unsigned char c);

  std::string output_;
  unsigned lineLength_ = 0;
};

}  // namespace QuotedPrintable

// One line of standard Base64, padded.
std::string Base64Encode(const void* data, size_t size);
// Strict: a length that is a multiple of 4, nothing outside the alphabet, "="
// only at the end. out is empty unless it returns true.
bool Base64Decode(const char* text, size_t size, std::string& out);

// The MIME charset of a Windows code page; "US-ASCII" for one it does not know.
const char* CharsetName(unsigned short codePage);
bool IsAscii(std::string_view bytes);
// At most a quarter of the bytes are 0x80 or above.
bool IsMostlyAscii(std::string_view bytes);

// RFC 2047 "Q" encoding.
std::string QEncode(std::string_view bytes);
// "=?charset?Q?...?=" or "=?charset?B?...?=", never split.
std::string EncodedWord(std::string_view bytes, unsigned short codePage);
// Text for a header: as it is when it is ASCII without line breaks, else an
// encoded-word. A null text counts as empty.
std::string EncodeHeaderText(const wchar_t* text, unsigned short codePage);
std::string QuoteString(std::string_view bytes);
// "<address>" or name "<address>", the name quoted or encoded. The address
// goes out as it is.
std::string FormatAddress(const wchar_t* name, const char* address, unsigned short codePage);

}  // namespace Smtp
