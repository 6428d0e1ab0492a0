#include "monitor/parameter_view.h"

#include "parameters/parameter_record.h"
#include "settings/settings.h"

std::wstring ValueText(int id, int32_t value) {
  if (static_cast<ParameterId>(id) == ParameterId::Process) {
    return value == 1 ? L"Process running" : value == -1 ? L"N/A" : L"Process closed";
  }
  if (value == -1) return L"N/A";
  return std::to_wstring(value) + L" " + ParameterUnit(id);
}

StateView ParameterStateView(const ParameterRecord& record, const Settings& settings) {
  StateView view;
  if (!settings.Parameters.enable[record.id]) {
    view.mark = kRowOff;
    return view;
  }
  if (record.history.empty()) return view;
  auto in = [&](NotifyChannel channel, ParameterState state) { return record.State(channel) == state; };
  if ((settings.UiNotify.UIEnabled && in(NotifyChannel::Ui, ParameterState::Error)) ||
      (settings.EMail.EMailEnabled && in(NotifyChannel::EMail, ParameterState::Error)) ||
      (settings.CustomNotify.CustomEnabled && in(NotifyChannel::Custom, ParameterState::Error)) ||
      (settings.Webhook.WebhookEnabled && in(NotifyChannel::Webhook, ParameterState::Error))) {
    view.text = L"Error";
    view.mark = kRowError;
  } else if (in(NotifyChannel::Ui, ParameterState::Warning) || in(NotifyChannel::EMail, ParameterState::Warning) ||
             in(NotifyChannel::Custom, ParameterState::Warning) || in(NotifyChannel::Webhook, ParameterState::Warning)) {
    view.text = L"Warning (" + std::to_wstring(record.CountBadTail(settings)) + L")";
    view.mark = kRowWarning;
  } else {
    view.text = L"OK";
  }
  return view;
}

PassSnapshot SnapshotParameters(const ParameterRecords& records, const Settings& settings,
                                const PassValues* values) {
  PassSnapshot snapshot;
  for (int id = 0; id < kParameterCount; ++id) {
    const ParameterRecord& record = records[id];
    ParameterSnapshot& shown = snapshot[id];
    if (values != nullptr) {
      shown.value = static_cast<int32_t>((*values)[id]);
    } else if (settings.Parameters.enable[id]) {
      shown.value = static_cast<int32_t>(record.LastValue());
    }
    shown.state = ParameterStateView(record, settings);
    size_t skip = record.history.size() > kRecentValues ? record.history.size() - kRecentValues : 0;
    for (auto it = record.history.begin() + static_cast<std::ptrdiff_t>(skip); it != record.history.end(); ++it) {
      shown.recent.push_back(static_cast<int32_t>(*it));
    }
  }
  return snapshot;
}
