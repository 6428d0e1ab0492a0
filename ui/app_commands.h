#pragma once
// What the tray menu, the main dialog and the notifications ask of the
// application. Called on the user-interface thread.
#include <cstdint>

class AppCommands {
 public:
  virtual ~AppCommands() = default;
  virtual void StartMonitoring() = 0;
  virtual void StopMonitoring() = 0;
  virtual bool IsMonitoringOn() const = 0;
  // Opens the main dialog, or brings the open one forward.
  virtual void OpenMainWindow() = 0;
  virtual void ExitApplication() = 0;
  // Main\HideIcon changed: the tray icon follows at once, also over the alert icon.
  virtual void ApplyHideIcon() = 0;
  // Notifications\PausedUntil takes this value (0 resumes) and is stored at
  // once, so that a restart keeps the pause; the icon and the tip follow.
  virtual void PauseNotifications(int32_t pausedUntil) = 0;
};
