#pragma once
// Every test program ends within its bound, pass or fail: past it, the
// watchdog says which test case was running, ends every program the test
// started and the test program itself with exit code 3.
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

class Watchdog {
 public:
  // bound: VARNALIS_TEST_BOUND seconds when set (ctest sets it below its own
  // time-out), else fallback.
  explicit Watchdog(std::chrono::seconds fallback);
  ~Watchdog();
  Watchdog(const Watchdog&) = delete;
  Watchdog& operator=(const Watchdog&) = delete;

  // What the message names as running.
  static void SetCurrentTest(const std::string& name);

 private:
  void Guard(std::chrono::seconds bound);

  std::mutex mutex_;
  std::condition_variable done_;
  bool finished_ = false;
  std::thread thread_;
};

// The platform's part: makes every program started from now on end with this
// one (Windows: a job object), and ends them all and this program.
void HoldStartedPrograms();
[[noreturn]] void EndWithStartedPrograms(int code);
