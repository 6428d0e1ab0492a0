#include "support/watchdog.h"

#include <cstdio>
#include <cstdlib>

namespace {

std::mutex g_testMutex;
std::string g_currentTest;

std::chrono::seconds BoundFromEnvironment(std::chrono::seconds fallback) {
  const char* text = std::getenv("VARNALIS_TEST_BOUND");
  if (text == nullptr) return fallback;
  char* end = nullptr;
  long seconds = std::strtol(text, &end, 10);
  return end != text && *end == '\0' && seconds > 0 ? std::chrono::seconds(seconds) : fallback;
}

}  // namespace

Watchdog::Watchdog(std::chrono::seconds fallback) {
  HoldStartedPrograms();
  thread_ = std::thread([this, bound = BoundFromEnvironment(fallback)] { Guard(bound); });
}

Watchdog::~Watchdog() {
  {
    std::lock_guard lock(mutex_);
    finished_ = true;
  }
  done_.notify_one();
  thread_.join();
}

void Watchdog::SetCurrentTest(const std::string& name) {
  std::lock_guard lock(g_testMutex);
  g_currentTest = name;
}

void Watchdog::Guard(std::chrono::seconds bound) {
  std::unique_lock lock(mutex_);
  if (done_.wait_for(lock, bound, [this] { return finished_; })) return;
  std::string test;
  {
    std::lock_guard testLock(g_testMutex);
    test = g_currentTest;
  }
  std::fprintf(stderr,
               "\nWATCHDOG: the test program ran past its bound of %lld s in test case \"%s\"; ending it and "
               "every program it started.\n",
               static_cast<long long>(bound.count()), test.c_str());
  std::fflush(stderr);
  std::fflush(stdout);
  EndWithStartedPrograms(3);
}
