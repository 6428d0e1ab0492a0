#include "app/stop_signal.h"

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

namespace {

sigset_t StopSignals() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  sigaddset(&set, SIGHUP);
  return set;
}

}  // namespace

// Blocked in every thread (threads inherit the mask), so only Wait receives them.
StopSignal::StopSignal() {
  sigset_t set = StopSignals();
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

StopSignal::~StopSignal() {
  sigset_t set = StopSignals();
  pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
}

void StopSignal::Wait() {
  sigset_t set = StopSignals();
  int received = 0;
  while (sigwait(&set, &received) != 0) {
  }
}

void StopSignal::Raise() { kill(getpid(), SIGTERM); }
