#pragma once
// Following the user's colour scheme: whether a high-contrast scheme is on,
// and passing the scheme's changes on to child controls.
#include <windows.h>

#include <optional>

// A high-contrast scheme is on: the custom controls then draw with the system colours alone.
bool HighContrastOn();
// Stands in for the system's answer (nullopt: ask the system again), where
// the system cannot switch the scheme, as under Wine.
void OverrideHighContrast(std::optional<bool> on);

// A new colour scheme or high contrast switched: what ForwardColorChange passes on.
bool IsColorChange(UINT msg, WPARAM wParam);
// Only top-level windows hear of a new colour scheme; the controls at every
// level below window repaint and reload their colours when told. Other
// messages are left alone.
void ForwardColorChange(HWND window, UINT msg, WPARAM wParam, LPARAM lParam);

// A control's view of the scheme: read when the control is made, again when
// the control is told of a change.
class ContrastWatch {
 public:
  ContrastWatch() : on_(HighContrastOn()) {}
  // True when msg tells of a change: the control then repaints.
  bool Update(UINT msg, WPARAM wParam);
  bool On() const { return on_; }

 private:
  bool on_;
};
