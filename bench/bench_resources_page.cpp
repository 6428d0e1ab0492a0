// The open Resources page taking passes: the user-interface thread's time for
// one update with its graph repaint, and the GDI objects and resident memory
// over 10,000 updates, which should stay flat. Under Wine it prints Wine's figures.
//   bench_resources_page [UPDATES]
#include <windows.h>
#include <commctrl.h>
#include <psapi.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "log/event_log.h"
#include "settings/settings.h"
#include "ui/app_commands.h"
#include "ui/background_work.h"
#include "ui/engine_access.h"
#include "ui/main_dialog.h"
#include "ui/theme_helper.h"
#include "ui/ui_messages.h"
#include "wmi/wmi_source.h"

namespace {

class Commands final : public AppCommands {
 public:
  void StartMonitoring() override {}
  void StopMonitoring() override {}
  bool IsMonitoringOn() const override { return true; }
  void OpenMainWindow() override {}
  void ExitApplication() override {}
  void ApplyHideIcon() override {}
  void PauseNotifications(int32_t) override {}
};

class NoWmi final : public WmiSource {
 public:
  WmiCode CreateLocator(std::unique_ptr<WmiLocator>&) override { return kWmiTransportFailure; }
};

class Engine final : public EngineAccess {
 public:
  PassSnapshot LatestPass() override { return {}; }
  void ClearHistory(int) override {}
  void ResetNetworkRate() override {}
  EventLog& Log() override { return log_; }
  WmiSource& Wmi() override { return wmi_; }
  bool RunInBackground(std::function<void()> work) override { return work_.Start(std::move(work)); }

 private:
  LogSettings logSettings_;
  EventLog log_{logSettings_};
  NoWmi wmi_;
  BackgroundWork work_;
};

double ResidentMb() {
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof counters;
  GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
  return static_cast<double>(counters.WorkingSetSize) / (1024.0 * 1024.0);
}

double CpuMs(HANDLE thread) {
  FILETIME created, exited, kernel, user;
  GetThreadTimes(thread, &created, &exited, &kernel, &user);
  auto ticks = [](FILETIME t) { return (static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime; };
  return static_cast<double>(ticks(kernel) + ticks(user)) / 10000.0;
}

// A pass whose values and histories change every time, as real ones do.
PassSnapshot Pass(int n) {
  PassSnapshot pass;
  for (int id = 0; id < kParameterCount; ++id) {
    int32_t value = (n * 7 + id * 13) % 100;
    pass[id].value = value;
    pass[id].state = value > 90 ? StateView{L"Error", kRowError} : StateView{L"OK", kRowNormal};
    for (int i = 0; i < 36; ++i) pass[id].recent.push_back((n + i * 5 + id) % 100);
  }
  return pass;
}

}  // namespace

int main(int argc, char** argv) {
  const int updates = argc > 1 ? std::atoi(argv[1]) : 10000;
  INITCOMMONCONTROLSEX controls{sizeof controls, 0xFF};
  InitCommonControlsEx(&controls);
  Settings settings;
  Commands app;
  Engine engine;
  CThemeHelper theme;
  QuorDlg dialog(settings, app, engine, theme, {L"", L""});
  HANDLE uiThread = nullptr;
  std::thread ui([&] {
    DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &uiThread, 0, FALSE,
                    DUPLICATE_SAME_ACCESS);
    dialog.Run([] { return std::wstring(); });
  });
  for (int i = 0; i < 1000 && !(dialog.Window() && IsWindowVisible(dialog.Window())); ++i) Sleep(5);
  HWND window = dialog.Window();
  if (window == nullptr) {
    std::fprintf(stderr, "the dialog did not open\n");
    return 1;
  }

  // Each update is posted as the monitor thread posts it, then waited for.
  auto apply = [&](int n) {
    PostOwned(window, WM_APP_UPDATE_PARAMETERS, Pass(n));
    SendMessageW(window, WM_NULL, 0, 0);
  };
  for (int n = 0; n < 100; ++n) apply(n);  // first use loads what stays loaded
  DWORD gdiBefore = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
  double rssBefore = ResidentMb();
  double cpuBefore = CpuMs(uiThread);
  auto start = std::chrono::steady_clock::now();
  for (int n = 0; n < updates; ++n) {
    apply(n);
    if ((n + 1) % (updates / 4 > 0 ? updates / 4 : 1) == 0) {
      std::printf("after %5d updates: GDI objects %lu, resident %.1f MB\n", n + 1,
                  GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS), ResidentMb());
    }
  }
  double wall = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  double cpu = CpuMs(uiThread) - cpuBefore;
  std::printf("one update with the graph repaint: %.3f ms on the user-interface thread (CPU), %.3f ms posted to applied\n",
              cpu / updates, wall / updates);
  std::printf("GDI objects %lu -> %lu, resident %.1f -> %.1f MB over %d updates\n", gdiBefore,
              GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS), rssBefore, ResidentMb(), updates);
  if (gdiBefore == 0) std::printf("(GDI objects read 0: this system does not count them; Windows does)\n");
  PostMessageW(window, WM_COMMAND, IDCANCEL, 0);
  ui.join();
  CloseHandle(uiThread);
  return 0;
}
