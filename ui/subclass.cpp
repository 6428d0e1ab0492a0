#include "ui/subclass.h"

#include <commctrl.h>

// The object's address is the subclass id: two objects never share one, even
// on the same window.

WindowSubclass::~WindowSubclass() {
  Unbind();
}

bool WindowSubclass::Bind(HWND window) {
  if (window == nullptr || window_ != nullptr) return false;
  if (!SetWindowSubclass(window, Proc, reinterpret_cast<UINT_PTR>(this), reinterpret_cast<DWORD_PTR>(this))) {
    return false;
  }
  window_ = window;
  return true;
}

HWND WindowSubclass::Unbind() {
  HWND window = window_.exchange(nullptr);
  if (window != nullptr) RemoveWindowSubclass(window, Proc, reinterpret_cast<UINT_PTR>(this));
  return window;
}

LRESULT WindowSubclass::Default(UINT msg, WPARAM wParam, LPARAM lParam) const {
  return DefSubclassProc(window_, msg, wParam, lParam);
}

LRESULT CALLBACK WindowSubclass::Proc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                      DWORD_PTR self) {
  auto* bound = reinterpret_cast<WindowSubclass*>(self);
  if (msg == WM_NCDESTROY) {
    bound->Unbind();
    bound->OnWindowGone();
    return DefSubclassProc(window, msg, wParam, lParam);
  }
  return bound->OnMessage(msg, wParam, lParam);
}
