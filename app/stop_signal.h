#pragma once
// Ctrl+C, the request to end (SIGTERM, a console close) and the request to
// reload the settings (SIGHUP) for the console monitor. Make it and Install it
// on the main thread before any other thread starts.
#include <string>

// The console monitor's stop and reload requests.
class StopSignal {
 public:
  enum class Event { Stop, Reload };

  StopSignal() = default;
  ~StopSignal();
  StopSignal(const StopSignal&) = delete;
  StopSignal& operator=(const StopSignal&) = delete;

  // False, with the reason, when the requests cannot be caught.
  bool Install(std::wstring& error);
  // Returns at the next request: Reload (never on Windows, which has no such
  // request), or Stop. Once a stop has come, every further request is
  // ignored for the rest of the process, so the shutdown reaches its save.
  Event Wait();
  // A stop request from any thread.
  void Raise();

 private:
  bool installed_ = false;
  bool stopped_ = false;
};
