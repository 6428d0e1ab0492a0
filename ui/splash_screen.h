#pragma once
// The picture shown for a moment at start-up, followed by the start balloon
// at the tray icon.
#include <windows.h>

#include "common/scoped_win.h"

class NotifyHost;

class SplashScreen {
 public:
  SplashScreen(int bitmapId, HWND parent, NotifyHost& tray, UINT durationMs);
  // Stops the timer and takes the window down if they are still there.
  ~SplashScreen();
  SplashScreen(const SplashScreen&) = delete;
  SplashScreen& operator=(const SplashScreen&) = delete;

  // False, showing nothing, when the picture cannot be loaded or the window
  // or timer cannot be made.
  bool Show();
  HWND Window() const { return window_; }

 private:
  static LRESULT CALLBACK SubclassProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                       DWORD_PTR self);
  void OnTimer();
  void Destroy();

  int bitmapId_;
  HWND parent_;
  NotifyHost& tray_;
  UINT duration_;
  int width_ = 300;
  int height_ = 150;
  ScopedGdiObject<HBITMAP> bitmap_;
  HWND window_ = nullptr;
};
