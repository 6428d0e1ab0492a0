#include "app/console_monitor.h"

#include <algorithm>
#include <memory>

#include "app/application.h"
#include "app/monitor_thread.h"
#include "app/stop_signal.h"
#include "common/console.h"
#include "common/platform_services.h"
#include "common/product.h"
#include "common/time_text.h"
#include "log/event_log.h"
#include "metrics/listen_address.h"
#include "metrics/metrics_server.h"
#include "monitor/monitor.h"
#include "monitor/parameter_view.h"
#include "notify/notify_host.h"
#include "notify/test_mail.h"
#include "notify/test_webhook.h"
#include "settings/registry.h"
#include "settings/settings.h"
#include "wmi/instance_lists.h"
#include "wmi/system_report.h"
#include "wmi/wmi_query.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitUsage = 2;
constexpr int kExitFailed = 3;
constexpr auto kExitWait = std::chrono::milliseconds(60000);

std::wstring OneLine(std::wstring text) {
  std::replace(text.begin(), text.end(), L'\n', L' ');
  return text;
}

const wchar_t* IconName(int id) {
  switch (id) {
    case kIconNormal:
      return L"normal";
    case kIconAlert:
      return L"alert";
    case kIconStopped:
      return L"monitoring stopped";
    case kIconPaused:
      return L"notifications paused";
    default:
      return L"hidden";
  }
}

// The tray and the windows, told as lines on the console.
class ConsoleHost final : public NotifyHost, public MonitorView {
 public:
  ConsoleHost(Settings& settings, int passes, StopSignal* stop) : settings_(settings), passes_(passes), stop_(stop) {}
  void Attach(Monitor& monitor) { monitor_ = &monitor; }
  void Attach(MonitorThread& thread) { thread_ = &thread; }
  // Before the thread starts.
  void Attach(MetricsServer& metrics) {
    metrics_ = &metrics;
    std::lock_guard<std::recursive_mutex> hold(monitor_->Lock());
    metrics.Publish(CaptureMetricsPass(monitor_->Records(), settings_, nullptr));
  }

  void SetTrayIcon(int iconId) override {
    Say(std::wstring(L"Tray icon: ") + IconName(iconId));
  }
  void ShowTrayBalloon(const std::wstring& title, const std::wstring& text, int iconId, int balloonKind) override {
    Say((balloonKind == kBalloonError ? L"Balloon (error): " : L"Balloon: ") + title + L" " + OneLine(text));
    if (iconId != kIconNone) SetTrayIcon(iconId);
  }
  void OpenMainWindow() override { Say(L"Main window: not available on the console."); }
  void ShowNotificationBox(const std::wstring& subject, const std::wstring& body, int) override {
    Say(L"Notification: " + subject + L" " + OneLine(body));
  }
  void PlayInformationSound() override { PrintOut(L"\a"); }

  void SetStatusText(const std::wstring&) override {}
  void UpdateParameters(const PassValues& values) override {
    std::wstring line = NowText();
    MetricsPass pass;
    {
      std::lock_guard<std::recursive_mutex> hold(monitor_->Lock());
      for (int id = 0; id < kParameterCount; ++id) {
        StateView state = ParameterStateView(monitor_->Records()[id], settings_);
        line += (id == 0 ? L"  " : L" | ") + ParameterDisplayName(id, settings_.Parameters) + L": " +
                ValueText(id, static_cast<int32_t>(values[id]));
        if (!state.text.empty()) line += L" " + state.text;
      }
      if (metrics_) pass = CaptureMetricsPass(monitor_->Records(), settings_, &values);
    }
    if (metrics_) {
      pass.monitoringOn = thread_->IsMonitoringOn();
      pass.notificationsPaused = monitor_->NotificationsHeld();
      pass.passes = ++metricsPasses_;
      pass.passMicroseconds =
          std::chrono::duration_cast<std::chrono::microseconds>(thread_->LastPassDuration()).count();
      pass.completedUnixMilliseconds = std::chrono::duration_cast<std::chrono::milliseconds>(
                                           std::chrono::system_clock::now().time_since_epoch())
                                           .count();
      metrics_->Publish(pass);  // rendered outside the engine's lock
    }
    PrintOut(line + L"\n");
    if (passes_ > 0 && ++passesDone_ == passes_ && stop_) {
      thread_->RequestStop();  // no further pass while the main thread wakes
      stop_->Raise();
    }
  }

 private:
  void Say(const std::wstring& text) { PrintOut(NowText() + L"  " + text + L"\n"); }

  Settings& settings_;
  Monitor* monitor_ = nullptr;
  MonitorThread* thread_ = nullptr;
  MetricsServer* metrics_ = nullptr;
  uint64_t metricsPasses_ = 0;  // the monitor thread's own
  int passes_;
  int passesDone_ = 0;
  StopSignal* stop_;
};

