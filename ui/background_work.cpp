#include "ui/background_work.h"

#include <system_error>
#include <thread>

bool BackgroundWork::Start(std::function<void()> work) {
  {
    std::lock_guard<std::mutex> hold(state_->lock);
    ++state_->running;
  }
  try {
    std::thread([state = state_, work = std::move(work)] {
      work();
      std::lock_guard<std::mutex> hold(state->lock);
      if (--state->running == 0) state->idle.notify_all();
    }).detach();
    return true;
  } catch (const std::system_error&) {
    std::lock_guard<std::mutex> hold(state_->lock);
    --state_->running;
    return false;
  }
}

bool BackgroundWork::WaitAll(std::chrono::milliseconds wait) {
  std::unique_lock<std::mutex> hold(state_->lock);
  return state_->idle.wait_for(hold, wait, [&] { return state_->running == 0; });
}
