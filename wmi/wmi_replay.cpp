#include "wmi/wmi_replay.h"

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <system_error>

#include "common/blanks.h"
#include "common/decimal.h"
#include "common/hex.h"
#include "common/quoted_text.h"
#include "common/utf16.h"

namespace {

// Messages quote at most this much of a line.
constexpr size_t kExcerptLength = 80;

wchar_t Fold(wchar_t c) { return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c; }

// Names are ASCII identifiers, so folding ASCII is all the case-blindness
// needed, and it does not depend on the locale.
std::wstring Folded(std::wstring_view text) {
  std::wstring folded(text);
  for (wchar_t& c : folded) c = Fold(c);
  return folded;
}

bool SameFolded(std::wstring_view text, std::wstring_view lowerWord) {
  if (text.size() != lowerWord.size()) return false;
  for (size_t i = 0; i < text.size(); ++i) {
    if (Fold(text[i]) != lowerWord[i]) return false;
  }
  return true;
}

bool IsIdentifier(std::wstring_view text) {
  if (text.empty()) return false;
  for (wchar_t c : text) {
    bool ok = (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9') || c == L'_';
    if (!ok) return false;
  }
  return true;
}

// A piece of the line fit to quote in a message: cut short, without control
// characters that would upset a console, and never ending inside a surrogate pair.
std::wstring Excerpt(std::wstring_view text) {
  std::wstring out;
  for (wchar_t c : text.substr(0, kExcerptLength)) out.push_back(c < L' ' || c == 0x7F ? L'?' : c);
  if (!out.empty() && out.back() >= 0xD800 && out.back() <= 0xDBFF) out.pop_back();
  if (text.size() > kExcerptLength) out += L"...";
  return out;
}

// "0x" and one to eight hex digits.
bool ReadHexCode(std::wstring_view text, WmiCode& code) {
  return text.size() >= 2 && text[0] == L'0' && Fold(text[1]) == L'x' && ReadHexNumber(text.substr(2), code);
}

// A decimal in the range of either a signed or an unsigned 32-bit number,
// kept as its 32-bit pattern. False with why set otherwise.
bool ReadInteger(std::wstring_view token, int32_t& number, std::wstring& why) {
  std::optional<int64_t> value = ReadWholeDecimal(token, Sign::Allowed);
  if (!value) {
    why = L"\"" + Excerpt(token) + L"\" is not a number, a quoted text, null or other";
    return false;
  }
  if (*value < INT32_MIN || *value > UINT32_MAX) {
    why = Excerpt(token) + L" does not fit in 32 bits";
    return false;
  }
  number = static_cast<int32_t>(static_cast<uint32_t>(*value));
  return true;
}

// What follows the '=': the instances' values, or "error 0x...".
bool ReadValues(std::wstring_view text, WmiCode& code, std::vector<WmiValue>& values, std::wstring& why) {
  code = kWmiOk;
  size_t at = 0;
  for (;;) {
    while (at < text.size() && IsBlank(text[at])) ++at;
    if (at == text.size()) return true;
    if (text[at] == L'"') {
      std::wstring quoted;
      if (!ReadQuoted(text, at, quoted, why)) return false;
      if (at < text.size() && !IsBlank(text[at])) {
        why = L"a blank must follow the closing quote";
        return false;
      }
      values.push_back(WmiValue::Text(std::move(quoted)));
      continue;
    }
    size_t end = at;
    while (end < text.size() && !IsBlank(text[end])) ++end;
    std::wstring_view token = text.substr(at, end - at);
    if (SameFolded(token, L"null")) {
      values.push_back(WmiValue::Null());
    } else if (SameFolded(token, L"other")) {
      values.push_back(WmiValue::Other());
    } else if (SameFolded(token, L"error")) {
      if (at != 0) {
        why = L"error stands alone, in place of the values";
        return false;
      }
      if (!ReadHexCode(Trim(text.substr(end)), code)) {
        why = L"expected error 0x followed by one to eight hex digits";
        return false;
      }
      // A success code would report a failed query as answered.
      if (code < 0x80000000u) {
        why = L"an error code is a failure code, 0x80000000 or above";
        return false;
      }
      return true;
    } else {
      int32_t number = 0;
      if (!ReadInteger(token, number, why)) return false;
      values.push_back(WmiValue::Int32(number));
    }
    at = end;
  }
}

}  // namespace

bool WmiReplaySource::AddAnswer(std::wstring_view className, std::wstring_view property, Answer answer) {
  auto [cls, newClass] = classes_.try_emplace(Folded(className), ClassAnswers{answer.pass, {}});
  auto [prop, newProperty] = cls->second.properties.try_emplace(Folded(property));
  std::vector<Answer>& answers = prop->second;
  if (!answers.empty() && answers.back().pass == answer.pass) return false;
  if (newProperty) columns_.push_back({std::wstring(className), std::wstring(property), answer.pass});
  answers.push_back(std::move(answer));
  return true;
}

bool WmiReplaySource::Parse(std::string_view utf8, const std::wstring& name, std::wstring& error) {
  if (utf8.size() > kMaxFileBytes) {
    error = name + L": larger than 16 MiB";
    return false;
  }
  if (utf8.substr(0, 3) == "\xEF\xBB\xBF") utf8.remove_prefix(3);

  size_t lineNumber = 0;
  std::wstring line;
  while (!utf8.empty()) {
    ++lineNumber;
    size_t end = std::min(utf8.find('\n'), utf8.size());
    std::string_view bytes = utf8.substr(0, end);
    utf8.remove_prefix(std::min(end + 1, utf8.size()));
    if (!bytes.empty() && bytes.back() == '\r') bytes.remove_suffix(1);

    std::wstring where = name + L":" + std::to_wstring(lineNumber) + L": ";
    if (!FromUtf8(bytes, line)) {
      error = where + L"not valid UTF-8 text";
      return false;
    }
    auto fail = [&](const std::wstring& why) {
      error = where + L"\"" + Excerpt(line) + L"\": " + why;
      return false;
    };
    if (line.find(L'\0') != std::wstring::npos) return fail(L"NUL character");

    std::wstring_view text = Trim(line);
    if (text.empty() || text[0] == L'#') continue;
    if (SameFolded(text, L"pass")) {
      ++passCount_;
      continue;
    }

    size_t equals = text.find(L'=');
    std::wstring_view target = Trim(text.substr(0, equals));
    size_t dot = target.find(L'.');
    if (equals == std::wstring_view::npos || dot == std::wstring_view::npos || !IsIdentifier(target.substr(0, dot)) ||
        !IsIdentifier(target.substr(dot + 1))) {
      return fail(L"expected Class.Property = values");
    }
    if (passCount_ == 0) return fail(L"answers before the first \"pass\" line");

    Answer answer{passCount_, kWmiOk, {}};
    std::wstring why;
    if (!ReadValues(Trim(text.substr(equals + 1)), answer.code, answer.values, why)) return fail(why);
    if (!AddAnswer(target.substr(0, dot), target.substr(dot + 1), std::move(answer))) {
      return fail(std::wstring(target) + L" is already listed in this pass");
    }
  }
  if (passCount_ == 0) {
    error = name + L": no \"pass\" line; a recording needs at least one pass";
    return false;
  }
  return true;
}

WmiCode WmiReplaySource::Column(const std::wstring& className, const std::wstring& property,
                                std::vector<WmiValue>& values) {
  size_t pass = 0;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    pass = std::max<size_t>(passesStarted_, 1);
  }
  values.clear();
  auto cls = classes_.find(Folded(className));
  if (cls == classes_.end() || cls->second.firstPass > pass) return kWmiInvalidClass;
  auto prop = cls->second.properties.find(Folded(property));
  if (prop == cls->second.properties.end()) return kWmiNotFound;
  // The latest answer given at or before this pass.
  const std::vector<Answer>& answers = prop->second;
  auto after = std::upper_bound(answers.begin(), answers.end(), pass,
                                [](size_t p, const Answer& answer) { return p < answer.pass; });
  if (after == answers.begin()) return kWmiNotFound;
  const Answer& answer = *std::prev(after);
  if (answer.code != kWmiOk) return answer.code;
  values = answer.values;
  return kWmiOk;
}