// The engine with the console as its tray and view.
struct Engine {
  Engine(Settings& settings, int passes, StopSignal* stop) : host(settings, passes, stop), app(settings, host, host) {}

  // False, with the reason printed, when the platform or the source fails.
  bool Open(const MonitorOptions& options) {
    std::wstring error;
    if (!app.Open(options.replayFile, error)) {
      PrintErr(error + L"\n");
      return false;
    }
    host.Attach(app.GetMonitor());
    host.Attach(app.Thread());
    return true;
  }

  // Serves the metrics endpoint when options ask for it; false, with the reason printed, when it cannot.
  bool ServeMetrics(const MonitorOptions& options) {
    if (options.metrics.empty()) return true;
    Smtp::Address address;
    std::wstring error;
    metrics = std::make_unique<MetricsServer>();
    host.Attach(*metrics);  // the first scrape already names the computer
    if (!ParseListenAddress(options.metrics, address, error) || !metrics->Start(address, error)) {
      PrintErr(L"The metrics endpoint cannot be served at \"" + options.metrics + L"\". " + error + L"\n");
      return false;
    }
    const Smtp::Address bound = metrics->Bound();
    const auto* port = reinterpret_cast<const uint8_t*>(&bound.port);  // network byte order
    PrintOut(L"Metrics at http://" + std::to_wstring(bound.ipv4[0]) + L"." + std::to_wstring(bound.ipv4[1]) + L"." +
             std::to_wstring(bound.ipv4[2]) + L"." + std::to_wstring(bound.ipv4[3]) + L":" +
             std::to_wstring(port[0] * 256 + port[1]) + L"/metrics\n");
    return true;
  }

  std::unique_ptr<MetricsServer> metrics;  // first: the monitor thread publishes to it until the end
  ConsoleHost host;
  Application app;
};

// What the network rate depends on: the watched computer and its adapter.
std::wstring NetworkRateSource(const Settings& settings) {
  return (settings.Connection.local ? std::wstring(L"local") : settings.Connection.server.Get()) + L"\n" +
         settings.Parameters.networkAdapterName.Get();
}

// The settings as they are stored now, read in place on the main thread;
// what start-up made of them follows. The engine's lock keeps an evaluation
// from seeing half of them.
void ReloadSettings(Settings& settings, Engine& engine) {
  std::unique_ptr<RegistryStore> store = OpenUserRegistry();  // afresh: a store keeps what it first read
  Registry registry(*store, DefaultSettingsKeyPath());
  std::wstring error;
  bool loaded, rateMoved, iconMoved;
  {
    std::lock_guard<std::recursive_mutex> hold(engine.app.GetMonitor().Lock());
    std::wstring rateSource = NetworkRateSource(settings);
    bool hidden = settings.Main.HideIcon;
    loaded = settings.LoadSettings(registry, &error);
    rateMoved = NetworkRateSource(settings) != rateSource;
    iconMoved = settings.Main.HideIcon != hidden;
  }
  if (!loaded) {
    PrintErr(L"Registry error.\n" + error + L"\nThe settings in use stay.\n");
    return;
  }
  if (rateMoved) engine.app.GetMonitor().ResetNetworkRate();
  if (iconMoved) engine.host.SetTrayIcon(engine.app.GetMonitor().TrayIcon().After(TrayIconEvent::Refresh, settings.Main.HideIcon));
  engine.app.Log().WriteLog(LogLevel::Info, L"Settings reloaded.");
  PrintOut(NowText() + L"  Settings reloaded.\n");
}

}  // namespace

int RunConsoleMonitor(Settings& settings, const MonitorOptions& options) {
  StopSignal stop;  // before any thread starts
  if (std::wstring error; !stop.Install(error)) {
    PrintErr(L"Start-up failed: Ctrl+C cannot be caught. " + error + L"\n");
    return kExitFailed;
  }
  if (settings.Log.ClearLog) EventLog(settings.Log).ClearLogFile();
  auto engine = std::make_unique<Engine>(settings, options.passes, &stop);
  if (!engine->Open(options)) return kExitFailed;
  if (!engine->ServeMetrics(options)) return kExitFailed;
  if (!engine->app.StartThread()) {
    PrintErr(L"The monitor thread cannot be started.\n");
    return kExitFailed;
  }
  EventLog& log = engine->app.Log();
  log.WriteLog(LogLevel::Info, std::wstring(kProductName) + L" application open.");
  log.WriteLog(LogLevel::Info, L"Monitoring started.");
  PrintOut(L"Monitoring " + (settings.Connection.local ? std::wstring(L"this computer")
                                                       : settings.Connection.server.Get()) +
           L". Press Ctrl+C to stop.\n");
  engine->host.SetTrayIcon(engine->app.GetMonitor().TrayIcon().After(TrayIconEvent::Refresh, settings.Main.HideIcon));

  while (stop.Wait() == StopSignal::Event::Reload) ReloadSettings(settings, *engine);
  if (engine->metrics) engine->metrics->Stop();  // scrapes end at once; a pass in hand may take longer
  bool ended = engine->app.StopThread(kExitWait);
  log.WriteLog(LogLevel::Info, std::wstring(kProductName) + L" application close.");
  if (!ended) {
    // The thread still uses the engine; the process ends with it.
    PrintErr(L"The monitor thread did not end within 60 seconds.\n");
    (void)engine.release();
  }
  return kExitOk;
}

