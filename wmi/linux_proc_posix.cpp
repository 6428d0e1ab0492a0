#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>

#include "wmi/linux_proc.h"

namespace {

constexpr std::string_view kBlanks = " \t\r\n";
constexpr size_t kCommLength = 15;        // TASK_COMM_LEN - 1
constexpr size_t kInterfaceNameMax = 15;  // IFNAMSIZ - 1
constexpr int kMaxCpuNumber = 1 << 20;

// Calls fn(line) for every line, without its line end.
template <class Fn>
void ForEachLine(std::string_view text, Fn fn) {
  while (!text.empty()) {
    size_t end = text.find('\n');
    fn(text.substr(0, end));
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
}

std::vector<std::string_view> SplitFields(std::string_view line) {
  std::vector<std::string_view> fields;
  size_t pos = 0;
  while ((pos = line.find_first_not_of(kBlanks, pos)) != std::string_view::npos) {
    size_t end = line.find_first_of(kBlanks, pos);
    fields.push_back(line.substr(pos, end == std::string_view::npos ? std::string_view::npos : end - pos));
    if (end == std::string_view::npos) break;
    pos = end;
  }
  return fields;
}

// The whole field must be the number; overflow fails.
bool ParseUnsigned(std::string_view text, uint64_t& value, int base = 10) {
  if (text.empty()) return false;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
  return error == std::errc() && end == text.data() + text.size();
}

bool CheckedAdd(uint64_t& sum, uint64_t add) {
  if (add > UINT64_MAX - sum) return false;
  sum += add;
  return true;
}

// Splits "key: value" at the first colon, both trimmed.
bool SplitKeyValue(std::string_view line, std::string_view& key, std::string_view& value) {
  size_t colon = line.find(':');
  if (colon == std::string_view::npos) return false;
  key = TrimBlanks(line.substr(0, colon));
  value = TrimBlanks(line.substr(colon + 1));
  return true;
}

std::string_view BaseName(std::string_view path) {
  size_t slash = path.rfind('/');
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

bool IsOctal(char c) { return c >= '0' && c <= '7'; }

// os-release's value syntax: a shell word in double or single quotes, or bare.
bool UnquoteShellValue(std::string_view raw, std::string& value) {
  value.clear();
  if (raw.empty()) return true;
  char quote = raw.front();
  if (quote != '"' && quote != '\'') {
    for (size_t i = 0; i < raw.size(); ++i) {
      if (raw[i] == '\\' && i + 1 < raw.size()) ++i;
      value.push_back(raw[i]);
    }
    return true;
  }
  for (size_t i = 1; i < raw.size(); ++i) {
    char c = raw[i];
    if (c == quote) return TrimBlanks(raw.substr(i + 1)).empty();
    if (quote == '"' && c == '\\' && i + 1 < raw.size() &&
        std::string_view("\"\\$`").find(raw[i + 1]) != std::string_view::npos)
      c = raw[++i];
    value.push_back(c);
  }
  return false;  // no closing quote
}

}  // namespace

std::string_view TrimBlanks(std::string_view text) {
  size_t first = text.find_first_not_of(kBlanks);
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

std::vector<CpuTimes> ParseProcStat(std::string_view text) {
  std::vector<CpuTimes> cpus;
  ForEachLine(text, [&](std::string_view line) {
    std::vector<std::string_view> fields = SplitFields(line);
    // user nice system idle [iowait irq softirq steal [guest guest_nice]]; guest
    // time is already part of user and nice.
    if (fields.size() < 5 || fields[0].substr(0, 3) != "cpu") return;
    CpuTimes times;
    std::string_view number = fields[0].substr(3);
    if (!number.empty()) {
      uint64_t n;
      if (!ParseUnsigned(number, n) || n >= kMaxCpuNumber) return;
      times.cpu = static_cast<int>(n);
    }
    for (size_t i = 1; i < fields.size() && i <= 8; ++i) {
      uint64_t value;
      if (!ParseUnsigned(fields[i], value)) return;
      bool idle = i == 4 || i == 5;
      if (!CheckedAdd(idle ? times.idle : times.busy, value)) return;
    }
    cpus.push_back(times);
  });
  return cpus;
}

void AddCpuDelta(const CpuTimes& before, const CpuTimes& after, uint64_t& busy, uint64_t& idle) {
  // iowait is known to step backwards now and then; a CPU brought back
  // online starts from zero.
  if (after.busy > before.busy) busy += after.busy - before.busy;
  if (after.idle > before.idle) idle += after.idle - before.idle;
}

int BusyPercent(uint64_t busy, uint64_t idle) {
  double total = static_cast<double>(busy) + static_cast<double>(idle);
  if (total <= 0) return 0;
  return static_cast<int>(std::lround(std::clamp(100.0 * static_cast<double>(busy) / total, 0.0, 100.0)));
}

bool FindMeminfoKb(std::string_view text, std::string_view key, uint64_t& kb) {
  bool found = false;
  ForEachLine(text, [&](std::string_view line) {
    std::string_view name, value;
    if (found || !SplitKeyValue(line, name, value) || name != key) return;
    std::vector<std::string_view> fields = SplitFields(value);
    if (fields.empty() || fields.size() > 2 || (fields.size() == 2 && fields[1] != "kB")) return;
    found = ParseUnsigned(fields[0], kb);
  });
  return found;
}

bool ParseLoadavgThreads(std::string_view text, uint64_t& threads) {
  std::vector<std::string_view> fields = SplitFields(text);
  if (fields.size() < 4) return false;
  size_t slash = fields[3].find('/');
  if (slash == std::string_view::npos) return false;
  uint64_t running;
  return ParseUnsigned(fields[3].substr(0, slash), running) && ParseUnsigned(fields[3].substr(slash + 1), threads);
}

std::vector<NetDevice> ParseNetDev(std::string_view text) {
  std::vector<NetDevice> devices;
  ForEachLine(text, [&](std::string_view line) {
    // "  eth0: rx_bytes rx_packets ... (8 receive fields) tx_bytes ..."
    size_t colon = line.find(':');
    if (colon == std::string_view::npos) return;
    std::string_view name = TrimBlanks(line.substr(0, colon));
    // The name goes into a /sys path.
    if (name.empty() || name.size() > kInterfaceNameMax || name == "." || name == ".." ||
        name.find_first_of("/ \t") != std::string_view::npos)
      return;
    std::vector<std::string_view> fields = SplitFields(line.substr(colon + 1));
    NetDevice device;
    if (fields.size() < 9 || !ParseUnsigned(fields[0], device.receiveBytes) ||
        !ParseUnsigned(fields[8], device.transmitBytes))
      return;
    device.name = name;
    devices.push_back(std::move(device));
  });
  return devices;
}

std::vector<TcpSocket> ParseProcNetTcp(std::string_view text) {
  std::vector<TcpSocket> sockets;
  ForEachLine(text, [&](std::string_view line) {
    // "   0: 0100007F:1F90 00000000:0000 0A ..."; the header line fails the checks.
    std::vector<std::string_view> fields = SplitFields(line);
    if (fields.size() < 4 || fields[0].empty() || fields[0].back() != ':') return;
    uint64_t slot, port, state, address;
    if (!ParseUnsigned(fields[0].substr(0, fields[0].size() - 1), slot)) return;
    std::string_view local = fields[1];
    size_t colon = local.find(':');
    if (colon != 8 && colon != 32) return;  // IPv4 or IPv6 address in hex
    for (size_t i = 0; i < colon; i += 8) {
      if (!ParseUnsigned(local.substr(i, 8), address, 16)) return;
    }
    if (!ParseUnsigned(local.substr(colon + 1), port, 16) || port > 0xFFFF) return;
    if (!ParseUnsigned(fields[3], state, 16) || state > 0xFF) return;
    sockets.push_back({static_cast<uint16_t>(port), static_cast<unsigned>(state)});
  });
  return sockets;
}

std::string UnescapeMountField(std::string_view field) {
  // The kernel writes space, tab, newline and backslash as \ooo.
  std::string out;
  for (size_t i = 0; i < field.size(); ++i) {
    if (field[i] == '\\' && i + 3 < field.size() && field[i + 1] >= '0' && field[i + 1] <= '3' &&
        IsOctal(field[i + 2]) && IsOctal(field[i + 3])) {
      int value = (field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 + (field[i + 3] - '0');
      if (value != 0) {  // a NUL would cut the path short
        out.push_back(static_cast<char>(value));
        i += 3;
        continue;
      }
    }
    out.push_back(field[i]);
  }
  return out;
}

std::vector<MountEntry> ParseMounts(std::string_view text) {
  std::vector<MountEntry> mounts;
  ForEachLine(text, [&](std::string_view line) {
    std::vector<std::string_view> fields = SplitFields(line);
    if (fields.size() < 3) return;
    MountEntry entry{UnescapeMountField(fields[0]), UnescapeMountField(fields[1]), UnescapeMountField(fields[2])};
    if (entry.mountPoint.empty() || entry.mountPoint.front() != '/') return;
    mounts.push_back(std::move(entry));
  });
  return mounts;
}

std::vector<std::string> SelectDiskMounts(const std::vector<MountEntry>& mounts) {
  std::vector<std::string> selected;
  for (const MountEntry& mount : mounts) {
    if (mount.source.rfind("/dev/", 0) != 0 && mount.mountPoint != "/") continue;
    if (std::find(selected.begin(), selected.end(), mount.mountPoint) == selected.end())
      selected.push_back(mount.mountPoint);
  }
  if (std::find(selected.begin(), selected.end(), "/") == selected.end()) selected.insert(selected.begin(), "/");
  return selected;
}

CpuInfo ParseCpuInfo(std::string_view text) {
  CpuInfo info;
  int processor = -1;
  ForEachLine(text, [&](std::string_view line) {
    std::string_view key, value;
    if (!SplitKeyValue(line, key, value)) return;
    uint64_t n;
    if (key == "processor") {
      processor = ParseUnsigned(value, n) && n < kMaxCpuNumber ? static_cast<int>(n) : -1;
      return;
    }
    // "model name" on most; older ARM kernels give "Processor" once, MIPS "cpu model".
    bool model = key == "model name" || key == "cpu model" || (key == "Processor" && !ParseUnsigned(value, n));
    if (!model || value.empty()) return;
    if (info.anyModelName.empty()) info.anyModelName = value;
    if (key == "model name" && processor >= 0) info.modelNames.emplace(processor, value);
  });
  return info;
}

bool FindOsReleaseValue(std::string_view text, std::string_view key, std::string& value) {
  bool found = false;
  ForEachLine(text, [&](std::string_view line) {
    line = TrimBlanks(line);
    size_t equals = line.find('=');
    if (line.empty() || line.front() == '#' || equals == std::string_view::npos || line.substr(0, equals) != key)
      return;
    std::string unquoted;
    if (!UnquoteShellValue(line.substr(equals + 1), unquoted)) return;
    value = std::move(unquoted);
    found = true;
  });
  return found;
}

std::string ProcessName(std::string_view exeTarget, std::string_view cmdline, std::string_view comm) {
  constexpr std::string_view kDeleted = " (deleted)";
  if (exeTarget.size() >= kDeleted.size() && exeTarget.substr(exeTarget.size() - kDeleted.size()) == kDeleted)
    exeTarget.remove_suffix(kDeleted.size());
  std::string_view name = BaseName(exeTarget);
  if (!name.empty()) return std::string(name);

  while (!comm.empty() && (comm.back() == '\n' || comm.back() == '\0')) comm.remove_suffix(1);
  // argv[0] is whatever the process says: "-bash", or "sshd: root@pts/0"
  // after the process rewrote it. Trust it only where comm agrees.
  std::string_view argv0 = BaseName(cmdline.substr(0, cmdline.find('\0')));
  if (!argv0.empty() && !comm.empty() && argv0.substr(0, kCommLength) == comm &&
      (argv0.size() == comm.size() || comm.size() == kCommLength))
    return std::string(argv0);
  return std::string(comm);
}
