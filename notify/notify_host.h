#pragma once
// What the notifications need of the front end: the tray icon and balloons,
// the main window, the notification box and the system sound. The tray
// program's hidden window implements it; the console monitor prints.
#include <string>

#include "notify/tray_icon_ids.h"

inline constexpr int kIconNone = 0;
inline constexpr int kIconNormal = IDI_NORMAL;
inline constexpr int kIconAlert = IDI_ALERT;
inline constexpr int kIconStopped = IDI_STOPPED;
inline constexpr int kIconPaused = IDI_PAUSED;

inline constexpr int kBalloonInfo = 1;   // NIIF_INFO
inline constexpr int kBalloonError = 3;  // NIIF_ERROR

inline constexpr int kBoxError = 0;
inline constexpr int kBoxReturn = 1;

// Called from the monitor thread and the user-interface thread; must not
// block on the user-interface thread.
class NotifyHost {
 public:
  virtual ~NotifyHost() = default;
  virtual void SetTrayIcon(int iconId) = 0;
  // iconId 0 leaves the tray icon as it is.
  virtual void ShowTrayBalloon(const std::wstring& title, const std::wstring& text, int iconId, int balloonKind) = 0;
  virtual void OpenMainWindow() = 0;
  virtual void ShowNotificationBox(const std::wstring& subject, const std::wstring& body, int kind) = 0;
  virtual void PlayInformationSound() = 0;
};
