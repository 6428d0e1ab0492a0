#include "settings/reg_file_format.h"

#include <algorithm>
#include <cstdio>
#include <numeric>
#include <optional>
#include <set>
#include <utility>

#include "common/blanks.h"
#include "common/hex.h"
#include "common/quoted_text.h"
#include "common/utf16.h"

namespace {

constexpr std::wstring_view kHeader = L"Windows Registry Editor Version 5.00";
constexpr std::wstring_view kOldHeader = L"REGEDIT4";
constexpr uint32_t kRegSz = 1;
constexpr uint32_t kRegBinary = 3;
constexpr uint32_t kRegDword = 4;
// regedit wraps hex data so that no line is longer than this.
constexpr size_t kLineWidth = 80;
constexpr size_t kNone = static_cast<size_t>(-1);

wchar_t Fold(wchar_t c) { return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c; }

// Orders without regard to ASCII case: negative, zero or positive.
int CompareFolded(std::wstring_view a, std::wstring_view b) {
  size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    auto x = static_cast<uint32_t>(Fold(a[i]));
    auto y = static_cast<uint32_t>(Fold(b[i]));
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() < b.size() ? -1 : a.size() > b.size() ? 1 : 0;
}

bool StartsFolded(std::wstring_view text, std::wstring_view prefix) {
  return text.size() >= prefix.size() && CompareFolded(text.substr(0, prefix.size()), prefix) == 0;
}

// UTF-8 cannot carry a lone surrogate, so text holding one could not be
// written back as it was read.
bool HasLoneSurrogate(std::wstring_view text) {
  std::u16string units = ToUtf16(text);
  for (size_t i = 0; i < units.size(); ++i) {
    char16_t u = units[i];
    if (u >= 0xD800 && u <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF) {
      ++i;
    } else if (u >= 0xD800 && u <= 0xDFFF) {
      return true;
    }
  }
  return false;
}

// "aa,bb,cc": two hex digits a byte; nothing at all is no bytes.
bool ReadHexBytes(std::wstring_view text, std::string& bytes, std::wstring& why) {
  if (Trim(text).empty()) return true;
  bytes.reserve(text.size() / 3 + 1);
  for (;;) {
    size_t comma = text.find(L',');
    std::wstring_view digits = Trim(text.substr(0, comma));
    int hi = digits.size() == 2 ? HexDigit(digits[0]) : -1;
    int lo = digits.size() == 2 ? HexDigit(digits[1]) : -1;
    if (hi < 0 || lo < 0) {
      why = L"bad hex byte \"" + std::wstring(digits.substr(0, 8)) + L"\"";
      return false;
    }
    bytes.push_back(static_cast<char>(hi << 4 | lo));
    if (comma == std::wstring_view::npos) return true;
    text.remove_prefix(comma + 1);
  }
}

struct ValueData {
  bool remove = false;  // "-"
  uint32_t type = 0;
  std::string bytes;
};

bool ReadData(std::wstring_view text, ValueData& data, std::wstring& why) {
  if (text == L"-") {
    data.remove = true;
    return true;
  }
  if (!text.empty() && text[0] == L'"') {
    std::wstring value;
    size_t at = 0;
    if (!ReadQuoted(text, at, value, why)) return false;
    if (at != text.size()) {
      why = L"text after the closing quote";
      return false;
    }
    data.type = kRegSz;
    // REG_SZ data carries its terminating zero.
    data.bytes = EncodeUtf16Le(value) + std::string(2, '\0');
    return true;
  }
  if (StartsFolded(text, L"dword:")) {
    uint32_t number = 0;
    if (!ReadHexNumber(text.substr(6), number)) {
      why = L"a dword is one to eight hex digits";
      return false;
    }
    data.type = kRegDword;
    for (int shift = 0; shift < 32; shift += 8) data.bytes.push_back(static_cast<char>(number >> shift & 0xFF));
    return true;
  }
  if (StartsFolded(text, L"hex:")) {
    data.type = kRegBinary;
    return ReadHexBytes(text.substr(4), data.bytes, why);
  }
  if (StartsFolded(text, L"hex(")) {
    size_t close = text.find(L"):");
    if (close == std::wstring_view::npos || !ReadHexNumber(text.substr(4, close - 4), data.type)) {
      why = L"bad value type in hex(...)";
      return false;
    }
    return ReadHexBytes(text.substr(close + 2), data.bytes, why);
  }
  why = L"unknown data form";
  return false;
}

// Lines of UTF-16LE (after a byte-order mark) or UTF-8 text.
class LineReader {
 public:
  explicit LineReader(std::string_view bytes) : rest_(bytes) {
    if (rest_.substr(0, 2) == "\xFF\xFE") {
      utf16_ = true;
      rest_.remove_prefix(2);
    } else if (rest_.substr(0, 3) == "\xEF\xBB\xBF") {
      rest_.remove_prefix(3);
    }
  }

