#include "app/stop_signal.h"

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include "common/platform_services.h"

namespace {

sigset_t HandledSignals() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  sigaddset(&set, SIGHUP);
  return set;
}

}  // namespace

// Blocked in every thread (threads inherit the mask), so only Wait receives them.
bool StopSignal::Install(std::wstring& error) {
  sigset_t set = HandledSignals();
  if (int code = pthread_sigmask(SIG_BLOCK, &set, nullptr); code != 0) {
    error = SystemErrorText(static_cast<uint32_t>(code));
    return false;
  }
  installed_ = true;
  return true;
}

// After a stop the signals are ignored, so unblocking them lets none through.
StopSignal::~StopSignal() {
  if (!installed_) return;
  sigset_t set = HandledSignals();
  pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
}

StopSignal::Event StopSignal::Wait() {
  sigset_t set = HandledSignals();
  int received = 0;
  while (sigwait(&set, &received) != 0) {
  }
  if (received == SIGHUP) return Event::Reload;
  // Ignoring also drops a second signal already waiting.
  struct sigaction ignore{};
  ignore.sa_handler = SIG_IGN;
  for (int sig : {SIGINT, SIGTERM, SIGHUP}) sigaction(sig, &ignore, nullptr);
  stopped_ = true;
  return Event::Stop;
}

void StopSignal::Raise() { kill(getpid(), SIGTERM); }