// A recording stands for whichever computer is watched.
WmiCode WmiReplaySource::ConnectRemote(const std::wstring&) { return kWmiOk; }

void WmiReplaySource::OnPassStart() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (passesStarted_ < passCount_) ++passesStarted_;
}

std::unique_ptr<WmiReplaySource> ParseReplayText(const std::string& utf8, const std::wstring& name,
                                                 std::wstring& error) {
  std::unique_ptr<WmiReplaySource> source(new WmiReplaySource());
  if (!source->Parse(utf8, name, error)) return nullptr;
  return source;
}

std::unique_ptr<WmiReplaySource> LoadReplayFile(const std::wstring& path, std::wstring& error) {
  const std::filesystem::path file(path);
  std::error_code ec;
  // The size check is only a shortcut: a pipe or a growing file is held to
  // the limit by the bounded read below.
  if (uintmax_t size = std::filesystem::file_size(file, ec); !ec && size > WmiReplaySource::kMaxFileBytes) {
    error = path + L": larger than 16 MiB";
    return nullptr;
  }
  if (std::filesystem::is_directory(file, ec)) {
    error = path + L": cannot be read (it is a folder)";
    return nullptr;
  }
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    error = path + L": cannot be read";
    return nullptr;
  }
  std::string bytes;
  std::string chunk(64 * 1024, '\0');
  while (in.read(chunk.data(), static_cast<std::streamsize>(chunk.size())) || in.gcount() > 0) {
    bytes.append(chunk.data(), static_cast<size_t>(in.gcount()));
    if (bytes.size() > WmiReplaySource::kMaxFileBytes) {
      error = path + L": larger than 16 MiB";
      return nullptr;
    }
  }
  if (in.bad()) {
    error = path + L": cannot be read";
    return nullptr;
  }
  return ParseReplayText(bytes, path, error);
}
