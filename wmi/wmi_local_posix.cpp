// The Linux provider: answers the program's WMI queries from /proc, /sys and
// statvfs, in the value types real WMI gives.
#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <climits>
#include <cwctype>
#include <map>
#include <mutex>
#include <optional>
#include <thread>

#include "common/utf16.h"
#include "wmi/linux_proc.h"
#include "wmi/tcp_ports.h"
#include "wmi/wmi_table.h"

namespace {

constexpr WmiCode kWmiFailed = 0x80041001;  // WBEM_E_FAILED
constexpr size_t kMaxProcFileBytes = 64 * 1024 * 1024;
constexpr size_t kMaxCmdlineBytes = 4096;  // argv[0] is all we need
constexpr unsigned kIffLoopback = 0x8;
constexpr auto kFirstSampleTime = std::chrono::milliseconds(100);
constexpr uint16_t kWebPorts[] = {80, 443, 8080, 8443};

bool ReadTextFile(const std::string& path, std::string& text, size_t limit = kMaxProcFileBytes) {
  text.clear();
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  // /proc files report size 0: read until the end.
  char buffer[16384];
  bool ok = true;
  while (text.size() < limit) {
    ssize_t n = ::read(fd, buffer, std::min(sizeof buffer, limit - text.size()));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) ok = false;
    if (n <= 0) break;
    text.append(buffer, static_cast<size_t>(n));
  }
  ::close(fd);
  return ok;
}

bool ReadLink(const std::string& path, std::string& target) {
  for (size_t size = 256; size <= 65536; size *= 4) {
    target.resize(size);
    ssize_t n = ::readlink(path.c_str(), target.data(), size);
    if (n < 0) return false;
    if (static_cast<size_t>(n) < size) {
      target.resize(static_cast<size_t>(n));
      return true;
    }
  }
  return false;
}

// Kernel texts are bytes; names that are not UTF-8 are shown byte for byte.
std::wstring Wide(std::string_view bytes) {
  std::wstring text;
  if (FromUtf8(bytes, text)) return text;
  text.clear();
  for (char c : bytes) text.push_back(static_cast<wchar_t>(static_cast<unsigned char>(c)));
  return text;
}

std::wstring Lower(const std::wstring& text) {
  std::wstring lower;
  for (wchar_t c : text) lower.push_back(static_cast<wchar_t>(std::towlower(c)));
  return lower;
}

WmiValue Decimal(uint64_t value) { return WmiValue::Text(std::to_wstring(value)); }

WmiValue Int32(uint64_t value) { return WmiValue::Int32(static_cast<int32_t>(std::min<uint64_t>(value, INT32_MAX))); }

// kB to bytes; false when it does not fit.
bool KbToBytes(uint64_t kb, uint64_t& bytes) {
  bytes = kb * 1024;
  return kb <= UINT64_MAX / 1024;
}

bool HostName(std::string& name) {
  char buffer[256] = {};
  if (::gethostname(buffer, sizeof buffer - 1) != 0) return false;
  name = buffer;
  return !name.empty();
}

// The socket of cpuN; false when the kernel does not say.
bool PackageOf(int cpu, int& package) {
  std::string text;
  if (!ReadTextFile("/sys/devices/system/cpu/cpu" + std::to_string(cpu) + "/topology/physical_package_id", text))
    return false;
  std::string_view value = TrimBlanks(text);
  auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), package);
  return error == std::errc() && end == value.data() + value.size() && !value.empty();
}

struct Package {
  int id = 0;
  std::vector<int> cpus;  // -1: the all-processor line of a kernel that lists no others
};

// Sockets in id order; one for everything when any processor's socket is unknown.
std::vector<Package> GroupByPackage(const std::vector<CpuTimes>& times) {
  std::map<int, Package> packages;
  bool known = true;
  std::vector<int> all;
  for (const CpuTimes& t : times) {
    if (t.cpu < 0 || std::find(all.begin(), all.end(), t.cpu) != all.end()) continue;
    all.push_back(t.cpu);
    int id;
    if (known && PackageOf(t.cpu, id)) {
      packages[id].id = id;
      packages[id].cpus.push_back(t.cpu);
    } else {
      known = false;
    }
  }
  if (all.empty()) all.push_back(-1);
  std::vector<Package> result;
  if (!known || packages.empty()) return {Package{0, all}};
  for (auto& [id, package] : packages) result.push_back(std::move(package));
  return result;
}

