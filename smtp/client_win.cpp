#include "smtp/client.h"

#include <windows.h>

#include <vector>

namespace Smtp {

std::string LocalDnsName() {
  // Most names fit the first buffer; a longer one reports the size it needs.
  std::vector<char> buffer(16);
  DWORD size = static_cast<DWORD>(buffer.size());
  if (!GetComputerNameExA(ComputerNameDnsFullyQualified, buffer.data(), &size)) {
    if (GetLastError() != ERROR_MORE_DATA) return {};
    buffer.resize(size + 1);
    size = static_cast<DWORD>(buffer.size());
    if (!GetComputerNameExA(ComputerNameDnsFullyQualified, buffer.data(), &size)) return {};
  }
  return std::string(buffer.data(), size);
}

}  // namespace Smtp
