#include "metrics/listen_address.h"

#include <cstdint>
#include <optional>

#include "common/decimal.h"
#include "common/utf16.h"

bool ParseListenAddress(const std::wstring& text, Smtp::Address& out, std::wstring& error) {
  size_t colon = text.rfind(L':');
  std::wstring host = colon == std::wstring::npos ? L"" : text.substr(0, colon);
  std::optional<int64_t> port = ReadWholeDecimal(colon == std::wstring::npos ? text : text.substr(colon + 1));
  if (!port || *port > 65535) {
    error = L"\"" + text + L"\" is not ADDRESS:PORT: the port must be a number from 0 to 65535.";
    return false;
  }
  if (host.find(L':') != std::wstring::npos || host.find(L'[') != std::wstring::npos) {
    error = L"\"" + text + L"\": only IPv4 addresses and host names can be listened on.";
    return false;
  }
  if (host.empty()) host = L"127.0.0.1";
  if (Smtp::ResolveAddress(ToUtf8(host).c_str(), static_cast<unsigned short>(*port), out) != 0) {
    error = L"\"" + host + L"\" is not a known host or IPv4 address.";
    return false;
  }
  return true;
}
