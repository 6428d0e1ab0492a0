#include "common/file.h"

#include <thread>
#include <utility>

File::File(const std::wstring& path, Mode mode, std::chrono::milliseconds waitWhileHeld) {
  const auto until = std::chrono::steady_clock::now() + waitWhileHeld;
  while (Open(path, mode) && std::chrono::steady_clock::now() < until) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

File::~File() { Close(); }

File::File(File&& other) noexcept : handle_(std::exchange(other.handle_, -1)) {}

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    Close();
    handle_ = std::exchange(other.handle_, -1);
  }
  return *this;
}

bool File::IsOpen() const { return handle_ != -1; }
