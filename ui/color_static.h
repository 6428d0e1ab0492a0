#pragma once
// A static text drawn large and bold on a coloured band: the main dialog's
// server label. In high contrast the band and text take the window colours.
#include <windows.h>

#include <string>

#include "ui/subclass.h"
#include "ui/system_colors.h"

// The main dialog's server label.
class ColorStatic : public WindowSubclass {
 public:
  ColorStatic(COLORREF background, COLORREF text);

  bool Attach(HWND control) { return Bind(control); }
  // Stores the text and repaints at once.
  void SetText(const std::wstring& text);
  const std::wstring& Text() const { return text_; }

  // The band and the text, into any DC of the control's size.
  void Paint(HDC dc) const;

 private:
  LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

  COLORREF background_;
  COLORREF textColor_;
  std::wstring text_;
  ContrastWatch contrast_;
};
