#include "wmi/system_report.h"

#include <cstdio>
#include <cwchar>
#include <vector>

#include "common/platform_services.h"
#include "wmi/wmi_query.h"

namespace {

struct ReportLine {
  const wchar_t* className;
  const wchar_t* property;
  const wchar_t* label;
  bool everyValue;
};

constexpr ReportLine kLines[] = {
    {L"Win32_OperatingSystem", L"Caption", L"Operating system name: ", false},
    {L"Win32_OperatingSystem", L"Organization", L"Organization: ", false},
    {L"Win32_OperatingSystem", L"RegisteredUser", L"Registered user: ", false},
    {L"Win32_OperatingSystem", L"SerialNumber", L"Serial number: ", false},
    {L"Win32_Processor", L"Name", L"Processor: ", true},
};

}  // namespace

std::wstring ConnectionFailedText(WmiCode code) {
  wchar_t hex[16];
  std::swprintf(hex, 16, L"%X", static_cast<unsigned>(code));
  return L"Connection failed. Error " + std::wstring(hex) + L": " + SystemErrorText(code);
}

std::wstring SystemReport(WmiQuery& query) {
  std::wstring report;
  for (const ReportLine& line : kLines) {
    std::vector<std::wstring> values;
    if (WmiCode code = query.QueryStrings(line.className, line.property, values); code != kWmiOk)
      return ConnectionFailedText(code);
    for (size_t i = 0; i < values.size() && (line.everyValue || i == 0); ++i)
      report += line.label + values[i] + L"\r\n";
  }
  int64_t bytes = 0;
  if (WmiCode code = query.QueryProperty(L"Win32_ComputerSystem", L"TotalPhysicalMemory", &bytes, nullptr, nullptr);
      code != kWmiOk)
    return ConnectionFailedText(code);
  report += L"Memory size: " + std::to_wstring(bytes / 1048576) + L" MB\r\n";
  return report;
}
