#pragma once
// A static text drawn large and bold on a coloured band: the main dialog's
// server label.
#include <windows.h>

#include <string>

class ColorStatic {
 public:
  ColorStatic(COLORREF background, COLORREF text);
  ~ColorStatic();
  ColorStatic(const ColorStatic&) = delete;
  ColorStatic& operator=(const ColorStatic&) = delete;

  bool Attach(HWND control);
  // Stores the text and repaints at once.
  void SetText(const std::wstring& text);
  const std::wstring& Text() const { return text_; }

  // The band and the text, into any DC of the control's size.
  void Paint(HDC dc) const;

 private:
  static LRESULT CALLBACK SubclassProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                       DWORD_PTR self);

  HWND window_ = nullptr;
  COLORREF background_;
  COLORREF textColor_;
  std::wstring text_;
};
