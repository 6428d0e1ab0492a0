// Wall time of single queries through the platform's own WMI: COM on Windows
// (run it under Wine), the Linux provider elsewhere. Prints figures.
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "common/platform_services.h"
#include "common/utf16.h"
#include "settings/settings.h"
#include "wmi/wmi_query.h"

namespace {

double Milliseconds(std::chrono::steady_clock::duration d) {
  return std::chrono::duration<double, std::milli>(d).count();
}

void Time(WmiQuery& query, const wchar_t* className, const wchar_t* property, int repeats) {
  std::vector<std::wstring> texts;
  auto start = std::chrono::steady_clock::now();
  WmiCode code = query.QueryProperty(className, property, nullptr, &texts, nullptr);
  double first = Milliseconds(std::chrono::steady_clock::now() - start);
  start = std::chrono::steady_clock::now();
  for (int i = 0; i < repeats; ++i) query.QueryProperty(className, property, nullptr, &texts, nullptr);
  double mean = Milliseconds(std::chrono::steady_clock::now() - start) / repeats;
  std::printf("%-44s code %08X  %3zu rows  first %8.3f ms  then %8.3f ms (mean of %d)\n",
              ToUtf8(std::wstring(className) + L"." + property).c_str(), static_cast<unsigned>(code), texts.size(),
              first, mean, repeats);
}

}  // namespace

int main() {
  PlatformServices platform;
  if (!platform.Start()) {
    std::printf("start-up failed: %s\n", ToUtf8(platform.FailureText()).c_str());
    return 1;
  }
  std::unique_ptr<WmiSource> source = CreateSystemWmiSource();
  if (!source) return 1;
  ConnectionSettings connection;
  WmiQuery query(connection, *source);
  Time(query, L"Win32_OperatingSystem", L"FreePhysicalMemory", 50);
  Time(query, L"Win32_Process", L"Name", 50);
  Time(query, L"Win32_LogicalDisk", L"Size", 50);
  return 0;
}
