#pragma once
// The monitoring engine: the eight parameter records, the pass that probes
// the watched computer, and the evaluation that sets off the notifications.
#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

#include "notify/notificator.h"
#include "parameters/parameter_record.h"
#include "wmi/wmi_query.h"

class EventLog;
class MailSender;
class NotifyHost;
class ProgramLauncher;
class WebhookSender;
class WmiSource;
struct Settings;

// Each probe's result in its low 32 bits; 0xFFFFFFFF for none.
using PassValues = std::array<uint32_t, kParameterCount>;

class Monitor {
 public:
  // Ticks of a monotonic counter and their frequency (per second).
  struct Counter {
    std::function<int64_t()> now;
    int64_t frequency;
  };
  static Counter SteadyCounter();

  Monitor(Settings& settings, EventLog& log, WmiSource& wmi, NotifyHost& host, MailSender& mail,
          WebhookSender& webhook, ProgramLauncher& launcher, Counter counter = SteadyCounter());
  Monitor(const Monitor&) = delete;
  Monitor& operator=(const Monitor&) = delete;

  // One pass; false when monitoring was switched off before it completed,
  // in which case nothing is evaluated.
  bool RunCycle(const std::atomic<bool>& monitoringOn, PassValues& values);
  void Evaluate(const PassValues& values);

  // Guards the records and the network rate state against the user interface.
  std::recursive_mutex& Lock() { return lock_; }
  ParameterRecords& Records() { return records_; }
  // Starts the network rate afresh (the chosen adapter changed).
  void ResetNetworkRate();
  // The pause after each parameter of a pass (benchmarks shorten it).
  void SetProbePause(std::chrono::microseconds pause) { probePause_ = pause; }
  // The local clock that quiet hours and the pause are read against (tests set their own).
  void SetWallClock(std::function<LocalTime()> clock) { wallClock_ = std::move(clock); }
  // Lets go of the kept WMI connection; on the thread that made it (at a
  // stop, and before the thread ends).
  void CloseConnection() { connection_.Close(); }
  // Whether the last pass held its notifications (a pause or quiet hours).
  bool NotificationsHeld() const { return notificator_.Held(); }

  int64_t MeasureCpuUsage();
  int64_t MeasureFreePhysicalMemory();
  int64_t MeasurePageFileUsage();
  int64_t MeasureNetworkUsage();
  int64_t MeasureDiskUsage();
  int64_t MeasureThreads();
  int64_t MeasureProcess();
  int64_t MeasureWebServerConnections();
  // Whole seconds since the previous call; 0 on the first.
  int64_t ElapsedSeconds();
  TrayIconState& TrayIcon() { return notificator_.TrayIcon(); }

 private:
  int64_t Record(ParameterId id, int64_t value, std::wstring missing = {});
  int64_t Missing(ParameterId id, std::wstring why) { return Record(id, kNotAvailable, std::move(why)); }
  int64_t MeasureFirstNumber(ParameterId id, const wchar_t* className, const wchar_t* property, int64_t divisor);

  Settings& settings_;
  WmiSource& wmi_;
  WmiConnection connection_;  // the probes' own, kept across passes
  MailSender& mail_;
  Counter counter_;
  std::chrono::microseconds probePause_{1000};
  std::function<LocalTime()> wallClock_ = CurrentLocalTime;
  std::recursive_mutex lock_;
  int64_t lastByteTotal_ = 0;
  int64_t lastCounter_ = 0;
  ParameterRecords records_;
  Notificator notificator_;
};
