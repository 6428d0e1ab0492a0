// Windows code page numbers mapped onto iconv's names. A character the code
// page cannot hold becomes "?", as WideCharToMultiByte's default character
// does; UTF-8 goes through the program's own encoder so that lone surrogates
// become U+FFFD on both platforms. HZ (52936) and ISCII Gujarati (57010) have
// no iconv converter here and give empty text.
#include "smtp/code_page.h"

#include <iconv.h>

#include <cerrno>

#include "common/utf16.h"

namespace Smtp {
namespace {

std::string IconvName(unsigned short codePage) {
  switch (codePage) {
    case 65000: return "UTF-7";
    case 10002: return "BIG5";
    case 51950: return "EUC-TW";
    case 20936: return "GB2312";
    case 932: return "CP932";
    case 50220: return "ISO-2022-JP";
    case 51932: return "EUC-JP";
    case 50225: return "ISO-2022-KR";
    case 51949: return "EUC-KR";
    case 20866: return "KOI8-R";
    case 20127: return "US-ASCII";
    case 52936:
    case 57010: return {};
    default: break;
  }
  if (codePage >= 28591 && codePage <= 28599) return "ISO-8859-" + std::to_string(codePage - 28590);
  return "CP" + std::to_string(codePage);
}

class Iconv {
 public:
  explicit Iconv(const char* to) : cd_(iconv_open(to, "WCHAR_T")) {}
  ~Iconv() {
    if (ok()) iconv_close(cd_);
  }
  Iconv(const Iconv&) = delete;
  Iconv& operator=(const Iconv&) = delete;
  bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
  iconv_t get() const { return cd_; }

 private:
  iconv_t cd_;
};

}  // namespace

std::string ConvertToCodePage(const std::wstring& text, unsigned short codePage) {
  if (text.empty()) return {};
  if (codePage == 65001) return ToUtf8(text);
  std::string name = IconvName(codePage);
  if (name.empty()) return {};
  Iconv cd(name.c_str());
  if (!cd.ok()) return {};

  std::string out;
  char buffer[4096];
  char* in = reinterpret_cast<char*>(const_cast<wchar_t*>(text.data()));
  size_t inLeft = text.size() * sizeof(wchar_t);
  // The last round (null input) writes the shift sequence stateful encodings need at the end.
  for (bool flushing = false;;) {
    char* outPtr = buffer;
    size_t outLeft = sizeof buffer;
    size_t rc = flushing ? iconv(cd.get(), nullptr, nullptr, &outPtr, &outLeft)
                         : iconv(cd.get(), &in, &inLeft, &outPtr, &outLeft);
    out.append(buffer, static_cast<size_t>(outPtr - buffer));
    if (rc != static_cast<size_t>(-1)) {
      if (flushing) break;
      flushing = true;
      continue;
    }
    if (errno == E2BIG) continue;
    if (errno != EILSEQ && errno != EINVAL) return {};
    // Not representable (or not a character at all): one "?" in its place. In
    // a stateful encoding the "?" must be written in the initial shift state.
    char* resetPtr = buffer;
    size_t resetLeft = sizeof buffer;
    iconv(cd.get(), nullptr, nullptr, &resetPtr, &resetLeft);
    out.append(buffer, static_cast<size_t>(resetPtr - buffer));
    out.push_back('?');
    in += sizeof(wchar_t);
    inLeft -= sizeof(wchar_t);
    if (inLeft == 0) flushing = true;
  }
  return out;
}

}  // namespace Smtp
