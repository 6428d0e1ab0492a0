// The eight probes: each turns WMI answers into its parameter's value for
// this pass and appends it to the history exactly once.
#include <algorithm>

#include "common/decimal.h"
#include "monitor/monitor.h"
#include "settings/settings.h"
#include "wmi/query_failure.h"
#include "wmi/wmi_query.h"

namespace {

__extension__ typedef __int128 Int128;

// Counter arithmetic wraps like the counters themselves instead of overflowing.
int64_t WrapAdd(int64_t a, int64_t b) { return static_cast<int64_t>(static_cast<uint64_t>(a) + static_cast<uint64_t>(b)); }
int64_t WrapSub(int64_t a, int64_t b) { return static_cast<int64_t>(static_cast<uint64_t>(a) - static_cast<uint64_t>(b)); }

// Sums of the value properties over the instances whose name is instance
// (all of them when it is empty), from one query, so that each value goes
// with its own instance's name; the name is asked for only when one is wanted.
WmiCode SumByName(WmiQuery& query, const wchar_t* className, std::vector<std::wstring> properties,
                  const std::wstring& instance, std::vector<int64_t>& sums, bool& matched) {
  const size_t first = instance.empty() ? 0 : 1;
  if (first == 1) properties.insert(properties.begin(), L"Name");
  std::vector<std::vector<std::wstring>> rows;
  if (WmiCode code = query.QueryRows(className, properties, rows); code != kWmiOk) return code;
  sums.assign(properties.size() - first, 0);
  matched = false;
  for (const std::vector<std::wstring>& row : rows) {
    if (first == 1 && row[0] != instance) continue;
    matched = true;
    for (size_t i = first; i < row.size(); ++i) sums[i - first] = WrapAdd(sums[i - first], ReadDecimal(row[i]));
  }
  return kWmiOk;
}

std::wstring NotFound(const wchar_t* kind, const std::wstring& name) {
  return std::wstring(kind) + L" \"" + name + L"\" not found";
}

}  // namespace

int64_t Monitor::Record(ParameterId id, int64_t value, std::wstring missing) {
  std::lock_guard<std::recursive_mutex> hold(lock_);
  ParameterRecord& record = records_[static_cast<int>(id)];
  record.AddValue(value);
  record.missing = value == kNotAvailable ? std::move(missing) : std::wstring();
  return value;
}

int64_t Monitor::MeasureFirstNumber(ParameterId id, const wchar_t* className, const wchar_t* property,
                                    int64_t divisor) {
  std::vector<int64_t> numbers;
  WmiCode code = WmiQuery(settings_.Connection, wmi_, &connection_).QueryValues(className, property, numbers);
  if (code != kWmiOk) return Missing(id, QueryFailureText(code));
  if (numbers.empty()) return Missing(id, kNoValueReported);
  return Record(id, numbers.front() / divisor);
}

int64_t Monitor::MeasureCpuUsage() {
  return MeasureFirstNumber(ParameterId::CpuUsage, L"Win32_Processor", L"LoadPercentage", 1);
}

int64_t Monitor::MeasureFreePhysicalMemory() {
  return MeasureFirstNumber(ParameterId::FreePhysicalMemory, L"Win32_OperatingSystem", L"FreePhysicalMemory", 1024);
}

int64_t Monitor::MeasurePageFileUsage() {
  return MeasureFirstNumber(ParameterId::PageFileUsage, L"Win32_PerfRawData_PerfOS_Memory", L"CommittedBytes",
                            1048576);
}

int64_t Monitor::MeasureThreads() {
  return MeasureFirstNumber(ParameterId::Threads, L"Win32_PerfRawData_PerfOS_Objects", L"Threads", 1);
}

