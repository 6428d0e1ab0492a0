#pragma once
// The one monitor thread, the Start/Stop switch and the status line, shared
// by the tray program and the console monitor.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <thread>

#include "monitor/monitor.h"

class EventLog;
class NotifyHost;
struct Settings;

// What the front end shows of the thread's work. Called on the monitor
// thread; must not wait for the user-interface thread.
class MonitorView {
 public:
  virtual ~MonitorView() = default;
  virtual void SetStatusText(const std::wstring& text) = 0;
  // After each complete pass.
  virtual void UpdateParameters(const PassValues& values) = 0;
};

// The monitor thread and its Start/Stop switch.
class MonitorThread {
 public:
  MonitorThread(Monitor& monitor, Settings& settings, EventLog& log, NotifyHost& host, MonitorView& view);
  // Ends the thread if Stop was not called; waits as long as it takes.
  ~MonitorThread();
  MonitorThread(const MonitorThread&) = delete;
  MonitorThread& operator=(const MonitorThread&) = delete;

  // False when the thread cannot be created.
  bool Start();
  // Asks the thread to end after the pass in hand; does not wait. Callable
  // from any thread, the monitor thread included.
  void RequestStop();
  // Asks the thread to end and waits at most wait. False when it did not end
  // in time: it is then left running, and everything it uses must outlive it
  // (the process is about to end). Either way the switches' log entries are
  // written when it returns.
  bool Stop(std::chrono::milliseconds wait);

  // The switch: never waits on the log, whose entry the thread writes.
  void StartMonitoring();
  void StopMonitoring();
  bool IsMonitoringOn() const { return monitoringOn_; }
  // The last status line.
  std::wstring StatusText();
  // How long the pass being reported took; for the view, in UpdateParameters.
  std::chrono::steady_clock::duration LastPassDuration() const { return lastPassDuration_; }

 private:
  void Run();
  void SetStatus(const std::wstring& text);
  void Switch(bool on, const wchar_t* status, const wchar_t* entry);
  void WriteEntries();
  // Waits for the timeout or until wake() holds; false when stopping.
  template <class Predicate>
  void Sleep(std::chrono::milliseconds timeout, Predicate wake);

  Monitor& monitor_;
  Settings& settings_;
  EventLog& log_;
  NotifyHost& host_;
  MonitorView& view_;
  std::atomic<bool> monitoringOn_{true};
  std::atomic<bool> stopThread_{false};
  std::mutex wakeLock_;
  std::condition_variable wake_;
  bool ended_ = false;  // under wakeLock_
  std::deque<std::wstring> entries_;  // under wakeLock_: the switches' log entries, oldest first
  std::mutex writing_;                // one writer of entries_ at a time, so they keep their order
  std::condition_variable endedSignal_;
  std::wstring statusText_;  // under the monitor's lock
  std::chrono::steady_clock::duration lastPassDuration_{};  // the monitor thread's own
  std::thread thread_;
};