  // The next line without its end; false at the end of the text, or with why
  // set when the line is not valid text.
  bool Next(std::wstring& line, std::wstring& why) {
    if (done_) return false;
    ++number_;
    size_t end = LineEnd();
    std::string_view bytes = rest_.substr(0, end);
    if (end == rest_.size()) {
      done_ = true;
      // Every line of a saved file ends, so one that does not is where a copy or a write stopped.
      if (!bytes.empty()) {
        why = L"the last line has no line end: the file is cut short";
        return false;
      }
    } else {
      rest_.remove_prefix(end + (utf16_ ? 2 : 1));
    }
    if (utf16_) {
      if (bytes.size() % 2 != 0) {
        why = L"the file ends in the middle of a UTF-16 code unit";
        return false;
      }
      line = DecodeUtf16Le(bytes);
      if (HasLoneSurrogate(line)) {
        why = L"not valid UTF-16 text";
        return false;
      }
    } else if (!FromUtf8(bytes, line)) {
      why = L"not valid UTF-8 text";
      return false;
    }
    if (!line.empty() && line.back() == L'\r') line.pop_back();
    if (line.find(L'\0') != std::wstring::npos) {
      why = L"NUL character";
      return false;
    }
    return true;
  }

  size_t Number() const { return number_; }

 private:
  size_t LineEnd() const {
    if (!utf16_) return std::min(rest_.find('\n'), rest_.size());
    for (size_t i = 0; i + 1 < rest_.size(); i += 2) {
      if (rest_[i] == '\n' && rest_[i + 1] == '\0') return i;
    }
    return rest_.size();
  }

  std::string_view rest_;
  bool utf16_ = false;
  bool done_ = false;
  size_t number_ = 0;
};

// The hive while the file is read. Deleted keys are only marked, and each key
// collects its value assignments and deletions in file order to be settled at
// the end, so a hostile file of many keys or values costs n log n, not n².
class HiveBuilder {
 public:
  HiveBuilder() : index_(ByPath{&keys_}) {}
  HiveBuilder(const HiveBuilder&) = delete;
  HiveBuilder& operator=(const HiveBuilder&) = delete;

  size_t OpenKey(std::wstring_view path) {
    auto it = index_.find(path);
    if (it != index_.end()) return *it;
    keys_.push_back({std::wstring(path), {}, false});
    index_.insert(keys_.size() - 1);
    return keys_.size() - 1;
  }

  // The key and every key below it.
  void DeleteKey(std::wstring_view path) {
    auto mark = [this](auto first, auto last) {
      for (auto it = first; it != last; ++it) keys_[*it].deleted = true;
      index_.erase(first, last);
    };
    auto exact = index_.find(path);
    if (exact != index_.end()) mark(exact, std::next(exact));
    // Paths below start with path + '\'; ']' is the character after '\'.
    std::wstring below = std::wstring(path) + L'\\';
    std::wstring beyond = std::wstring(path) + L']';
    mark(index_.lower_bound(below), index_.lower_bound(beyond));
  }

  void Apply(size_t key, std::wstring name, ValueData data) {
    keys_[key].ops.push_back({{std::move(name), data.type, std::move(data.bytes)}, data.remove});
  }

  std::vector<RegFileKey> Finish() {
    std::vector<RegFileKey> out;
    out.reserve(index_.size());
    for (Key& key : keys_) {
      if (!key.deleted) out.push_back({std::move(key.path), Settle(key.ops)});
    }
    return out;
  }

 private:
  struct Op {
    RegFileValue value;
    bool remove;
  };
  struct Key {
    std::wstring path;
    std::vector<Op> ops;
    bool deleted;
  };
  struct ByPath {
    using is_transparent = void;
    const std::vector<Key>* keys;
    bool operator()(size_t a, size_t b) const { return CompareFolded((*keys)[a].path, (*keys)[b].path) < 0; }
    bool operator()(size_t a, std::wstring_view b) const { return CompareFolded((*keys)[a].path, b) < 0; }
    bool operator()(std::wstring_view a, size_t b) const { return CompareFolded(a, (*keys)[b].path) < 0; }
  };