bool ReadCpuTimes(std::map<int, CpuTimes>& times) {
  std::string text;
  if (!ReadTextFile("/proc/stat", text)) return false;
  times.clear();
  for (const CpuTimes& t : ParseProcStat(text)) times.emplace(t.cpu, t);
  return !times.empty();
}

std::vector<CpuTimes> Values(const std::map<int, CpuTimes>& times) {
  std::vector<CpuTimes> list;
  for (const auto& [cpu, t] : times) list.push_back(t);
  return list;
}

struct Disk {
  std::string mountPoint;
  std::optional<uint64_t> size;  // bytes; none when statvfs fails or it does not fit
  std::optional<uint64_t> free;  // bytes available to unprivileged users
};

std::optional<uint64_t> Bytes(uint64_t blocks, uint64_t unit) {
  if (unit && blocks > UINT64_MAX / unit) return std::nullopt;
  return blocks * unit;
}

// Disks that are folders (a device bind-mounted onto a file, such as a
// container's /etc/hosts, is no disk), with one statvfs reading each.
bool ReadDisks(std::vector<Disk>& disks) {
  std::string text;
  if (!ReadTextFile("/proc/self/mounts", text)) return false;
  for (std::string& mountPoint : SelectDiskMounts(ParseMounts(text))) {
    struct stat st {};
    if (::stat(mountPoint.c_str(), &st) == 0 && !S_ISDIR(st.st_mode)) continue;
    Disk disk{std::move(mountPoint), {}, {}};
    if (struct statvfs fs {}; ::statvfs(disk.mountPoint.c_str(), &fs) == 0) {
      // Some file systems leave f_frsize 0; f_bsize is then the unit.
      uint64_t unit = fs.f_frsize ? fs.f_frsize : fs.f_bsize;
      disk.size = Bytes(fs.f_blocks, unit);
      disk.free = Bytes(fs.f_bavail, unit);
    }
    disks.push_back(std::move(disk));
  }
  return true;
}

bool IsLoopback(const std::string& name) {
  std::string text;
  uint64_t flags = 0;
  if (ReadTextFile("/sys/class/net/" + name + "/flags", text)) {
    std::string_view value = TrimBlanks(text);
    if (value.substr(0, 2) == "0x") value.remove_prefix(2);
    auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), flags, 16);
    if (error == std::errc() && end == value.data() + value.size()) return (flags & kIffLoopback) != 0;
  }
  return name == "lo";
}

// Interfaces other than loopback, with their running byte totals.
bool ReadNetDevices(std::vector<NetDevice>& devices) {
  std::string text;
  if (!ReadTextFile("/proc/net/dev", text)) return false;
  for (NetDevice& device : ParseNetDev(text)) {
    if (!IsLoopback(device.name)) devices.push_back(std::move(device));
  }
  return true;
}

struct WebPort {
  uint16_t port;
  uint64_t connections;  // established
};

// The web ports that have a listener, with their established connections:
// from the kernel's socket diagnostics, or from the TCP tables when those
// are not offered.
bool ReadWebPorts(std::vector<WebPort>& ports) {
  const std::vector<uint16_t> wanted(std::begin(kWebPorts), std::end(kWebPorts));
  std::vector<TcpPortCount> counts;
  if (!CountTcpPortsByDiag(wanted, counts)) {
    std::vector<std::string> tables;
    for (const char* path : {"/proc/net/tcp", "/proc/net/tcp6"}) {
      if (std::string text; ReadTextFile(path, text)) tables.push_back(std::move(text));  // tcp6 is missing without IPv6
    }
    if (tables.empty()) return false;
    counts = CountTcpPortsInTables(tables, wanted);
  }
  for (const TcpPortCount& c : counts) {
    if (c.listening) ports.push_back({c.port, c.established});
  }
  return true;
}

bool ReadMeminfo(std::string& text) { return ReadTextFile("/proc/meminfo", text) && !text.empty(); }

class LinuxWmiSource final : public WmiTableSource {
 public:
  WmiCode Column(const std::wstring& className, const std::wstring& property, std::vector<WmiValue>& values) override;
  WmiCode ConnectRemote(const std::wstring& server) override;
  void OnPassStart() override;
  void OnPassEnd() override;

