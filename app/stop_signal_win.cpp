#include "app/stop_signal.h"

#include <windows.h>

#include <cstdlib>

#include "common/platform_services.h"

namespace {

// The console control handler gets no context, so its events are the file's
// own. They live as long as the process: the handler may run until its end.
HANDLE stopEvent = nullptr;      // a stop was asked for
HANDLE finishedEvent = nullptr;  // the program has finished, its settings saved

void OnProgramEnd() { SetEvent(finishedEvent); }

BOOL WINAPI OnConsoleControl(DWORD type) {
  SetEvent(stopEvent);
  if (type == CTRL_CLOSE_EVENT || type == CTRL_LOGOFF_EVENT || type == CTRL_SHUTDOWN_EVENT) {
    // Windows ends the process as soon as this returns: wait for the close
    // entry and the save instead. Windows still ends it when its time is up.
    WaitForSingleObject(finishedEvent, INFINITE);
  }
  return TRUE;  // Ctrl+C, Ctrl+Break: the process ends after the monitor has stopped, not now
}

bool CreateOnce(HANDLE& event, std::wstring& error) {
  if (event == nullptr) event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (event == nullptr) error = SystemErrorText(GetLastError());
  return event != nullptr;
}

}  // namespace

bool StopSignal::Install(std::wstring& error) {
  static bool atEnd = false;
  if (!CreateOnce(stopEvent, error) || !CreateOnce(finishedEvent, error)) return false;
  if (!atEnd) {
    if (std::atexit(OnProgramEnd) != 0) {
      error = L"The end of the program cannot be watched.";
      return false;
    }
    atEnd = true;
  }
  ResetEvent(stopEvent);
  if (!SetConsoleCtrlHandler(OnConsoleControl, TRUE)) {
    error = SystemErrorText(GetLastError());
    return false;
  }
  installed_ = true;
  return true;
}

// After a stop the handler stays: a console closed during the shutdown must
// still wait for the save.
StopSignal::~StopSignal() {
  if (installed_ && !stopped_) SetConsoleCtrlHandler(OnConsoleControl, FALSE);
}

StopSignal::Event StopSignal::Wait() {
  WaitForSingleObject(stopEvent, INFINITE);
  stopped_ = true;
  return Event::Stop;
}

void StopSignal::Raise() { SetEvent(stopEvent); }