  // A value keeps the name and place of the assignment that created it and
  // the data of the last one; a deletion ends it.
  static std::vector<RegFileValue> Settle(std::vector<Op>& ops) {
    auto name = [&ops](size_t i) -> std::wstring_view { return ops[i].value.name; };
    std::vector<size_t> order(ops.size());
    std::iota(order.begin(), order.end(), size_t{0});
    std::stable_sort(order.begin(), order.end(),
                     [&](size_t a, size_t b) { return CompareFolded(name(a), name(b)) < 0; });
    std::vector<std::pair<size_t, RegFileValue>> kept;
    for (size_t i = 0; i < order.size();) {
      size_t first = kNone, last = kNone, j = i;
      for (; j < order.size() && CompareFolded(name(order[j]), name(order[i])) == 0; ++j) {
        if (ops[order[j]].remove) {
          first = kNone;
        } else {
          if (first == kNone) first = order[j];
          last = order[j];
        }
      }
      if (first != kNone) {
        RegFileValue value = std::move(ops[last].value);
        if (first != last) value.name = std::move(ops[first].value.name);
        kept.emplace_back(first, std::move(value));
      }
      i = j;
    }
    std::sort(kept.begin(), kept.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<RegFileValue> values;
    values.reserve(kept.size());
    for (auto& k : kept) values.push_back(std::move(k.second));
    return values;
  }

  std::vector<Key> keys_;
  std::set<size_t, ByPath> index_;  // keys not deleted, by path
};

class Parser {
 public:
  explicit Parser(std::string_view bytes) : reader_(bytes) {}

  bool Run(std::vector<RegFileKey>& keys, std::wstring& error) {
    std::wstring line;
    bool header = false;
    while (reader_.Next(line, why_)) {
      size_t number = reader_.Number();
      std::wstring_view text = Trim(line);
      if (text.empty()) continue;
      bool ok = true;
      if (!header) {
        header = text == kHeader || text == kOldHeader;
        if (!header) ok = Fail(number, L"not a registry file: the first line is not \"Windows Registry Editor Version 5.00\"");
      } else if (text[0] == L';') {
        continue;
      } else if (text[0] == L'[') {
        ok = KeyLine(text, number);
      } else if (text[0] == L'"' || text[0] == L'@') {
        ok = ValueLine(text, number);
      } else {
        ok = Fail(number, L"unexpected text");
      }
      if (!ok) break;
    }
    if (!why_.empty()) {
      error = L"line " + std::to_wstring(errorLine_ ? errorLine_ : reader_.Number()) + L": " + why_;
      return false;
    }
    keys = hive_.Finish();
    return true;
  }

 private:
  bool Fail(size_t line, std::wstring why) {
    errorLine_ = line;
    why_ = std::move(why);
    return false;
  }

  bool KeyLine(std::wstring_view text, size_t number) {
    size_t close = text.rfind(L']');
    if (close == std::wstring_view::npos) return Fail(number, L"no ']' after the key name");
    if (close + 1 != text.size()) return Fail(number, L"text after the key name's ']'");
    std::wstring_view path = text.substr(1, close - 1);
    bool remove = !path.empty() && path[0] == L'-';
    if (remove) path.remove_prefix(1);
    if (path.empty()) return Fail(number, L"empty key name");
    if (remove) {
      hive_.DeleteKey(path);
      key_ = kNone;
    } else {
      key_ = hive_.OpenKey(path);
    }
    return true;
  }

  bool ValueLine(std::wstring_view text, size_t number) {
    if (key_ == kNone) return Fail(number, L"a value outside a key");
    std::wstring line(text);
    std::wstring name;
    size_t at = 1;  // after "@"
    if (line[0] == L'"') {
      at = 0;
      if (!ReadQuoted(line, at, name, why_)) return Fail(number, why_);
    }
    while (at < line.size() && IsBlank(line[at])) ++at;
    if (at == line.size() || line[at] != L'=') return Fail(number, L"no '=' after the value name");
    ++at;
    while (at < line.size() && IsBlank(line[at])) ++at;
    // regedit continues long hex data on the next lines after a backslash.
    if (StartsFolded(std::wstring_view(line).substr(at), L"hex")) {
      while (line.back() == L'\\') {
        line.pop_back();
        std::wstring next;
        if (!reader_.Next(next, why_)) {
          return why_.empty() ? Fail(number, L"hex data continues past the end of the file")
                              : Fail(reader_.Number(), why_);
        }
        line += Trim(next);
      }
    }
    ValueData data;
    if (!ReadData(std::wstring_view(line).substr(at), data, why_)) return Fail(number, why_);
    hive_.Apply(key_, std::move(name), std::move(data));
    return true;
  }

