#include "parameters/parameters.h"

#include <array>
#include <cstdint>

namespace {

// "Phisical" and "Uage" are the program's own texts; users and mail filters know them.
const std::array<std::wstring, kParameterCount> kNames = {
    L"CPU Usage", L"Free Phisical Memory", L"Page File Usage", L"Network Usage",
    L"Disk Uage", L"Threads",              L"Process",         L"Web Server Connections"};
const std::array<std::wstring, kParameterCount> kUnits = {L"%",  L"MB",      L"MB", L"kbytes/sec.",
                                                          L"%", L"threads", L"",   L"connections"};

}  // namespace

const WideSetting* InstanceSetting(int id, const ParameterSettings& parameters) {
  switch (static_cast<ParameterId>(id)) {
    case ParameterId::NetworkUsage:
      return &parameters.networkAdapterName;
    case ParameterId::DiskUsage:
      return &parameters.diskName;
    case ParameterId::Process:
      return &parameters.processName;
    case ParameterId::WebServerConnections:
      return &parameters.webServerName;
    default:
      return nullptr;
  }
}

WideSetting* InstanceSetting(int id, ParameterSettings& parameters) {
  return const_cast<WideSetting*>(InstanceSetting(id, static_cast<const ParameterSettings&>(parameters)));
}

const std::wstring& ParameterName(int id) { return kNames.at(id); }
const std::wstring& ParameterUnit(int id) { return kUnits.at(id); }

std::wstring ParameterDisplayName(int id, const ParameterSettings& parameters) {
  std::wstring name = ParameterName(id);
  if (const WideSetting* setting = InstanceSetting(id, parameters)) {
    std::wstring instance = setting->Get();
    if (!instance.empty()) name += L" (" + instance + L")";
  }
  return name;
}
