#pragma once
// An object bound to a window it subclasses. Messages go to OnMessage until
// the window's WM_NCDESTROY or Unbind, whichever comes first, so either may
// outlive the other.
#include <windows.h>

#include <atomic>

// The base of the custom controls and the tray window.
class WindowSubclass {
 public:
  WindowSubclass(const WindowSubclass&) = delete;
  WindowSubclass& operator=(const WindowSubclass&) = delete;

  // Any thread: null while unbound.
  HWND Window() const { return window_; }

 protected:
  WindowSubclass() = default;
  virtual ~WindowSubclass();

  // False when window is null, this object is bound already, or the
  // subclass cannot be set.
  bool Bind(HWND window);
  // The window that was bound, now back to its own handling; null if none.
  HWND Unbind();
  LRESULT Default(UINT msg, WPARAM wParam, LPARAM lParam) const;

  virtual LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) = 0;
  // At WM_NCDESTROY, once unbound: what the window took with it.
  virtual void OnWindowGone() {}

 private:
  static LRESULT CALLBACK Proc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR id, DWORD_PTR self);

  std::atomic<HWND> window_{nullptr};
};
