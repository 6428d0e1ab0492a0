#pragma once
// A strict JSON reader for tests (RFC 8259): what a receiver of our posts
// would read, or nothing when the text is not valid JSON.
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/utf16.h"

struct JsonValue {
  enum class Kind { Null, Bool, Number, String, Array, Object } kind = Kind::Null;
  bool boolean = false;
  std::string text;  // a number's digits, or a string's UTF-8
  std::vector<JsonValue> items;
  std::map<std::string, JsonValue> fields;

  const JsonValue* Field(const std::string& name) const {
    auto it = fields.find(name);
    return it == fields.end() ? nullptr : &it->second;
  }
  // The string at a path of field names, or "" where there is none.
  std::string StringAt(std::initializer_list<const char*> path) const {
    const JsonValue* v = this;
    for (const char* name : path) {
      v = v->Field(name);
      if (v == nullptr) return "";
    }
    return v->kind == Kind::String || v->kind == Kind::Number ? v->text : "";
  }
};

namespace json_detail {

class Reader {
 public:
  explicit Reader(std::string_view s) : s_(s) {}
  bool Document(JsonValue& out) {
    if (!Value(out, 0)) return false;
    Blanks();
    return at_ == s_.size();
  }

 private:
  void Blanks() {
    while (at_ < s_.size() && (s_[at_] == ' ' || s_[at_] == '\t' || s_[at_] == '\n' || s_[at_] == '\r')) ++at_;
  }
  bool Literal(std::string_view word) {
    if (s_.substr(at_, word.size()) != word) return false;
    at_ += word.size();
    return true;
  }
  bool Hex4(uint32_t& v) {
    if (at_ + 4 > s_.size()) return false;
    v = 0;
    for (int i = 0; i < 4; ++i) {
      char c = s_[at_++];
      v = v * 16 + (c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : 99);
      if (v >= 0x10000) return false;
    }
    return true;
  }
  // Valid UTF-8 only: no overlong forms, surrogates or code points past U+10FFFF.
  bool Utf8(std::string& out) {
    auto b = static_cast<unsigned char>(s_[at_]);
    int extra = b < 0x80 ? 0 : (b >> 5) == 0x6 ? 1 : (b >> 4) == 0xE ? 2 : (b >> 3) == 0x1E ? 3 : -1;
    if (extra < 0 || at_ + extra >= s_.size() + (extra == 0)) return false;
    uint32_t c = extra == 0 ? b : b & (0x3F >> extra);
    for (int i = 1; i <= extra; ++i) {
      auto t = static_cast<unsigned char>(s_[at_ + i]);
      if ((t & 0xC0) != 0x80) return false;
      c = (c << 6) | (t & 0x3F);
    }
    static constexpr uint32_t kLeast[] = {0, 0x80, 0x800, 0x10000};
    if (c < kLeast[extra] || (c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) return false;
    out.append(s_.substr(at_, extra + 1));
    at_ += extra + 1;
    return true;
  }
  bool String(std::string& out) {
    if (at_ >= s_.size() || s_[at_] != '"') return false;
    ++at_;
    while (at_ < s_.size()) {
      char c = s_[at_];
      if (c == '"') {
        ++at_;
        return true;
      }
      if (static_cast<unsigned char>(c) < 0x20) return false;
      if (c != '\\') {
        if (!Utf8(out)) return false;
        continue;
      }
      if (++at_ >= s_.size()) return false;
      char e = s_[at_++];
      static constexpr std::string_view kFrom = "\"\\/bfnrt", kTo = "\"\\/\b\f\n\r\t";
      if (size_t k = kFrom.find(e); k != std::string_view::npos) {
        out.push_back(kTo[k]);
        continue;
      }
      if (e != 'u') return false;
      uint32_t v;
      if (!Hex4(v)) return false;
      std::u16string units(1, static_cast<char16_t>(v));
      if (v >= 0xD800 && v <= 0xDBFF) {
        uint32_t low;
        if (!Literal("\\u") || !Hex4(low) || low < 0xDC00 || low > 0xDFFF) return false;
        units.push_back(static_cast<char16_t>(low));
      } else if (v >= 0xDC00 && v <= 0xDFFF) {
        return false;
      }
      out += ToUtf8(FromUtf16(units));
    }
    return false;
  }
  bool Number(std::string& out) {
    size_t start = at_;
    auto digits = [&] {
      size_t from = at_;
      while (at_ < s_.size() && s_[at_] >= '0' && s_[at_] <= '9') ++at_;
      return at_ > from;
    };
    if (at_ < s_.size() && s_[at_] == '-') ++at_;
    if (at_ < s_.size() && s_[at_] == '0') {
      ++at_;
    } else if (!digits()) {
      return false;
    }
    if (at_ < s_.size() && s_[at_] == '.' && (++at_, !digits())) return false;
    if (at_ < s_.size() && (s_[at_] == 'e' || s_[at_] == 'E')) {
      ++at_;
      if (at_ < s_.size() && (s_[at_] == '+' || s_[at_] == '-')) ++at_;
      if (!digits()) return false;
    }
    out = std::string(s_.substr(start, at_ - start));
    return true;
  }
  bool Value(JsonValue& v, int depth) {
    if (depth > 64) return false;
    Blanks();
    if (at_ >= s_.size()) return false;
    char c = s_[at_];
    if (c == '{') {
      v.kind = JsonValue::Kind::Object;
      ++at_;
      Blanks();
      if (at_ < s_.size() && s_[at_] == '}') return ++at_, true;
      for (;;) {
        Blanks();
        std::string name;
        if (!String(name)) return false;
        Blanks();
        if (!Literal(":")) return false;
        JsonValue item;
        if (!Value(item, depth + 1) || v.fields.count(name)) return false;  // a repeated name is ambiguous
        v.fields.emplace(std::move(name), std::move(item));
        Blanks();
        if (Literal("}")) return true;
        if (!Literal(",")) return false;
      }
    }
    if (c == '[') {
      v.kind = JsonValue::Kind::Array;
      ++at_;
      Blanks();
      if (at_ < s_.size() && s_[at_] == ']') return ++at_, true;
      for (;;) {
        JsonValue item;
        if (!Value(item, depth + 1)) return false;
        v.items.push_back(std::move(item));
        Blanks();
        if (Literal("]")) return true;
        if (!Literal(",")) return false;
      }
    }
    if (c == '"') return v.kind = JsonValue::Kind::String, String(v.text);
    if (Literal("null")) return true;
    if (Literal("true")) return v.kind = JsonValue::Kind::Bool, v.boolean = true, true;
    if (Literal("false")) return v.kind = JsonValue::Kind::Bool, true;
    v.kind = JsonValue::Kind::Number;
    return Number(v.text);
  }

  std::string_view s_;
  size_t at_ = 0;
};

}  // namespace json_detail

inline std::optional<JsonValue> ParseJson(std::string_view text) {
  JsonValue v;
  if (!json_detail::Reader(text).Document(v)) return std::nullopt;
  return v;
}
