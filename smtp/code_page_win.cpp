#include "smtp/code_page.h"

#include <windows.h>

#include <climits>

namespace Smtp {

std::string ConvertToCodePage(const std::wstring& text, unsigned short codePage) {
  if (text.empty() || text.size() > INT_MAX) return {};
  int length = static_cast<int>(text.size());
  // No flags and no default character: several code pages (UTF-7, UTF-8, the
  // ISO-2022 ones) refuse the call otherwise.
  int size = WideCharToMultiByte(codePage, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
  if (size <= 0) return {};
  std::string out(static_cast<size_t>(size), '\0');
  size = WideCharToMultiByte(codePage, 0, text.data(), length, out.data(), size, nullptr, nullptr);
  if (size <= 0) return {};
  out.resize(static_cast<size_t>(size));
  return out;
}

}  // namespace Smtp
