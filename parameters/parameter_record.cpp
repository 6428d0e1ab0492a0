#include "parameters/parameter_record.h"

#include "common/decimal.h"

void ParameterRecord::AddValue(int64_t value) {
  if (history.size() >= kHistoryLimit) history.pop_front();
  history.push_back(value);
}

int64_t ParameterRecord::LastValue() const { return history.empty() ? kNotAvailable : history.back(); }

bool ParameterRecord::IsBadValue(int64_t value, const Settings& settings) const {
  if (value == kNotAvailable) return true;  // a missing measurement counts against the parameter
  int64_t limit = ReadDecimal(settings.Parameters.notificationValue[id].Get());
  switch (static_cast<ParameterId>(id)) {
    case ParameterId::FreePhysicalMemory:
      return value <= limit;
    case ParameterId::Process:
      return value == 0;
    default:
      return value >= limit;
  }
}

unsigned ParameterRecord::CountBadTail(const Settings& settings) const {
  unsigned count = 0;
  for (auto it = history.rbegin(); it != history.rend() && IsBadValue(*it, settings); ++it) ++count;
  return count;
}

void ParameterRecord::UpdateStates(const Settings& settings) {
  const std::array<uint32_t, kChannelCount> thresholds = {
      static_cast<uint32_t>(settings.UiNotify.UIThreshold.load()),
      static_cast<uint32_t>(settings.EMail.EMailThreshold.load()),
      static_cast<uint32_t>(settings.CustomNotify.CustomThreshold.load()),
      static_cast<uint32_t>(settings.Webhook.WebhookThreshold.load())};
  unsigned badTail = CountBadTail(settings);
  bool newestBad = !history.empty() && IsBadValue(history.back(), settings);
  for (int channel = 0; channel < kChannelCount; ++channel) {
    // N bad values in a row; with N = 0 that holds at once, even for no history.
    bool inError = history.size() >= thresholds[channel] && badTail >= thresholds[channel];
    states[channel] = inError ? ParameterState::Error : newestBad ? ParameterState::Warning : ParameterState::Ok;
  }
}