  LineReader reader_;
  HiveBuilder hive_;
  size_t key_ = kNone;
  std::wstring why_;
  size_t errorLine_ = 0;
};

size_t KeyIndex(const std::vector<RegFileKey>& keys, std::wstring_view path) {
  for (size_t i = 0; i < keys.size(); ++i) {
    if (CompareFolded(keys[i].path, path) == 0) return i;
  }
  return kNone;
}

size_t ValueIndex(const std::vector<RegFileValue>& values, std::wstring_view name) {
  for (size_t i = 0; i < values.size(); ++i) {
    if (CompareFolded(values[i].name, name) == 0) return i;
  }
  return kNone;
}

// UTF-8 with '\' and '"' escaped.
std::string Quoted(std::wstring_view text) {
  std::string out = "\"";
  for (char c : ToUtf8(text)) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  return out + '"';
}

// The text of REG_SZ data that can be written as "text" and read back to the
// same bytes: one terminating zero and nothing that would break the line.
std::optional<std::wstring> PlainText(const RegFileValue& value) {
  const std::string& data = value.data;
  if (value.type != kRegSz || data.size() < 2 || data.size() % 2 != 0 || data[data.size() - 2] != '\0' ||
      data.back() != '\0')
    return std::nullopt;
  std::wstring text = DecodeUtf16Le(std::string_view(data).substr(0, data.size() - 2));
  if (text.find_first_of(std::wstring_view(L"\0\r\n", 3)) != std::wstring::npos || HasLoneSurrogate(text))
    return std::nullopt;
  return text;
}

void AppendHexBytes(std::string& out, std::string_view bytes, size_t column) {
  static constexpr char kDigits[] = "0123456789abcdef";
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (i > 0) {
      out += ',';
      ++column;
    }
    // Room for "xx," and the backslash.
    if (column + 4 > kLineWidth) {
      out += "\\\r\n  ";
      column = 2;
    }
    auto b = static_cast<unsigned char>(bytes[i]);
    out += kDigits[b >> 4];
    out += kDigits[b & 0xF];
    column += 2;
  }
}

void AppendValue(std::string& out, const RegFileValue& value) {
  size_t lineStart = out.size();
  out += value.name.empty() ? std::string("@") : Quoted(value.name);
  out += '=';
  char number[32];
  if (std::optional<std::wstring> text = PlainText(value)) {
    out += Quoted(*text);
  } else if (value.type == kRegDword && value.data.size() == 4) {
    uint32_t n = 0;
    for (int i = 3; i >= 0; --i) n = n << 8 | static_cast<unsigned char>(value.data[i]);
    std::snprintf(number, sizeof number, "dword:%08x", static_cast<unsigned>(n));
    out += number;
  } else {
    if (value.type == kRegBinary) {
      out += "hex:";
    } else {
      std::snprintf(number, sizeof number, "hex(%x):", static_cast<unsigned>(value.type));
      out += number;
    }
    AppendHexBytes(out, value.data, out.size() - lineStart);
  }
  out += "\r\n";
}

}  // namespace

bool RegFileHive::Parse(std::string_view fileBytes, std::wstring& error) {
  if (fileBytes.size() > kMaxFileBytes) {
    error = L"the file is larger than 16 MiB";
    return false;
  }
  std::vector<RegFileKey> keys;
  if (!Parser(fileBytes).Run(keys, error)) return false;
  keys_ = std::move(keys);
  return true;
}

std::string RegFileHive::Serialize() const {
  std::string out = ToUtf8(kHeader) + "\r\n\r\n";
  for (const RegFileKey& key : keys_) {
    out += '[' + ToUtf8(key.path) + "]\r\n";
    for (const RegFileValue& value : key.values) AppendValue(out, value);
    out += "\r\n";
  }
  return out;
}

const RegFileValue* RegFileHive::Find(std::wstring_view keyPath, std::wstring_view name) const {
  size_t k = KeyIndex(keys_, keyPath);
  if (k == kNone) return nullptr;
  size_t v = ValueIndex(keys_[k].values, name);
  return v == kNone ? nullptr : &keys_[k].values[v];
}

void RegFileHive::Set(std::wstring_view keyPath, std::wstring_view name, uint32_t type, std::string_view data) {
  size_t k = KeyIndex(keys_, keyPath);
  if (k == kNone) {
    keys_.push_back({std::wstring(keyPath), {}});
    k = keys_.size() - 1;
  }
  std::vector<RegFileValue>& values = keys_[k].values;
  size_t v = ValueIndex(values, name);
  if (v == kNone) {
    values.push_back({std::wstring(name), type, std::string(data)});
  } else {
    values[v].type = type;
    values[v].data.assign(data);
  }
}

bool RegFileHive::Remove(std::wstring_view keyPath, std::wstring_view name) {
  size_t k = KeyIndex(keys_, keyPath);
  if (k == kNone) return false;
  std::vector<RegFileValue>& values = keys_[k].values;
  size_t v = ValueIndex(values, name);
  if (v == kNone) return false;
  values.erase(values.begin() + static_cast<std::ptrdiff_t>(v));
  return true;
}
