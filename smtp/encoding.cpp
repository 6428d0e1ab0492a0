#include "smtp/encoding.h"

#include <algorithm>

#include "smtp/code_page.h"

namespace Smtp {
namespace {

constexpr char kBase64Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr char kHexDigits[] = "0123456789ABCDEF";

void AppendGroup(std::string& out, unsigned char a, unsigned char b, unsigned char c) {
  uint32_t v = (uint32_t{a} << 16) | (uint32_t{b} << 8) | c;
  out.push_back(kBase64Alphabet[(v >> 18) & 63]);
  out.push_back(kBase64Alphabet[(v >> 12) & 63]);
  out.push_back(kBase64Alphabet[(v >> 6) & 63]);
  out.push_back(kBase64Alphabet[v & 63]);
}

// The last group of one or two bytes, padded.
void AppendPaddedGroup(std::string& out, const unsigned char* bytes, size_t count) {
  AppendGroup(out, bytes[0], count > 1 ? bytes[1] : 0, 0);
  out[out.size() - 1] = '=';
  if (count == 1) out[out.size() - 2] = '=';
}

int Base64Value(unsigned char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

bool HasLineBreak(std::string_view bytes) { return bytes.find_first_of("\r\n") != std::string_view::npos; }

struct CharsetRow {
  unsigned short codePage;
  const char* name;
};

constexpr CharsetRow kCharsets[] = {
    {1251, "WINDOWS-1251"}, {1252, "WINDOWS-1252"}, {1253, "WINDOWS-1253"}, {1254, "WINDOWS-1254"},
    {1255, "WINDOWS-1255"}, {1256, "WINDOWS-1256"}, {1257, "WINDOWS-1257"}, {1258, "WINDOWS-1258"},
    {28591, "ISO-8859-1"},  {28592, "ISO-8859-2"},  {28593, "ISO-8859-3"},  {28594, "ISO-8859-4"},
    {28595, "ISO-8859-5"},  {28596, "ISO-8859-6"},  {28597, "ISO-8859-7"},  {28598, "ISO-8859-8"},
    {28599, "ISO-8859-9"},  {65000, "UTF-7"},       {65001, "UTF-8"},       {10002, "Big5"},
    {51950, "EUC-TW"},      {20936, "GB2312"},      {52936, "HZ"},          {932, "Shift_JIS"},
    {50220, "ISO-2022-JP"}, {51932, "EUC_JP"},      {50225, "ISO-2022-KR"}, {51949, "EUC-KR"},
    {20866, "KOI8-R"},      {57010, "Gujarati-R"},
};

}  // namespace

namespace Base64 {

uint32_t EncodingStream::WriteData(const void* data, uint64_t size, uint64_t* written) {
  if (written) *written = 0;
  auto* bytes = static_cast<const unsigned char*>(data);
  if (pendingSize_ + size < 3) {
    std::copy(bytes, bytes + size, pending_ + pendingSize_);
    pendingSize_ += static_cast<unsigned>(size);
    return 0;
  }
  uint64_t total = pendingSize_ + size;
  uint64_t tail = total % 3;
  uint64_t body = total - tail;
  // Pending bytes come first, then the data.
  auto at = [&](uint64_t i) { return i < pendingSize_ ? pending_[i] : bytes[i - pendingSize_]; };

  output_.clear();
  output_.reserve(body / 3 * 4 + body / kLineInput * 2 + 2);
  if (lineFull_) output_ += "\r\n";
  for (uint64_t pos = 0; pos < body;) {
    if (pos != 0) output_ += "\r\n";
    uint64_t take = std::min<uint64_t>(room_, body - pos);
    for (uint64_t end = pos + take; pos < end; pos += 3) AppendGroup(output_, at(pos), at(pos + 1), at(pos + 2));
    room_ -= static_cast<unsigned>(take);
    if (room_ == 0) room_ = kLineInput;
  }
  lineFull_ = room_ == kLineInput;

  uint32_t result = next_ ? next_->Write(output_.data(), output_.size(), written) : 1;
  // The tail always lies within this call's data: pending plus data is at least 3 here.
  for (uint64_t i = 0; i < tail; ++i) pending_[i] = bytes[size - tail + i];
  pendingSize_ = static_cast<unsigned>(tail);
  return result;
}

uint32_t EncodingStream::Begin() {
  lineFull_ = false;
  return 0;
}

uint32_t EncodingStream::Finish() {
  if (pendingSize_ == 0) return 0;
  output_.clear();
  if (lineFull_) {
    output_ += "\r\n";
    room_ = kLineInput;
  }
  AppendPaddedGroup(output_, pending_, pendingSize_);
  pendingSize_ = 0;
  room_ -= 3;
  lineFull_ = false;
  return next_ ? next_->Write(output_.data(), output_.size(), nullptr) : 1;
}

}  // namespace Base64

namespace QuotedPrintable {

void EncodingStream::Plain(unsigned char c) {
  if (lineLength_ >= 75) {
    output_ += "=\r\n";
    lineLength_ = 0;
  }
  output_.push_back(static_cast<char>(c));
  ++lineLength_;
}

void EncodingStream::Escaped(unsigned char c) {
  if (lineLength_ >= 73) {
    output_ += "=\r\n";
    lineLength_ = 0;
  }
  output_.push_back('=');
  output_.push_back(kHexDigits[c >> 4]);
  output_.push_back(kHexDigits[c & 15]);
  lineLength_ += 3;
}

uint32_t EncodingStream::WriteData(const void* data, uint64_t size, uint64_t* written) {
  if (written) *written = 0;
  auto* bytes = static_cast<const unsigned char*>(data);
  output_.clear();
  output_.reserve(size * 2);
  for (uint64_t i = 0; i < size; ++i) {
    unsigned char c = bytes[i];
    bool safe = c >= 33 && c <= 126 && c != '=' && c != '.';
    // Blanks stay readable inside a call; one that ends a call might end a line, where it would be lost.
    if (safe || (i + 1 < size && (c == ' ' || c == '\t'))) {
      Plain(c);
    } else {
      Escaped(c);
    }
  }
  return next_ ? next_->Write(output_.data(), output_.size(), written) : 1;
}

uint32_t EncodingStream::Begin() {
  lineLength_ = 0;
  return 0;
}

}  // namespace QuotedPrintable

std::string Base64Encode(const void* data, size_t size) {
  auto* bytes = static_cast<const unsigned char*>(data);
  std::string out;
  if (size == 0) return out;
  out.reserve((size + 2) / 3 * 4);
  size_t body = size - size % 3;
  for (size_t i = 0; i < body; i += 3) AppendGroup(out, bytes[i], bytes[i + 1], bytes[i + 2]);
  if (size > body) AppendPaddedGroup(out, bytes + body, size - body);
  return out;
}

bool Base64Decode(const char* text, size_t size, std::string& out) {
  out.clear();
  if (size == 0) return true;
  if (text == nullptr || size % 4 != 0) return false;
  auto* chars = reinterpret_cast<const unsigned char*>(text);
  size_t padding = chars[size - 1] == '=' ? (chars[size - 2] == '=' ? 2 : 1) : 0;
  std::string bytes;
  bytes.reserve(size / 4 * 3);
  for (size_t i = 0; i < size; i += 4) {
    bool last = i + 4 == size;
    int v[4];
    for (size_t j = 0; j < 4; ++j) {
      bool pad = last && j >= 4 - padding;
      v[j] = pad ? 0 : Base64Value(chars[i + j]);
      if (v[j] < 0) return false;
    }
    uint32_t group = (uint32_t(v[0]) << 18) | (uint32_t(v[1]) << 12) | (uint32_t(v[2]) << 6) | uint32_t(v[3]);
    bytes.push_back(static_cast<char>(group >> 16));
    bytes.push_back(static_cast<char>(group >> 8));
    bytes.push_back(static_cast<char>(group));
  }
  bytes.resize(bytes.size() - padding);
  out = std::move(bytes);
  return true;
}

const char* CharsetName(unsigned short codePage) {
  for (const CharsetRow& row : kCharsets) {
    if (row.codePage == codePage) return row.name;
  }
  return "US-ASCII";
}

bool IsAscii(std::string_view bytes) {
  return std::none_of(bytes.begin(), bytes.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
}

bool IsMostlyAscii(std::string_view bytes) {
  auto high = std::count_if(bytes.begin(), bytes.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
  return static_cast<size_t>(high) <= bytes.size() / 4;
}

std::string QEncode(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size() * 3);
  for (char ch : bytes) {
    auto c = static_cast<unsigned char>(ch);
    if (c == ' ') {
      out.push_back('_');
    } else if (c >= 33 && c <= 126 && c != '=' && c != '?' && c != '_') {
      out.push_back(ch);
    } else {
      out.push_back('=');
      out.push_back(kHexDigits[c >> 4]);
      out.push_back(kHexDigits[c & 15]);
    }
  }
  return out;
}

std::string EncodedWord(std::string_view bytes, unsigned short codePage) {
  bool q = IsMostlyAscii(bytes);
  std::string word = "=?";
  word += CharsetName(codePage);
  word += q ? "?Q?" : "?B?";
  word += q ? QEncode(bytes) : Base64Encode(bytes.data(), bytes.size());
  word += "?=";
  return word;
}

std::string EncodeHeaderText(const wchar_t* text, unsigned short codePage) {
  std::string bytes = ConvertToCodePage(text ? text : L"", codePage);
  // A raw line break would let the text add header lines of its own.
  if (IsAscii(bytes) && !HasLineBreak(bytes)) return bytes;
  return EncodedWord(bytes, codePage);
}

std::string QuoteString(std::string_view bytes) {
  std::string out = "\"";
  for (char c : bytes) {
    if (c == '\\' || c == '"') out.push_back('\\');
    out.push_back(c);
  }
  out.push_back('"');
  return out;
}

std::string FormatAddress(const wchar_t* name, const char* address, unsigned short codePage) {
  std::string bracketed = "<";
  bracketed += address ? address : "";
  bracketed += '>';
  if (name == nullptr || *name == L'\0') return bracketed;
  std::string bytes = ConvertToCodePage(name, codePage);
  std::string display = IsAscii(bytes) && !HasLineBreak(bytes) ? QuoteString(bytes) : EncodedWord(bytes, codePage);
  return display + " " + bracketed;
}

}  // namespace Smtp
