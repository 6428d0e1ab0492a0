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

// Sums the texts read as numbers over the positions whose name matches
// instance (all when it is empty). Lists paired by position are read only as
// far as both go, so an instance that appears in one answer but not the other
// is left out.
int64_t SumMatching(const std::vector<std::wstring>& texts, const std::vector<std::wstring>& names,
                    const std::wstring& instance, bool& matched) {
  int64_t total = 0;
  size_t count = instance.empty() ? texts.size() : std::min(texts.size(), names.size());
  for (size_t i = 0; i < count; ++i) {
    if (instance.empty() || names[i] == instance) {
      total = WrapAdd(total, ReadDecimal(texts[i]));
      matched = true;
    }
  }
  return total;
}

// The texts of a property and, when one instance is wanted, the names to
// match them with; the first failure's code.
WmiCode QueryWithNames(WmiQuery& query, const wchar_t* className, const wchar_t* property, const std::wstring& instance,
                       std::vector<std::wstring>& texts, std::vector<std::wstring>& names) {
  WmiCode code = query.QueryProperty(className, property, nullptr, &texts, nullptr);
  if (code == kWmiOk && !instance.empty()) code = query.QueryProperty(className, L"Name", nullptr, &names, nullptr);
  return code;
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
  constexpr wchar_t kClass[] = L"Win32_PerfRawData_W3SVC_WebService";
  WmiQuery query(settings_.Connection, wmi_, &connection_);
  std::vector<int64_t> connections;
  std::vector<std::wstring> names;
  WmiCode code = query.QueryValues(kClass, L"CurrentConnections", connections);
  if (code == kWmiOk) code = query.QueryStrings(kClass, L"Name", names);
  if (code != kWmiOk) return Missing(ParameterId::WebServerConnections, QueryFailureText(code));
  if (connections.empty()) return Missing(ParameterId::WebServerConnections, kNoValueReported);
  std::wstring wanted = settings_.Parameters.webServerName.Get();
  int64_t value = connections.front();  // no match: the first instance's
  size_t count = std::min(names.size(), connections.size());
  for (size_t i = 0; i < count; ++i) {
    if (!wanted.empty() && names[i] == wanted) {
      value = connections[i];
      break;
    }
  }
  return Record(ParameterId::WebServerConnections, value);
}

int64_t Monitor::MeasureDiskUsage() {
  constexpr wchar_t kClass[] = L"Win32_LogicalDisk";
  WmiQuery query(settings_.Connection, wmi_, &connection_);
  const std::wstring disk = settings_.Parameters.diskName.Get();
  std::vector<std::wstring> texts;
  std::vector<std::wstring> names;
  if (WmiCode code = QueryWithNames(query, kClass, L"Size", disk, texts, names); code != kWmiOk)
    return Missing(ParameterId::DiskUsage, QueryFailureText(code));
  bool matched = false;
  int64_t size = SumMatching(texts, names, disk, matched);
  if (WmiCode code = query.QueryProperty(kClass, L"FreeSpace", nullptr, &texts, nullptr); code != kWmiOk)
    return Missing(ParameterId::DiskUsage, QueryFailureText(code));
  bool unused = false;
  int64_t free = SumMatching(texts, names, disk, unused);
  if (!disk.empty() && !matched) return Missing(ParameterId::DiskUsage, NotFound(L"disk", disk));
  // Free space that is negative or above the size can only be a corrupt answer.
  if (size <= 0 || free < 0 || free > size) return Missing(ParameterId::DiskUsage, kNoValueReported);
  // Multiplied before dividing, in 128 bits so that sizes near the top of the range do not wrap.
  return Record(ParameterId::DiskUsage, static_cast<int64_t>(Int128{size - free} * 100 / size));
}

int64_t Monitor::MeasureNetworkUsage() {
  constexpr wchar_t kClass[] = L"Win32_PerfRawData_Tcpip_NetworkInterface";
  WmiQuery query(settings_.Connection, wmi_, &connection_);
  const std::wstring adapter = settings_.Parameters.networkAdapterName.Get();
  std::vector<std::wstring> totals;
  std::vector<std::wstring> names;
  if (WmiCode code = QueryWithNames(query, kClass, L"BytesTotalPerSec", adapter, totals, names); code != kWmiOk)
    return Missing(ParameterId::NetworkUsage, QueryFailureText(code));
  bool matched = false;
  int64_t total = SumMatching(totals, names, adapter, matched);
  if (!adapter.empty() && !matched) return Missing(ParameterId::NetworkUsage, NotFound(L"network adapter", adapter));

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