 private:
  using Handler = WmiCode (LinuxWmiSource::*)(const std::wstring& property, std::vector<WmiValue>& values);
  WmiCode Processor(const std::wstring& property, std::vector<WmiValue>& values);
  WmiCode OperatingSystem(const std::wstring& property, std::vector<WmiValue>& values);
  WmiCode ComputerSystem(const std::wstring& property, std::vector<WmiValue>& values);
  WmiCode Memory(const std::wstring& property, std::vector<WmiValue>& values);
  WmiCode Objects(const std::wstring& property, std::vector<WmiValue>& values);
  WmiCode Process(const std::wstring& property, std::vector<WmiValue>& values);
  WmiCode LogicalDisk(const std::wstring& property, std::vector<WmiValue>& values);
  WmiCode NetworkInterface(const std::wstring& property, std::vector<WmiValue>& values);
  WmiCode WebService(const std::wstring& property, std::vector<WmiValue>& values);

  WmiCode LoadPercentages(std::vector<WmiValue>& values);

  // A table that a pass asks for more than once (counts, then names; two
  // memory figures) is read once in the pass: the kernel walks it once, and
  // lists paired by position come from the same reading. Outside a pass
  // every question reads afresh.
  struct Snapshot {
    std::optional<std::string> meminfo;
    std::optional<std::vector<Disk>> disks;
    std::optional<std::vector<NetDevice>> netDevices;
    std::optional<std::vector<WebPort>> webPorts;
  };
  template <class T, class Read>
  bool FromSnapshot(std::optional<T> Snapshot::*slot, Read read, T& value);
  bool Meminfo(std::string& text) { return FromSnapshot(&Snapshot::meminfo, ReadMeminfo, text); }

  std::mutex snapshotMutex_;
  bool inPass_ = false;
  Snapshot snapshot_;

  // The previous /proc/stat reading: the monitor and the UI thread may both ask.
  std::mutex cpuMutex_;
  std::map<int, CpuTimes> previousTimes_;
  std::map<int, int> lastLoads_;  // by socket, for readings too close together to measure
};

WmiCode LinuxWmiSource::Column(const std::wstring& className, const std::wstring& property,
                               std::vector<WmiValue>& values) {
  static const std::pair<const wchar_t*, Handler> kClasses[] = {
      {L"win32_processor", &LinuxWmiSource::Processor},
      {L"win32_operatingsystem", &LinuxWmiSource::OperatingSystem},
      {L"win32_computersystem", &LinuxWmiSource::ComputerSystem},
      {L"win32_perfrawdata_perfos_memory", &LinuxWmiSource::Memory},
      {L"win32_perfrawdata_perfos_objects", &LinuxWmiSource::Objects},
      {L"win32_process", &LinuxWmiSource::Process},
      {L"win32_logicaldisk", &LinuxWmiSource::LogicalDisk},
      {L"win32_perfrawdata_tcpip_networkinterface", &LinuxWmiSource::NetworkInterface},
      {L"win32_perfrawdata_w3svc_webservice", &LinuxWmiSource::WebService},
  };
  values.clear();
  const std::wstring lowerClass = Lower(className);
  for (const auto& [name, handler] : kClasses) {
    if (lowerClass == name) {
      WmiCode code = (this->*handler)(Lower(property), values);
      if (code != kWmiOk) values.clear();
      return code;
    }
  }
  return kWmiInvalidClass;
}

WmiCode LinuxWmiSource::ConnectRemote(const std::wstring& server) {
  std::string host;
  if (!HostName(host)) return kWmiTransportFailure;
  const std::wstring own = Lower(Wide(host));
  const std::wstring asked = Lower(server);
  if (asked == own || asked == own.substr(0, own.find(L'.'))) return kWmiLocalCredentials;
  return kWmiTransportFailure;
}

void LinuxWmiSource::OnPassStart() {
  std::lock_guard lock(snapshotMutex_);
  inPass_ = true;
  snapshot_ = {};
}

void LinuxWmiSource::OnPassEnd() {
  std::lock_guard lock(snapshotMutex_);
  inPass_ = false;
  snapshot_ = {};
}

template <class T, class Read>
bool LinuxWmiSource::FromSnapshot(std::optional<T> Snapshot::*slot, Read read, T& value) {
  std::lock_guard lock(snapshotMutex_);
  std::optional<T>& kept = snapshot_.*slot;
  if (kept) {
    value = *kept;
    return true;
  }
  if (!read(value)) return false;
  if (inPass_) kept = value;
  return true;
}

