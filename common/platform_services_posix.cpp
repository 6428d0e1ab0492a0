#include "common/platform_services.h"

#include <system_error>

#include "common/utf16.h"

PlatformServices::~PlatformServices() = default;

bool PlatformServices::Start() { return true; }

std::wstring SystemErrorText(uint32_t code) {
  // Larger codes are COM results or Winsock numbers, which strerror would
  // only call unknown.
  if (code >= 4096) return {};
  std::wstring text;
  if (!FromUtf8(std::generic_category().message(static_cast<int>(code)), text)) return {};
  return text;
}
