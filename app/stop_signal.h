#pragma once
// Ctrl+C and the request to end (SIGTERM, console close) for the console
// monitor. Make it on the main thread before any other thread starts.
class StopSignal {
 public:
  StopSignal();
  ~StopSignal();
  StopSignal(const StopSignal&) = delete;
  StopSignal& operator=(const StopSignal&) = delete;

  // Returns once Ctrl+C, an end request or Raise came.
  void Wait();
  // Ends the Wait from any thread.
  void Raise();
};
