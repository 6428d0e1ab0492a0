// A monitoring pass's queries through the platform's own WMI, each alone and
// all together: over a kept connection, beside a fresh one for each query, and
// beside the same values asked one property per query: COM on Windows (under
// Wine: bench/bench_wmi_wine.sh), the Linux provider elsewhere.
// Under Wine most of a query's cost is the Wine server's: given its process
// id, its CPU time (read through Wine's Z: drive) is added.
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

struct Query {
  const wchar_t* className;
  std::vector<std::wstring> properties;
};
using Pass = std::vector<Query>;

// The queries of one pass with every parameter watched and no instance named
// (the settings' defaults), as the probes ask them.
const Pass kPass = {
    {L"Win32_Processor", {L"LoadPercentage"}},
    {L"Win32_OperatingSystem", {L"FreePhysicalMemory"}},
    {L"Win32_PerfRawData_PerfOS_Memory", {L"CommittedBytes"}},
    {L"Win32_PerfRawData_Tcpip_NetworkInterface", {L"BytesTotalPerSec"}},
    {L"Win32_LogicalDisk", {L"Size", L"FreeSpace"}},
    {L"Win32_PerfRawData_PerfOS_Objects", {L"Threads"}},
    {L"Win32_Process", {L"Name"}},
    {L"Win32_PerfRawData_W3SVC_WebService", {L"CurrentConnections", L"Name"}},
};

// The reference: the same values asked one property per query, each over a
// connection of its own, as a pass did before.
Pass OnePropertyEach(const Pass& pass) {
  Pass split;
  for (const Query& q : pass) {
    for (const std::wstring& property : q.properties) split.push_back({q.className, {property}});
  }
  return split;
}

// Mean cost of asking the queries in turn, repeats times.
PassCost TimeQueries(WmiQuery& query, const Pass& pass, int repeats) {
  std::vector<std::vector<std::wstring>> rows;
  auto start = std::chrono::steady_clock::now();
  double cpu = ProcessCpuMs() + ServerCpuMs(serverPid);
  for (int i = 0; i < repeats; ++i) {
    for (const Query& q : pass) query.QueryRows(q.className, q.properties, rows);
  }
  return {Milliseconds(std::chrono::steady_clock::now() - start) / repeats,
          (ProcessCpuMs() + ServerCpuMs(serverPid) - cpu) / repeats};
}

// The cheapest of five rounds for each, taken in turn: other load only ever adds.
std::vector<PassCost> Compare(const std::vector<std::pair<WmiQuery*, Pass>>& ways, int repeats) {
  std::vector<PassCost> cheapest(ways.size(), PassCost{1e9, 1e9});
  for (int round = 0; round < 5; ++round) {
    for (size_t i = 0; i < ways.size(); ++i) {
      PassCost c = TimeQueries(*ways[i].first, ways[i].second, repeats);
      cheapest[i] = {std::min(cheapest[i].wallMs, c.wallMs), std::min(cheapest[i].cpuMs, c.cpuMs)};
    }
  }
  return cheapest;
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
  WmiConnection connection;
  WmiQuery kept(settings, *source, &connection);
  std::printf("CPU: this process%s\n", serverPid.empty() ? "" : " and the Wine server");
  // Each query alone first: where a pass's time goes.
  for (const Query& q : kPass) {
    std::vector<PassCost> cost = Compare({{&query, {q}}, {&kept, {q}}}, 40);
    std::wstring name = std::wstring(q.className) + L".";
    for (const std::wstring& property : q.properties) name += (&property == &q.properties[0] ? L"" : L",") + property;
    std::printf("%-64s fresh %7.3f ms CPU, kept %7.3f ms CPU\n", ToUtf8(name).c_str(), cost[0].cpuMs, cost[1].cpuMs);
  }
  std::vector<PassCost> pass = Compare({{&query, OnePropertyEach(kPass)}, {&query, kPass}, {&kept, kPass}}, 30);
  std::printf("a pass, one property per query, each connecting  %8.3f ms wall  %8.3f ms CPU\n", pass[0].wallMs,
              pass[0].cpuMs);
  std::printf("a pass, each query connecting                    %8.3f ms wall  %8.3f ms CPU\n", pass[1].wallMs,
              pass[1].cpuMs);
  std::printf("a pass, kept connection                          %8.3f ms wall  %8.3f ms CPU\n", pass[2].wallMs,
              pass[2].cpuMs);
  std::printf("kept / one property per query: %.2f wall, %.2f CPU (target 0.70 or less)\n",
              pass[2].wallMs / pass[0].wallMs, pass[2].cpuMs / pass[0].cpuMs);
  std::printf("kept / each query connecting: %.2f wall, %.2f CPU\n", pass[2].wallMs / pass[1].wallMs,
              pass[2].cpuMs / pass[1].cpuMs);
  return 0;
}
