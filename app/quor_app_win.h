#pragma once
// The tray program: start-up in its fixed order, the message loop of the
// user-interface thread, the Start/Stop switch, the main dialog on demand,
// and the shut-down.
#include <windows.h>

#include <atomic>
#include <memory>
#include <string>

#include "app/application.h"
#include "monitor/parameter_view.h"
#include "common/scoped_win.h"
#include "settings/settings.h"
#include "ui/app_commands.h"
#include "ui/background_work.h"
#include "ui/engine_access.h"
#include "ui/notification_box.h"
#include "ui/theme_helper.h"
#include "ui/tray_window.h"

class QuorDlg;
class SplashScreen;
class Registry;
class RegistryStore;

// The tray program.
class QuorApp final : public AppCommands, public EngineAccess, public MonitorView {
 public:
  QuorApp();
  ~QuorApp() override;

  // Start-up, the message loop and the shut-down; the process's exit code.
  int Run(const std::wstring& commandLine);

  // AppCommands, on the user-interface thread.
  void StartMonitoring() override;
  void StopMonitoring() override;
  bool IsMonitoringOn() const override;
  void OpenMainWindow() override;
  void ExitApplication() override;
  void ApplyHideIcon() override;
  void PauseNotifications(int32_t pausedUntil) override;

  // EngineAccess, on the user-interface thread.
  PassSnapshot LatestPass() override;
  void ClearHistory(int id) override;
  void ResetNetworkRate() override;
  EventLog& Log() override;
  WmiSource& Wmi() override;
  bool RunInBackground(std::function<void()> work) override;

  // MonitorView: from the monitor thread, only posts.
  void SetStatusText(const std::wstring& text) override;
  void UpdateParameters(const PassValues& values) override;

 private:
  bool InitInstance(const std::wstring& commandLine);
  // False when another copy holds the claim.
  bool ClaimInstance();
  void ShutdownApplication();
  // The icon and the tip show whether notifications are held now.
  void ApplyHold();
  bool OnUiThread() const { return GetCurrentThreadId() == uiThread_; }

  DWORD uiThread_;
  Settings settings_;
  std::unique_ptr<RegistryStore> store_;
  std::unique_ptr<Registry> registry_;
  NotificationBoxes boxes_;
  MainWnd mainWnd_;
  std::unique_ptr<Application> app_;
  CThemeHelper theme_;
  std::unique_ptr<SplashScreen> splash_;  // until its time is up
  ScopedHandle instanceMutex_;  // the single-instance claim, let go as the exit begins
  QuorDlg* mainDialog_ = nullptr;            // user-interface thread only
  bool exiting_ = false;                     // user-interface thread only
  std::atomic<HWND> dialogWindow_{nullptr};  // for the monitor thread's posts
  BackgroundWork work_;                      // the pages' WMI and mail work
};
