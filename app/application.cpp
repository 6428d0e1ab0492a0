#include "app/application.h"

#include "settings/settings.h"
#include "wmi/wmi_replay.h"
#include "wmi/wmi_source.h"

Application::Application(Settings& settings, NotifyHost& host, MonitorView& view)
    : settings_(settings), host_(host), view_(view), log_(settings.Log), mail_(settings.EMail), webhook_(settings.Webhook) {}

Application::~Application() = default;

bool Application::Open(const std::wstring& replayFile, std::wstring& error) {
  if (!platform_.Start()) {
    error = L"Start-up failed: " + platform_.FailureText();
    return false;
  }
  if (!replayFile.empty()) {
    std::unique_ptr<WmiReplaySource> replay = LoadReplayFile(replayFile, error);
    if (!replay) return false;
    source_ = std::move(replay);
  } else {
    source_ = CreateSystemWmiSource();
    if (!source_) {
      error = L"WMI is not available on this computer.";
      return false;
    }
  }
  monitor_ = std::make_unique<Monitor>(settings_, log_, *source_, host_, mail_, webhook_, launcher_);
  thread_ = std::make_unique<MonitorThread>(*monitor_, settings_, log_, host_, view_);
  return true;
}

bool Application::StartThread() {
  return thread_ && thread_->Start();
}

bool Application::StopThread(std::chrono::milliseconds wait) {
  if (!thread_) return true;
  // A mail or post in flight would hold the exit for up to its deadline.
  mail_.Cancel();
  webhook_.Cancel();
  return thread_->Stop(wait);
}
