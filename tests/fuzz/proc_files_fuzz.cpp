// Arbitrary bytes as each kernel text the Linux provider reads (/proc/stat,
// meminfo, loadavg, net/dev, net/tcp, mounts, cpuinfo, os-release) and as a
// process's exe link, cmdline and comm: no reader may misbehave, and what
// they return must keep the promises the provider relies on.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "wmi/linux_proc.h"

namespace {

void Require(bool condition) { if (!condition) std::abort(); }

// KEY="value" with the escapes a shell double-quoted word needs.
std::string OsReleaseLine(std::string_view value) {
  std::string line = "NAME=\"";
  for (char c : value) {
    if (c == '"' || c == '\\' || c == '$' || c == '`') line += '\\';
    line += c;
  }
  return line + "\"\n";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);

  std::vector<CpuTimes> cpus = ParseProcStat(text);
  for (const CpuTimes& cpu : cpus) Require(cpu.cpu >= -1 && cpu.cpu < (1 << 20));
  if (cpus.size() >= 2) {
    uint64_t busy = 0, idle = 0;
    AddCpuDelta(cpus[0], cpus[1], busy, idle);
    int percent = BusyPercent(busy, idle);
    Require(percent >= 0 && percent <= 100);
  }

  uint64_t number;
  FindMeminfoKb(text, "MemAvailable", number);
  ParseLoadavgThreads(text, number);

  for (const NetDevice& device : ParseNetDev(text)) {
    // The name goes into a /sys path.
    Require(!device.name.empty() && device.name.size() <= 15 && device.name != "." && device.name != "..");
    Require(device.name.find_first_of("/ \t\n") == std::string::npos);
  }
  ParseProcNetTcp(text);

  const bool hasNul = text.find('\0') != std::string_view::npos;
  std::vector<MountEntry> mounts = ParseMounts(text);
  for (const MountEntry& mount : mounts) {
    Require(!mount.mountPoint.empty() && mount.mountPoint.front() == '/');
    if (!hasNul) Require(mount.mountPoint.find('\0') == std::string::npos);  // never made from an escape
  }
  std::vector<std::string> disks = SelectDiskMounts(mounts);
  Require(std::count(disks.begin(), disks.end(), "/") == 1);
  for (size_t i = 0; i < disks.size(); ++i)
    Require(std::find(disks.begin() + static_cast<std::ptrdiff_t>(i) + 1, disks.end(), disks[i]) == disks.end());

  ParseCpuInfo(text);

  std::string value;
  FindOsReleaseValue(text, "PRETTY_NAME", value);
  if (text.find('\n') == std::string_view::npos) {
    Require(FindOsReleaseValue(OsReleaseLine(text), "NAME", value) && value == text);
  }

  // exe target, cmdline and comm, one per line.
  size_t first = text.find('\n');
  size_t second = first == std::string_view::npos ? first : text.find('\n', first + 1);
  std::string_view exe = text.substr(0, first);
  std::string_view cmdline = first == std::string_view::npos ? std::string_view() : text.substr(first + 1, second - first - 1);
  std::string_view comm = second == std::string_view::npos ? std::string_view() : text.substr(second + 1);
  ProcessName(exe, cmdline, comm);
  return 0;
}
