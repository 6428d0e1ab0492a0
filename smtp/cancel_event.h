#pragma once
// A manual-reset signal that another thread raises to end every wait of a
// socket at once; it stays raised.
#include <cstdint>

namespace Smtp {

class CancelEvent {
 public:
  CancelEvent() = default;
  ~CancelEvent();
  CancelEvent(const CancelEvent&) = delete;
  CancelEvent& operator=(const CancelEvent&) = delete;

  // 0, or the platform's error when the event cannot be made.
  uint32_t Create();
  bool IsValid() const;
  // 0, or the platform's error.
  uint32_t Set();
  bool IsSet() const;
  // The platform object the socket waits on: a Windows event HANDLE, or the
  // readable end of a descriptor on Linux.
  intptr_t Native() const { return native_; }

 private:
  intptr_t native_ = -1;
  intptr_t writeEnd_ = -1;  // Linux only: the end that Set writes to
};

}  // namespace Smtp
