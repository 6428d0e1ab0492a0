#include "app/monitor_thread.h"

#include <doctest/doctest.h>

#include <condition_variable>
#include <future>

#include "support/engine_fixture.h"

namespace {

// State one thread changes and another awaits.
class Watched {
 public:
  template <class Change>
  void Update(Change change) {
    std::lock_guard<std::mutex> hold(lock_);
    change();
    changed_.notify_all();
  }
  template <class Ready>
  void Await(Ready ready) {
    std::unique_lock<std::mutex> hold(lock_);
    changed_.wait(hold, ready);
  }

 private:
  std::mutex lock_;
  std::condition_variable changed_;
};

// Holds each query until the test opens the gate.
class GatedWmi final : public WmiTableSource {
 public:
  WmiCode Column(const std::wstring&, const std::wstring&, std::vector<WmiValue>& values) override {
    state_.Update([this] { ++waiting_; });
    state_.Await([this] { return open_; });
    values = {WmiValue::Int32(5)};
    return kWmiOk;
  }
  WmiCode ConnectRemote(const std::wstring&) override { return kWmiOk; }
  void WaitForQuery() { state_.Await([this] { return waiting_ > 0; }); }
  void Open() { state_.Update([this] { open_ = true; }); }

 private:
  Watched state_;
  int waiting_ = 0;
  bool open_ = false;
};

class CountingView final : public MonitorView {
 public:
  void SetStatusText(const std::wstring& text) override { state_.Update([&] { statuses.push_back(text); }); }
  void UpdateParameters(const PassValues&) override { state_.Update([this] { ++passes; }); }
  void WaitForPasses(int count) { state_.Await([&] { return passes >= count; }); }

  std::vector<std::wstring> statuses;  // read once the thread has stopped
  int passes = 0;

 private:
  Watched state_;
};

// A Log page that holds whoever writes until the test lets it go, as a log
// rewriting itself at its limit holds its lock.
class HeldLogView final : public LogView {
 public:
  void AddLogLine(const std::wstring&) override {
    state_.Update([this] { held_ = true; });
    state_.Await([this] { return released_; });
  }
  void ClearList() override {}
  void WaitUntilHeld() { state_.Await([this] { return held_; }); }
  void Release() { state_.Update([this] { released_ = true; }); }

 private:
  Watched state_;
  bool held_ = false, released_ = false;
};

constexpr auto kPatience = std::chrono::milliseconds(30000);

}  // namespace

TEST_CASE("the thread runs passes back to back with a zero interval and stops on request") {
  EngineFixture f;
  f.settings.Connection.period = 0;
  f.wmi.Set(L"Win32_Processor", L"LoadPercentage", {WmiValue::Int32(5)});
  f.wmi.Set(L"Win32_OperatingSystem", L"FreePhysicalMemory", {WmiValue::Text(L"4096000")});
  CountingView view;
  MonitorThread thread(f.monitor, f.settings, f.log, f.host, view);
  REQUIRE(thread.Start());
  view.WaitForPasses(3);
  CHECK(thread.Stop(kPatience));
  REQUIRE(view.statuses.size() >= 2);
  CHECK(view.statuses[0] == L"Connecting...");
  CHECK(view.statuses[1].rfind(L"Last monitoring finished: ", 0) == 0);
}

TEST_CASE("stopping during a pass ends it after the probe in hand") {
  GatedWmi wmi;
  EngineFixture f(&wmi);
  CountingView view;
  MonitorThread thread(f.monitor, f.settings, f.log, f.host, view);
  REQUIRE(thread.Start());
  wmi.WaitForQuery();
  thread.StopMonitoring();
  wmi.Open();
  CHECK(thread.StatusText().rfind(L"Stopped at ", 0) == 0);
  CHECK(thread.Stop(kPatience));
  CHECK(thread.StatusText().rfind(L"Stopped at ", 0) == 0);
  CHECK(view.passes == 0);
  std::lock_guard<std::recursive_mutex> hold(f.monitor.Lock());
  CHECK(f.monitor.Records()[0].history.size() == 1);
  CHECK(f.monitor.Records()[1].history.empty());
  CHECK(f.host.calls.back() == L"icon 204");
  CHECK(f.LogEntries() == std::vector<std::wstring>{L"Info\tMonitoring stopped."});
}

TEST_CASE("starting again restores the icon shown before the stop; a stop wakes the long interval") {
  EngineFixture f;
  f.settings.Connection.period = 3600 * 1000;
  CountingView view;
  MonitorThread thread(f.monitor, f.settings, f.log, f.host, view);
  thread.StopMonitoring();
  REQUIRE(thread.Start());

  SUBCASE("alert") {
    f.monitor.TrayIcon().After(TrayIconEvent::Alert, false);
    thread.StartMonitoring();
    CHECK(f.host.calls.back() == L"icon 203");
  }
  SUBCASE("normal, or none when the icon is hidden") {
    f.settings.Main.HideIcon = true;
    thread.StartMonitoring();
    CHECK(f.host.calls.back() == L"icon 0");
  }
  view.WaitForPasses(1);  // the pass starts at once, not after the idle step
  CHECK(thread.Stop(kPatience));  // well before the hour is out
}

TEST_CASE("Start and Stop never wait on the log; their entries keep their order and come before the closing one") {
  EngineFixture f;
  CountingView view;
  HeldLogView page;
  MonitorThread thread(f.monitor, f.settings, f.log, f.host, view);
  thread.StopMonitoring();  // no passes, whose entries would mix in
  f.log.SetView(&page);
  auto busy = std::async(std::launch::async, [&] { f.log.WriteLog(LogLevel::Info, L"busy"); });
  page.WaitUntilHeld();
  REQUIRE(thread.Start());

  auto clicks = std::async(std::launch::async, [&] {
    thread.StartMonitoring();
    thread.StopMonitoring();
  });
  CHECK_MESSAGE(clicks.wait_for(std::chrono::seconds(10)) == std::future_status::ready,
                "awaited: the switches to return while the log is held");
  page.Release();
  busy.get();
  clicks.get();
  CHECK(thread.Stop(kPatience));
  f.log.WriteLog(LogLevel::Info, L"close");
  f.log.SetView(nullptr);
  CHECK(f.LogEntries() == std::vector<std::wstring>{L"Info\tbusy", L"Info\tMonitoring stopped.",
                                                    L"Info\tMonitoring started.", L"Info\tMonitoring stopped.",
                                                    L"Info\tclose"});
}
