#pragma once
// Readers of the kernel's text files (/proc, /sys, /etc/os-release) as pure
// functions over their text, so that malformed input can be tested without a
// kernel. A line that cannot be read whole is skipped, never half used.
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

// One "cpuN" line of /proc/stat, in clock ticks since boot.
struct CpuTimes {
  int cpu = -1;       // N; -1 for the "cpu" line that sums them all
  uint64_t busy = 0;  // user, nice, system, irq, softirq, steal
  uint64_t idle = 0;  // idle, iowait
};
std::vector<CpuTimes> ParseProcStat(std::string_view text);

// The busy share 0..100 of the time between two readings of one processor;
// counters that went backwards count as no time.
void AddCpuDelta(const CpuTimes& before, const CpuTimes& after, uint64_t& busy, uint64_t& idle);
int BusyPercent(uint64_t busy, uint64_t idle);

// A "Key: N kB" value of /proc/meminfo; false when missing or not a number.
bool FindMeminfoKb(std::string_view text, std::string_view key, uint64_t& kb);

// The thread count after the slash in /proc/loadavg ("0.1 0.2 0.3 1/117 6316").
bool ParseLoadavgThreads(std::string_view text, uint64_t& threads);

struct NetDevice {
  std::string name;
  uint64_t receiveBytes = 0;
  uint64_t transmitBytes = 0;
};
std::vector<NetDevice> ParseNetDev(std::string_view text);

// A row of /proc/net/tcp or /proc/net/tcp6.
struct TcpSocket {
  uint16_t localPort = 0;
  unsigned state = 0;  // 0x01 established, 0x0A listening
};
inline constexpr unsigned kTcpEstablished = 0x01;
inline constexpr unsigned kTcpListen = 0x0A;
std::vector<TcpSocket> ParseProcNetTcp(std::string_view text);

// A line of /proc/self/mounts with its octal escapes (\040 and the like) decoded.
struct MountEntry {
  std::string source;
  std::string mountPoint;
  std::string type;
};
std::vector<MountEntry> ParseMounts(std::string_view text);
std::string UnescapeMountField(std::string_view field);
// Mount points of disk filesystems, each once, in table order: those whose
// source is a device under /dev/, and "/" always (first when not listed).
std::vector<std::string> SelectDiskMounts(const std::vector<MountEntry>& mounts);

struct CpuInfo {
  std::map<int, std::string> modelNames;  // by processor number
  std::string anyModelName;               // the first one seen, for kernels that give it once
};
CpuInfo ParseCpuInfo(std::string_view text);

// KEY=value of os-release, quotes and shell escapes removed; the last
// assignment wins. False when missing or its quoting is broken.
bool FindOsReleaseValue(std::string_view text, std::string_view key, std::string& value);

// A process's program name: the base name of its executable (the
// /proc/PID/exe target, without " (deleted)"); when that is unknown the base
// name of argv[0], as long as it agrees with comm (which the kernel cuts to 15
// bytes); else comm. Empty exeTarget or cmdline means unreadable.
std::string ProcessName(std::string_view exeTarget, std::string_view cmdline, std::string_view comm);

// Surrounding blanks and line ends removed.
std::string_view TrimBlanks(std::string_view text);
