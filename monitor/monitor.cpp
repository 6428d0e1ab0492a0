#include "monitor/monitor.h"

#include <thread>

#include "notify/mail_sender.h"
#include "settings/settings.h"
#include "wmi/wmi_source.h"

Monitor::Counter Monitor::SteadyCounter() {
  return {[] { return static_cast<int64_t>(std::chrono::steady_clock::now().time_since_epoch().count()); },
          static_cast<int64_t>(std::chrono::steady_clock::period::den / std::chrono::steady_clock::period::num)};
}

Monitor::Monitor(Settings& settings, EventLog& log, WmiSource& wmi, NotifyHost& host, MailSender& mail,
                 WebhookSender& webhook, ProgramLauncher& launcher, Counter counter)
    : settings_(settings),
      wmi_(wmi),
      mail_(mail),
      counter_(std::move(counter)),
      records_{ParameterRecord(0), ParameterRecord(1), ParameterRecord(2), ParameterRecord(3),
               ParameterRecord(4), ParameterRecord(5), ParameterRecord(6), ParameterRecord(7)},
      notificator_(settings, log, host, mail, webhook, launcher, records_, lock_) {}

void Monitor::ResetNetworkRate() {
  std::lock_guard<std::recursive_mutex> hold(lock_);
  lastByteTotal_ = 0;
  lastCounter_ = 0;
}

bool Monitor::RunCycle(const std::atomic<bool>& monitoringOn, PassValues& values) {
  using Probe = int64_t (Monitor::*)();
  static constexpr std::array<Probe, kParameterCount> kProbes = {
      &Monitor::MeasureCpuUsage, &Monitor::MeasureFreePhysicalMemory, &Monitor::MeasurePageFileUsage,
      &Monitor::MeasureNetworkUsage, &Monitor::MeasureDiskUsage, &Monitor::MeasureThreads,
      &Monitor::MeasureProcess, &Monitor::MeasureWebServerConnections};

  {
    // What the source kept for this pass goes before the notifications.
    struct Pass {
      explicit Pass(WmiSource& wmi) : wmi(wmi) { wmi.OnPassStart(); }
      ~Pass() { wmi.OnPassEnd(); }
      WmiSource& wmi;
    } pass(wmi_);
    values.fill(0xFFFFFFFF);
    for (int id = 0; id < kParameterCount; ++id) {
      if (settings_.Parameters.enable[id]) values[id] = static_cast<uint32_t>((this->*kProbes[id])());
      if (!monitoringOn) return false;  // the values measured so far wait for the next complete pass
      std::this_thread::sleep_for(probePause_);
    }
  }
  Evaluate(values);
  return true;
}

void Monitor::Evaluate(const PassValues& values) {
  // By channel: Ui, EMail, Custom, Webhook.
  using ErrorOp = void (Notificator::*)(int, int64_t);
  using ReturnOp = bool (Notificator::*)(int);
  static constexpr std::array<ErrorOp, kChannelCount> kErrorOps = {
      &Notificator::NotifyUiError, &Notificator::NotifyEMailError, &Notificator::NotifyCustomError,
      &Notificator::NotifyWebhookError};
  static constexpr std::array<ReturnOp, kChannelCount> kReturnOps = {
      &Notificator::NotifyUiOk, &Notificator::NotifyEMailOk, &Notificator::TakeCustomNotified,
      &Notificator::NotifyWebhookOk};

  // The states are worked out under the lock; the notifications go out after
  // it, since a mail may take seconds and the user interface reads the records.
  std::array<std::array<ParameterState, kChannelCount>, kParameterCount> states;
  {
    std::lock_guard<std::recursive_mutex> hold(lock_);
    for (int id = 0; id < kParameterCount; ++id) {
      records_[id].UpdateStates(settings_);
      states[id] = records_[id].states;
    }
  }

  mail_.StartPass();
  notificator_.BeginPass(wallClock_());
  bool anyError = false;
  bool anyReturn = false;
  for (int id = 0; id < kParameterCount; ++id) {
    const bool watched = settings_.Parameters.enable[id];
    const int64_t value = static_cast<int32_t>(values[id]);
    const auto& state = states[id];

    // The warning entry follows the user-interface channel's threshold, whether that channel is on or not.
    if (watched) {
      if (state[static_cast<int>(NotifyChannel::Ui)] == ParameterState::Warning) {
        notificator_.NotifyWarning(id, value);
      } else if (state == std::array<ParameterState, kChannelCount>{}) {
        notificator_.EndEpisode(id);
      }
    }
    const std::array<bool, kChannelCount> channelOn = {
        settings_.UiNotify.UIEnabled, settings_.EMail.EMailEnabled, settings_.CustomNotify.CustomEnabled,
        settings_.Webhook.WebhookEnabled};
    for (int channel = 0; channel < kChannelCount; ++channel) {
      if (watched && channelOn[channel] && state[channel] == ParameterState::Error) {
        (notificator_.*kErrorOps[channel])(id, value);
        notificator_.ResetWarning(id);
        anyError = true;
      } else if ((notificator_.*kReturnOps[channel])(id)) {
        anyReturn = true;
      }
    }
  }
  if (!anyError && anyReturn) notificator_.NotifyAllRecovered();
}
