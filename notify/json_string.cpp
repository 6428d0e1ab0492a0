#include "notify/json_string.h"

#include "common/utf16.h"

void AppendJsonString(std::string& out, std::wstring_view text) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string utf8 = ToUtf8(text);
  out.reserve(out.size() + utf8.size() + 2);
  out.push_back('"');
  for (size_t i = 0; i < utf8.size(); ++i) {
    auto c = static_cast<unsigned char>(utf8[i]);
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20 || c == 0x7F) {
          out += "\\u00";
          out.push_back(kHex[c >> 4]);
          out.push_back(kHex[c & 0xF]);
        } else if (c == 0xE2 && i + 2 < utf8.size() && static_cast<unsigned char>(utf8[i + 1]) == 0x80 &&
                   (static_cast<unsigned char>(utf8[i + 2]) & 0xFE) == 0xA8) {
          // U+2028 and U+2029 end a line in JavaScript: escaped for receivers that eval.
          out += utf8[i + 2] == '\xA8' ? "\\u2028" : "\\u2029";
          i += 2;
        } else {
          out.push_back(static_cast<char>(c));
        }
    }
  }
  out.push_back('"');
}

std::string JsonString(std::wstring_view text) {
  std::string out;
  AppendJsonString(out, text);
  return out;
}