int64_t Monitor::MeasureProcess() {
  std::vector<std::wstring> names;
  if (WmiCode code = WmiQuery(settings_.Connection, wmi_, &connection_).QueryStrings(L"Win32_Process", L"Name", names); code != kWmiOk)
    return Missing(ParameterId::Process, QueryFailureText(code));
  std::wstring wanted = settings_.Parameters.processName.Get();
  bool running = !wanted.empty() && std::find(names.begin(), names.end(), wanted) != names.end();
  return Record(ParameterId::Process, running ? 1 : 0);
}

int64_t Monitor::MeasureWebServerConnections() {
  std::vector<std::vector<std::wstring>> rows;  // connections, name
  if (WmiCode code = WmiQuery(settings_.Connection, wmi_, &connection_)
                         .QueryRows(L"Win32_PerfRawData_W3SVC_WebService", {L"CurrentConnections", L"Name"}, rows);
      code != kWmiOk)
    return Missing(ParameterId::WebServerConnections, QueryFailureText(code));
  if (rows.empty()) return Missing(ParameterId::WebServerConnections, kNoValueReported);
  const std::wstring wanted = settings_.Parameters.webServerName.Get();
  const std::vector<std::wstring>* chosen = &rows.front();  // no match: the first instance's
  for (const std::vector<std::wstring>& row : rows) {
    if (!wanted.empty() && row[1] == wanted) {
      chosen = &row;
      break;
    }
  }
  return Record(ParameterId::WebServerConnections, ReadDecimal((*chosen)[0]));
}

int64_t Monitor::MeasureDiskUsage() {
  WmiQuery query(settings_.Connection, wmi_, &connection_);
  const std::wstring disk = settings_.Parameters.diskName.Get();
  std::vector<int64_t> sums;  // size, free space
  bool matched = false;
  if (WmiCode code = SumByName(query, L"Win32_LogicalDisk", {L"Size", L"FreeSpace"}, disk, sums, matched);
      code != kWmiOk)
    return Missing(ParameterId::DiskUsage, QueryFailureText(code));
  if (!disk.empty() && !matched) return Missing(ParameterId::DiskUsage, NotFound(L"disk", disk));
  const int64_t size = sums[0], free = sums[1];
  // Free space that is negative or above the size can only be a corrupt answer.
  if (size <= 0 || free < 0 || free > size) return Missing(ParameterId::DiskUsage, kNoValueReported);
  // Multiplied before dividing, in 128 bits so that sizes near the top of the range do not wrap.
  return Record(ParameterId::DiskUsage, static_cast<int64_t>(Int128{size - free} * 100 / size));
}

int64_t Monitor::MeasureNetworkUsage() {
  WmiQuery query(settings_.Connection, wmi_, &connection_);
  const std::wstring adapter = settings_.Parameters.networkAdapterName.Get();
  std::vector<int64_t> sums;
  bool matched = false;
  if (WmiCode code = SumByName(query, L"Win32_PerfRawData_Tcpip_NetworkInterface", {L"BytesTotalPerSec"}, adapter,
                               sums, matched);
      code != kWmiOk)
    return Missing(ParameterId::NetworkUsage, QueryFailureText(code));
  if (!adapter.empty() && !matched) return Missing(ParameterId::NetworkUsage, NotFound(L"network adapter", adapter));
  const int64_t total = sums[0];

  std::lock_guard<std::recursive_mutex> hold(lock_);
  int64_t rate = 0;
  if (lastByteTotal_ != 0) {
    int64_t seconds = ElapsedSeconds();
    // A counter that went back (the computer restarted) gives 0, not a negative rate.
    int64_t difference = total > lastByteTotal_ ? WrapSub(total, lastByteTotal_) : 0;
    rate = seconds != 0 ? difference / seconds : 0;
  }
  lastByteTotal_ = total;
  return Record(ParameterId::NetworkUsage, rate / 1024);
}

int64_t Monitor::ElapsedSeconds() {
  std::lock_guard<std::recursive_mutex> hold(lock_);
  int64_t now = counter_.now();
  int64_t ticks = lastCounter_ != 0 && now > lastCounter_ ? now - lastCounter_ : 0;
  lastCounter_ = now;
  return ticks / counter_.frequency;
}
