#pragma once
// Binds a dialog's window to its C++ object T (which derives from
// DialogBinding<T> and befriends it). The object arrives with WM_INITDIALOG
// and is kept in DWLP_USER; every later message goes to T::OnMessage. When the
// window goes, the payloads still queued for it are freed, T::OnWindowGone
// runs and the object forgets the window.
#include <windows.h>

#include "ui/ui_messages.h"

template <class T>
// The base of every dialog and page: ties the window to its object.
class DialogBinding {
 public:
  HWND Window() const { return window_; }

 protected:
  // T may hide these with its own.
  static T* FromInitParam(LPARAM lParam) { return reinterpret_cast<T*>(lParam); }
  void OnWindowGone() {}

  static INT_PTR CALLBACK DialogProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_INITDIALOG) {
      T* self = T::FromInitParam(lParam);
      SetWindowLongPtrW(window, DWLP_USER, reinterpret_cast<LONG_PTR>(self));
      static_cast<DialogBinding*>(self)->window_ = window;
    }
    auto* self = reinterpret_cast<T*>(GetWindowLongPtrW(window, DWLP_USER));
    if (self == nullptr) return FALSE;
    if (msg == WM_NCDESTROY) {
      DropQueuedPayloads(window);  // a worker's or the monitor's late answer
      self->OnWindowGone();
      static_cast<DialogBinding*>(self)->window_ = nullptr;
      return FALSE;
    }
    return self->OnMessage(msg, wParam, lParam);
  }

  HWND window_ = nullptr;
};
