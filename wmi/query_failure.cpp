#include "wmi/query_failure.h"

#include <cstdio>

#include "common/platform_services.h"

std::wstring QueryFailureText(WmiCode code) {
  static constexpr struct {
    WmiCode code;
    const wchar_t* words;
  } kKnown[] = {
      {0x800706BA, L"the computer could not be reached"},  // RPC server unavailable
      {kWmiTransportFailure, L"the computer could not be reached"},
      {0x80070035, L"the computer's name was not found on the network"},
      {0x800706BE, L"the connection to the computer failed"},
      {0x80010108, L"the connection to the computer was lost"},
      {0x800706D9, L"the computer's WMI service is not available"},
      {0x80070005, L"access was denied"},
      {0x80041003, L"access was denied"},
      {0x8007052E, L"the user name or password was refused"},
      {kWmiLocalCredentials, L"a user name cannot be given for this computer"},
      {kWmiInvalidClass, L"the computer does not provide this measurement"},
      {kWmiInvalidNamespace, L"the computer does not provide this measurement"},
      {0x800705B4, L"the computer did not answer in time"},
      {0x80043001, L"the computer did not answer in time"},
  };
  std::wstring words;
  for (const auto& known : kKnown) {
    if (known.code == code) words = known.words;
  }
  if (words.empty()) {
    words = SystemErrorText(code);
    while (!words.empty() && (words.back() == L'.' || words.back() == L' ')) words.pop_back();
    if (words.empty()) words = L"the query failed";
  }
  wchar_t hex[16];
  std::swprintf(hex, 16, L"0x%08X", static_cast<unsigned>(code));
  return words + L" (" + hex + L")";
}
