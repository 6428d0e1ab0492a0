// Wall time of single queries through the platform's own WMI: COM on Windows
// (under Wine: bench/bench_wmi_wine.sh), the Linux provider elsewhere; and a
// monitoring pass's queries over a kept connection beside a fresh one for
// each. Under Wine most of a query's cost is the Wine server's: given its
// process id, its CPU time (read through Wine's Z: drive) is added.
//   bench_wmi_query [WINESERVER-PID]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "bench/cpu_time.h"
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

// The Wine server's CPU time in milliseconds from its /proc stat, or 0.
double ServerCpuMs(const std::string& pid) {
  if (pid.empty()) return 0;
  std::ifstream in("Z:\\proc\\" + pid + "\\stat");
  std::string stat((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::istringstream fields(stat.substr(stat.rfind(')') + 2));  // after the name: field 3 on
  std::string field;
  double ticks = 0;
  for (int i = 3; i <= 15 && fields >> field; ++i) {
    if (i >= 14) ticks += std::stod(field);  // utime, stime
  }
  return ticks * 10;  // 100 ticks a second
}

std::string serverPid;

struct PassCost {
  double wallMs, cpuMs;
};

// The queries of one pass with every parameter watched and no instance named
// (the settings' defaults), as the probes ask them.
PassCost TimePasses(WmiQuery& query, int passes) {
  static constexpr const wchar_t* kPass[][2] = {
      {L"Win32_Processor", L"LoadPercentage"},
      {L"Win32_OperatingSystem", L"FreePhysicalMemory"},
      {L"Win32_PerfRawData_PerfOS_Memory", L"CommittedBytes"},
      {L"Win32_PerfRawData_Tcpip_NetworkInterface", L"BytesTotalPerSec"},
      {L"Win32_LogicalDisk", L"Size"},
      {L"Win32_LogicalDisk", L"FreeSpace"},
      {L"Win32_PerfRawData_PerfOS_Objects", L"Threads"},
      {L"Win32_Process", L"Name"},
      {L"Win32_PerfRawData_W3SVC_WebService", L"CurrentConnections"},
      {L"Win32_PerfRawData_W3SVC_WebService", L"Name"},
  };
  std::vector<std::wstring> texts;
  auto start = std::chrono::steady_clock::now();
  double cpu = ProcessCpuMs() + ServerCpuMs(serverPid);
  for (int i = 0; i < passes; ++i) {
    for (const auto& q : kPass) query.QueryProperty(q[0], q[1], nullptr, &texts, nullptr);
  }
  return {Milliseconds(std::chrono::steady_clock::now() - start) / passes,
          (ProcessCpuMs() + ServerCpuMs(serverPid) - cpu) / passes};
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1) serverPid = argv[1];
  PlatformServices platform;
  if (!platform.Start()) {
    std::printf("start-up failed: %s\n", ToUtf8(platform.FailureText()).c_str());
    return 1;
  }
  std::unique_ptr<WmiSource> source = CreateSystemWmiSource();
  if (!source) return 1;
  ConnectionSettings settings;
  WmiQuery query(settings, *source);
  Time(query, L"Win32_OperatingSystem", L"FreePhysicalMemory", 50);
  Time(query, L"Win32_Process", L"Name", 50);
  Time(query, L"Win32_LogicalDisk", L"Size", 50);

  // Rounds in turn, the cheapest of each kept: other load only ever adds.
  WmiConnection connection;
  WmiQuery kept(settings, *source, &connection);
  PassCost fresh{1e9, 1e9}, reused{1e9, 1e9};
  for (int round = 0; round < 5; ++round) {
    PassCost f = TimePasses(query, 20), k = TimePasses(kept, 20);
    fresh = {std::min(fresh.wallMs, f.wallMs), std::min(fresh.cpuMs, f.cpuMs)};
    reused = {std::min(reused.wallMs, k.wallMs), std::min(reused.cpuMs, k.cpuMs)};
  }
  std::printf("CPU: this process%s\n", serverPid.empty() ? "" : " and the Wine server");
  std::printf("a pass, fresh connection per query  %8.3f ms wall  %8.3f ms CPU\n", fresh.wallMs, fresh.cpuMs);
  std::printf("a pass, kept connection             %8.3f ms wall  %8.3f ms CPU\n", reused.wallMs, reused.cpuMs);
  std::printf("kept / fresh: %.2f wall, %.2f CPU (target 0.70 or less)\n", reused.wallMs / fresh.wallMs,
              reused.cpuMs / fresh.cpuMs);
  return 0;
}
