#include "app/monitor_thread.h"

#include "common/time_text.h"
#include "log/event_log.h"
#include "monitor/monitor.h"
#include "notify/notify_host.h"
#include "settings/settings.h"

MonitorThread::MonitorThread(Monitor& monitor, Settings& settings, EventLog& log, NotifyHost& host,
                             MonitorView& view)
    : monitor_(monitor), settings_(settings), log_(log), host_(host), view_(view) {}

MonitorThread::~MonitorThread() {
  Stop(std::chrono::milliseconds::max());
}

bool MonitorThread::Start() {
  try {
    thread_ = std::thread(&MonitorThread::Run, this);
  } catch (const std::system_error&) {
    return false;
  }
  return true;
}

void MonitorThread::RequestStop() {
  std::lock_guard<std::mutex> hold(wakeLock_);
  stopThread_ = true;
  wake_.notify_all();
}

bool MonitorThread::Stop(std::chrono::milliseconds wait) {
  if (!thread_.joinable()) {
    WriteEntries();
    return true;
  }
  RequestStop();
  std::unique_lock<std::mutex> hold(wakeLock_);
  bool ended = wait == std::chrono::milliseconds::max()
                   ? (endedSignal_.wait(hold, [this] { return ended_; }), true)
                   : endedSignal_.wait_for(hold, wait, [this] { return ended_; });
  hold.unlock();
  if (ended) {
    thread_.join();
  } else {
    thread_.detach();
  }
  // The thread, stuck or never started, may have left some; the caller's closing entry comes after them.
  WriteEntries();
  return ended;
}

template <class Predicate>
void MonitorThread::Sleep(std::chrono::milliseconds timeout, Predicate wake) {
  std::unique_lock<std::mutex> hold(wakeLock_);
  wake_.wait_for(hold, timeout, [&] { return stopThread_ || !entries_.empty() || wake(); });
}

void MonitorThread::Run() {
  // A stop asked for before the thread got here still counts.
  Sleep(std::chrono::milliseconds(10), [] { return false; });
  while (!stopThread_) {
    WriteEntries();
    if (monitoringOn_) {
      SetStatus(L"Connecting...");
      PassValues values;
      auto start = std::chrono::steady_clock::now();
      if (monitor_.RunCycle(monitoringOn_, values)) {
        lastPassDuration_ = std::chrono::steady_clock::now() - start;
        view_.UpdateParameters(values);
      }
      std::lock_guard<std::recursive_mutex> hold(monitor_.Lock());  // a Stop cannot slip in between
      if (monitoringOn_) SetStatus(L"Last monitoring finished: " + NowText());
    }
    if (monitoringOn_ && !stopThread_) {
      // The interval runs from the end of one pass to the start of the next.
      int64_t period = settings_.Connection.period;
      Sleep(std::chrono::milliseconds(std::max<int64_t>(period, 0) + 1), [this] { return !monitoringOn_; });
    } else {
      monitor_.CloseConnection();  // a stopped monitor holds no logon on the watched computer
      Sleep(std::chrono::milliseconds(200), [this] { return monitoringOn_.load(); });
    }
  }
  monitor_.CloseConnection();
  WriteEntries();
  std::lock_guard<std::mutex> hold(wakeLock_);
  ended_ = true;
  endedSignal_.notify_all();
}

void MonitorThread::SetStatus(const std::wstring& text) {
  std::lock_guard<std::recursive_mutex> hold(monitor_.Lock());
  view_.SetStatusText(text);
  statusText_ = text;
}

std::wstring MonitorThread::StatusText() {
  std::lock_guard<std::recursive_mutex> hold(monitor_.Lock());
  return statusText_;
}

void MonitorThread::Switch(bool on, const wchar_t* status, const wchar_t* entry) {
  std::lock_guard<std::recursive_mutex> hold(monitor_.Lock());  // the pass's own status cannot slip in
  {
    std::lock_guard<std::mutex> wake(wakeLock_);
    monitoringOn_ = on;
    // At its limit the log rewrites up to 100 MB for one entry: the thread writes it, not the caller.
    entries_.emplace_back(entry);
    wake_.notify_all();
  }
  SetStatus(status + NowText());
}

void MonitorThread::WriteEntries() {
  std::lock_guard<std::mutex> writing(writing_);
  for (;;) {
    std::wstring entry;
    {
      std::lock_guard<std::mutex> hold(wakeLock_);
      if (entries_.empty()) return;
      entry = std::move(entries_.front());
      entries_.pop_front();
    }
    log_.WriteLog(LogLevel::Info, entry);
  }
}

void MonitorThread::StartMonitoring() {
  Switch(true, L"Started at ", L"Monitoring started.");
  host_.SetTrayIcon(monitor_.TrayIcon().After(TrayIconEvent::Start, settings_.Main.HideIcon));
}

void MonitorThread::StopMonitoring() {
  Switch(false, L"Stopped at ", L"Monitoring stopped.");
  host_.SetTrayIcon(monitor_.TrayIcon().After(TrayIconEvent::Stop, settings_.Main.HideIcon));
}
