#pragma once
// Which tray icon shows, for both front ends: the normal icon (none while
// "hide while OK" is on), the alert icon while an alert stands (shown even
// then), the stopped icon (none when hidden) while monitoring is stopped,
// and the paused icon while notifications are held and no alert stands
// (shown even when hidden: a pause must not be forgotten). A start brings
// back what the stop covered. The windows only draw it.
#include <mutex>

enum class TrayIconEvent {
  Refresh,       // nothing happened but "hide while OK" may have changed
  Start,         // monitoring runs again
  Stop,          // monitoring stopped
  Alert,         // a parameter reached error with the tray icon as its channel
  AllRecovered,  // the last parameter in error is OK again
  Held,          // a pause or quiet hours began
  Released,      // they ended
};

class TrayIconState {
 public:
  // Called from the monitor thread and the user-interface thread; the icon
  // id to show after the event (kIconNone: no icon).
  int After(TrayIconEvent event, bool hideWhileOk);

 private:
  std::mutex mutex_;
  bool alert_ = false;
  bool stopped_ = false;
  bool held_ = false;
};
