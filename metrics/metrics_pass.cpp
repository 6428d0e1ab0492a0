#include "metrics/metrics_pass.h"

#include "common/decimal.h"
#include "parameters/parameters.h"
#include "settings/settings.h"

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
    if (const WideSetting* instance = InstanceSetting(id, settings.Parameters)) {
      shown.instance = instance->Get();
    }
  }
  return pass;
}
