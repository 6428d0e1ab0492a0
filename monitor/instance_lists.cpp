#include "monitor/instance_lists.h"

#include "monitor/wmi_query.h"

namespace {

const wchar_t* ClassOf(InstanceKind kind) {
  switch (kind) {
    case InstanceKind::NetworkAdapter:
      return L"Win32_PerfRawData_Tcpip_NetworkInterface";
    case InstanceKind::LogicalDisk:
      return L"Win32_LogicalDisk";
    case InstanceKind::Process:
      return L"Win32_Process";
    case InstanceKind::WebServer:
      break;
  }
  return L"Win32_PerfRawData_W3SVC_WebService";
}

}  // namespace

WmiCode ListInstances(WmiQuery& query, InstanceKind kind, std::vector<std::wstring>& names) {
  WmiCode code = query.QueryProperty(ClassOf(kind), L"Name", nullptr, &names, nullptr);
  if (kind == InstanceKind::WebServer && !names.empty()) names.erase(names.begin());
  return code;
}
