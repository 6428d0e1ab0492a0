#pragma once
// A text setting that one thread may replace while another reads it: readers
// get a copy taken under the lock, never a string being reassigned.
#include <mutex>
#include <string>
#include <utility>

template <class Text>
class SharedText {
 public:
  SharedText() = default;
  SharedText(const typename Text::value_type* initial) : value_(initial) {}
  SharedText(const SharedText&) = delete;
  SharedText& operator=(const SharedText&) = delete;

  Text Get() const {
    std::lock_guard lock(mutex_);
    return value_;
  }
  void Set(Text text) {
    std::lock_guard lock(mutex_);
    value_.swap(text);
  }

 private:
  mutable std::mutex mutex_;
  Text value_;
};
