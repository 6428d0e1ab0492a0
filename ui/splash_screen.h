#pragma once
// The picture shown for a moment at start-up, as drawn for the screen's
// scale, followed by the start balloon at the tray icon.
#include <windows.h>

#include "common/scoped_win.h"
#include "ui/subclass.h"

class NotifyHost;

// The start-up picture.
class SplashScreen : public WindowSubclass {
 public:
  SplashScreen(int bitmapId, HWND parent, NotifyHost& tray, UINT durationMs);
  // Stops the timer and takes the window down if they are still there.
  ~SplashScreen() override;

  // False, showing nothing, when the picture cannot be loaded or the window
  // or timer cannot be made.
  bool Show();

 private:
  LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;
  void OnTimer();
  void Destroy();

  int bitmapId_;
  HWND parent_;
  NotifyHost& tray_;
  UINT duration_;
  int width_ = 300;
  int height_ = 150;
  ScopedGdiObject<HBITMAP> bitmap_;
};
