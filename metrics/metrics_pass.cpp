#include "metrics/metrics_pass.h"

#include "common/decimal.h"
#include "settings/settings.h"

namespace {

const WideSetting* InstanceOf(ParameterId id, const ParameterSettings& parameters) {
  switch (id) {
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

}  // namespace

MetricsPass CaptureMetricsPass(const ParameterRecords& records, const Settings& settings, const PassValues* values) {
  MetricsPass pass;
  pass.computer = settings.Connection.local ? std::wstring(L"localhost") : settings.Connection.server.Get();
  for (int id = 0; id < kParameterCount; ++id) {
    MetricsParameter& shown = pass.parameters[id];
    shown.enabled = settings.Parameters.enable[id];
    int32_t value = values != nullptr ? static_cast<int32_t>((*values)[id]) : -1;
    if (shown.enabled && value != -1) shown.value = value;
    // The limit as the evaluation reads it; the process is bad when closed, whatever the text.
    if (static_cast<ParameterId>(id) != ParameterId::Process) {
      shown.notificationValue = ReadDecimal(settings.Parameters.notificationValue[id].Get());
    }
    shown.states = records[id].states;
    if (const WideSetting* instance = InstanceOf(static_cast<ParameterId>(id), settings.Parameters)) {
      shown.instance = instance->Get();
    }
  }
  return pass;
}
