#pragma once
// Turns the channel states of each pass into notifications: each channel once
// per error episode of a parameter, a warning entry once per warning episode,
// and the return to normal where asked for. Every outcome is a log entry.
#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "common/local_time.h"
#include "log/event_log.h"
#include "notify/quiet_time.h"
#include "notify/tray_icon_state.h"
#include "parameters/parameter_record.h"

class MailSender;
class NotifyHost;
class ProgramLauncher;
class WebhookSender;
struct Settings;

using ParameterRecords = std::array<ParameterRecord, kParameterCount>;

class Notificator {
 public:
  // Runs on the monitor thread only; reads the records under their lock.
  Notificator(Settings& settings, EventLog& log, NotifyHost& host, MailSender& mail, WebhookSender& webhook,
              ProgramLauncher& launcher, const ParameterRecords& records, std::recursive_mutex& recordsLock);

  // A pass's notifications begin: whether they are held now (a pause or
  // quiet hours); the start and end of a hold are logged.
  void BeginPass(const LocalTime& now);
  bool Held() const { return held_; }
  void NotifyWarning(int id, int64_t value);
  void ResetWarning(int id) { warningNotified_[id] = false; }
  // The parameter is back to normal on every channel.
  void EndEpisode(int id) {
    warningNotified_[id] = false;
    heldLogged_[id] = false;
  }
  void NotifyUiError(int id, int64_t value);
  void NotifyEMailError(int id, int64_t value);
  void NotifyCustomError(int id, int64_t value);
  void NotifyWebhookError(int id, int64_t value);
  // Take the channel's flag; give the return notification where enabled.
  // The flag's old value is returned.
  bool NotifyUiOk(int id);
  bool NotifyEMailOk(int id);
  bool NotifyWebhookOk(int id);
  bool TakeCustomNotified(int id);
  void NotifyAllRecovered();
  // The alerts and recoveries move it; the front ends start and stop it.
  TrayIconState& TrayIcon() { return trayIcon_; }

 protected:
  uint32_t SendEMail(const std::wstring& subject, const std::wstring& body);

 private:
  using Flags = std::array<bool, kParameterCount>;

  TrayIconState trayIcon_;

  int64_t LastValue(int id);
  std::wstring MissingReason(int id);
  // The body as the templates give it, with why a missing value is missing.
  std::wstring Body(int id, int64_t value, ParameterState state);
  void PostWebhook(LogLevel level, int id, int64_t value, ParameterState state);
  // While held, an error is logged once and the icon turns red; the channel's
  // flag stays down so that it notifies when the hold ends.
  bool Hold(int id, int64_t value);
  void WriteEntry(LogLevel level, const std::wstring& subject, const std::wstring& body, const std::wstring& suffix);

  Settings& settings_;
  EventLog& log_;
  NotifyHost& host_;
  MailSender& mail_;
  WebhookSender& webhook_;
  ProgramLauncher& launcher_;
  const ParameterRecords& records_;
  std::recursive_mutex& recordsLock_;
  Flags uiNotified_{};
  Flags emailNotified_{};
  Flags customNotified_{};
  Flags webhookNotified_{};
  Flags warningNotified_{};
  Flags heldLogged_{};
  std::atomic<bool> held_{false};
  std::wstring heldUntil_;
};
