#include "app/quor_app_win.h"

#include <commctrl.h>

#include <thread>
#include <vector>

#include "common/product.h"
#include "common/program_path.h"
#include "monitor/monitor.h"
#include "notify/notify_host.h"
#include "notify/quiet_time.h"
#include "parameters/parameters.h"
#include "res/resource.h"
#include "settings/registry.h"
#include "ui/main_dialog.h"
#include "ui/splash_screen.h"
#include "ui/ui_messages.h"
#include "wmi/wmi_query.h"

namespace {

constexpr auto kExitWait = std::chrono::milliseconds(60000);
constexpr auto kWorkWait = std::chrono::milliseconds(kWmiStepTimeoutMs);
constexpr DWORD kAutorunWait = 60000;
constexpr UINT kSplashMs = 2000;
constexpr wchar_t kInstanceName[] = L"Local\\Pellard Software Varnalis 1.4";
// How long a second copy waits for the first to show its window or let go of its claim.
constexpr int kClaimTries = 50;
constexpr DWORD kClaimStepMs = 100;

// The folder of the running program.
std::wstring ProgramFolder() {
  std::wstring path = ProgramPath();
  return path.substr(0, path.find_last_of(L"\\/"));
}

// Started again by the user: the running copy opens its dialog, or brings it
// forward. Only posted, so a busy copy never holds this one.
void OpenRunningCopy(HWND window) {
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  AllowSetForegroundWindow(process);
  PostMessageW(window, WM_COMMAND, ID_TRAY_OPEN, 0);
}

void RegistryErrorBox() {
  MessageBoxW(nullptr, L"Registry error.", kProductName, MB_OK | MB_ICONERROR);
}

// The log file's full path, for the About page.
std::wstring FullPath(const std::wstring& name) {
  DWORD n = GetFullPathNameW(name.c_str(), 0, nullptr, nullptr);
  if (n == 0) return name;
  std::wstring full(n, L'\0');
  n = GetFullPathNameW(name.c_str(), n, full.data(), nullptr);
  full.resize(n);
  return full;
}

}  // namespace

QuorApp::QuorApp() : uiThread_(GetCurrentThreadId()), mainWnd_(settings_.Connection, settings_.Quiet, *this, boxes_) {}

QuorApp::~QuorApp() = default;  // here, where SplashScreen and QuorDlg are whole

int QuorApp::Run(const std::wstring& commandLine) {
  if (!InitInstance(commandLine)) return 1;
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  // The icon and the window are gone; with the settings stored and the claim
  // let go, a copy started now starts in full while this one still winds down.
  ShutdownApplication();
  instanceMutex_.Reset();
  boxes_.Close();
  bool ended = app_->StopThread(kExitWait);
  // A connection test or instance list still asking WMI ends within the session's time-out.
  ended = work_.WaitAll(kWorkWait) && ended;
  app_->Log().WriteLog(LogLevel::Info, std::wstring(kProductName) + L" application close.");
  // What still runs uses all of this: the process ends here, before any of it is destroyed.
  if (!ended) ExitProcess(0);
  return 0;
}

bool QuorApp::InitInstance(const std::wstring& commandLine) {
  // A start at logon with a copy already running has nothing to do, now or after its wait.
  bool autorun = commandLine == L"autorun";
  if (autorun) {
    ScopedHandle running(OpenMutexW(SYNCHRONIZE, FALSE, kInstanceName));
    if (running) return false;
    Sleep(kAutorunWait);
  }

  // Another copy runs: end before anything here touches a file or a setting.
  // One just starting has no window yet, and one exiting lets go of its claim
  // soon after its window: both get a moment.
  for (int tries = 0; !ClaimInstance(); ++tries) {
    HWND running = FindWindowW(WC_STATICW, kTrayWindowName);
    if (running != nullptr || tries == kClaimTries) {
      if (running != nullptr && !autorun) OpenRunningCopy(running);
      return false;
    }
    Sleep(kClaimStepMs);
  }

  // A start at logon begins in the system folder: a relative log name means
  // the program's folder, wherever it was started from.
  SetCurrentDirectoryW(ProgramFolder().c_str());

  store_ = OpenUserRegistry();
  registry_ = std::make_unique<Registry>(*store_, DefaultSettingsKeyPath());
  std::wstring error;
  if (!settings_.LoadSettings(*registry_, &error)) {
    RegistryErrorBox();
    return false;
  }
  if (settings_.Log.ClearLog) EventLog(settings_.Log).ClearLogFile();

  app_ = std::make_unique<Application>(settings_, mainWnd_, *this);
  if (!app_->Open(L"", error)) return false;  // COM, its security and Winsock
  if (!mainWnd_.Create()) return false;

  std::unique_ptr<SplashScreen> splash;
  if (!settings_.Main.HideSplash) {
    splash = std::make_unique<SplashScreen>(IDB_SPLASH, mainWnd_.Window(), mainWnd_, kSplashMs);
    if (!splash->Show()) splash.reset();
  }
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_WIN95_CLASSES | ICC_DATE_CLASSES};
  InitCommonControlsEx(&controls);

  if (!app_->StartThread()) {
    ShutdownApplication();
    return false;
  }
  app_->Log().WriteLog(LogLevel::Info, std::wstring(kProductName) + L" application open.");
  app_->Log().WriteLog(LogLevel::Info, L"Monitoring started.");
  ApplyHold();  // a pause from before a restart shows at once
  splash_ = std::move(splash);
  return true;
}

