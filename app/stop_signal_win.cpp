#include "app/stop_signal.h"

#include <windows.h>

namespace {

// The console control handler gets no context, so the event it sets is the
// file's own.
HANDLE stopEvent = nullptr;

BOOL WINAPI OnConsoleControl(DWORD) {
  SetEvent(stopEvent);
  return TRUE;  // the process ends after the monitor has stopped, not now
}

}  // namespace

StopSignal::StopSignal() {
  stopEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}

StopSignal::~StopSignal() {
  SetConsoleCtrlHandler(OnConsoleControl, FALSE);
  CloseHandle(stopEvent);
  stopEvent = nullptr;
}

void StopSignal::Wait() { WaitForSingleObject(stopEvent, INFINITE); }

void StopSignal::Raise() { SetEvent(stopEvent); }
