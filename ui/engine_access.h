#pragma once
// What the main dialog's pages ask of the engine, on the user-interface
// thread. Nothing here waits on the monitor thread: either side holds the
// engine lock only to copy or change a record.
#include <functional>

#include "monitor/parameter_view.h"

class EventLog;
class WmiSource;

// The pages' way into the engine.
class EngineAccess {
 public:
  virtual ~EngineAccess() = default;
  // What the last pass left, copied under the engine lock.
  virtual PassSnapshot LatestPass() = 0;
  // A parameter switched off forgets its history.
  virtual void ClearHistory(int id) = 0;
  // The watched adapter changed: the network rate starts afresh.
  virtual void ResetNetworkRate() = 0;
  // The event log. Its lock is held only for one file operation at a time,
  // and the view it calls under that lock only posts.
  virtual EventLog& Log() = 0;
  // The system's WMI, for work off the user-interface thread.
  virtual WmiSource& Wmi() = 0;
  // Runs work on a thread of its own; false when none could be made. The
  // program's exit waits for the work, bounded, so what it uses stays valid.
  virtual bool RunInBackground(std::function<void()> work) = 0;
};