WmiCode LinuxWmiSource::LoadPercentages(std::vector<WmiValue>& values) {
  std::lock_guard lock(cpuMutex_);
  std::map<int, CpuTimes> now;
  if (previousTimes_.empty()) {
    if (!ReadCpuTimes(previousTimes_)) return kWmiFailed;
    std::this_thread::sleep_for(kFirstSampleTime);
  }
  if (!ReadCpuTimes(now)) return kWmiFailed;

  bool anyTimePassed = false;
  for (const Package& package : GroupByPackage(Values(now))) {
    uint64_t busy = 0, idle = 0;
    for (int cpu : package.cpus) {
      auto before = previousTimes_.find(cpu);
      if (before != previousTimes_.end()) AddCpuDelta(before->second, now.at(cpu), busy, idle);
    }
    if (busy > 0 || idle > 0) {
      lastLoads_[package.id] = BusyPercent(busy, idle);
      anyTimePassed = true;
    }
    values.push_back(WmiValue::Int32(lastLoads_[package.id]));
  }
  // Keep the older reading until a tick has passed, so that rapid queries
  // still measure an interval.
  if (anyTimePassed) previousTimes_ = std::move(now);
  return kWmiOk;
}

WmiCode LinuxWmiSource::Processor(const std::wstring& property, std::vector<WmiValue>& values) {
  if (property == L"loadpercentage") return LoadPercentages(values);
  if (property != L"name") return kWmiNotFound;

  std::map<int, CpuTimes> times;
  if (!ReadCpuTimes(times)) return kWmiFailed;
  std::string text;
  CpuInfo info;
  if (ReadTextFile("/proc/cpuinfo", text)) info = ParseCpuInfo(text);
  std::string fallback = info.anyModelName;
  if (struct utsname names{}; fallback.empty() && ::uname(&names) == 0) fallback = names.machine;
  for (const Package& package : GroupByPackage(Values(times))) {
    std::string name = fallback;
    for (int cpu : package.cpus) {
      if (auto found = info.modelNames.find(cpu); found != info.modelNames.end()) {
        name = found->second;
        break;
      }
    }
    values.push_back(WmiValue::Text(Wide(name)));
  }
  return kWmiOk;
}

WmiCode LinuxWmiSource::OperatingSystem(const std::wstring& property, std::vector<WmiValue>& values) {
  std::string text;
  if (property == L"freephysicalmemory") {
    uint64_t kb;
    if (!Meminfo(text) || !(FindMeminfoKb(text, "MemAvailable", kb) || FindMeminfoKb(text, "MemFree", kb)))
      return kWmiFailed;
    values.push_back(Decimal(kb));
  } else if (property == L"caption") {
    std::string caption;
    bool found = false;
    for (const char* path : {"/etc/os-release", "/usr/lib/os-release"}) {
      if (ReadTextFile(path, text)) {
        found = FindOsReleaseValue(text, "PRETTY_NAME", caption) && !caption.empty();
        break;  // the first file that exists is the one that counts
      }
    }
    if (struct utsname names{}; !found)
      caption = ::uname(&names) == 0 ? std::string("Linux ") + names.release : "Linux";
    values.push_back(WmiValue::Text(Wide(caption)));
  } else if (property == L"organization") {
    values.push_back(WmiValue::Text(L""));
  } else if (property == L"registereduser") {
    long suggested = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(suggested > 0 ? static_cast<size_t>(suggested) : 1024);
    struct passwd entry {};
    struct passwd* result = nullptr;
    int error;
    while ((error = ::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &result)) == ERANGE &&
           buffer.size() < 1024 * 1024)
      buffer.resize(buffer.size() * 2);
    if (error != 0 || !result || !result->pw_name) return kWmiFailed;
    values.push_back(WmiValue::Text(Wide(result->pw_name)));
  } else if (property == L"serialnumber") {
    if (!ReadTextFile("/etc/machine-id", text)) text.clear();
    values.push_back(WmiValue::Text(Wide(TrimBlanks(text))));
  } else {
    return kWmiNotFound;
  }
  return kWmiOk;
}

WmiCode LinuxWmiSource::ComputerSystem(const std::wstring& property, std::vector<WmiValue>& values) {
  if (property == L"totalphysicalmemory") {
    std::string text;
    uint64_t kb, bytes;
    if (!Meminfo(text) || !FindMeminfoKb(text, "MemTotal", kb) || !KbToBytes(kb, bytes)) return kWmiFailed;
    values.push_back(Decimal(bytes));
  } else if (property == L"name") {
    std::string host;
    if (!HostName(host)) return kWmiFailed;
    values.push_back(WmiValue::Text(Wide(host)));
  } else {
    return kWmiNotFound;
  }
  return kWmiOk;
}

