#pragma once
// What the process needs of the platform before any thread asks WMI or opens
// a socket: COM in the multithreaded apartment with the process's security,
// and Winsock 2.2 on Windows; nothing on Linux.
#include <cstdint>
#include <string>

class PlatformServices {
 public:
  PlatformServices() = default;
  // Takes down what Start brought up, so it runs on the thread that started.
  ~PlatformServices();
  PlatformServices(const PlatformServices&) = delete;
  PlatformServices& operator=(const PlatformServices&) = delete;

  // Call once, on the main thread, before other threads start. False when a
  // step failed; the steps before it are taken down again.
  bool Start();
  // Which step failed and its code; empty when none did.
  std::wstring FailureText() const { return failure_; }

 private:
  bool comUp_ = false;
  bool socketsUp_ = false;
  std::wstring failure_;
};

// The system's message for an error code without trailing line breaks, or an
// empty text when the system has none.
std::wstring SystemErrorText(uint32_t code);
