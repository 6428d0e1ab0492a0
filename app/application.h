#pragma once
// The one composition of the engine that both front ends use: the platform's
// services, the event log, the WMI source, the mail sender and launcher, the
// monitor and its thread. The front end supplies the tray and the view.
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "app/monitor_thread.h"
#include "common/platform_services.h"
#include "log/event_log.h"
#include "monitor/monitor.h"
#include "notify/shell_launcher.h"
#include "notify/smtp_mail_sender.h"
#include "notify/webhook_sender.h"

class NotifyHost;
class WmiSource;
struct Settings;

// The engine's one composition.
class Application {
 public:
  Application(Settings& settings, NotifyHost& host, MonitorView& view);
  ~Application();
  Application(const Application&) = delete;
  Application& operator=(const Application&) = delete;

  // Starts COM and Winsock and opens the source: the system's WMI, or the
  // recording named. False, with error saying why, when any of it fails.
  bool Open(const std::wstring& replayFile, std::wstring& error);
  // Starts the monitor thread; false when it cannot be made.
  bool StartThread();
  // The exit: a mail or web hook in flight is cancelled, the thread asked to end and
  // waited for, at most wait. False when it did not end: the thread still
  // uses all of this, so the caller must then never destroy the Application.
  bool StopThread(std::chrono::milliseconds wait);

  Settings& GetSettings() { return settings_; }
  EventLog& Log() { return log_; }
  WmiSource& Source() { return *source_; }
  Monitor& GetMonitor() { return *monitor_; }
  MonitorThread& Thread() { return *thread_; }

 private:
  Settings& settings_;
  NotifyHost& host_;
  MonitorView& view_;
  PlatformServices platform_;
  EventLog log_;
  SmtpMailSender mail_;
  WebhookSender webhook_;
  ShellLauncher launcher_;
  std::unique_ptr<WmiSource> source_;
  std::unique_ptr<Monitor> monitor_;
  std::unique_ptr<MonitorThread> thread_;
};
