#pragma once
// Messages that cross from other threads to the user-interface thread. Each
// payload is a heap object that the receiver takes over with TakePayload.
#include <windows.h>

#include <memory>
#include <utility>

// The tray icon's callback message.
inline constexpr UINT WM_TRAY_CALLBACK = 0x8064;

enum : UINT {
  WM_APP_SET_STATUS = WM_APP + 1,  // std::wstring: the status line
  WM_APP_UPDATE_PARAMETERS,        // PassValues: a finished pass
  WM_APP_SET_TRAY_ICON,            // wParam: icon id
  WM_APP_SHOW_BALLOON,             // BalloonRequest
  WM_APP_OPEN_MAIN_WINDOW,         // no payload
  WM_APP_LOG_LINE,                 // std::wstring: a line for the Log page
  WM_APP_LOG_CLEAR,                // no payload
  WM_APP_WORK_DONE,                // a worker thread's answer, the page's own type
  WM_APP_TRAY_ERRORS,              // std::vector<std::wstring>: the parameters in error, for the tray's tip
  WM_APP_LAST = WM_APP_TRAY_ERRORS,
};

// The owner's WM_DRAWITEM for a control that draws itself (image buttons, the
// history graph) goes back to the control as this message.
inline constexpr UINT kReflectedDrawItem = WM_APP + 0x200;

// For a dialog's WM_DRAWITEM: true when the item drew itself.
bool ReflectDrawItem(LPARAM drawItem);

// Every payload travels in a box, so one that is never received can still be
// freed without knowing its type.
struct PayloadBox {
  virtual ~PayloadBox() = default;
};

template <class T>
struct Payload final : PayloadBox {
  explicit Payload(T v) : value(std::move(v)) {}
  T value;
};

// Posts msg carrying value to window. When the window is gone or the post
// fails the value is freed here; nothing leaks and nothing dangles.
template <class T>
bool PostOwned(HWND window, UINT msg, T value, WPARAM wParam = 0) {
  if (window == nullptr || !IsWindow(window)) return false;
  auto box = std::make_unique<Payload<T>>(std::move(value));
  if (!PostMessageW(window, msg, wParam, reinterpret_cast<LPARAM>(static_cast<PayloadBox*>(box.get())))) {
    return false;
  }
  box.release();
  return true;
}

// The receiver's side: owns the value from here on.
template <class T>
T TakePayload(LPARAM lParam) {
  std::unique_ptr<PayloadBox> box(reinterpret_cast<PayloadBox*>(lParam));
  return std::move(static_cast<Payload<T>*>(box.get())->value);
}

// Frees the payloads still queued for a window that is being destroyed.
// Only payload-carrying messages may lie in the WM_APP_SET_STATUS to
// WM_APP_LAST range with a non-zero lParam.
void DropQueuedPayloads(HWND window);