int RunOnePass(Settings& settings, const MonitorOptions& options) {
  Engine engine(settings, 0, nullptr);
  if (!engine.Open(options)) return kExitFailed;
  Monitor& monitor = engine.app.GetMonitor();
  std::atomic<bool> on{true};
  PassValues values;
  monitor.SetProbePause(std::chrono::microseconds(0));
  monitor.RunCycle(on, values);

  std::lock_guard<std::recursive_mutex> hold(monitor.Lock());
  auto pad = [](std::wstring text, size_t width) {
    text.resize(std::max(text.size() + 2, width), L' ');
    return text;
  };
  PrintOut(pad(L"Parameter", 32) + pad(L"Current Value", 20) + pad(L"Notification Value", 22) + L"State\n");
  for (int id = 0; id < kParameterCount; ++id) {
    std::wstring limit = settings.Parameters.notificationValue[id].Get();
    if (!ParameterUnit(id).empty()) limit += L" " + ParameterUnit(id);
    if (static_cast<ParameterId>(id) == ParameterId::Process) limit = L"Process closed";
    PrintOut(pad(ParameterDisplayName(id, settings.Parameters), 32) +
             pad(ValueText(id, static_cast<int32_t>(values[id])), 20) + pad(limit, 22) +
             ParameterStateView(monitor.Records()[id], settings).text + L"\n");
  }
  return kExitOk;
}

int RunTestConnection(Settings& settings, const MonitorOptions& options) {
  Engine engine(settings, 0, nullptr);
  if (!engine.Open(options)) return kExitFailed;
  WmiQuery query(settings.Connection, engine.app.Source());
  std::wstring report = SystemReport(query);
  report.erase(std::remove(report.begin(), report.end(), L'\r'), report.end());
  if (!report.empty() && report.back() != L'\n') report += L'\n';
  PrintOut(report);
  return report.rfind(L"Connection failed.", 0) == 0 ? kExitFailed : kExitOk;
}

int RunListInstances(Settings& settings, const MonitorOptions& options, const std::wstring& kind) {
  static const std::pair<const wchar_t*, InstanceKind> kKinds[] = {{L"network", InstanceKind::NetworkAdapter},
                                                                   {L"disk", InstanceKind::LogicalDisk},
                                                                   {L"process", InstanceKind::Process},
                                                                   {L"web", InstanceKind::WebServer}};
  const auto* found = std::find_if(std::begin(kKinds), std::end(kKinds), [&](auto& k) { return kind == k.first; });
  if (found == std::end(kKinds)) {
    PrintErr(L"Unknown kind \"" + kind + L"\": network, disk, process or web.\n");
    return kExitUsage;
  }
  Engine engine(settings, 0, nullptr);
  if (!engine.Open(options)) return kExitFailed;
  WmiQuery query(settings.Connection, engine.app.Source());
  std::vector<std::wstring> names;
  if (WmiCode code = ListInstances(query, found->second, names); code != kWmiOk) {
    PrintErr(ConnectionFailedText(code) + L"\n");
    return kExitFailed;
  }
  for (const std::wstring& name : names) PrintOut(EscapedName(name) + L"\n");
  return kExitOk;
}

int RunTestMail(Settings& settings) {
  PlatformServices platform;  // Winsock on Windows
  if (!platform.Start()) {
    PrintErr(L"Start-up failed: " + platform.FailureText() + L"\n");
    return kExitFailed;
  }
  uint32_t code = SendTestMail(settings);
  PrintOut(TestMailResultText(code) + L"\n");
  return code == 0 ? kExitOk : kExitFailed;
}

int RunTestWebhook(Settings& settings) {
  HttpPostResult result = SendTestWebhook(settings);
  if (result.ok) {
    PrintOut(TestWebhookResultText(result) + L"\n");
    return kExitOk;
  }
  PrintErr(TestWebhookResultText(result) + L"\n");
  return kExitFailed;
}
