#pragma once
#include <string>

namespace Smtp {

// Bytes of the text in a Windows code page. Empty for empty text, an unknown
// code page or a conversion that fails. Characters the code page cannot hold
// become the code page's default character ("?" on Linux).
std::string ConvertToCodePage(const std::wstring& text, unsigned short codePage);

}  // namespace Smtp
