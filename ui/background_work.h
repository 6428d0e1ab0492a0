#pragma once
// Work that may wait on the network or WMI, each piece on a thread of its own
// so the user-interface thread never waits for it. The owner's end waits for
// the pieces still running, as long as it chooses.
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

// The worker threads of the user interface, counted so the exit can wait for them.
class BackgroundWork {
 public:
  BackgroundWork() : state_(std::make_shared<State>()) {}
  BackgroundWork(const BackgroundWork&) = delete;
  BackgroundWork& operator=(const BackgroundWork&) = delete;

  // False when no thread could be made; the work has then not run.
  bool Start(std::function<void()> work);
  // True when no piece runs any more, having waited at most wait.
  bool WaitAll(std::chrono::milliseconds wait);

 private:
  // Shared with the threads, so a piece may end after its owner.
  struct State {
    std::mutex lock;
    std::condition_variable idle;
    int running = 0;
  };
  std::shared_ptr<State> state_;
};