bool QuorApp::ClaimInstance() {
  instanceMutex_.Reset(CreateMutexW(nullptr, FALSE, kInstanceName));
  if (instanceMutex_ && GetLastError() != ERROR_ALREADY_EXISTS && FindWindowW(WC_STATICW, kTrayWindowName) == nullptr)
    return true;
  instanceMutex_.Reset();
  return false;
}

void QuorApp::ShutdownApplication() {
  std::wstring error;
  if (!settings_.SaveSettings(*registry_, &error)) RegistryErrorBox();
}

void QuorApp::ApplyHideIcon() {
  mainWnd_.SetTrayIcon(app_->GetMonitor().TrayIcon().After(TrayIconEvent::Refresh, settings_.Main.HideIcon));
}

void QuorApp::PauseNotifications(int32_t pausedUntil) {
  settings_.Quiet.PausedUntil = pausedUntil;
  std::wstring error;
  if (!settings_.SaveSettings(*registry_, &error)) RegistryErrorBox();
  ApplyHold();
}

// Reads the settings' atomics only: the monitor thread takes the same
// change at its next pass and never has to be waited for.
void QuorApp::ApplyHold() {
  bool held = SilenceAt(settings_.Quiet, CurrentLocalTime()).held;
  mainWnd_.RefreshHold();
  mainWnd_.SetTrayIcon(app_->GetMonitor().TrayIcon().After(held ? TrayIconEvent::Held : TrayIconEvent::Released,
                                                           settings_.Main.HideIcon));
}

void QuorApp::StartMonitoring() {
  app_->Thread().StartMonitoring();
  if (mainDialog_ != nullptr) mainDialog_->SyncButtons();
}

void QuorApp::StopMonitoring() {
  app_->Thread().StopMonitoring();
  if (mainDialog_ != nullptr) mainDialog_->SyncButtons();
}

bool QuorApp::IsMonitoringOn() const {
  return app_->Thread().IsMonitoringOn();
}

void QuorApp::OpenMainWindow() {
  if (mainDialog_ != nullptr) {
    mainDialog_->Restore();
    return;
  }
  std::wstring settingsPlace = store_->Location();
  QuorDlg dialog(settings_, *this, *this, theme_, {settingsPlace, FullPath(settings_.Log.Filename.Get())},
                 [this](HWND window) { dialogWindow_ = window; });
  mainDialog_ = &dialog;
  dialog.Run([this] { return app_->Thread().StatusText(); });
  mainDialog_ = nullptr;
  mainWnd_.RefreshTip();  // the Connection page may have changed the computer
  // The dialog's own loop may have taken the quit that Exit posted.
  if (exiting_) PostQuitMessage(0);
}

void QuorApp::ExitApplication() {
  exiting_ = true;
  // Closing the dialog stores its position, as its close box does.
  if (mainDialog_ != nullptr) mainDialog_->OnCancel();
  mainWnd_.SetTrayIcon(kIconNone);
  mainWnd_.Destroy();
  PostQuitMessage(0);
}

void QuorApp::SetStatusText(const std::wstring& text) {
  if (OnUiThread()) {
    if (mainDialog_ != nullptr) mainDialog_->SetStatusText(text);
    return;
  }
  PostOwned(dialogWindow_.load(), WM_APP_SET_STATUS, text);  // dropped when no dialog is open
}

PassSnapshot QuorApp::LatestPass() {
  Monitor& monitor = app_->GetMonitor();
  std::lock_guard<std::recursive_mutex> hold(monitor.Lock());
  return SnapshotParameters(monitor.Records(), settings_, nullptr);
}

void QuorApp::ClearHistory(int id) {
  Monitor& monitor = app_->GetMonitor();
  std::lock_guard<std::recursive_mutex> hold(monitor.Lock());
  monitor.Records()[id].ClearHistory();
}

void QuorApp::ResetNetworkRate() {
  app_->GetMonitor().ResetNetworkRate();
}

EventLog& QuorApp::Log() {
  return app_->Log();
}

WmiSource& QuorApp::Wmi() {
  return app_->Source();
}

bool QuorApp::RunInBackground(std::function<void()> work) {
  return work_.Start(std::move(work));
}

void QuorApp::UpdateParameters(const PassValues& values) {
  PassSnapshot snapshot;
  {
    Monitor& monitor = app_->GetMonitor();
    std::lock_guard<std::recursive_mutex> hold(monitor.Lock());
    snapshot = SnapshotParameters(monitor.Records(), settings_, &values);
  }
  std::vector<std::wstring> inError;
  for (int id = 0; id < kParameterCount; ++id) {
    if (snapshot[id].state.mark == kRowError) inError.push_back(ParameterDisplayName(id, settings_.Parameters));
  }
  mainWnd_.SetParametersInError(std::move(inError));
  PostOwned(dialogWindow_.load(), WM_APP_UPDATE_PARAMETERS, std::move(snapshot));  // dropped when no dialog is open
}