WmiCode LinuxWmiSource::Memory(const std::wstring& property, std::vector<WmiValue>& values) {
  if (property != L"committedbytes") return kWmiNotFound;
  std::string text;
  uint64_t kb, bytes;
  if (!Meminfo(text) || !FindMeminfoKb(text, "Committed_AS", kb) || !KbToBytes(kb, bytes)) return kWmiFailed;
  values.push_back(Decimal(bytes));
  return kWmiOk;
}

WmiCode LinuxWmiSource::Objects(const std::wstring& property, std::vector<WmiValue>& values) {
  if (property != L"threads") return kWmiNotFound;
  std::string text;
  uint64_t threads;
  if (!ReadTextFile("/proc/loadavg", text) || !ParseLoadavgThreads(text, threads)) return kWmiFailed;
  values.push_back(Int32(threads));
  return kWmiOk;
}

WmiCode LinuxWmiSource::Process(const std::wstring& property, std::vector<WmiValue>& values) {
  if (property != L"name") return kWmiNotFound;
  std::vector<uint64_t> pids;
  {
    std::unique_ptr<DIR, int (*)(DIR*)> proc(::opendir("/proc"), ::closedir);
    if (!proc) return kWmiFailed;
    while (const dirent* entry = ::readdir(proc.get())) {
      std::string_view name = entry->d_name;
      uint64_t pid;
      auto [end, error] = std::from_chars(name.data(), name.data() + name.size(), pid);
      if (error == std::errc() && end == name.data() + name.size() && !name.empty()) pids.push_back(pid);
    }
  }
  std::sort(pids.begin(), pids.end());
  for (uint64_t pid : pids) {
    const std::string dir = "/proc/" + std::to_string(pid);
    std::string exe, cmdline, comm;
    if (!ReadLink(dir + "/exe", exe)) exe.clear();
    if (exe.empty()) {
      if (!ReadTextFile(dir + "/cmdline", cmdline, kMaxCmdlineBytes)) cmdline.clear();
      if (!ReadTextFile(dir + "/comm", comm)) continue;  // gone while being read
    }
    std::string name = ProcessName(exe, cmdline, comm);
    if (!name.empty()) values.push_back(WmiValue::Text(Wide(name)));
  }
  return kWmiOk;
}

WmiCode LinuxWmiSource::LogicalDisk(const std::wstring& property, std::vector<WmiValue>& values) {
  const bool size = property == L"size";
  if (property != L"name" && !size && property != L"freespace") return kWmiNotFound;
  std::vector<Disk> disks;
  if (!FromSnapshot(&Snapshot::disks, ReadDisks, disks)) return kWmiFailed;
  for (const Disk& disk : disks) {
    if (property == L"name") {
      values.push_back(WmiValue::Text(Wide(disk.mountPoint)));
      continue;
    }
    const std::optional<uint64_t>& bytes = size ? disk.size : disk.free;
    values.push_back(bytes ? Decimal(*bytes) : WmiValue::Null());
  }
  return kWmiOk;
}

WmiCode LinuxWmiSource::NetworkInterface(const std::wstring& property, std::vector<WmiValue>& values) {
  const bool name = property == L"name";
  if (!name && property != L"bytestotalpersec") return kWmiNotFound;
  std::vector<NetDevice> devices;
  if (!FromSnapshot(&Snapshot::netDevices, ReadNetDevices, devices)) return kWmiFailed;
  for (const NetDevice& device : devices) {
    // A running total that wraps like the kernel's own counters.
    values.push_back(name ? WmiValue::Text(Wide(device.name)) : Decimal(device.receiveBytes + device.transmitBytes));
  }
  return kWmiOk;
}

WmiCode LinuxWmiSource::WebService(const std::wstring& property, std::vector<WmiValue>& values) {
  const bool name = property == L"name";
  if (!name && property != L"currentconnections") return kWmiNotFound;
  std::vector<WebPort> ports;
  if (!FromSnapshot(&Snapshot::webPorts, ReadWebPorts, ports)) return kWmiFailed;
  uint64_t total = 0;
  for (const WebPort& port : ports) total += port.connections;
  values.push_back(name ? WmiValue::Text(L"_Total") : Int32(total));
  for (const WebPort& port : ports)
    values.push_back(name ? WmiValue::Text(L"Port " + std::to_wstring(port.port)) : Int32(port.connections));
  return kWmiOk;
}

}  // namespace

std::unique_ptr<WmiSource> CreateSystemWmiSource() { return std::make_unique<LinuxWmiSource>(); }
